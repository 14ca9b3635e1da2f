#include "records/Glicko2.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

TEST(RecordsGlicko, WorkedExampleOfThePaper) {
    const TRating player{1500, 200, 0.06};
    const std::vector<TRatedResult> results = {
        {{1400, 30, 0.06}, 1.0}, {{1550, 100, 0.06}, 0.0}, {{1700, 300, 0.06}, 0.0}};
    const TRating after = TGlicko2(0.5).Update(player, results);
    // The paper rounds its intermediate steps; worked through unrounded the
    // same period gives 1464.0507, 151.5165 and 0.0599960.
    EXPECT_NEAR(after.Rating, 1464.06, 0.01);
    EXPECT_NEAR(after.Deviation, 151.52, 0.005);
    EXPECT_NEAR(after.Volatility, 0.05999, 0.00001);
    EXPECT_NEAR(after.Rating, 1464.0507, 0.0001);
    EXPECT_NEAR(after.Volatility, 0.0599960, 0.0000001);
}

TEST(RecordsGlicko, APeriodWithoutGamesWidensTheDeviationUpToANewPlayers) {
    const TGlicko2 glicko;
    EXPECT_EQ(TRating().Rating, 1500);
    EXPECT_EQ(TRating().Deviation, 350);
    TRating player{1720, 50, 0.06};
    double last = player.Deviation;
    for (int period = 0; period < 2000; ++period) {
        player = glicko.Update(player, {});
        EXPECT_EQ(player.Rating, 1720);
        EXPECT_EQ(player.Volatility, 0.06);
        EXPECT_GE(player.Deviation, last);
        last = player.Deviation;
    }
    EXPECT_NEAR(glicko.Update({1720, 50, 0.06}, {}).Deviation,
                173.7178 * std::sqrt(std::pow(50 / 173.7178, 2) + 0.06 * 0.06), 1e-9);
    EXPECT_EQ(player.Deviation, TGlicko2::MaxDeviation);
}

// Over a grid of players and opponents: a win never lowers a rating, a loss
// never raises it, beating a stronger opponent gains more than beating a
// weaker one.
TEST(RecordsGlicko, ResultsMoveRatingsTheWayTheyShould) {
    const TGlicko2 glicko;
    for (double rating : {1000.0, 1500.0, 2200.0})
        for (double deviation : {30.0, 200.0, 350.0})
            for (double opponentRating : {900.0, 1500.0, 2400.0}) {
                SCOPED_TRACE(testing::Message() << rating << " ± " << deviation << " against " << opponentRating);
                const TRating player{rating, deviation, 0.06};
                const TRating opponent{opponentRating, 80, 0.06};
                const TRating won = glicko.Update(player, {{opponent, 1.0}});
                const TRating drew = glicko.Update(player, {{opponent, 0.5}});
                const TRating lost = glicko.Update(player, {{opponent, 0.0}});
                EXPECT_GT(won.Rating, player.Rating);
                EXPECT_LT(lost.Rating, player.Rating);
                EXPECT_GT(won.Rating, drew.Rating);
                EXPECT_GT(drew.Rating, lost.Rating);
                // A draw moves the rating toward the opponent's.
                EXPECT_EQ(drew.Rating > player.Rating, opponentRating > rating);
                const TRating stronger{opponentRating + 200, 80, 0.06};
                EXPECT_GT(glicko.Update(player, {{stronger, 1.0}}).Rating, won.Rating);
                EXPECT_GT(won.Volatility, 0.0);
                const double expected = TGlicko2::ExpectedScore(player, opponent);
                EXPECT_EQ(expected > 0.5, rating > opponentRating);
            }
}

} // namespace
