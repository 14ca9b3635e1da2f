#include "app/VantaroForm.h"

#include "app/BoardMouse.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/MatchArchive.h"
#include "app/ReplayView.h"
#include "ai/SearchThread.h"
#include "app/RecordKeeper.h"
#include "app/HowToPlay.h"
#include "app/MatchLog.h"
#include "app/LobbyForm.h"
#include "app/OnlinePlay.h"
#include "app/ProgressForm.h"
#include "app/RulesForm.h"
#include "app/Settings.h"
#include "app/SoundCues.h"
#include "app/Statistics.h"
#include "app/UndoHistory.h"
#include "app/VirtualKeys.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"
#include "net/ServerCodec.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMoveEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>

TVantaroForm* VantaroForm = nullptr;

namespace {

// The side window's log: what happened at the table, hints and chat.
void AppendToLog(const QString& line) {
    if (ChatForm) ChatForm->AppendLine(line);
}

} // namespace

TVantaroForm::TVantaroForm(TShellEnvironment environment)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      Environment(std::move(environment)) {
    setWindowTitle("Vantaro");
    setObjectName("VantaroForm");

    GameBoard = new QWidget(this);
    GameBoard->setObjectName("GameBoard");
    GameBoard->setFixedSize(512, 384);
    GameBoard->setAutoFillBackground(true);
    QPalette black = GameBoard->palette();
    black.setColor(QPalette::Window, Qt::black);
    GameBoard->setPalette(black);
    GameBoard->setFocusPolicy(Qt::NoFocus);
    setCentralWidget(GameBoard);

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    FileMenu = MainMenu1->addMenu("&File");
    FileNewGame =
        FileMenu->addAction("&New Game", QKeySequence(Qt::Key_F2), this, [this] { FileNewGameClick(); });
    FileRules = FileMenu->addAction("&Rules", this, [this] { FileRulesClick(); });
    FilePlayOnline = FileMenu->addAction("Play &Online…", this, [this] { FilePlayOnlineClick(); });
    FileMenu->addSeparator();
    FileExit = FileMenu->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_X), this, [this] { close(); });
    ViewMenu = MainMenu1->addMenu("&View");
    ZoomGroup = new QActionGroup(this);
    const Qt::Key digits[3] = {Qt::Key_1, Qt::Key_2, Qt::Key_3};
    for (int32_t factor = 1; factor <= 3; ++factor) {
        QAction* zoom = ViewMenu->addAction(QString("Zoom &%1\u00d7").arg(factor),
                                            QKeySequence(Qt::CTRL | digits[factor - 1]), this,
                                            [this, factor] { SetZoom(factor); });
        zoom->setCheckable(true);
        zoom->setActionGroup(ZoomGroup);
        ViewZoom[factor - 1] = zoom;
    }
    ViewZoom[0]->setChecked(true);
    ViewMenu->addSeparator();
    ViewZoomIn = ViewMenu->addAction("Zoom &In", this, [this] { SetZoom(ZoomFactor + 1); });
    // Ctrl and the key that carries + unshifted on most keyboards, too.
    ViewZoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ViewZoomOut = ViewMenu->addAction("Zoom &Out", QKeySequence(Qt::CTRL | Qt::Key_Minus), this,
                                      [this] { SetZoom(ZoomFactor - 1); });
    ViewMenu->addSeparator();
    ViewAnnounce = ViewMenu->addAction("&Announce Turns and Results", this, [this] { SetViewOptions(); });
    ViewAnnounce->setCheckable(true);
    ViewFrameRate = ViewMenu->addAction("Show &Frame Rate", this, [this] { SetViewOptions(); });
    ViewFrameRate->setCheckable(true);
    ViewFrameRate->setChecked(true);
    HelpMenu = MainMenu1->addMenu("&Help");
    HelpHint = HelpMenu->addAction("&Hint", QKeySequence(Qt::Key_H), this, [this] { HelpHintClick(); });
    HelpMenu->addSeparator();
    HelpHowToPlay =
        HelpMenu->addAction("&How to Play", QKeySequence(Qt::Key_F1), this, [this] { ShowHowToPlay(); });
    HelpAbout = HelpMenu->addAction("&About Vantaro", this, [this] { ShowAbout(); });

    // Every key goes to the window itself; nothing in it takes the focus.
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    if (!Environment.SettingsFile.isEmpty()) {
        Settings = std::make_unique<TSettings>(Environment.SettingsFile);
        Stored = Settings->Load();
    }
    move(Stored.Position.value_or(QPoint(197, 120)));
    ViewAnnounce->setChecked(Stored.AnnounceTurns);
    ViewFrameRate->setChecked(Stored.ShowFrameRate);

    // Deals are seeded from the calendar, except in a network match, where both
    // tables deal from the host's seed.
    Game = std::make_unique<TGame>(
        [this] {
            if (OnlineHoldsTable()) return Online->TheMatch().DealSeconds();
            if (Net) return Net->DealSeconds();
            return Environment.CalendarClock ? Environment.CalendarClock() : CalendarSeconds();
        },
        Environment.FrameClock);
    Game->ShowFrameRate = Stored.ShowFrameRate;
    Game->Overlay = [this] {
        Announcer.Draw(*Game, Seats());
        DrawDraggedCard();
    };
    MatchLog = std::make_unique<TMatchLog>([this](const QString& line) {
        // A network deal is told by the network match, with who dealt it.
        if (line == TMatchLog::StartLine(Game->Rules, false) || line == TMatchLog::StartLine(Game->Rules, true))
            HintHeading.clear();
        if (Net->Active() && line == TMatchLog::StartLine(Game->Rules, false)) return;
        if (line == TMatchLog::StartLine(Game->Rules, true)) {
            const QString mover = TTableAnnouncer::PlayerName(Game->Turn);
            const bool computer = Computer->Player() == Game->Turn;
            LogLine(line + QStringLiteral("; %1 moves first").arg(computer ? "the computer (" + mover + ")" : mover));
            return;
        }
        LogLine(line);
    });
    TBoardMouse::TActions mouse;
    mouse.PressKey = [this](uint16_t key) { FormKeyDown(key); };
    // A replay's table is only looked at: no click deals or lifts a card.
    mouse.NewGame = [this] {
        if (!Replaying()) FileNewGameClick();
    };
    mouse.Drag = [this](int32_t slot, QPoint at) {
        if (Replaying()) return;
        Game->LiftedSlot = slot;
        DraggedAt = at;
        if (FrameLoop) FrameLoop->Wake();
    };
    Mouse = std::make_unique<TBoardMouse>(GameBoard, *Game, std::move(mouse));
    Computer = std::make_unique<TComputerSeat>(*Game, AppendToLog);
    Session = std::make_unique<TNetSession>();
    TNetMatchHooks hooks;
    hooks.Log = [this](const QString& line) { LogLine(line); };
    hooks.HostRules = [this] { return DialogRules(); };
    hooks.Ended = [this](const QString&) {
        // The other player's colour: who left, as this table sees it.
        if (NetSeat != -1) NetLeftBy = TTableAnnouncer::PlayerName(1 - NetSeat);
        if (FrameLoop) FrameLoop->Wake();
        QTimer::singleShot(0, this, [this] { WatchTable(); });
    };
    // A hint worked out for the last deal must not point into this one.
    hooks.Dealt = [this] {
        if (Hint) Hint->Cancel();
    };
    Net = std::make_unique<TNetMatch>(*Game, *Session, std::move(hooks), Environment.CalendarClock);
    // A message may deal, move or end the match while no frame is running.
    const auto wake = [this] {
        if (FrameLoop) FrameLoop->Wake();
    };
    connect(Session.get(), &TNetSession::message, this, wake);
    // The match has stopped with the connection: its ending goes into the
    // log now, not with whatever frame comes next (none may, for a while).
    connect(Session.get(), &TNetSession::closed, this, [this, wake] {
        AfterGameStep();
        wake();
        // Once the session has settled: whether this program still hosts.
        QTimer::singleShot(0, this, [this] {
            WatchTable();
            TellWhereTheTableStands();
        });
    });
    connect(Session.get(), &TNetSession::connected, this, [this] {
        // The other seat is a person across the network now, not the computer.
        Computer->Seat(-1, TLevel::Perfect);
        Hint->Cancel();
    });
    Hint = std::make_unique<THintAdvisor>(*Game, [this](const QString& line) {
        // A list of best moves goes under a heading naming the move it answers.
        if (line.contains(QStringLiteral(" square: "))) {
            int32_t inHands = 0;
            for (const auto& slot : Game->Hands)
                for (const int32_t card : slot) inHands += card != -1;
            const QString heading = QStringLiteral("Move %1, %2 to play \u2014 best moves:")
                                        .arg(11 - inHands)
                                        .arg(TTableAnnouncer::PlayerName(Game->Turn));
            if (heading != HintHeading) {
                HintHeading = heading;
                LogLine(heading);
            }
        }
        LogLine(line);
    });
    BuildExtras();
    MakeOnlinePlay();
    BuildReplay();
    Game->Subscribe([this](const TTableEvent& event) { HearTable(event); });
}

