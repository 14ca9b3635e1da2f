#pragma once

#include <cstdint>
#include <deque>
#include <vector>

class TGame;

// Presses a prepared list of keys one at a time with a pause before each, so
// that a move made by the computer or by a player across the network is seen
// the way a person's is: the hand cursor steps to the card, the board cursor
// walks to the square, then the card flies. Keys wait while the game would
// drop them (during an animation), so none is lost.
class TPacedKeys {
public:
    // Replaces whatever was still waiting. The first key is due `stepMs` after `nowMs`.
    void Start(std::vector<uint16_t> keys, uint32_t stepMs, uint64_t nowMs);
    void Cancel();
    bool Busy() const { return !Keys.empty(); }
    // Presses the next key through the game's own key handling once it is due
    // and the game takes keys. True when a key was pressed.
    bool Step(TGame& game, uint64_t nowMs);

private:
    std::deque<uint16_t> Keys;
    uint32_t StepMs = 0;
    uint64_t DueMs = 0;
};
