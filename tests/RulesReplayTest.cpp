// Random matches played by keys on the table, checked after every placement
// against the solver's position and against a second table restored from
// the match's script, Sudden Death replays included; and the script's refusals.
#include "AiMatchFixture.h"
#include "ai/GamePosition.h"

#include <sstream>

namespace {

class RulesReplay : public TAiMatchFixture {
protected:
    void SetUp() override {
        TAiMatchFixture::SetUp();
        AddCatalogue(11);
        Restored = std::make_unique<TGame>([this] { return Second; }, [this] { return Now; });
        Restored->Cards->CardTable.reset(new TCardInfo[size_t(Game->Cards->NumCards)]);
        for (int32_t i = 0; i < Game->Cards->NumCards; ++i) {
            Restored->Cards->CardTable[i].Ranks = Game->Cards->CardTable[i].Ranks;
            Restored->Cards->CardTable[i].Element = Game->Cards->CardTable[i].Element;
        }
        Restored->Cards->NumCards = Game->Cards->NumCards;
    }

    void TearDown() override {
        Restored.reset();
        TAiMatchFixture::TearDown();
    }

    // Empty when the search position holds what the table shows.
    std::string PositionDifferences(const TPosition& position) const {
        std::ostringstream why;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                const TOwnedCard& square = Game->Board[y][x];
                const int32_t card = position.CardAt(x, y);
                if ((card < 0) != (square.Card < 0) ||
                    (card >= 0 &&
                     !(position.CardInfo(card) == Game->Match().Catalogue->CardValues(square.Card))))
                    why << "card on " << x << "," << y << "; ";
                else if (square.Card >= 0 && square.Owner != position.OwnerAt(x, y))
                    why << "owner of " << x << "," << y << "; ";
            }
        for (int32_t player = 0; player < 2; ++player)
            if (position.Owned(player) != Game->Score[player]) why << "score of " << player << "; ";
        if (position.Turn() != Game->Turn) why << "turn; ";
        return why.str();
    }

    // Empty when the two tables show the same match the same way.
    static std::string TableDifferences(const TGame& a, const TGame& b) {
        std::ostringstream why;
        auto differ = [&why](bool different, const char* what) {
            if (different) why << what << "; ";
        };
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                const TOwnedCard &p = a.Board[y][x], &q = b.Board[y][x];
                differ(p.Card != q.Card || (p.Card >= 0 && p.Owner != q.Owner), "board");
                differ(a.Elements[y][x] != b.Elements[y][x], "elements");
            }
        for (int32_t slot = 0; slot < 5; ++slot)
            differ(a.Hands[slot][0] != b.Hands[slot][0] || a.Hands[slot][1] != b.Hands[slot][1], "hands");
        differ(a.Score[0] != b.Score[0] || a.Score[1] != b.Score[1], "scores");
        differ(a.Turn != b.Turn, "turn");
        differ(a.InProgress != b.InProgress || a.GameOver != b.GameOver, "match flags");
        differ(!(a.Rules == b.Rules), "rules");
        differ(a.Phase != b.Phase || a.PendingGroups != b.PendingGroups, "phase");
        differ(a.HandCursor != b.HandCursor || a.BoardCursorActive != b.BoardCursorActive, "hand cursor");
        differ(!a.Match().Script.Moves.empty() &&
                   (a.BoardCursorX != b.BoardCursorX || a.BoardCursorY != b.BoardCursorY),
               "board cursor");
        differ(a.HandStep != b.HandStep, "layout");
        differ(a.Match().Script != b.Match().Script, "script");
        differ(a.Match().Random.State != b.Match().Random.State, "random source");
        return why.str();
    }

    void ExpectRestoredTableAgrees() {
        TMatch replayed;
        std::string refusal;
        ASSERT_TRUE(ReplayScript(Game->Match().Script, *Game->Cards, replayed, refusal)) << refusal;
        Restored->RestoreMatch(replayed);
        ASSERT_EQ(TableDifferences(*Game, *Restored), "");
    }

    std::unique_ptr<TGame> Restored;
};

