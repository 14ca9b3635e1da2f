#pragma once

#include "rules/OwnedCard.h"

#include <cstdint>

// The cards one rule takes for one placement or one combo step: squares with
// the captured card and its new owner, in the order they were found. A card
// has four sides, so four entries always suffice.
struct TCaptureGroup {
    static constexpr int32_t Capacity = 4;

    // Refuses an entry beyond the capacity rather than writing past the arrays.
    bool Append(int32_t x, int32_t y, const TOwnedCard& taken) {
        if (Count < 0 || Count >= Capacity) return false;
        Xs[Count] = x;
        Ys[Count] = y;
        Taken[Count] = taken;
        ++Count;
        return true;
    }

    int32_t Xs[Capacity]{};
    int32_t Ys[Capacity]{};
    int32_t Count = 0;
    TOwnedCard Taken[Capacity];
};
