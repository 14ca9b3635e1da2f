#pragma once

#include "records/Rating.h"

#include <cstdint>
#include <vector>

// Glicko-2 rating periods. Every result of a period is judged against the
// ratings the players held when the period began, so a period's updates
// never depend on the order in which they are worked out.
class TGlicko2 {
public:
    // A deviation never grows past a new player's, however long the absence.
    static constexpr double MaxDeviation = 350.0;

    // Tau limits how fast the volatility moves; 0.3 to 1.2 are sensible,
    // smaller for games with fewer surprises.
    explicit TGlicko2(double tau = 0.5) : Tau(tau) {}

    // The player's rating after one period with these results; no results
    // only widens the deviation.
    TRating Update(const TRating& player, const std::vector<TRatedResult>& results) const;
    // One match as one rating period for both players, each judged against
    // the other's rating from before it: winner is a seat, or -1 for a draw.
    void UpdateMatch(const TRating before[2], int32_t winner, TRating after[2]) const;

private:
    double NewVolatility(double phi, double sigma, double delta, double v) const;

    double Tau;
};
