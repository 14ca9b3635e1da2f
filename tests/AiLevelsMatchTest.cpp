#include "AiMatchFixture.h"
#include "ai/ComputerPlayer.h"
#include "ai/GamePosition.h"
#include "ai/Solver.h"

namespace {

class AiLevelsMatch : public TAiMatchFixture {
protected:
    void SetUp() override {
        TAiMatchFixture::SetUp();
        AddCatalogue(3);
    }
};

// A whole match by keys: a random person as Blue against each level as Red.
// Perfect ends with at least what it could force after Blue's first move.
TEST_F(AiLevelsMatch, EachLevelPlaysAWholeMatchByKeys) {
    std::mt19937 random(8);
    for (const TLevel level : {TLevel::Easy, TLevel::Normal, TLevel::Perfect})
        for (int32_t match = 0; match < 4; ++match) {
            StartRandomMatch(random);
            int32_t forced = -1;
            while (Game->InProgress) {
                const TPosition position = PositionFromGame(Game->Match());
                std::optional<TPlacementMove> move;
                if (Game->Turn == 1) {
                    const std::vector<TPlacementMove> moves = position.LegalMoves();
                    move = moves[random() % moves.size()];
                } else {
                    if (forced < 0) forced = TSolver().SolveBest(position)->Score;
                    move = ChooseMove(position, level, random());
                }
                ASSERT_TRUE(move);
                ASSERT_TRUE(position.IsLegal(*move));
                PlayByKeys(*move);
            }
            ASSERT_TRUE(Game->GameOver);
            EXPECT_EQ(Game->Score[0] + Game->Score[1], 10);
            if (level == TLevel::Perfect) {
                EXPECT_GE(Game->Score[0], forced) << "match " << match;
            }
        }
}

} // namespace
