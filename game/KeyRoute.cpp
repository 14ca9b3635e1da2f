#include "game/KeyRoute.h"

#include "game/Game.h"
#include "game/KeyCodes.h"

namespace {

bool OnBoard(int32_t x, int32_t y) {
    return x >= 0 && x < 3 && y >= 0 && y < 3;
}

// Where Enter from the hand puts the board cursor: the first empty square in
// reading order, or nowhere new on a full board.
void FirstEmptySquare(const TGame& game, int32_t& x, int32_t& y) {
    for (int32_t square = 0; square < 9; ++square)
        if (game.Board[square / 3][square % 3].Card == -1) {
            x = square % 3;
            y = square / 3;
            return;
        }
}

void Repeat(std::vector<uint16_t>& keys, uint16_t key, int32_t count) {
    for (int32_t i = 0; i < count; ++i) keys.push_back(key);
}

} // namespace

std::vector<uint16_t> KeysToSelectSlot(const TGame& game, int32_t slot) {
    std::vector<uint16_t> keys;
    if (slot < 0 || slot > 4 || game.Turn < 0 || game.Turn > 1) return keys;
    if (game.Hands[slot][game.Turn] == -1) return keys;
    if (game.BoardCursorActive) keys.push_back(VK_ESCAPE);
    const int32_t from = game.HandCursor;
    if (slot < from)
        Repeat(keys, VK_UP, from - slot);
    else
        Repeat(keys, VK_DOWN, slot - from);
    return keys;
}

std::vector<uint16_t> KeysToSquare(const TGame& game, int32_t x, int32_t y) {
    std::vector<uint16_t> keys;
    if (!OnBoard(x, y)) return keys;
    int32_t atX = game.BoardCursorX, atY = game.BoardCursorY;
    if (!game.BoardCursorActive) {
        keys.push_back(VK_RETURN);
        FirstEmptySquare(game, atX, atY);
    }
    Repeat(keys, x < atX ? VK_LEFT : VK_RIGHT, x < atX ? atX - x : x - atX);
    Repeat(keys, y < atY ? VK_UP : VK_DOWN, y < atY ? atY - y : y - atY);
    return keys;
}

std::vector<uint16_t> KeysToPlay(const TGame& game, int32_t slot, int32_t x, int32_t y) {
    if (!OnBoard(x, y) || game.Board[y][x].Card != -1) return {};
    if (slot < 0 || slot > 4 || game.Turn < 0 || game.Turn > 1 || game.Hands[slot][game.Turn] == -1)
        return {};
    std::vector<uint16_t> keys = KeysToSelectSlot(game, slot);
    // After the selection the game is back in the hand, so the walk starts
    // with Enter from the first empty square.
    int32_t atX = game.BoardCursorX, atY = game.BoardCursorY;
    FirstEmptySquare(game, atX, atY);
    keys.push_back(VK_RETURN);
    Repeat(keys, x < atX ? VK_LEFT : VK_RIGHT, x < atX ? atX - x : x - atX);
    Repeat(keys, y < atY ? VK_UP : VK_DOWN, y < atY ? atY - y : y - atY);
    keys.push_back(VK_RETURN);
    return keys;
}
