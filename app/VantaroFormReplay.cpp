// The main window's match records and replays: kept at every match's end,
// listed, saved, opened and shown on the table in place of the match, which
// knows nothing of them.
#include "ai/MatchReview.h"
#include "ai/RecordReplay.h"
#include "ai/SearchThread.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/HistoryForm.h"
#include "app/MatchArchive.h"
#include "app/OnlinePlay.h"
#include "app/RecordKeeper.h"
#include "app/ReplayBar.h"
#include "app/ReplayView.h"
#include "app/ResultChart.h"
#include "app/VantaroForm.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"
#include "records/MatchHistory.h"
#include "records/RecordJson.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>

namespace {

void LogToSide(const QString& line) {
    if (ChatForm) ChatForm->AppendLine(line);
}

std::vector<TCardValues> CatalogueOf(const TGame& game) {
    std::vector<TCardValues> cards;
    if (!game.Cards) return cards;
    for (int32_t i = 0; i < game.Cards->NumCards; ++i)
        cards.push_back(static_cast<const TCardValues&>(game.Cards->CardTable[i]));
    return cards;
}

} // namespace

void TVantaroForm::BuildReplay() {
    const QString folder = !Environment.HistoryFolder.isEmpty() ? Environment.HistoryFolder
                           : Environment.SettingsFile.isEmpty()
                               ? QString()
                               : QFileInfo(Environment.SettingsFile).dir().filePath(QStringLiteral("History"));
    if (!folder.isEmpty())
        MatchHistory = std::make_unique<TRecordKeeper>(folder, this, [](const QString& problem) {
            LogToSide(QStringLiteral("The match could not be kept in the history: %1.").arg(problem));
        });
    Archive = std::make_unique<TMatchArchive>(
        [this](const TMatchRecord& record) { KeepRecord(record); },
        [this] { return Environment.CalendarClock ? Environment.CalendarClock() : CalendarSeconds(); });
    Replay = std::make_unique<TReplayView>(*Game);
    ReviewSearch = std::make_unique<TSearchThread>();
    if (!Environment.AskRecordFile)
        Environment.AskRecordFile = [this](bool save) {
            const QString filter = QStringLiteral("Vantaro match records (*.json);;All files (*)");
            return save ? QFileDialog::getSaveFileName(this, "Save Match Record", "vantaro-match.json", filter)
                        : QFileDialog::getOpenFileName(this, "Open Match Record", QString(), filter);
        };

    FileHistory = new QAction("Match &History…", this);
    FileHistory->setObjectName("FileHistory");
    connect(FileHistory, &QAction::triggered, this, [this] { ShowMatchHistory(); });
    FileOpenRecord = new QAction("&Open Match Record…", this);
    connect(FileOpenRecord, &QAction::triggered, this, [this] { OpenMatchRecord(); });
    FileSaveRecord = new QAction("&Save Match Record…", this);
    connect(FileSaveRecord, &QAction::triggered, this, [this] { SaveMatchRecord(); });
    FileReview = new QAction("Re&view Match", this);
    connect(FileReview, &QAction::triggered, this, [this] { ToggleReview(); });
    FileLeaveReplay = new QAction("&Leave Replay", this);
    connect(FileLeaveReplay, &QAction::triggered, this, [this] { LeaveReplay(); });
    // Together before Exit, after the commands about the match.
    const QList<QAction*> items = FileMenu->actions();
    const qsizetype exit = items.indexOf(FileExit);
    QAction* before = exit > 0 ? items[exit - 1] : FileExit;
    FileMenu->insertSeparator(before);
    for (QAction* action : {FileHistory, FileOpenRecord, FileSaveRecord, FileReview, FileLeaveReplay})
        FileMenu->insertAction(before, action);
    FileReview->setVisible(false);
    FileLeaveReplay->setVisible(false);

    TReplayBar::TActions actions;
    const auto command = [this](std::function<void(TReplayView&)> step) {
        return [this, step] {
            if (!Replaying()) return;
            step(*Replay);
            if (FrameLoop) FrameLoop->Wake();
            ShowReplayState();
        };
    };
    actions.Start = command([](TReplayView& replay) { replay.ToStart(); });
    actions.Back = command([](TReplayView& replay) { replay.Back(); });
    actions.Forward = command([](TReplayView& replay) { replay.Forward(); });
    actions.End = command([](TReplayView& replay) { replay.ToEnd(); });
    actions.Play = command([this](TReplayView& replay) { replay.TogglePlay(Environment.FrameClock() / 1000); });
    actions.Review = [this] { ToggleReview(); };
    actions.Leave = [this] { LeaveReplay(); };
    ReplayBar = new TReplayBar(std::move(actions), this);
    ReplayBar->hide();

    // A review is collected as soon as it is done, frames running or not.
    ReviewPoll = new QTimer(this);
    ReviewPoll->setInterval(50);
    connect(ReviewPoll, &QTimer::timeout, this, [this] { CollectReview(); });
}

