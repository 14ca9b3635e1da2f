// The main window's statistics and sounds: built around the match, which
// knows nothing of them.
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/MatchArchive.h"
#include "app/MatchLog.h"
#include "app/ReplayView.h"
#include "app/RulesForm.h"
#include "app/Settings.h"
#include "app/SoundCues.h"
#include "app/SoundEffects.h"
#include "app/Statistics.h"
#include "app/StatisticsForm.h"
#include "app/UndoHistory.h"
#include "app/VantaroForm.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"

#include <QMenu>
#include <QMenuBar>

namespace {

void LogToSideWindow(const QString& line) {
    if (ChatForm) ChatForm->AppendLine(line);
}

} // namespace

void TVantaroForm::BuildExtras() {
    EditMenu = new QMenu("&Edit", this);
    EditMenu->setObjectName("EditMenu");
    MainMenu1->insertMenu(ViewMenu->menuAction(), EditMenu);
    EditUndo = EditMenu->addAction("&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), this, [this] { EditUndoClick(); });
    EditRedo = EditMenu->addAction("&Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this,
                                   [this] { EditRedoClick(); });
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);
    History = std::make_unique<TUndoHistory>(*Game);

    FileStatistics = new QAction("S&tatistics", this);
    FileStatistics->setObjectName("FileStatistics");
    connect(FileStatistics, &QAction::triggered, this, [this] { ShowStatistics(); });
    // Beside the other commands about the match, before Exit.
    const QList<QAction*> items = FileMenu->actions();
    const qsizetype exit = items.indexOf(FileExit);
    FileMenu->insertAction(exit > 0 ? items[exit - 1] : FileExit, FileStatistics);

    ViewMenu->addSeparator();
    ViewSound = ViewMenu->addAction("&Sound", QKeySequence(Qt::Key_M), this,
                                    [this] { SetSound(ViewSound->isChecked()); });
    ViewSound->setObjectName("ViewSound");
    ViewSound->setCheckable(true);
    ViewSound->setChecked(Stored.Sound);

    Statistics = std::make_unique<TStatistics>(TStatistics::FileBeside(Environment.SettingsFile), LogToSideWindow);
    Statistics->Load();
    Recorder = std::make_unique<TMatchRecorder>(
        [this](const TSeats& seats, TMatchResult result, bool undoUsed, bool hintUsed) {
            Statistics->Record(GameTypeOf(seats), seats.Level, result, undoUsed, hintUsed);
        });
    Sounds = std::make_unique<TSoundCues>(nullptr);
    Sounds->Enabled = Stored.Sound;
    connect(Session.get(), &TNetSession::message, this, [this](const TNetMessage& message) {
        if (message.Kind == TNetMessage::TKind::Chat) Sounds->Cue(TSound::Chat);
    });
}

void TVantaroForm::StartSound(const TDataFolder& data) {
    if (Environment.MakeSoundPlayer)
        SoundPlayer = Environment.MakeSoundPlayer(data);
    else
        SoundPlayer = std::make_unique<TSoundEffects>(data, LogToSideWindow);
    Sounds->SetPlayer(SoundPlayer.get());
}

void TVantaroForm::HearTable(const TTableEvent& event) {
    if (Closing || event.Seats.Kind == TSeating::Replay) return;
    MatchLog->Take(event);
    Recorder->Take(event);
    Archive->Take(event);
    Sounds->Take(event);
    History->Take(event);
    if (event.Kind == TTableEvent::TKind::Ended && event.How == TTableEvent::THow::Stopped)
        StoppedUnshown = true;
}

void TVantaroForm::UpdateUndoMenu() {
    const bool allowed = UndoAllowed();
    EditUndo->setEnabled(allowed && !Game->Script.Moves.empty());
    EditRedo->setEnabled(allowed && History->CanRedo());
}

bool TVantaroForm::UndoAllowed() const {
    return Game->InProgress && Game->Phase == TGame::PhaseIdle && Game->Seats().OffersUndo() &&
           !Net->Active() && !RulesOpen;
}

void TVantaroForm::EditUndoClick() {
    if (!UndoAllowed()) return;
    // A move the computer is still thinking about is dropped with the
    // placement it answers; a pending hint belongs to the table being left.
    Computer->Cancel();
    Hint->Cancel();
    const int32_t person = Computer->Player() >= 0 ? 1 - Computer->Player() : -1;
    QString why;
    if (History->Undo(person, why)) {
        Recorder->NoteUndo();
    } else {
        LogToSideWindow(QStringLiteral("Undo: %1.").arg(why));
    }
    if (FrameLoop) FrameLoop->Wake();
    AfterGameStep();
}

void TVantaroForm::EditRedoClick() {
    if (!UndoAllowed()) return;
    Computer->Cancel();
    Hint->Cancel();
    QString why;
    if (!History->Redo(why)) LogToSideWindow(QStringLiteral("Redo: %1.").arg(why));
    if (FrameLoop) FrameLoop->Wake();
    AfterGameStep();
}

void TVantaroForm::SetSound(bool on) {
    Stored.Sound = on;
    ViewSound->setChecked(on);
    Sounds->Enabled = on;
    SaveSettings();
}

void TVantaroForm::ShowStatistics() {
    const TSeats& seats = Game->Seats();
    TStatisticsForm dialog(*Statistics, GameTypeOf(seats), seats.Level, this);
    dialog.exec();
}
