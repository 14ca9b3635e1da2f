#include "app/ReplayView.h"

#include "ai/RecordReplay.h"
#include "game/Game.h"
#include "game/KeyRoute.h"

#include <QDateTime>
#include <algorithm>

TReplayView::TReplayView(TGame& game) : Game(game) {}

bool TReplayView::Open(const TMatchRecord& record, std::string& problem) {
    if (!Game.Match().Catalogue || !Game.Cards) {
        problem = "the cards are not loaded";
        return false;
    }
    if (Game.Phase != TGame::PhaseIdle) {
        problem = "cards are still moving on the table";
        return false;
    }
    // The whole record must replay before the table is given up for it.
    TMatchScript script = ScriptOf(record);
    TMatch replayed;
    if (!ReplayScript(script, *Game.Match().Catalogue, replayed, problem)) return false;
    if (!IsActive) {
        Kept = Game.Match();
        KeptSeats = Game.Seats();
        Game.SeatPlayers(TSeats{TSeating::Replay, -1});
        KeptHandCursor = Game.HandCursor;
        KeptBoardCursorActive = Game.BoardCursorActive;
        KeptBoardCursorX = Game.BoardCursorX;
        KeptBoardCursorY = Game.BoardCursorY;
    }
    IsActive = true;
    Opened = record;
    Script = std::move(script);
    ShowAfter(0);
    return true;
}

void TReplayView::Leave() {
    if (!IsActive) return;
    Walk.Cancel();
    IsPlaying = false;
    IsActive = false;
    Game.LiftedSlot = -1;
    Game.RestoreMatch(Kept);
    Game.SeatPlayers(KeptSeats);
    Game.HandCursor = KeptHandCursor;
    Game.BoardCursorActive = KeptBoardCursorActive;
    Game.BoardCursorX = KeptBoardCursorX;
    Game.BoardCursorY = KeptBoardCursorY;
    Game.RedrawEnded();
}

void TReplayView::RestoreAfter(int32_t moves) {
    Placed = std::clamp(moves, 0, Count());
    TMatch replayed;
    std::string refusal;
    // Open replayed the whole script, so every shorter part replays too.
    ReplayScript(Script, *Game.Match().Catalogue, replayed, refusal, Placed);
    Game.RestoreMatch(replayed);
    Game.RedrawEnded();
}

void TReplayView::ShowAfter(int32_t moves) {
    if (!IsActive) return;
    Walk.Cancel();
    IsPlaying = false;
    RestoreAfter(moves);
}

void TReplayView::StartPlacement(uint64_t nowMs) {
    const TPlacementMove& move = Script.Moves[size_t(Placed)];
    Walk.Start(KeysToPlay(Game, move.Slot, move.X, move.Y), StepMs, nowMs);
}

void TReplayView::TogglePlay(uint64_t nowMs) {
    if (!IsActive) return;
    if (IsPlaying) {
        // Stopped halfway, the table goes back to the last whole placement.
        ShowAfter(Placed);
        return;
    }
    if (Placed >= Count()) RestoreAfter(0);
    IsPlaying = true;
    StartPlacement(nowMs);
}

void TReplayView::Step(uint64_t nowMs) {
    if (!IsActive || !IsPlaying) return;
    if (Walk.Busy()) {
        Walk.Step(Game, nowMs);
        return;
    }
    const bool placed = Game.Match().Script.Moves.size() > size_t(Placed);
    // A drawn deal is dealt again from the record's own seed, not from today's.
    const bool redealing = placed && Game.Phase == TGame::PhaseDealing;
    if (!redealing && Game.Phase != TGame::PhaseIdle) return;
    if (!placed) {
        // The keys were refused: nothing to follow; show the record as it is.
        ShowAfter(Placed);
        return;
    }
    RestoreAfter(Placed + 1);
    if (Placed >= Count()) {
        IsPlaying = false;
        return;
    }
    StartPlacement(nowMs);
}

QString TReplayView::Title() const {
    const QString when = QDateTime::fromSecsSinceEpoch(Opened.StartTime)
                             .toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return QStringLiteral("%1 vs %2, %3 \u2014 placement %4 of %5")
        .arg(QString::fromStdString(Opened.Players[0]), QString::fromStdString(Opened.Players[1]), when)
        .arg(Placed)
        .arg(Count());
}

QString TReplayView::Heading() const {
    const QString where = QStringLiteral("Replay %1/%2").arg(Placed).arg(Count());
    const QString players =
        QStringLiteral(" \u00b7 %1 vs %2")
            .arg(QString::fromStdString(Opened.Players[0]), QString::fromStdString(Opened.Players[1]));
    // The turn line's box holds about forty characters; the title names long players in full.
    return where.size() + players.size() <= MaxHeadingCharacters ? where + players : where;
}