TVantaroForm::~TVantaroForm() {
    // No frame, no click and nothing the table tells may reach what is being destroyed.
    Closing = true;
    FrameLoop.reset();
    Mouse.reset();
    Sounds.reset();
    SoundPlayer.reset();
    // Searches end before the game whose copy they were working on.
    ReviewSearch.reset();
    Hint.reset();
    Computer.reset();
    Online.reset();
    Net.reset();
    Session.reset();
    Game.reset();
}

void TVantaroForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (Shown) return;
    Shown = true;
    FormShow();
}

void TVantaroForm::RequestTermination() {
    TerminationRequested = true;
    // Ends the message loop once the running handler has returned.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TVantaroForm::FormShow() {
    const TTaskReporter report = [](const std::string& task) {
        if (ProgressForm) ProgressForm->SetTask(task);
    };
    if (ProgressForm) {
        ProgressForm->show();
        ProgressForm->repaint();
    }
    if (RulesForm && Settings) RulesForm->SetChoices(Stored.Rules, Stored.GameType, Stored.Level);
    PlaceChatForm();
    // Typed lines go to the other player of a network match; outside one the
    // log says where chat goes and the line stays in the field.
    if (ChatForm) {
        ChatForm->SendText = [this](const QString& text) {
            if (Online->SignedIn()) return Online->SendChat(text);
            if (Session->State() == TNetSession::TState::Idle) {
                ChatForm->AppendLine(
                    "Chat goes to the other player of a network match (File › Rules, MultiPlayer TCP/IP).");
                return false;
            }
            return Net->SendChat(text);
        };
        // Keys the side window has no use for play at the table; Esc in its
        // field hands the keys back to the table.
        ChatForm->ForwardKey = [this](QKeyEvent* event) { keyPressEvent(event); };
        ChatForm->ReturnToTable = [this] {
            activateWindow();
            raise();
            setFocus();
        };
    }

    if (!Game->Graphics->OpenDevice(GameBoard, report)) {
        // Nothing can be drawn, so loading the pictures would be pointless.
        if (Environment.Message) Environment.Message("Could not open the drawing device.");
        RequestTermination();
    } else if (const std::optional<TDataFolder> data = LocateData(); !data) {
        RequestTermination();
    } else {
        if (!Game->Sprites->LoadSprites(*Game->Graphics, report, Environment.Message, *data)) {
            RequestTermination();
        } else {
            FrameLoop = std::make_unique<TFrameLoop>(
                this, [this] { ApplicationIdle(); }, [this] { return Game->InProgress; });
            FrameLoop->Wake();
        }
        if (!Game->Cards->LoadCards(*Game->Graphics, report, Environment.Message, *data))
            RequestTermination();
        // Without its lettering the table announces nothing; the game plays on.
        if (!TerminationRequested && !Announcer.Load(*Game->Graphics, *data))
            LogLine("The table's lettering could not be loaded; turns and results show only in this log.");
        StartSound(*data);
    }

    // The drawing area was made at the board's first size; only now may the
    // board grow.
    ApplyZoom();
    if (MatchLog) MatchLog->Open();
    ShareShortcuts();
    ChatModeChanged();
    UpdateTitle();
    if (ChatForm) {
        ChatForm->show();
        // Window frames are settled only once the windows are on screen, after
        // this handler; place it again then, against the frame as it really is.
        PlaceChatForm();
        QTimer::singleShot(0, this, [this] { PlaceChatForm(); });
    }
    if (Environment.Network && !TerminationRequested && RulesForm) {
        RulesForm->SetNetwork(*Environment.Network);
        ApplyNetworkChoice();
        ChatModeChanged();
        UpdateTitle();
    }
    if (Environment.Online && !TerminationRequested) GoOnline(*Environment.Online, Stored.OnlineName);
    if (ProgressForm) ProgressForm->hide();
    activateWindow();
    setFocus();
}

