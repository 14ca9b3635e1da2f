#include "records/Glicko2.h"

#include <cmath>
#include <gtest/gtest.h>

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

    // A run of upsets by a settled player takes the volatility search's other
    // opening: the rating climbs and the volatility grows.
    const std::vector<TRatedResult> upsets(10, {{2300, 50, 0.06}, 1.0});
    const TRating surprised = TGlicko2(0.5).Update({1500, 50, 0.06}, upsets);
    EXPECT_GT(surprised.Rating, 1600);
    EXPECT_GT(surprised.Volatility, 0.06);
    EXPECT_LT(surprised.Volatility, 1.0);
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

} // namespace
