#include "app/VantaroForm.h"

#include "app/BoardMouse.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/DirectPlay.h"
#include "app/HintAdvisor.h"
#include "app/HowToPlay.h"
#include "app/LobbyForm.h"
#include "app/MainMenu.h"
#include "app/OnlineControl.h"
#include "app/OnlinePlay.h"
#include "app/ProgressForm.h"
#include "app/ReplayControl.h"
#include "app/ReplayView.h"
#include "app/RulesForm.h"
#include "app/Settings.h"
#include "app/TableDriver.h"
#include "app/TableListeners.h"
#include "app/VirtualKeys.h"
#include "app/WindowGeometry.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMoveEvent>
#include <QTimer>

TVantaroForm* VantaroForm = nullptr;

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

    MakeMenus();
    MainMenu1 = Menu->Bar;
    FileMenu = Menu->FileMenu;
    FileNewGame = Menu->FileNewGame;
    FileRules = Menu->FileRules;
    FileExit = Menu->FileExit;
    HelpMenu = Menu->HelpMenu;

    // Every key goes to the window itself; nothing in it takes the focus.
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    if (!Environment.SettingsFile.isEmpty()) {
        Settings = std::make_unique<TSettings>(Environment.SettingsFile);
        Stored = Settings->Load();
    }
    move(Stored.Position.value_or(QPoint(197, 120)));
    Menu->ViewAnnounce->setChecked(Stored.AnnounceTurns);
    Menu->ViewFrameRate->setChecked(Stored.ShowFrameRate);
    Menu->ViewSound->setChecked(Stored.Sound);

    // Deals are seeded from the calendar, except in a network match, where both
    // tables deal from the host's seed.
    Game = std::make_unique<TGame>(
        [this] {
            if (OnServer && OnServer->Active()) return OnServer->TheMatch().DealSeconds();
            if (DirectNet) return DirectNet->DealSeconds();
            return Environment.CalendarClock ? Environment.CalendarClock() : CalendarSeconds();
        },
        Environment.FrameClock);
    Game->ShowFrameRate = Stored.ShowFrameRate;
    Game->Overlay = [this] {
        Announcer.Draw(*Game, Seats());
        DrawDraggedCard();
    };
    TWindowGeometry::TZoomActions zoom;
    for (int32_t i = 0; i < 3; ++i) zoom.Zoom[i] = Menu->ViewZoom[i];
    zoom.ZoomIn = Menu->ViewZoomIn;
    zoom.ZoomOut = Menu->ViewZoomOut;
    Place = std::make_unique<TWindowGeometry>(*this, *GameBoard, *Game->Graphics, zoom,
                                              Environment.ScreenArea, [this](int32_t factor) {
                                                  Stored.Zoom = factor;
                                                  if (Game->Graphics->BackBuffer) SaveSettings();
                                              });
    MakeParts();
    Game->Subscribe([this](const TTableEvent& event) { HearTable(event); });
}

TVantaroForm::~TVantaroForm() {
    // No frame, no click and nothing the table tells may reach what is being destroyed.
    Closing = true;
    FrameLoop.reset();
    Mouse.reset();
    Listeners.reset();
    // Searches end before the game whose copy they were working on.
    Replay.reset();
    Driver.reset();
    OnServer = nullptr;
    OnlineDoor.reset();
    DirectNet.reset();
    Game.reset();
}

void TVantaroForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (Shown) return;
    Shown = true;
    FormShow();
}

void TVantaroForm::RequestTermination() {
    Terminating = true;
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
    Place->PlaceChatForm();
    // Typed lines go to the other player of a network match; outside one the
    // log says where chat goes and the line stays in the field.
    if (ChatForm) {
        ChatForm->SendText = [this](const QString& text) {
            if (OnServer->SignedIn()) return OnServer->SendChat(text);
            return DirectNet->SendChat(text);
        };
        // Keys the side window has no use for play at the table; Esc in its
        // field hands the keys back to the table.
        ChatForm->ForwardKey = [this](QKeyEvent* event) { keyPressEvent(event); };
        // Another's line at a server's table offers what the lobby's list offers for them.
        ChatForm->SpeakerMenu = [this](QMenu& menu, const QString& speaker) {
            if (OnServer && OnServer->SignedIn()) OnServer->Lobby()->FillPlayerMenu(menu, speaker);
        };
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
                this, [this] { ApplicationIdle(); }, [this] { return PictureMoves(); });
            FrameLoop->Wake();
        }
        if (!Game->Cards->LoadCards(*Game->Graphics, report, Environment.Message, *data))
            RequestTermination();
        // Without its lettering the table announces nothing; the game plays on.
        if (!Terminating && !Announcer.Load(*Game->Graphics, *data))
            Log.Line("The table's lettering could not be loaded; turns and results show only in this log.");
        Listeners->StartSound(*data, Environment.MakeSoundPlayer);
    }

    // The drawing area was made at the board's first size; only now may the
    // board grow.
    Place->ApplyZoom(Stored.Zoom);
    Listeners->OpenLog();
    if (ChatForm) Menu->ShareShortcuts(*ChatForm);
    ChatModeChanged();
    UpdateTitle();
    if (ChatForm) {
        ChatForm->show();
        // Window frames are settled only once the windows are on screen, after
        // this handler; place it again then, against the frame as it really is.
        Place->PlaceChatForm();
        QTimer::singleShot(0, this, [this] { Place->PlaceChatForm(); });
    }
    if (Environment.Network && !Terminating && RulesForm) {
        RulesForm->SetNetwork(*Environment.Network);
        ApplyNetworkChoice();
        ChatModeChanged();
        UpdateTitle();
    }
    if (Environment.Online && !Terminating) GoOnline(*Environment.Online, Stored.OnlineName);
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

void TVantaroForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The side window travels with the table.
    if (Shown) Place->PlaceChatForm();
}

void TVantaroForm::Wake() {
    if (FrameLoop) FrameLoop->Wake();
}

void TVantaroForm::ApplicationIdle() {
    Game->DoFrame();
    if (Replay->Replaying()) {
        Replay->Step();
        // Keeps the clock over the board off while the replay has the table.
        OnServer->Step();
        return;
    }
    AfterGameStep();
    WatchTable();
    // The computer thinks and walks while the frames go on; not while the
    // rules dialog is open, which also stops its search.
    if (RulesOpen) return;
    Driver->Step(Environment.FrameClock() / 1000);
}

void TVantaroForm::AfterGameStep() {
    // A replay is no match: nothing around the table watches it.
    if (Replay->Replaying()) {
        Replay->ShowState();
        return;
    }
    DirectNet->Follow();
    UpdateUndoMenu();
    UpdateTableMenu();
    UpdateTitle();
}

void TVantaroForm::UpdateTableMenu() {
    Menu->FileResign->setEnabled(OnServer->MayResign());
    Menu->FileRematch->setEnabled(OnServer->RematchOffered());
}

bool TVantaroForm::PictureMoves() const {
    // A match stopped from outside (a server's ending) stops in a frame that
    // still shows it in play: its ending is drawn in the frame after.
    return Game->InProgress || StoppedUnshown;
}

void TVantaroForm::WatchTable() {
    UpdateTitle();
    if (!StoppedUnshown) return;
    StoppedUnshown = false;
    // A match that ends on its ninth card shows its result in its last frame;
    // one stopped from outside is drawn again to say so.
    Game->RedrawEnded();
}

void TVantaroForm::HearTable(const TTableEvent& event) {
    if (Closing || event.Seats.Kind == TSeating::Replay) return;
    if (event.Kind == TTableEvent::TKind::Dealt || event.Kind == TTableEvent::TKind::Redealt) Driver->Dealt();
    Listeners->Take(event);
    Replay->Take(event);
    if (event.Kind == TTableEvent::TKind::Ended && event.How == TTableEvent::THow::Stopped)
        StoppedUnshown = true;
}

TTableSeats TVantaroForm::Seats() const {
    TTableSeats seats = Driver->AnnouncedSeats(Menu->ViewAnnounce->isChecked());
    if (Replay->Replaying()) {
        // A replay always says what it is, whatever the live table would say.
        seats.Announce = true;
        seats.Replay = Replay->Replay().Heading();
    }
    return seats;
}

QString TVantaroForm::TitleText() const {
    if (Replay->Replaying()) return QStringLiteral("Vantaro \u2014 Replay: ") + Replay->Replay().Title();
    const TSeats& seats = Game->Seats();
    if (seats.Kind == TSeating::ServerPlayer || seats.Kind == TSeating::ServerWatcher)
        return seats.Person == -1 ? QStringLiteral("Vantaro \u2014 Online, watching")
                                  : QStringLiteral("Vantaro \u2014 Online, you are %1")
                                        .arg(TTableAnnouncer::PlayerName(seats.Person));
    const TGameType type = RulesForm ? RulesForm->GameType : TGameType::HotSeat;
    if (type == TGameType::SinglePlayer) {
        static const char* const levels[] = {"Easy", "Normal", "Perfect"};
        return QStringLiteral("Vantaro \u2014 Single Player, %1").arg(levels[int(RulesForm->Level)]);
    }
    const QString where = DirectNet->TitlePart(type == TGameType::Network);
    return where.isEmpty() ? QStringLiteral("Vantaro") : QStringLiteral("Vantaro \u2014 Network, ") + where;
}

void TVantaroForm::UpdateTitle() {
    const QString title = TitleText();
    if (windowTitle() != title) setWindowTitle(title);
}

void TVantaroForm::SetViewOptions() {
    Stored.AnnounceTurns = Menu->ViewAnnounce->isChecked();
    Stored.ShowFrameRate = Menu->ViewFrameRate->isChecked();
    Game->ShowFrameRate = Stored.ShowFrameRate;
    // An ended match's picture stays until redrawn; show the change at once.
    Game->RedrawEnded();
    Wake();
    SaveSettings();
}

