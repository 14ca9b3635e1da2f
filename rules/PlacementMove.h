#pragma once

#include <cstdint>

// One placement as the player to move makes it: the hand slot (0 to 4, as in
// Hands[slot][player]) and the square, column X and row Y. The rules, the
// solver, records and both ends of the wire all speak it.
struct TPlacementMove {
    int32_t Slot = -1;
    int32_t X = -1;
    int32_t Y = -1;

    friend bool operator==(const TPlacementMove&, const TPlacementMove&) = default;
};
