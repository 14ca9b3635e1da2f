#pragma once

#include <cstdint>

// How long a Sudden Death chain may run. A server ends a match that reaches
// it as a draw, its clients refuse a longer one, and a match record holds no
// more: all three read these, so none of them sends what another refuses.
namespace MatchLimits {

inline constexpr int32_t MaxDeals = 64; // the first deal and its Sudden Death replays
inline constexpr int32_t MaxMoves = 9 * MaxDeals;

} // namespace MatchLimits