std::optional<TDataFolder> TVantaroForm::LocateData() const {
    const QString workingDir = QDir::currentPath();
    const QString applicationDir = Environment.ApplicationDir.isEmpty()
                                       ? QCoreApplication::applicationDirPath()
                                       : Environment.ApplicationDir;
    std::optional<TDataFolder> data = TDataFolder::Locate(workingDir, applicationDir);
    if (!data && Environment.Message)
        Environment.Message(TDataFolder::NotFoundMessage(workingDir, applicationDir));
    return data;
}

QRect TVantaroForm::AvailableArea() const {
    if (Environment.ScreenArea) return Environment.ScreenArea();
    const QScreen* onScreen = screen();
    return onScreen ? onScreen->availableGeometry() : QRect();
}

QPoint TVantaroForm::ChatFormPlace() const {
    const QRect frame = frameGeometry();
    QPoint place(frame.x() + frame.width(), frame.y());
    const QRect area = AvailableArea();
    if (!ChatForm || area.isEmpty()) return place;
    // Kept on the table's screen: pushed back from its right edge (over the
    // table if it must), never above or left of its top-left corner.
    const QSize size = ChatForm->frameGeometry().size();
    place.setX(std::max(area.left(), std::min(place.x(), area.right() + 1 - size.width())));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() + 1 - size.height())));
    return place;
}

