#include "app/MatchRecorder.h"

TMatchRecorder::TMatchRecorder(TEnded ended) : Ended(std::move(ended)) {}

void TMatchRecorder::Take(const TTableEvent& event) {
    if (event.Kind == TTableEvent::TKind::Dealt) {
        UndoUsed = false;
        HintUsed = false;
    }
    if (event.Kind != TTableEvent::TKind::Ended || event.How != TTableEvent::THow::Finished) return;
    if (!event.Seats.Offers().Records || !Ended) return;
    const int32_t person = event.Seats.Person == 0 ? 0 : 1;
    const int32_t mine = event.Score[person], theirs = event.Score[1 - person];
    Ended(event.Seats,
          mine > theirs   ? TMatchResult::Win
          : mine < theirs ? TMatchResult::Loss
                          : TMatchResult::Draw,
          UndoUsed, HintUsed);
}