bool TVantaroForm::Replaying() const {
    return Replay && Replay->Active();
}

void TVantaroForm::KeepRecord(const TMatchRecord& record) {
    if (MatchHistory) MatchHistory->Add(record);
}

bool TVantaroForm::OpenReplay(const TMatchRecord& record, const QString& source) {
    // A match being played cannot wait behind a replay: its clock and the
    // other player go on. Watching, the table is built again on leaving.
    if (Session->State() != TNetSession::TState::Idle) {
        if (Environment.Message)
            Environment.Message("A replay cannot open while you play across the network: leave the network "
                                "table first (File › Rules).");
        return false;
    }
    if (OnlineHoldsTable() && Online->TheMatch().Seated()) {
        if (Environment.Message)
            Environment.Message("A replay cannot open while you play a match on the server: finish it, or leave "
                                "the table in the lobby, first.");
        return false;
    }
    // Whatever was being worked out belongs to the table being left.
    Computer->Cancel();
    Hint->Cancel();
    ReviewSearch->Cancel();
    Game->LiftedSlot = -1;
    std::string problem;
    if (!Replay->Open(record, problem)) {
        if (Environment.Message)
            Environment.Message(QStringLiteral("%1 cannot be replayed: %2.").arg(source, QString::fromStdString(problem)).toStdString());
        return false;
    }
    if (Online) Online->TheMatch().Hold();
    ReplayBar->Chart->SetPoints({});
    if (ChatForm) ChatForm->SetPanel(ReplayBar);
    FileReview->setVisible(true);
    FileLeaveReplay->setVisible(true);
    LogToSide(QStringLiteral("Replay of %1: Right and Left step, Home and End jump, Space plays on, R reviews, "
                             "Esc leaves.")
                  .arg(source));
    if (FrameLoop) FrameLoop->Wake();
    ShowReplayState();
    return true;
}

void TVantaroForm::LeaveReplay() {
    if (!Replaying()) return;
    ReviewSearch->Cancel();
    Replay->Leave();
    // The watched table as the server has it now.
    if (Online) Online->TheMatch().Release();
    if (ChatForm) ChatForm->SetPanel(nullptr);
    FileReview->setVisible(false);
    FileLeaveReplay->setVisible(false);
    if (FrameLoop) FrameLoop->Wake();
    UpdateTitle();
}

void TVantaroForm::StepReplay() {
    Replay->Step(Environment.FrameClock() / 1000);
    ShowReplayState();
}

void TVantaroForm::ShowReplayState() {
    if (Replaying()) ReplayBar->Show(Replay->Shown(), Replay->Count(), Replay->Playing(), Reviewing());
    UpdateTitle();
}

