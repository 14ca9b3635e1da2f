// The main window's parts, made and wired together: the menus' commands, the
// table's driver, direct network play, play on a server and replays.
#include "app/BoardMouse.h"
#include "app/ComputerSeat.h"
#include "app/DesktopNotifier.h"
#include "app/DirectPlay.h"
#include "app/HintAdvisor.h"
#include "app/MainMenu.h"
#include "app/OnlineControl.h"
#include "app/OnlinePlay.h"
#include "app/ReplayControl.h"
#include "app/TableDriver.h"
#include "app/TableListeners.h"
#include "app/VantaroForm.h"
#include "app/WindowGeometry.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

void TVantaroForm::MakeMenus() {
    TMainMenu::TCommands commands;
    commands.NewGame = [this] { FileNewGameClick(); };
    commands.Rules = [this] { FileRulesClick(); };
    commands.PlayOnline = [this] { FilePlayOnlineClick(); };
    commands.Resign = [this] { OnServer->Resign(); };
    commands.Rematch = [this] { OnServer->AskRematch(); };
    commands.Statistics = [this] { ShowStatistics(); };
    commands.History = [this] { Replay->ShowMatchHistory(); };
    commands.OpenRecord = [this] { Replay->OpenMatchRecord(); };
    commands.SaveRecord = [this] { Replay->SaveMatchRecord(); };
    commands.Review = [this] { Replay->ToggleReview(); };
    commands.LeaveReplay = [this] { Replay->LeaveReplay(); };
    commands.Exit = [this] { close(); };
    commands.Undo = [this] { EditUndoClick(); };
    commands.Redo = [this] { EditRedoClick(); };
    commands.Zoom = [this](int32_t factor) { Place->SetZoom(factor); };
    commands.ZoomIn = [this] { Place->SetZoom(Place->Zoom() + 1); };
    commands.ZoomOut = [this] { Place->SetZoom(Place->Zoom() - 1); };
    commands.ViewOptions = [this] { SetViewOptions(); };
    commands.Sound = [this](bool on) { SetSound(on); };
    commands.Hint = [this] { HelpHintClick(); };
    commands.HowToPlay = [this] { ShowHowToPlay(); };
    commands.About = [this] { ShowAbout(); };
    Menu = std::make_unique<TMainMenu>(*this, std::move(commands));
}

void TVantaroForm::MakeParts() {
    TBoardMouse::TActions mouse;
    mouse.PressKey = [this](uint16_t key) { FormKeyDown(key); };
    // A replay's table is only looked at: no click deals or lifts a card.
    mouse.NewGame = [this] {
        if (Replay->Replaying()) return;
        // A click on a server's ended table leads back to its lobby, signed in or not;
        // only F2 deals here after a server's match.
        const TSeating seating = Game->Seats().Kind;
        if (seating == TSeating::ServerPlayer || seating == TSeating::ServerWatcher)
            OnServer->BackToLobby();
        else
            FileNewGameClick();
    };
    mouse.Drag = [this](int32_t slot, QPoint at) {
        if (Replay->Replaying()) return;
        Game->LiftedSlot = slot;
        DraggedAt = at;
        Wake();
    };
    Mouse = std::make_unique<TBoardMouse>(GameBoard, *Game, std::move(mouse));

    TDirectPlay::THooks direct;
    direct.HostRules = [this] { return DialogRules(); };
    direct.Wake = [this] { Wake(); };
    direct.Closed = [this] { AfterGameStep(); };
    // Once the session has settled: whether this program still hosts.
    direct.Settled = [this] {
        WatchTable();
        DirectNet->TellWhereTheTableStands(NetworkChosen());
    };
    direct.Connected = [this] { Driver->Unseat(); };
    // A hint worked out for the last deal must not point into this one.
    direct.Dealt = [this] {
        if (Driver) Driver->Hint().Cancel();
    };
    direct.Ended = [this] {
        Wake();
        QTimer::singleShot(0, this, [this] { WatchTable(); });
    };
    DirectNet = std::make_unique<TDirectPlay>(*Game, Log, Environment.CalendarClock, std::move(direct));
    MakeOnlinePlay();
    Driver = std::make_unique<TTableDriver>(*Game, *DirectNet, *OnServer, Log,
                                            [this] { return Environment.FrameClock() / 1000; });

    TAttention::THooks attention;
    attention.InForeground = Environment.InForeground ? Environment.InForeground : std::function<bool()>([] {
        return QApplication::activeWindow() != nullptr;
    });
    attention.Alert = [this] { QApplication::alert(this); };
    attention.Notify = Environment.Notify;
    if (!attention.Notify) {
        auto* notifier = new TDesktopNotifier(this);
        attention.Notify = [notifier](const QString& title, const QString& body) {
            notifier->Show(title, body);
        };
    }
    Listeners = std::make_unique<TTableListeners>(*Game, Log, Environment.SettingsFile, Stored.Sound,
                                                  std::move(attention));
    connect(&DirectNet->Session(), &TNetSession::message, this, [this](const TNetMessage& message) {
        if (message.Kind == TNetMessage::TKind::Chat) Listeners->Cue(TSound::Chat);
    });
    MakeReplays();
}

