#pragma once

#include "game/TableEvent.h"
#include "rules/MatchScript.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class TGame;

// Edit › Undo and Redo. A match is decided by its script (seed, rules, first
// player, placements), so taking placements back is replaying the script
// without its last ones, with nothing shown, and letting the table take the
// result over; redo replays them again. The match itself never learns of it.
class TUndoHistory {
public:
    explicit TUndoHistory(TGame& game);

    // A new deal, or a placement other than the next one redo would put
    // back, forgets what redo could do.
    void Take(const TTableEvent& event);

    // How many of the table's placements one undo takes back: back to the
    // last time `person` was to move, at least one placement (-1: any player,
    // one placement). Nothing when there is none to take back.
    std::optional<size_t> UndoCount(int32_t person) const;
    bool CanRedo() const { return !Undone.empty(); }

    // Takes placements back or puts them back; false (and nothing changes)
    // when there is nothing to do or the script would not replay, with the
    // reason in `why`.
    bool Undo(int32_t person, QString& why);
    bool Redo(QString& why);

private:
    bool RestoreAfter(size_t moves, QString& why);
    bool TableFollowsFull() const;

    TGame& Game;
    // The longest script of this deal: the table's own placements, then the
    // ones undo took back.
    TMatchScript Full;
    // The size of each undo still to be redone, the latest last.
    std::vector<size_t> Undone;
    // Where the board cursor stood when the match was dealt: a placement
    // moves it, so going back to no placement at all puts it back there.
    int32_t DealCursorX = 0;
    int32_t DealCursorY = 0;
};