void TVantaroForm::ReplayKey(QKeyEvent* event) {
    const uint64_t nowMs = Environment.FrameClock() / 1000;
    switch (event->key()) {
    case Qt::Key_Right:
        Replay->Forward();
        break;
    case Qt::Key_Left:
        Replay->Back();
        break;
    case Qt::Key_Home:
        Replay->ToStart();
        break;
    case Qt::Key_End:
        Replay->ToEnd();
        break;
    case Qt::Key_Space:
        Replay->TogglePlay(nowMs);
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
    if (FrameLoop) FrameLoop->Wake();
    ShowReplayState();
}

void TVantaroForm::ShowMatchHistory() {
    if (!MatchHistory) {
        if (Environment.Message) Environment.Message("No match history is kept without a settings folder.");
        return;
    }
    THistoryForm dialog(MatchHistory->List(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (const auto entry = dialog.Chosen())
        OpenReplay(*entry->Record, QStringLiteral("the match of %1").arg(QDateTime::fromSecsSinceEpoch(entry->Record->StartTime).toLocalTime().toString("yyyy-MM-dd HH:mm")));
}

bool TVantaroForm::SaveMatchRecord() {
    const std::optional<TMatchRecord> record = Replaying() ? Replay->Record() : Archive->Current(*Game);
    if (!record || record->Moves.empty()) {
        if (Environment.Message) Environment.Message("There is no match to save yet: play a card first.");
        return false;
    }
    const QString path = Environment.AskRecordFile ? Environment.AskRecordFile(true) : QString();
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(WriteRecordJson(*record)) < 0 || !file.commit()) {
        if (Environment.Message)
            Environment.Message(QStringLiteral("%1 could not be written: %2.").arg(path, file.errorString()).toStdString());
        return false;
    }
    LogToSide(QStringLiteral("Match record saved to %1.").arg(path));
    return true;
}

bool TVantaroForm::OpenMatchRecord() {
    const QString path = Environment.AskRecordFile ? Environment.AskRecordFile(false) : QString();
    if (path.isEmpty()) return false;
    const TRecordReading reading = ReadRecordFile(path);
    if (!reading.Record) {
        if (Environment.Message) Environment.Message(reading.Problem);
        return false;
    }
    return OpenReplay(*reading.Record, QFileInfo(path).fileName());
}

bool TVantaroForm::Reviewing() const {
    return ReviewSearch && ReviewSearch->Busy();
}

void TVantaroForm::ToggleReview() {
    if (!Replaying()) return;
    if (Reviewing()) {
        ReviewSearch->Cancel();
        LogToSide("Review cancelled.");
        ShowReplayState();
        return;
    }
    const TMatchRecord record = Replay->Record();
    const TReplay replay = ReplayRecord(record, CatalogueOf(*Game));
    if (!replay.Problem.empty()) {
        LogToSide(QStringLiteral("Review: %1.").arg(QString::fromStdString(replay.Problem)));
        return;
    }
    LogToSide(QStringLiteral("Reviewing %1 placements…").arg(record.Moves.size()));
    ReviewSearch->Start([record, replay](const std::atomic<bool>& cancel) {
        TSearchResult result;
        result.Review = ReviewMatch(record, replay, &cancel);
        return result;
    });
    ReviewPoll->start();
    ShowReplayState();
}

void TVantaroForm::CollectReview() {
    std::optional<TSearchResult> result = ReviewSearch->TakeResult();
    if (!result) {
        if (!ReviewSearch->Busy()) ReviewPoll->stop();
        return;
    }
    ReviewPoll->stop();
    if (!result->Error.empty()) {
        LogToSide(QStringLiteral("Review: %1.").arg(QString::fromStdString(result->Error)));
    } else if (result->Review && Replaying()) {
        std::vector<std::string> names;
        for (int32_t i = 0; Game->Cards && i < Game->Cards->NumCards; ++i) names.push_back(Game->Cards->CardTable[i].Name);
        std::vector<TResultChart::TPoint> points;
        int32_t thrown = 0;
        for (const TReviewedMove& move : result->Review->Moves) {
            const bool threw = move.ThrewAwayResult();
            thrown += threw;
            LogToSide(QStringLiteral("%1%2").arg(threw ? QStringLiteral("\u2717 ") : QString(),
                                                 QString::fromStdString(ReviewLine(move, names))));
            points.push_back({move.Player == 0 ? move.Forced : 10 - move.Forced, threw});
        }
        LogToSide(thrown == 0 ? QStringLiteral("Review done: no move threw a result away.")
                              : QStringLiteral("Review done: %1 move%2 (\u2717) threw a result away.")
                                    .arg(thrown)
                                    .arg(thrown == 1 ? "" : "s"));
        ReplayBar->Chart->SetPoints(std::move(points));
    }
    ShowReplayState();
}
