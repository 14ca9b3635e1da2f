#pragma once

#include "app/Statistics.h"
#include "game/TableEvent.h"

#include <functional>

// Tells when a match has ended and how, for the statistics. A Sudden Death
// replay belongs to the match it replays; a match stopped before its ninth
// card has a result only when a server decided one (time, forfeit).
class TMatchRecorder {
public:
    using TEnded = std::function<void(const TSeats&, TMatchResult, bool undoUsed, bool hintUsed)>;

    explicit TMatchRecorder(TEnded ended);

    void Take(const TTableEvent& event);
    // A placement of the running match was taken back, or a hint asked for.
    void NoteUndo() { UndoUsed = true; }
    void NoteHint() { HintUsed = true; }

private:
    TEnded Ended;
    bool UndoUsed = false;
    bool HintUsed = false;
};
