#include "AiMatchFixture.h"
#include "ai/GamePosition.h"

#include <sstream>

namespace {

class AiPositionAgreement : public TAiMatchFixture {
protected:
    void SetUp() override {
        TAiMatchFixture::SetUp();
        AddCatalogue(11);
    }

    bool SameCard(const TPosition& position, int32_t setupCard, int32_t catalogueCard) const {
        if (setupCard < 0 || catalogueCard < 0) return setupCard < 0 && catalogueCard < 0;
        const TCardInfo& info = Game->Cards->CardTable[catalogueCard];
        return position.CardInfo(setupCard).Ranks == info.Ranks &&
               position.CardInfo(setupCard).Element == info.Element;
    }

    // Empty when the search position shows exactly what the match shows.
    std::string Differences(const TPosition& position) const {
        std::ostringstream why;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                const TOwnedCard& square = Game->Board[y][x];
                if (!SameCard(position, position.CardAt(x, y), square.Card))
                    why << "card on " << x << "," << y << " differs; ";
                else if (square.Card >= 0 && square.Owner != position.OwnerAt(x, y))
                    why << "owner of " << x << "," << y << " differs; ";
            }
        for (int32_t player = 0; player < 2; ++player) {
            if (position.Owned(player) != Game->Score[player])
                why << "player " << player << " owns " << position.Owned(player) << ", the match scores "
                    << Game->Score[player] << "; ";
            for (int32_t slot = 0; slot < 5; ++slot)
                if (!SameCard(position, position.HandCard(slot, player), Game->Hands[slot][player]))
                    why << "hand " << player << " slot " << slot << " differs; ";
        }
        if (position.Turn() != Game->Turn) why << "turn differs; ";
        return why.str();
    }
};

// Every placement of many random matches: the search position's own capture
// step against the match's animated one, board and scores after all flips.
TEST_F(AiPositionAgreement, PlacementsCaptureWhatTheMatchCaptures) {
    std::mt19937 random(4242);
    int32_t placements = 0, captures = 0;
    for (int32_t match = 0; match < 1150; ++match) {
        StartRandomMatch(random);
        TPosition position = PositionFromGame(*Game);
        for (int32_t turn = 0; turn < 9; ++turn) {
            const std::vector<TMove> moves = position.LegalMoves();
            ASSERT_FALSE(moves.empty());
            const TMove move = moves[random() % moves.size()];
            const int32_t before = position.Owned(position.Turn());
            position.Make(move);
            captures += position.Owned(1 - position.Turn()) != before;
            PlayByKeys(move);
            ++placements;
            const std::string differences = Differences(position);
            ASSERT_TRUE(differences.empty()) << "match " << match << " turn " << turn << ": " << differences;
        }
        ASSERT_TRUE(Game->GameOver);
    }
    EXPECT_GE(placements, 10000);
    EXPECT_GT(captures, placements / 4);
}

} // namespace
