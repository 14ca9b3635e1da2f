#include "records/MoveWording.h"

namespace MoveWording {

std::string SquareName(int32_t x, int32_t y) {
    static const char* const names[3][3] = {{"top-left", "top", "top-right"},
                                            {"left", "centre", "right"},
                                            {"bottom-left", "bottom", "bottom-right"}};
    if (x < 0 || x > 2 || y < 0 || y > 2) return std::string();
    return names[y][x];
}

std::string PlayerName(int32_t player) {
    return player == 0 ? "Red" : "Blue";
}

std::string Result(int32_t mine) {
    return std::to_string(mine) + "–" + std::to_string(10 - mine);
}

} // namespace MoveWording
