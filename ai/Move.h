#pragma once

#include <cstdint>

// One placement as the player to move makes it: the hand slot (as in
// TGame::Hands[Slot][player], 0 to 4) and the square, column X and row Y.
struct TMove {
    int32_t Slot = -1;
    int32_t X = -1;
    int32_t Y = -1;

    friend bool operator==(const TMove&, const TMove&) = default;
};