void TVantaroForm::PlaceChatForm() {
    if (!ChatForm) return;
    // As tall as the table's client area, at whatever zoom.
    ChatForm->SetClientHeight(GameBoard->height());
    ChatForm->move(ChatFormPlace());
}

void TVantaroForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The side window travels with the table.
    if (Shown) PlaceChatForm();
}

namespace {

// The height of a title bar, for a window whose frame is not known yet.
constexpr int FrameAllowance = 32;

} // namespace

int32_t TVantaroForm::LargestFittingZoom() const {
    const QSize area = AvailableArea().size();
    if (area.isEmpty()) return TSettings::MaxZoom;
    // What the window frames and the menu bar add around the boards.
    QSize tableExtra = frameGeometry().size() - GameBoard->size();
    // Before a window manager has framed the window, allow for a title bar.
    if (frameGeometry().size() == size()) tableExtra += QSize(0, FrameAllowance);
    const int32_t chatExtraWidth = ChatForm ? ChatForm->frameGeometry().width() : 0;
    const QSize base(512, 384);
    for (int32_t factor = TSettings::MaxZoom; factor > 1; --factor) {
        const QSize table = base * factor + tableExtra;
        if (table.width() + chatExtraWidth <= area.width() && table.height() <= area.height()) return factor;
    }
    return 1;
}

void TVantaroForm::UpdateZoomChoices() {
    const int32_t largest = LargestFittingZoom();
    for (int32_t factor = 1; factor <= TSettings::MaxZoom; ++factor)
        ViewZoom[factor - 1]->setEnabled(factor <= largest);
    ViewZoomIn->setEnabled(ZoomFactor < largest);
    ViewZoomOut->setEnabled(ZoomFactor > 1);
}

void TVantaroForm::ApplicationIdle() {
    Game->DoFrame();
    if (Replaying()) {
        StepReplay();
        // Keeps the clock over the board off while the replay has the table.
        Online->Step();
        return;
    }
    AfterGameStep();
    WatchTable();
    // The computer thinks and walks while the frames go on; not while the
    // rules dialog is open, which also stops its search.
    if (RulesOpen) return;
    const uint64_t nowMs = Environment.FrameClock() / 1000;
    Computer->Step(nowMs);
    Net->Step(nowMs);
    Online->Step();
    Hint->Step();
}

void TVantaroForm::AfterGameStep() {
    // A replay is no match: nothing around the table watches it.
    if (Replaying()) {
        ShowReplayState();
        return;
    }
    if (Net->Active() && Game->InProgress) {
        NetSeat = Net->LocalPlayer();
        NetLeftBy.clear();
    }
    if (OnlineHoldsTable() && Game->InProgress) {
        OnlineShown = true;
        OnlineSeat = Online->TheMatch().LocalSeat();
    }
    UpdateUndoMenu();
    UpdateTitle();
}

void TVantaroForm::WatchTable() {
    UpdateTitle();
    if (!StoppedUnshown) return;
    StoppedUnshown = false;
    // A match that ends on its ninth card shows its result in its last frame;
    // one stopped from outside is drawn again to say so.
    Game->RedrawEnded();
}

