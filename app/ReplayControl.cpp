#include "app/ReplayControl.h"

#include "ai/MatchReview.h"
#include "ai/RecordReplay.h"
#include "ai/SearchThread.h"
#include "app/ChatForm.h"
#include "app/HistoryForm.h"
#include "app/MatchArchive.h"
#include "app/RecordKeeper.h"
#include "app/ReplayBar.h"
#include "app/ReplayView.h"
#include "app/ResultChart.h"
#include "app/SideLog.h"
#include "records/MatchHistory.h"
#include "records/RecordJson.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSaveFile>
#include <QTimer>

namespace {

std::vector<TCardValues> CatalogueOf(const TGame& game) {
    std::vector<TCardValues> cards;
    if (!game.Cards) return cards;
    for (int32_t i = 0; i < game.Cards->NumCards; ++i)
        cards.push_back(static_cast<const TCardValues&>(game.Cards->CardTable[i]));
    return cards;
}

} // namespace

TReplayControl::TReplayControl(TGame& game, QWidget& window, QString historyFolder, QAction* review,
                               QAction* leave, THooks hooks)
    : Game(game), Window(window), ReviewItem(review), LeaveItem(leave), Hooks(std::move(hooks)) {
    if (!historyFolder.isEmpty())
        Keeper = std::make_unique<TRecordKeeper>(historyFolder, &Window, [](const QString& problem) {
            TSideLog::Note(QStringLiteral("The match could not be kept in the history: %1.").arg(problem));
        });
    Archive = std::make_unique<TMatchArchive>(
        [this](const TMatchRecord& record) {
            if (Keeper) Keeper->Add(record);
        },
        [this] { return Hooks.CalendarClock ? Hooks.CalendarClock() : CalendarSeconds(); });
    View = std::make_unique<TReplayView>(Game);
    ReviewSearch = std::make_unique<TSearchThread>();
    if (!Hooks.AskRecordFile)
        Hooks.AskRecordFile = [this](bool save) {
            const QString filter = QStringLiteral("Vantaro match records (*.json);;All files (*)");
            return save ? QFileDialog::getSaveFileName(&Window, "Save Match Record", "vantaro-match.json",
                                                       filter)
                        : QFileDialog::getOpenFileName(&Window, "Open Match Record", QString(), filter);
        };

    TReplayBar::TActions actions;
    const auto command = [this](std::function<void(TReplayView&)> step) {
        return [this, step] {
            if (!Replaying()) return;
            step(*View);
            Hooks.Wake();
            ShowState();
        };
    };
    actions.Start = command([](TReplayView& replay) { replay.ToStart(); });
    actions.Back = command([](TReplayView& replay) { replay.Back(); });
    actions.Forward = command([](TReplayView& replay) { replay.Forward(); });
    actions.End = command([](TReplayView& replay) { replay.ToEnd(); });
    actions.Play = command([this](TReplayView& replay) { replay.TogglePlay(Hooks.FrameClock() / 1000); });
    actions.Review = [this] { ToggleReview(); };
    actions.Leave = [this] { LeaveReplay(); };
    ReplayBar = new TReplayBar(std::move(actions), &Window);
    ReplayBar->hide();

    // A review is collected as soon as it is done, frames running or not.
    ReviewPoll = new QTimer(&Window);
    ReviewPoll->setInterval(50);
    QObject::connect(ReviewPoll, &QTimer::timeout, &Window, [this] { CollectReview(); });
}

TReplayControl::~TReplayControl() {
    // The review ends before the game whose cards it names.
    ReviewSearch.reset();
}

void TReplayControl::Take(const TTableEvent& event) {
    Archive->Take(event);
}

void TReplayControl::KeepServerRecord(const TMatchRecord& record) {
    Archive->KeepServerRecord(record);
}

bool TReplayControl::Replaying() const {
    return View && View->Active();
}

bool TReplayControl::OpenReplay(const TMatchRecord& record, const QString& source) {
    // A match being played cannot wait behind a replay: its clock and the
    // other player go on. Watching, the table is built again on leaving.
    if (const QString busy = Hooks.TableBusy(); !busy.isEmpty()) {
        if (Hooks.Message) Hooks.Message(busy.toStdString());
        return false;
    }
    // Whatever was being worked out belongs to the table being left.
    Hooks.Leaving();
    ReviewSearch->Cancel();
    Game.LiftedSlot = -1;
    std::string problem;
    if (!View->Open(record, problem)) {
        if (Hooks.Message)
            Hooks.Message(QStringLiteral("%1 cannot be replayed: %2.")
                              .arg(source, QString::fromStdString(problem))
                              .toStdString());
        return false;
    }
    Hooks.Handover(true);
    ReplayBar->Chart->SetPoints({});
    if (ChatForm) ChatForm->SetPanel(ReplayBar);
    ReviewItem->setVisible(true);
    LeaveItem->setVisible(true);
    TSideLog::Note(
        QStringLiteral("Replay of %1: Right and Left step, Home and End jump, Space plays on, R reviews, "
                       "Esc leaves.")
            .arg(source));
    Hooks.Wake();
    ShowState();
    return true;
}

void TReplayControl::LeaveReplay() {
    if (!Replaying()) return;
    ReviewSearch->Cancel();
    View->Leave();
    // The watched table as the server has it now.
    Hooks.Handover(false);
    if (ChatForm) ChatForm->SetPanel(nullptr);
    ReviewItem->setVisible(false);
    LeaveItem->setVisible(false);
    Hooks.Wake();
    Hooks.Title();
}

