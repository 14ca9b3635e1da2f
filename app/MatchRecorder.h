#pragma once

#include "app/GameType.h"
#include "app/Statistics.h"

#include <cstdint>
#include <functional>

class TGame;

// Who sat at the table when a match was dealt: the game type, the computer's
// level, and the player whose results count (the person against the
// computer, this computer's colour in network play, Blue at one keyboard).
struct TMatchSeat {
    TGameType Type = TGameType::HotSeat;
    TLevel Level = TLevel::Normal;
    int32_t Person = 1;
};

// Tells when a match has ended and how, for the statistics. Like the log, it
// looks at the game after every frame and command and reads the changes from
// its state; the match itself knows nothing of it. A Sudden Death replay
// belongs to the match it replays, and a match stopped before its ninth card
// (the other player left) has no result.
class TMatchRecorder {
public:
    using TSeatOf = std::function<TMatchSeat()>;
    using TEnded = std::function<void(const TMatchSeat&, TMatchResult, bool undoUsed, bool hintUsed)>;

    TMatchRecorder(TSeatOf seatOf, TEnded ended);

    void Observe(const TGame& game);
    // A placement of the running match was taken back, or a hint asked for.
    void NoteUndo() { UndoUsed = true; }
    void NoteHint() { HintUsed = true; }

private:
    TSeatOf SeatOf;
    TEnded Ended;
    TMatchSeat Seat;
    bool UndoUsed = false;
    bool HintUsed = false;
    bool WasInProgress = false;
    bool WasOver = false;
    uint8_t LastPhase = 0;
};
