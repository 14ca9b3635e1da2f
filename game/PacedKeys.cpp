#include "game/PacedKeys.h"

#include "game/Game.h"

void TPacedKeys::Start(std::vector<uint16_t> keys, uint32_t stepMs, uint64_t nowMs) {
    Keys.assign(keys.begin(), keys.end());
    StepMs = stepMs;
    DueMs = nowMs + stepMs;
}

void TPacedKeys::Cancel() {
    Keys.clear();
}

bool TPacedKeys::Step(TGame& game, uint64_t nowMs) {
    if (Keys.empty() || nowMs < DueMs) return false;
    if (!game.InProgress || game.Phase != TGame::PhaseIdle) {
        // Held back rather than dropped; the pause starts again once the table is still.
        DueMs = nowMs + StepMs;
        return false;
    }
    uint16_t key = Keys.front();
    Keys.pop_front();
    game.KeyDown(key);
    DueMs = nowMs + StepMs;
    return true;
}