void TReplayControl::Step() {
    View->Step(Hooks.FrameClock() / 1000);
    ShowState();
}

void TReplayControl::ShowState() {
    if (Replaying()) ReplayBar->Show(View->Shown(), View->Count(), View->Playing(), Reviewing());
    Hooks.Title();
}

void TReplayControl::ReplayKey(QKeyEvent* event) {
    const uint64_t nowMs = Hooks.FrameClock() / 1000;
    switch (event->key()) {
    case Qt::Key_Right:
        View->Forward();
        break;
    case Qt::Key_Left:
        View->Back();
        break;
    case Qt::Key_Home:
        View->ToStart();
        break;
    case Qt::Key_End:
        View->ToEnd();
        break;
    case Qt::Key_Space:
        View->TogglePlay(nowMs);
        break;
    case Qt::Key_R:
        ToggleReview();
        break;
    case Qt::Key_Escape:
        LeaveReplay();
        return;
    default:
        return;
    }
    Hooks.Wake();
    ShowState();
}

void TReplayControl::ShowMatchHistory() {
    if (!Keeper) {
        if (Hooks.Message) Hooks.Message("No match history is kept without a settings folder.");
        return;
    }
    THistoryForm dialog(Keeper->List(), &Window);
    if (dialog.exec() != QDialog::Accepted) return;
    if (const auto entry = dialog.Chosen())
        OpenReplay(*entry->Record, QStringLiteral("the match of %1")
                                       .arg(QDateTime::fromSecsSinceEpoch(entry->Record->StartTime)
                                                .toLocalTime()
                                                .toString("yyyy-MM-dd HH:mm")));
}

bool TReplayControl::SaveMatchRecord() {
    const std::optional<TMatchRecord> record = Replaying() ? View->Record() : Archive->Current(Game);
    if (!record || record->Moves.empty()) {
        if (Hooks.Message) Hooks.Message("There is no match to save yet: play a card first.");
        return false;
    }
    const QString path = Hooks.AskRecordFile ? Hooks.AskRecordFile(true) : QString();
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(WriteRecordJson(*record)) < 0 || !file.commit()) {
        if (Hooks.Message)
            Hooks.Message(
                QStringLiteral("%1 could not be written: %2.").arg(path, file.errorString()).toStdString());
        return false;
    }
    TSideLog::Note(QStringLiteral("Match record saved to %1.").arg(path));
    return true;
}

bool TReplayControl::OpenMatchRecord() {
    const QString path = Hooks.AskRecordFile ? Hooks.AskRecordFile(false) : QString();
    if (path.isEmpty()) return false;
    const TRecordReading reading = ReadRecordFile(path);
    if (!reading.Record) {
        if (Hooks.Message) Hooks.Message(reading.Problem);
        return false;
    }
    return OpenReplay(*reading.Record, QFileInfo(path).fileName());
}

bool TReplayControl::Reviewing() const {
    return ReviewSearch && ReviewSearch->Busy();
}

void TReplayControl::ToggleReview() {
    if (!Replaying()) return;
    if (Reviewing()) {
        ReviewSearch->Cancel();
        TSideLog::Note("Review cancelled.");
        ShowState();
        return;
    }
    const TMatchRecord record = View->Record();
    const TReplay replay = ReplayRecord(record, CatalogueOf(Game));
    if (!replay.Problem.empty()) {
        TSideLog::Note(QStringLiteral("Review: %1.").arg(QString::fromStdString(replay.Problem)));
        return;
    }
    TSideLog::Note(QStringLiteral("Reviewing %1 placements…").arg(record.Moves.size()));
    ReviewSearch->Start([record, replay](const std::atomic<bool>& cancel) {
        TSearchResult result;
        result.Review = ReviewMatch(record, replay, &cancel);
        return result;
    });
    ReviewPoll->start();
    ShowState();
}

void TReplayControl::CollectReview() {
    std::optional<TSearchResult> result = ReviewSearch->TakeResult();
    if (!result) {
        if (!ReviewSearch->Busy()) ReviewPoll->stop();
        return;
    }
    ReviewPoll->stop();
    if (!result->Error.empty()) {
        TSideLog::Note(QStringLiteral("Review: %1.").arg(QString::fromStdString(result->Error)));
    } else if (result->Review && Replaying()) {
        std::vector<std::string> names;
        for (int32_t i = 0; Game.Cards && i < Game.Cards->NumCards; ++i)
            names.push_back(Game.Cards->CardTable[i].Name);
        std::vector<TResultChart::TPoint> points;
        int32_t thrown = 0;
        for (const TReviewedMove& move : result->Review->Moves) {
            const bool threw = move.ThrewAwayResult();
            thrown += threw;
            TSideLog::Note(QStringLiteral("%1%2").arg(threw ? QStringLiteral("\u2717 ") : QString(),
                                                      QString::fromStdString(ReviewLine(move, names))));
            points.push_back({move.Player == 0 ? move.Forced : 10 - move.Forced, threw});
        }
        TSideLog::Note(thrown == 0 ? QStringLiteral("Review done: no move threw a result away.")
                                   : QStringLiteral("Review done: %1 move%2 (\u2717) threw a result away.")
                                         .arg(thrown)
                                         .arg(thrown == 1 ? "" : "s"));
        ReplayBar->Chart->SetPoints(std::move(points));
    }
    ShowState();
}