void TVantaroForm::TellWhereTheTableStands() {
    if (!RulesForm || RulesForm->GameType != TGameType::Network || Net->Active()) return;
    if (Session->IsListening())
        LogLine(QStringLiteral("Still hosting on port %1: F2 deals once another player joins.")
                    .arg(Session->ListeningPort()));
    else if (Session->State() == TNetSession::TState::Idle)
        LogLine("No longer connected: host or join again in File › Rules, or choose another game type.");
}

void TVantaroForm::LogLine(const QString& line) {
    // Mashed keys ask the same thing again and again; one answer is enough.
    // Chat lines and the table's own lines are never held back.
    const bool answer = line.startsWith(QStringLiteral("Hint:")) || line.startsWith(QStringLiteral("F2:"));
    if (answer && line == LastLogLine) return;
    LastLogLine = line;
    AppendToLog(line);
}

TTableSeats TVantaroForm::Seats() const {
    TTableSeats seats;
    if (OnlineShown) {
        // A server's match: a player's own colour, or both colours named for a watcher.
        seats.You = OnlineSeat;
        seats.Announce = true;
        if (!Replaying()) seats.Rating = Online->TheMatch().RatingLine();
    } else if (Net->Active() || NetSeat != -1) {
        seats.You = Net->Active() ? Net->LocalPlayer() : NetSeat;
        seats.LeftBy = NetLeftBy;
        seats.Announce = true;
    } else if (Computer->Player() != -1) {
        seats.You = 1 - Computer->Player();
        seats.ComputerOpponent = true;
        seats.Announce = true;
    } else {
        seats.Announce = ViewAnnounce->isChecked();
    }
    return seats;
}

QString TVantaroForm::TitleText() const {
    if (Replaying()) return QStringLiteral("Vantaro \u2014 Replay: ") + Replay->Title();
    if (OnlineShown)
        return OnlineSeat == -1 ? QStringLiteral("Vantaro \u2014 Online, watching")
                                : QStringLiteral("Vantaro \u2014 Online, you are %1")
                                      .arg(TTableAnnouncer::PlayerName(OnlineSeat));
    const TGameType type = RulesForm ? RulesForm->GameType : TGameType::HotSeat;
    if (type == TGameType::SinglePlayer) {
        static const char* const levels[] = {"Easy", "Normal", "Perfect"};
        return QStringLiteral("Vantaro \u2014 Single Player, %1").arg(levels[int(RulesForm->Level)]);
    }
    if (type != TGameType::Network && Session->State() == TNetSession::TState::Idle) return "Vantaro";
    QString where;
    if (Net->Active())
        where = QStringLiteral("you are %1").arg(TTableAnnouncer::PlayerName(Net->LocalPlayer()));
    else if (Session->IsListening())
        where = QStringLiteral("hosting on port %1, waiting for a player").arg(Session->ListeningPort());
    else if (Session->State() != TNetSession::TState::Idle)
        where = QStringLiteral("joining");
    else
        where = QStringLiteral("not connected");
    return QStringLiteral("Vantaro \u2014 Network, ") + where;
}

void TVantaroForm::UpdateTitle() {
    const QString title = TitleText();
    if (windowTitle() != title) setWindowTitle(title);
}

void TVantaroForm::SetViewOptions() {
    Stored.AnnounceTurns = ViewAnnounce->isChecked();
    Stored.ShowFrameRate = ViewFrameRate->isChecked();
    Game->ShowFrameRate = Stored.ShowFrameRate;
    // An ended match's picture stays until redrawn; show the change at once.
    Game->RedrawEnded();
    if (FrameLoop) FrameLoop->Wake();
    SaveSettings();
}

void TVantaroForm::ChatModeChanged() {
    if (!ChatForm) return;
    const TGameType type = RulesForm ? RulesForm->GameType : TGameType::HotSeat;
    ChatForm->SetMode(type == TGameType::Network        ? TChatForm::TMode::Chat
                      : type == TGameType::SinglePlayer ? TChatForm::TMode::Log
                                                        : TChatForm::TMode::HotSeat);
}

