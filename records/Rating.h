#pragma once

// A player's Glicko-2 rating on the familiar scale: the rating, its
// deviation (how uncertain it is) and the volatility (how erratic the
// player's results are). A new player starts at 1500 ± 350.
struct TRating {
    double Rating = 1500.0;
    double Deviation = 350.0;
    double Volatility = 0.06;

    friend bool operator==(const TRating&, const TRating&) = default;
};

// One rated match of a rating period, seen from the player being rated:
// the opponent's rating before the period and the score (1 win, 0.5 draw,
// 0 loss).
struct TRatedResult {
    TRating Opponent;
    double Score = 0.0;
};