void TVantaroForm::MakeOnlinePlay() {
    TOnlineControl::THooks hooks;
    // Whatever the server said may have seated this player or signed them in
    // or out: the side window follows.
    hooks.Wake = [this] {
        ChatModeChanged();
        Wake();
    };
    hooks.Unseat = [this] {
        if (Driver) Driver->Unseat();
    };
    hooks.NowMs = [this] { return Environment.FrameClock() / 1000; };
    hooks.Message = Environment.Message;
    hooks.TrustServer = Environment.TrustServer;
    hooks.PlaceLobby = [this](QSize size) { return Place->BesideTable(size); };
    hooks.AskOnline = Environment.AskOnline;
    hooks.Confirm = Environment.Confirm;
    hooks.Replaying = [this] { return Replay->Replaying(); };
    hooks.LeaveReplay = [this] { Replay->LeaveReplay(); };
    hooks.OpenReplay = [this](const TMatchRecord& record, const QString& source) {
        return Replay->OpenReplay(record, source);
    };
    hooks.KeepRecord = [this](const TMatchRecord& record) { Replay->KeepServerRecord(record); };
    hooks.LeaveDirectTable = [this] {
        if (!DirectNet->Idle()) DirectNet->Close("they went to play online.");
    };
    hooks.Save = [this] { SaveSettings(); };
    hooks.ClockWarning = [this] { Listeners->Cue(TSound::Turn); };
    OnlineDoor = std::make_unique<TOnlineControl>(*Game, *this, GameBoard, Environment.SettingsFile, Stored,
                                                  std::move(hooks));
    OnServer = &OnlineDoor->Play();
}

void TVantaroForm::MakeReplays() {
    TReplayControl::THooks hooks;
    hooks.Message = Environment.Message;
    hooks.FrameClock = Environment.FrameClock;
    hooks.CalendarClock = Environment.CalendarClock;
    hooks.AskRecordFile = Environment.AskRecordFile;
    hooks.TableBusy = [this] {
        // A match being played cannot wait behind a replay: its clock and the
        // other player go on. Watching, the table is built again on leaving.
        if (!DirectNet->Idle())
            return QStringLiteral("A replay cannot open while you play across the network: leave the network "
                                  "table first (File › Rules).");
        if (OnServer->Active() && OnServer->TheMatch().Seated())
            return QStringLiteral(
                "A replay cannot open while you play a match on the server: finish it, or leave "
                "the table in the lobby, first.");
        return QString();
    };
    hooks.Leaving = [this] { Driver->Cancel(); };
    hooks.Handover = [this](bool replaying) {
        if (replaying)
            OnServer->TheMatch().Hold();
        else
            OnServer->TheMatch().Release();
    };
    hooks.Wake = [this] { Wake(); };
    hooks.Title = [this] { UpdateTitle(); };
    const QString folder =
        !Environment.HistoryFolder.isEmpty() ? Environment.HistoryFolder
        : Environment.SettingsFile.isEmpty()
            ? QString()
            : QFileInfo(Environment.SettingsFile).dir().filePath(QStringLiteral("History"));
    Replay = std::make_unique<TReplayControl>(*Game, *this, folder, Menu->FileReview, Menu->FileLeaveReplay,
                                              std::move(hooks));
}