void TVantaroForm::DrawDraggedCard() {
    const int32_t slot = Game->LiftedSlot;
    if (slot < 0 || slot > 4 || !Game->InProgress || Game->Phase != TGame::PhaseIdle) return;
    const int32_t card = Game->Hands[slot][Game->Turn];
    TSurface* target = Game->Graphics->BackBuffer.get();
    if (card < 0 || !Game->Cards || card >= Game->Cards->NumCards || !target) return;
    // Over everything else on the table, where the pointer holds it.
    const TRect dest{DraggedAt.x(), DraggedAt.y(), DraggedAt.x() + Game->CardWidth,
                     DraggedAt.y() + Game->CardHeight};
    target->Blt(dest, Game->Cards->GetCardPicture(card, Game->Turn), Game->CardSourceRect, BltWait);
}

void TVantaroForm::ShareShortcuts() {
    if (!ChatForm) return;
    // An action works wherever a widget it was added to has its window active;
    // every menu command of the table, now and added later, so works from the
    // side window as well.
    for (QAction* menu : MainMenu1->actions())
        if (menu->menu())
            for (QAction* action : menu->menu()->actions())
                if (!action->isSeparator() && !action->shortcut().isEmpty()) ChatForm->addAction(action);
}

TGameRules TVantaroForm::DialogRules() const {
    TGameRules rules;
    if (RulesForm) {
        rules.Open = RulesForm->Rules.Open;
        rules.Random = RulesForm->Rules.Random;
        rules.Same = RulesForm->Rules.Same;
        rules.SameWall = RulesForm->Rules.SameWall;
        rules.Plus = RulesForm->Rules.Plus;
        rules.Elemental = RulesForm->Rules.Elemental;
        rules.SuddenDeath = RulesForm->Rules.SuddenDeath;
    }
    return rules;
}

bool TVantaroForm::ExplainNetworkNewGame() {
    if (Net->Active() || !RulesForm || RulesForm->GameType != TGameType::Network) return false;
    if (Session->IsListening())
        LogLine(QStringLiteral("F2: nobody has joined yet. Hosting on port %1 goes on; the match is dealt "
                               "once a player joins. To play here instead, choose another game type in File › Rules.")
                    .arg(Session->ListeningPort()));
    else if (Session->State() != TNetSession::TState::Idle)
        LogLine("F2: still joining; the host deals once you are connected.");
    else
        LogLine("F2: no network table is open. Host or join in File › Rules, or choose another game type "
                "to play here.");
    return true;
}

void TVantaroForm::FileNewGameClick() {
    LeaveReplay();
    if (ExplainNetworkNewGame()) return;
    Computer->Cancel();
    Hint->Cancel();
    if (OnlineHoldsTable()) {
        AppendToLog("The server deals its matches; to play another, leave the table in the lobby.");
        return;
    }
    // A match dealt here takes the table back from the server's last one.
    OnlineShown = false;
    OnlineSeat = -1;
    if (Net->Active()) {
        // The host deals on both tables; the joiner asks the host to.
        Net->NewGame();
        if (FrameLoop) FrameLoop->Wake();
        AfterGameStep();
        return;
    }
    const TGameRules rules = DialogRules();
    const bool wasIdle = Game->Phase == TGame::PhaseIdle;
    const bool single = RulesForm && RulesForm->GameType == TGameType::SinglePlayer;
    const TSeats seats =
        single ? TSeats{TSeating::Computer, 1 - ComputerPlayer, RulesForm->Level} : TSeats{TSeating::HotSeat};
    Game->NewGame(1, rules, seats);
    // The computer takes its seat with the match it plays; a refused New Game
    // (cards still moving) leaves the match and its players as they were.
    if (wasIdle && Game->Phase == TGame::PhaseDealing) {
        NetSeat = -1;
        NetLeftBy.clear();
        Computer->Seat(single ? ComputerPlayer : -1, RulesForm ? RulesForm->Level : TLevel::Perfect);
    }
    if (FrameLoop) FrameLoop->Wake();
    AfterGameStep();
}

void TVantaroForm::FileRulesClick() {
    if (!RulesForm) return;
    LeaveReplay();
    Computer->Cancel();
    Hint->Cancel();
    RulesOpen = true;
    const bool accepted = RulesForm->exec() == QDialog::Accepted;
    RulesOpen = false;
    if (!accepted) return;
    SaveSettings();
    ApplyNetworkChoice();
    ChatModeChanged();
    UpdateTitle();
}

