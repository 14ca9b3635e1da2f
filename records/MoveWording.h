#pragma once

#include <cstdint>
#include <string>

// How the side window and the analysis name squares, players and results,
// shared by the hint and the review.
namespace MoveWording {

// "top-left", "centre", "bottom" ...; empty off the board.
std::string SquareName(int32_t x, int32_t y);
// "Red" for player 0, "Blue" for player 1.
std::string PlayerName(int32_t player);
// "6–4": the first count is the side the sentence speaks of.
std::string Result(int32_t mine);

} // namespace MoveWording
