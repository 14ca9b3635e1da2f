#pragma once

#include <algorithm>
#include <cstdint>

// A rectangle in whole pixels: left and top inside, right and bottom just outside.
// Its size is measured in 64 bits: a rectangle from the lowest 32-bit
// coordinate to the highest is wider than a 32-bit number holds.
struct TRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int64_t Width() const { return int64_t(right) - left; }
    int64_t Height() const { return int64_t(bottom) - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }

    TRect Intersected(const TRect& other) const {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }

    friend bool operator==(const TRect&, const TRect&) = default;
};