void TVantaroForm::ApplyNetworkChoice() {
    const bool idle = Session->State() == TNetSession::TState::Idle;
    if (!RulesForm || RulesForm->GameType != TGameType::Network) {
        if (!idle) Session->Close("they went back to playing at one keyboard.");
        return;
    }
    const TNetworkChoice& choice = RulesForm->Network;
    // The same table as before: keep the connection (or the waiting) as it is.
    if (!idle && choice == OpenNetwork) return;
    if (!idle) Session->Close("they moved to another table.");
    OpenNetwork = choice;
    if (!choice.Join) {
        Session->Host(choice.Port);
    } else if (choice.Address.isEmpty()) {
        LogLine("To join, give the host's name or address in File › Rules.");
    } else {
        Session->Join(choice.Address, choice.Port);
    }
}

void TVantaroForm::HelpHintClick() {
    if (Replaying()) return;
    if (!Game->Seats().OffersHint()) {
        LogLine("Hint: a server's matches are played without advice.");
        return;
    }
    if (Computer->HoldsTurn() || !Net->LocalMayMove() ||
        (OnlineHoldsTable() && !Online->TheMatch().LocalMayMove())) {
        LogLine("Hint: wait for your turn.");
        return;
    }
    if (Hint->Ask()) Recorder->NoteHint();
}

void TVantaroForm::FormKeyDown(uint16_t& key) {
    if (Replaying()) return;
    if (OnlineHoldsTable()) {
        // A card played here goes to the server, and is played once it is accepted.
        if (LocalPlayerMayMove && !LocalPlayerMayMove()) return;
        Online->TheMatch().KeyDown(key, Environment.FrameClock() / 1000);
        AfterGameStep();
        return;
    }
    // The person's keys and clicks wait while the computer is to move.
    if (Computer->HoldsTurn() || !Net->LocalMayMove()) return;
    if (LocalPlayerMayMove && !LocalPlayerMayMove()) return;
    if (Net->Active()) {
        // A card played here goes across to the other table.
        Net->KeyDown(key);
        AfterGameStep();
        return;
    }
    Game->KeyDown(key);
    AfterGameStep();
}

void TVantaroForm::SetZoom(int32_t factor) {
    ZoomFactor = std::clamp(factor, 1, Game->Graphics->BackBuffer ? LargestFittingZoom() : TSettings::MaxZoom);
    Stored.Zoom = ZoomFactor;
    ViewZoom[ZoomFactor - 1]->setChecked(true);
    // Before the drawing device exists the board keeps its first size, which
    // is the size of the drawing area; FormShow applies the zoom afterwards.
    if (Game->Graphics->BackBuffer) {
        ApplyZoom();
        SaveSettings();
    }
}

void TVantaroForm::ApplyZoom() {
    // A zoom remembered from a larger screen opens at the largest that fits;
    // the remembered choice stays for that screen.
    ZoomFactor = std::clamp(Stored.Zoom, 1, LargestFittingZoom());
    ViewZoom[ZoomFactor - 1]->setChecked(true);
    UpdateZoomChoices();
    const QSize area = Game->Graphics->BackBuffer ? QSize(Game->Graphics->BackBufferRect.right,
                                                          Game->Graphics->BackBufferRect.bottom)
                                                  : GameBoard->size();
    const QSize board = area * ZoomFactor;
    if (GameBoard->size() == board) {
        PlaceChatForm();
        return;
    }
    GameBoard->setFixedSize(board);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (layout()) layout()->activate();
    setFixedSize(sizeHint());
    UpdateZoomChoices();
    // The chat window stays against the right edge, now and once the window
    // manager has settled the new frame.
    PlaceChatForm();
    QTimer::singleShot(0, this, [this] { PlaceChatForm(); });
}

void TVantaroForm::SaveSettings() {
    if (!Settings) return;
    if (RulesForm) {
        Stored.Rules = RulesForm->Rules;
        Stored.GameType = RulesForm->GameType;
        Stored.Level = RulesForm->Level;
    }
    Stored.Position = pos();
    Settings->Save(Stored);
}

