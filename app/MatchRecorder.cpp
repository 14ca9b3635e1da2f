#include "app/MatchRecorder.h"

#include "game/Game.h"

TMatchRecorder::TMatchRecorder(TSeatOf seatOf, TEnded ended) : SeatOf(std::move(seatOf)), Ended(std::move(ended)) {}

void TMatchRecorder::Observe(const TGame& game) {
    const bool dealing = game.InProgress && game.Phase == TGame::PhaseDealing;
    const bool wasDealing = WasInProgress && LastPhase == TGame::PhaseDealing;
    // New Game is refused while a card moves, so a deal straight after a
    // flight or a flip is the Sudden Death replay of the same match.
    const bool replay = WasInProgress && (LastPhase == TGame::PhaseFlight || LastPhase == TGame::PhaseFlipping);
    if (dealing && !wasDealing && !replay) {
        Seat = SeatOf ? SeatOf() : TMatchSeat{};
        UndoUsed = false;
        HintUsed = false;
    }
    if (game.GameOver && !game.InProgress && !WasOver) {
        bool full = true;
        for (const auto& row : game.Board)
            for (const TOwnedCard& square : row) full = full && square.Card != -1;
        const int32_t person = Seat.Person == 0 ? 0 : 1;
        const int32_t mine = game.Score[person], theirs = game.Score[1 - person];
        const TMatchResult result =
            mine > theirs ? TMatchResult::Win : mine < theirs ? TMatchResult::Loss : TMatchResult::Draw;
        if (full && Ended) Ended(Seat, result, UndoUsed, HintUsed);
    }
    WasInProgress = game.InProgress;
    WasOver = game.GameOver;
    LastPhase = game.Phase;
}
