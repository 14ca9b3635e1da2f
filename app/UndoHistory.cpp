#include "app/UndoHistory.h"

#include "game/Game.h"
#include "rules/Match.h"

#include <algorithm>

TUndoHistory::TUndoHistory(TGame& game) : Game(game) {}

bool TUndoHistory::TableFollowsFull() const {
    const TMatchScript& table = Game.Match().Script;
    return table.Seed == Full.Seed && table.Rules == Full.Rules && table.FirstPlayer == Full.FirstPlayer &&
           table.Moves.size() <= Full.Moves.size() &&
           std::equal(table.Moves.begin(), table.Moves.end(), Full.Moves.begin()) &&
           table.RedealSeeds.size() <= Full.RedealSeeds.size() &&
           std::equal(table.RedealSeeds.begin(), table.RedealSeeds.end(), Full.RedealSeeds.begin());
}

void TUndoHistory::Take(const TTableEvent& event) {
    if (event.Kind == TTableEvent::TKind::Dealt) {
        Undone.clear();
        DealCursorX = Game.BoardCursorX;
        DealCursorY = Game.BoardCursorY;
    }
    if (!Undone.empty() && !TableFollowsFull()) Undone.clear();
}

std::optional<size_t> TUndoHistory::UndoCount(int32_t person) const {
    const size_t made = Game.Match().Script.Moves.size();
    if (made == 0 || !Game.Match().Catalogue) return std::nullopt;
    if (person < 0) return 1;
    // The player to move after each shorter script, found by replaying it.
    for (size_t keep = made; keep-- > 0;) {
        TMatch replayed;
        std::string refusal;
        if (!ReplayScript(Game.Match().Script, *Game.Match().Catalogue, replayed, refusal, int64_t(keep)))
            return std::nullopt;
        if (replayed.InProgress() && replayed.Turn == person) return made - keep;
    }
    return std::nullopt;
}

bool TUndoHistory::RestoreAfter(size_t moves, QString& why) {
    TMatch replayed;
    std::string refusal;
    if (!Game.Match().Catalogue ||
        !ReplayScript(Full, *Game.Match().Catalogue, replayed, refusal, int64_t(moves))) {
        why = QString::fromStdString(refusal);
        return false;
    }
    Game.RestoreMatch(replayed);
    if (moves == 0) {
        Game.BoardCursorX = DealCursorX;
        Game.BoardCursorY = DealCursorY;
    }
    return true;
}

bool TUndoHistory::Undo(int32_t person, QString& why) {
    const std::optional<size_t> count = UndoCount(person);
    if (!count) {
        why = QStringLiteral("there is no placement of yours to take back");
        return false;
    }
    if (Undone.empty() || !TableFollowsFull()) {
        Undone.clear();
        Full = Game.Match().Script;
    }
    if (!RestoreAfter(Game.Match().Script.Moves.size() - *count, why)) return false;
    Undone.push_back(*count);
    return true;
}

bool TUndoHistory::Redo(QString& why) {
    if (Undone.empty() || !TableFollowsFull()) {
        why = QStringLiteral("there is nothing to put back");
        return false;
    }
    if (!RestoreAfter(Game.Match().Script.Moves.size() + Undone.back(), why)) return false;
    Undone.pop_back();
    return true;
}
