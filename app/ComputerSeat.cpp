#include "app/ComputerSeat.h"

#include "ai/ComputerPlayer.h"
#include "ai/GamePosition.h"
#include "game/Game.h"
#include "game/KeyRoute.h"

TComputerSeat::TComputerSeat(TGame& game) : Game(game) {}

void TComputerSeat::Seat(int32_t player, TLevel level) {
    Cancel();
    SeatedPlayer = player;
    Level = level;
}

bool TComputerSeat::HoldsTurn() const {
    return SeatedPlayer >= 0 && Game.InProgress && Game.Turn == SeatedPlayer;
}

void TComputerSeat::Cancel() {
    Search.Cancel();
    Search.TakeResult();
    Walk.Cancel();
    Searching = false;
}

void TComputerSeat::Step(uint64_t nowMs) {
    if (SeatedPlayer < 0) return;
    if (!Game.InProgress) {
        if (Searching || Walk.Busy()) Cancel();
        return;
    }
    if (Walk.Busy()) {
        Walk.Step(Game, nowMs);
        return;
    }
    if (Game.Phase != TGame::PhaseIdle || Game.Turn != SeatedPlayer) return;

    if (!Searching) {
        // The worker gets its own copy of the position; it never touches the game.
        const TPosition position = PositionFromGame(Game);
        const TLevel level = Level;
        const uint64_t seed = nowMs;
        Search.Start([position, level, seed](const std::atomic<bool>& cancel) {
            TSearchResult result;
            result.Move = ChooseMove(position, level, seed, &cancel);
            return result;
        });
        Searching = true;
        return;
    }
    std::optional<TSearchResult> result = Search.TakeResult();
    if (!result) return;
    Searching = false;
    if (!result->Move) return;
    const TMove move = *result->Move;
    Walk.Start(KeysToPlay(Game, move.Slot, move.X, move.Y), StepMs, nowMs);
}
