#include "app/ComputerSeat.h"

#include "ai/ComputerPlayer.h"
#include "ai/GamePosition.h"
#include "game/Game.h"
#include "game/KeyRoute.h"

#include <exception>

TComputerSeat::TComputerSeat(TGame& game, TLogSink log, TThreadStarter starter)
    : Game(game), Log(std::move(log)), Search(std::move(starter)) {}

void TComputerSeat::Seat(int32_t player, TLevel level) {
    Cancel();
    SeatedPlayer = player;
    Level = level;
    FailureReported = false;
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
        const TPosition position = PositionFromGame(Game.Match());
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
    if (!result->Error.empty()) {
        // The match goes on: the computer still moves, only less well.
        // Said once: a system without threads to give fails every move alike.
        if (Log && !FailureReported)
            Log(QString("The computer could not think this move through (%1); it plays an easy move.")
                    .arg(QString::fromStdString(result->Error)));
        FailureReported = true;
        result->Move = FallbackMove(nowMs);
    }
    if (!result->Move) return;
    const TPlacementMove move = *result->Move;
    Walk.Start(KeysToPlay(Game, move.Slot, move.X, move.Y), StepMs, nowMs);
}

std::optional<TPlacementMove> TComputerSeat::FallbackMove(uint64_t seed) const {
    try {
        if (std::optional<TPlacementMove> move =
                ChooseMove(PositionFromGame(Game.Match()), TLevel::Easy, seed))
            return move;
    } catch (const std::exception&) {
        // Even that failed: the first legal move below still keeps the match going.
    }
    for (int32_t slot = 0; slot < 5; ++slot) {
        if (Game.Hands[slot][SeatedPlayer] == -1) continue;
        for (int32_t square = 0; square < 9; ++square)
            if (Game.Board[square / 3][square % 3].Card == -1)
                return TPlacementMove{slot, square % 3, square / 3};
    }
    return std::nullopt;
}