void TVantaroForm::SetSound(bool on) {
    Stored.Sound = on;
    Menu->ViewSound->setChecked(on);
    Listeners->SetSound(on);
    SaveSettings();
}

void TVantaroForm::ChatModeChanged() {
    if (!ChatForm) return;
    const TGameType type = RulesForm ? RulesForm->GameType : TGameType::HotSeat;
    // Signed in to a server, or at its table, the window is its chat whatever
    // the rules dialog was left at: the designer's texts belong to one keyboard.
    const TSeating seating = Game->Seats().Kind;
    const bool online = (OnServer && (OnServer->SignedIn() || OnServer->Active())) ||
                        seating == TSeating::ServerPlayer || seating == TSeating::ServerWatcher;
    ChatForm->SetMode(type == TGameType::Network || online ? TChatForm::TMode::Chat
                      : type == TGameType::SinglePlayer    ? TChatForm::TMode::Log
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

bool TVantaroForm::NetworkChosen() const {
    return RulesForm && RulesForm->GameType == TGameType::Network;
}

void TVantaroForm::FileNewGameClick() {
    Replay->LeaveReplay();
    if (DirectNet->ExplainNewGame(NetworkChosen())) return;
    Driver->Cancel();
    if (!Driver->Offers().Deal) {
        if (OnServer->Active()) {
            TSideLog::Note("The server deals its matches; to play another, leave the table in the lobby.");
            return;
        }
        OnServer->BackToLobby();
        return;
    }
    if (DirectNet->Active()) {
        // The host deals on both tables; the joiner asks the host to.
        DirectNet->Net().NewGame();
        Wake();
        AfterGameStep();
        return;
    }
    const TGameType type = RulesForm ? RulesForm->GameType : TGameType::HotSeat;
    if (Driver->Deal(DialogRules(), type, RulesForm ? RulesForm->Level : TLevel::Perfect))
        DirectNet->Forget();
    Wake();
    AfterGameStep();
}

void TVantaroForm::FileRulesClick() {
    if (!RulesForm) return;
    Replay->LeaveReplay();
    Driver->Cancel();
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
    DirectNet->Choose(NetworkChosen(), RulesForm ? RulesForm->Network : TNetworkChoice{});
}

void TVantaroForm::HelpHintClick() {
    if (Replay->Replaying()) return;
    if (Driver->AskHint()) Listeners->NoteHint();
}

void TVantaroForm::FormKeyDown(uint16_t& key) {
    if (Replay->Replaying()) return;
    if (Driver->KeyDown(key)) AfterGameStep();
}

void TVantaroForm::UpdateUndoMenu() {
    const bool allowed = UndoAllowed();
    Menu->EditUndo->setEnabled(allowed && !Game->Match().Script.Moves.empty());
    Menu->EditRedo->setEnabled(allowed && Listeners->CanRedo());
    Menu->HelpHint->setEnabled(Driver->Offers().Hint);
}

bool TVantaroForm::UndoAllowed() const {
    return Game->InProgress && Game->Phase == TGame::PhaseIdle && Driver->Offers().Undo && !RulesOpen;
}

void TVantaroForm::EditUndoClick() {
    if (!UndoAllowed()) return;
    // A move the computer is still thinking about is dropped with the
    // placement it answers; a pending hint belongs to the table being left.
    Driver->Cancel();
    Listeners->Undo(Driver->UndoPerson());
    Wake();
    AfterGameStep();
}

void TVantaroForm::EditRedoClick() {
    if (!UndoAllowed()) return;
    Driver->Cancel();
    Listeners->Redo();
    Wake();
    AfterGameStep();
}

void TVantaroForm::ShowStatistics() {
    Listeners->ShowStatistics(Game->Seats(), this);
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
    if (Replay->Replaying()) {
        Replay->ReplayKey(event);
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
    // No: the match goes on as if nothing had been asked.
    if (!OnServer->ConfirmQuitting()) {
        event->ignore();
        return;
    }
    // Exit stops a search at once rather than when the window is destroyed,
    // and tells the other player of a network match.
    Driver->Cancel();
    DirectNet->Close("they quit the game.");
    OnServer->Disconnect();
    if (OnServer->Lobby()) OnServer->Lobby()->close();
    // The other windows never keep the program running on their own.
    QMainWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    SaveSettings();
    // A match still running is given up with the table it was played on, not a replay's.
    Replay->LeaveReplay();
    Game->Leave();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
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
               QString(
                   "This is the first time you connect to %1. Its certificate's fingerprint is\n\n%2\n\n"
                   "If the server's owner gave you this fingerprint, or you trust this server, choose Yes; "
                   "it will be remembered and checked every time you connect.")
                   .arg(server, fingerprint)) == QMessageBox::Yes;
}

void TVantaroForm::FilePlayOnlineClick() {
    OnlineDoor->Ask();
}

void TVantaroForm::GoOnline(const QString& server, const QString& name) {
    OnlineDoor->Go(server, name);
}