void TVantaroForm::keyPressEvent(QKeyEvent* event) {
    if (Replaying()) {
        ReplayKey(event);
        return;
    }
    if (auto key = VirtualKeyOf(*event)) {
        uint16_t code = *key;
        FormKeyDown(code);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TVantaroForm::closeEvent(QCloseEvent* event) {
    // Exit stops a search at once rather than when the window is destroyed,
    // and tells the other player of a network match.
    Computer->Cancel();
    Hint->Cancel();
    Session->Close("they quit the game.");
    Online->Disconnect();
    if (Online->Lobby()) Online->Lobby()->close();
    // The other windows never keep the program running on their own.
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) SaveSettings();
    if (event->isAccepted()) {
        // A match still running is given up with the table it was played on, not a replay's.
        LeaveReplay();
        Game->Leave();
    }
    if (event->isAccepted()) QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TVantaroForm::ShowHowToPlay() {
    THowToPlay dialog(this);
    dialog.exec();
}

void TVantaroForm::ShowAbout() {
    QMessageBox::about(this, "About Vantaro", AboutText());
}

bool AskTrustServer(const QString& server, const QString& fingerprint) {
    return QMessageBox::question(
               VantaroForm, "A new server",
               QString("This is the first time you connect to %1. Its certificate's fingerprint is\n\n%2\n\n"
                       "If the server's owner gave you this fingerprint, or you trust this server, choose Yes; "
                       "it will be remembered and checked every time you connect.")
                   .arg(server, fingerprint)) == QMessageBox::Yes;
}

void TVantaroForm::MakeOnlinePlay() {
    // Beside the settings, so that the identity moves with them.
    const QString folder = QFileInfo(Environment.SettingsFile.isEmpty() ? TSettings::DefaultFile()
                                                                         : Environment.SettingsFile)
                               .absolutePath();
    TOnlineHooks hooks;
    hooks.Log = AppendToLog;
    hooks.Wake = [this] {
        // The other seat is a person on the server now, not the computer.
        if (OnlineHoldsTable()) {
            Computer->Seat(-1, TLevel::Perfect);
            Hint->Cancel();
        }
        if (FrameLoop) FrameLoop->Wake();
    };
    hooks.NowMs = [this] { return Environment.FrameClock() / 1000; };
    hooks.Trust = Environment.TrustServer;
    hooks.TableWanted = [this] {
        if (!Replaying()) return;
        AppendToLog("Your match on the server has started: the replay gives it the table.");
        LeaveReplay();
    };
    hooks.Message = [this](const QString& text) {
        if (Environment.Message) Environment.Message(text.toStdString());
    };
    hooks.OpenReplay = [this](const TMatchRecord& record, const QString& source) {
        // The server's match goes on whatever this table shows; a replay waits for its end.
        if (OnlineHoldsTable()) {
            if (Environment.Message)
                Environment.Message("A replay opens once the match on the table has ended: leave the table first.");
            return false;
        }
        return OpenReplay(record, source);
    };
    Online = std::make_unique<TOnlinePlay>(*Game, GameBoard, folder, std::move(hooks));
    Online->Lobby()->RatedBox->setChecked(Stored.OnlineRated);
    connect(Online->Lobby()->RatedBox, &QCheckBox::toggled, this, [this](bool rated) {
        Stored.OnlineRated = rated;
        SaveSettings();
    });
}

bool TVantaroForm::OnlineHoldsTable() const {
    return Online && Online->Active();
}

void TVantaroForm::FilePlayOnlineClick() {
    QString server = Stored.OnlineServer, name = Stored.OnlineName;
    const bool asked = Environment.AskOnline ? Environment.AskOnline(server, name)
                                             : AskServerAndName(this, server, name);
    if (!asked) return;
    GoOnline(server, name);
}

void TVantaroForm::GoOnline(const QString& serverText, const QString& name) {
    const std::optional<TOnlineServer> server = ParseOnlineServer(serverText);
    if (!server) {
        AppendToLog(QString("\"%1\" is not a server address (HOST or HOST:PORT).").arg(serverText));
        return;
    }
    QString player = name;
    if (!ServerCodec::IsPlayerName(player)) {
        // No name remembered yet: ask, with the server filled in.
        QString text = serverText;
        const bool asked = Environment.AskOnline ? Environment.AskOnline(text, player)
                                                 : AskServerAndName(this, text, player);
        if (!asked || !ServerCodec::IsPlayerName(player)) return;
    }
    // A direct network table and the computer give way to the server.
    if (Session->State() != TNetSession::TState::Idle) Session->Close("they went to play online.");
    Stored.OnlineServer = serverText;
    Stored.OnlineName = player;
    SaveSettings();
    Online->Connect(*server, player);
}
