#include "app/MatchRecorder.h"

TMatchRecorder::TMatchRecorder(TEnded ended) : Ended(std::move(ended)) {}

void TMatchRecorder::Take(const TTableEvent& event) {
    if (event.Kind == TTableEvent::TKind::Dealt) {
        UndoUsed = false;
        HintUsed = false;
    }
    if (event.Kind != TTableEvent::TKind::Ended) return;
    // The seats the match ends with count: a table taken over from a server
    // after a dropped line was never dealt here.
    if (!event.Seats.Offers().Records || !Ended) return;
    const int32_t person = event.Seats.Person == 0 ? 0 : 1;
    if (event.How == TTableEvent::THow::Stopped) {
        // Stopped early, only a server's decision with a winner is a result.
        const bool decided = event.Decision == TTableEvent::TDecision::Time ||
                             event.Decision == TTableEvent::TDecision::Forfeit;
        if (!decided || event.Winner < 0) return;
        Ended(event.Seats, event.Winner == person ? TMatchResult::Win : TMatchResult::Loss, UndoUsed,
              HintUsed);
        return;
    }
    const int32_t mine = event.Score[person], theirs = event.Score[1 - person];
    Ended(event.Seats,
          mine > theirs   ? TMatchResult::Win
          : mine < theirs ? TMatchResult::Loss
                          : TMatchResult::Draw,
          UndoUsed, HintUsed);
}
