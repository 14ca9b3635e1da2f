#pragma once

#include <cstdint>
#include <vector>

class TGame;

// The keys a person would press, from the game's cursors as they stand, to
// reach a choice. Everything that moves for a player (the mouse, the computer,
// a player across the network, a hint) goes through these keys, so it obeys
// exactly the rules the keyboard does. An impossible choice gives no keys.

// From either input mode back to the hand, with the card in `slot` chosen.
std::vector<uint16_t> KeysToSelectSlot(const TGame& game, int32_t slot);
// With a hand card chosen, onto the square: into board mode if need be, then
// the arrows. Occupied squares can be reached too, as with the arrows.
std::vector<uint16_t> KeysToSquare(const TGame& game, int32_t x, int32_t y);
// The whole move: choose the card, walk to the square and play it there.
std::vector<uint16_t> KeysToPlay(const TGame& game, int32_t slot, int32_t x, int32_t y);