TEST_F(RulesReplay, EveryPrefixRestoresWhatTheKeysShowedAndThePositionAgrees) {
    std::mt19937 random(4242);
    int32_t placements = 0, captures = 0, replays = 0;
    for (int32_t match = 0; match < 400; ++match) {
        TGameRules rules;
        rules.Same = random() & 1;
        rules.SameWall = random() & 1;
        rules.Plus = random() & 1;
        rules.Elemental = random() % 4 != 0;
        rules.SuddenDeath = random() % 3 == 0;
        Second = int64_t(random());
        StartMatch(rules, int32_t(random() & 1));
        ExpectRestoredTableAgrees();
        for (int32_t turn = 0; turn < 60 && Game->InProgress; ++turn) {
            TPosition position = PositionFromGame(Game->Match());
            const std::vector<TPlacementMove> moves = position.LegalMoves();
            ASSERT_FALSE(moves.empty());
            const TPlacementMove move = moves[random() % moves.size()];
            const int32_t before = position.Owned(position.Turn());
            position.Make(move);
            const size_t replaysBefore = Game->Match().Script.RedealSeeds.size();
            // A Sudden Death replay is dealt from the second it starts in.
            Second += 1 + int64_t(random() % 3);
            PlayByKeys(move);
            ++placements;
            if (Game->Match().Script.RedealSeeds.size() == replaysBefore) {
                captures += position.Owned(1 - position.Turn()) != before;
                ASSERT_EQ(PositionDifferences(position), "") << "match " << match << " turn " << turn;
            } else {
                ++replays;
            }
            ASSERT_NO_FATAL_FAILURE(ExpectRestoredTableAgrees()) << "match " << match << " turn " << turn;
        }
    }
    EXPECT_GE(placements, 3600);
    EXPECT_GT(captures, placements / 4);
    EXPECT_GT(replays, 5);
}

// A script that asks for a placement the rules refuse stops there, says why,
// and leaves the match as it stood before it.
TEST(RulesScript, RefusesWhatTheRulesRefuse) {
    TCardList catalogue;
    for (int32_t i = 0; i < 12; ++i) catalogue.Cards.push_back({{1 + i % 10, 2, 3 + i % 7, 4}, i % 9});
    TMatchScript script;
    script.Seed = 77;
    script.Moves = {{4, 0, 0}, {4, 1, 0}};

    struct TCase {
        TPlacementMove Move;
        const char* Refusal;
    };
    const TCase cases[] = {
        {{4, 0, 0}, "placement 3: that square is taken"},
        {{0, 2, 2}, "placement 3: that hand slot is empty"},
        {{5, 2, 2}, "placement 3: that hand slot does not exist"},
        {{4, 3, 0}, "placement 3: that square is off the board"},
        {{4, 0, -1}, "placement 3: that square is off the board"},
    };
    TMatch before;
    std::string refusal;
    ASSERT_TRUE(ReplayScript(script, catalogue, before, refusal));
    for (const TCase& c : cases) {
        TMatchScript bad = script;
        bad.Moves.push_back(c.Move);
        TMatch match;
        EXPECT_FALSE(ReplayScript(bad, catalogue, match, refusal));
        EXPECT_EQ(refusal, c.Refusal);
        EXPECT_EQ(TableDigest(match.Table()), TableDigest(before.Table()));
        // Asking for the prefix alone replays it.
        EXPECT_TRUE(ReplayScript(bad, catalogue, match, refusal, 2));
        EXPECT_EQ(TableDigest(match.Table()), TableDigest(before.Table()));
    }

    // A finished match takes no tenth card; the first player must be a player.
    TMatchScript full = script;
    full.Moves.clear();
    for (int32_t square = 0; square < 10; ++square) full.Moves.push_back({4, square % 3, square / 3});
    TMatch match;
    EXPECT_FALSE(ReplayScript(full, catalogue, match, refusal));
    EXPECT_EQ(refusal, "placement 10: no match is in progress");
    EXPECT_TRUE(match.GameOver());
    script.FirstPlayer = 2;
    EXPECT_FALSE(ReplayScript(script, catalogue, match, refusal));
    script.FirstPlayer = 0;
    EXPECT_FALSE(ReplayScript(script, TCardList(), match, refusal));
}

// Peers of earlier versions compare this digest after every placement.
TEST(RulesScript, TableDigestKeepsItsValue) {
    TTableState table;
    table.InProgress = true;
    table.Turn = 1;
    table.Score[0] = 6;
    table.Score[1] = 4;
    for (int32_t i = 0; i < 9; ++i) {
        table.Board[i / 3][i % 3] = {i % 4 == 3 ? -1 : 100 + 7 * i, i % 2};
        table.Elements[i / 3][i % 3] = i % 3 == 0 ? i / 3 + 1 : 0;
    }
    for (int32_t slot = 0; slot < 5; ++slot) {
        table.Hands[slot][0] = slot < 3 ? -1 : 20 + slot;
        table.Hands[slot][1] = slot < 4 ? -1 : 109;
    }
    EXPECT_EQ(TableDigest(table), 0x6AD310F5u);
}

} // namespace
