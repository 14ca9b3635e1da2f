#include "GameFixture.h"

#include <random>
#include <sstream>

namespace {

class GameProperty : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        std::mt19937 cards(7);
        std::uniform_int_distribution<int32_t> rank(0, 10), element(0, 8);
        for (int i = 0; i < 40; ++i)
            AddCard({rank(cards), rank(cards), rank(cards), rank(cards)}, element(cards));
    }

    int32_t Occupied() const {
        int32_t count = 0;
        for (const auto& row : Game->Board)
            for (const TOwnedCard& square : row) count += square.Card != -1;
        return count;
    }

    int32_t Owned(int32_t player) const {
        int32_t count = 0;
        for (const auto& row : Game->Board)
            for (const TOwnedCard& square : row) count += square.Card != -1 && square.Owner == player;
        for (int slot = 0; slot < 5; ++slot) count += Game->Hands[slot][player] != -1;
        return count;
    }

    // Empty when every invariant holds, otherwise what broke.
    std::string Broken() const {
        std::ostringstream why;
        if (Game->Score[0] + Game->Score[1] != 10)
            why << "scores add to " << Game->Score[0] + Game->Score[1] << "; ";
        for (int player = 0; player < 2; ++player) {
            bool holding = false;
            for (int slot = 0; slot < 5; ++slot) {
                if (Game->Hands[slot][player] != -1)
                    holding = true;
                else if (holding)
                    why << "hand " << player << " has a gap at slot " << slot << "; ";
            }
        }
        for (const auto& row : Game->Board)
            for (const TOwnedCard& square : row)
                if (square.Card != -1 && square.Owner != 0 && square.Owner != 1)
                    why << "square owned by nobody; ";
        const bool settled = Game->Phase == TGame::PhaseIdle && (Game->InProgress || Game->GameOver);
        if (settled) {
            for (int player = 0; player < 2; ++player)
                if (Owned(player) != Game->Score[player])
                    why << "player " << player << " owns " << Owned(player) << " but scores "
                        << Game->Score[player] << "; ";
            if (!Game->AnimSprites.empty()) why << "sprites left over; ";
            if (FlightLeg != 1 || FlipStep != 1) why << "animation counters not reset; ";
        }
        if (Game->Phase > TGame::PhaseFlipping) why << "phase " << int(Game->Phase) << "; ";
        return why.str();
    }
};

TEST_F(GameProperty, RandomMatchesKeepScoresHandsAndBoardConsistent) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<uint32_t> frameLength(1, 400);
    const uint16_t keys[] = {VK_RETURN, VK_RETURN, VK_RETURN, VK_UP,     VK_DOWN,
                             VK_LEFT,   VK_RIGHT,  VK_DOWN,   VK_ESCAPE, 0x41};
    std::uniform_int_distribution<size_t> pick(0, std::size(keys) - 1);

    for (int match = 0; match < 250; ++match) {
        Second = int64_t(rng());
        TGameRules rules;
        rules.Same = rng() & 1;
        rules.SameWall = rng() & 1;
        rules.Plus = rng() & 1;
        rules.Elemental = rng() & 1;
        rules.SuddenDeath = rng() & 1;
        Game->NewGame(1, rules, false);

        int32_t plays = 0, replays = 0;
        int32_t scoreBefore = 0, mover = 0, ownedBefore = 0;
        bool resolving = false;
        for (int step = 0; step < 20000 && (Game->InProgress || Game->Phase != TGame::PhaseIdle); ++step) {
            std::string context = "match " + std::to_string(match) + " step " + std::to_string(step);
            if (Game->Phase != TGame::PhaseIdle) {
                const bool wasDealing = Game->Phase == TGame::PhaseDealing;
                Frame(frameLength(rng));
                if (!wasDealing && Game->Phase == TGame::PhaseDealing) {
                    // A drawn full board under Sudden Death: the replay was dealt.
                    ASSERT_EQ(plays, 9) << context;
                    ASSERT_EQ(Game->Score[0], 5) << context;
                    plays = 0;
                    resolving = false;
                    if (++replays == 3) break;
                }
            } else if (step % 97 == 96 && plays < 9) {
                // A new game between turns abandons the match.
                Game->NewGame(1, rules, false);
                ASSERT_EQ(Game->Phase, TGame::PhaseDealing) << context;
                plays = 0;
                resolving = false;
            } else {
                const int32_t turn = Game->Turn;
                const int32_t owned = Owned(turn);
                Press(keys[pick(rng)]);
                if (Game->Phase == TGame::PhaseFlight) {
                    ASSERT_EQ(Occupied(), plays) << context;
                    ASSERT_EQ(Game->Turn, 1 - turn) << context;
                    ++plays;
                    resolving = true;
                    mover = turn;
                    scoreBefore = Game->Score[turn];
                    ownedBefore = owned;
                }
            }
            const std::string broken = Broken();
            ASSERT_TRUE(broken.empty()) << context << ": " << broken;

            if (resolving && Game->Phase == TGame::PhaseIdle) {
                // Every card the placement took moved exactly one point.
                resolving = false;
                ASSERT_EQ(Occupied(), plays) << context;
                ASSERT_EQ(Game->Score[mover] - scoreBefore, Owned(mover) - ownedBefore) << context;
            }
        }
        ASSERT_TRUE(replays == 3 || (Game->GameOver && !Game->InProgress)) << "match " << match;
        if (replays < 3) {
            EXPECT_EQ(plays, 9) << "match " << match;
            EXPECT_EQ(Occupied(), 9);
        }
    }
}

TEST_F(GameProperty, RandomMatchesDrawFramesWithoutFaults) {
    OpenDevice();
    LoadImages();
    std::mt19937 rng(99);
    std::uniform_int_distribution<uint32_t> frameLength(1, 300);
    for (int match = 0; match < 4; ++match) {
        Second = int64_t(rng());
        TGameRules rules;
        rules.Same = rules.SameWall = rules.Plus = rules.Elemental = true;
        Game->NewGame(1, rules, false);
        for (int step = 0; step < 3000 && Game->InProgress; ++step) {
            if (Game->Phase != TGame::PhaseIdle)
                Frame(frameLength(rng));
            else
                Press(step % 3 == 0 ? VK_RIGHT : VK_RETURN);
            ASSERT_TRUE(Broken().empty()) << Broken();
        }
        EXPECT_TRUE(Game->GameOver);
        Frame(16);
    }
}

} // namespace
