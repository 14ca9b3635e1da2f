#pragma once

#include <array>
#include <cstdint>

// What the rules read of a card: its four edge ranks (0 top, 1 right,
// 2 bottom, 3 left) and its element (0 none, 1 to 8).
struct TCardValues {
    std::array<int32_t, 4> Ranks{};
    int32_t Element = 0;

    friend bool operator==(const TCardValues&, const TCardValues&) = default;
};
