#pragma once

#include "app/FrameLoop.h"
#include "app/NetworkChoice.h"
#include "app/SideLog.h"
#include "app/StoredSettings.h"
#include "app/TableAnnouncer.h"
#include "game/Game.h"
#include "render/DataFolder.h"
#include "render/Reporting.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class TBoardMouse;
class TDirectPlay;
class TMainMenu;
class TOnlineControl;
class TOnlinePlay;
class TReplayControl;
class TSettings;
class TSoundPlayer;
class TTableDriver;
class TTableListeners;
class TWindowGeometry;

// A message box showing a new server's fingerprint.
bool AskTrustServer(const QString& server, const QString& fingerprint);

// What the shell takes from the outside world; tests replace all of it.
struct TShellEnvironment {
    TMessageSink Message = ShowMessageBox;
    TCalendarClock CalendarClock = CalendarSeconds;
    TMicrosecondClock FrameClock = MonotonicMicroseconds;
    // Where Data/ is looked for when the working directory has none; empty
    // for the folder of the program itself.
    QString ApplicationDir;
    // Where the rules, the game type, the zoom and the window's place are
    // remembered between runs; empty to remember nothing.
    QString SettingsFile;
    // The available area of the screen the table is on; unset asks the screen.
    std::function<QRect()> ScreenArea;
    // A network table to open as soon as the program has loaded (--host, --join).
    std::optional<TNetworkChoice> Network;
    // What plays the table's sounds, made once Data/ is found; unset for the
    // sound device through Qt Multimedia.
    std::function<std::unique_ptr<TSoundPlayer>(const TDataFolder&)> MakeSoundPlayer;
    // A game server to go online to as soon as the program has loaded (--online).
    std::optional<QString> Online;
    // Asked once per new server whether to trust its certificate: the server
    // and its fingerprint; true trusts it.
    std::function<bool(const QString&, const QString&)> TrustServer = AskTrustServer;
    // Asks for the server and the name (File › Play Online); false when cancelled.
    std::function<bool(QString& server, QString& name)> AskOnline;
    // Where every match played is kept; empty for History/ beside the
    // settings file, and nowhere without one.
    QString HistoryFolder;
    // Asks for a match record file to save to (`save`) or open; empty for none.
    std::function<QString(bool save)> AskRecordFile;
    // Calls a player back to a window in the background (a match across the
    // network started, or it is their move): whether one of the game's
    // windows is in front (unset: asks the application), and a desktop
    // notification's title and line (unset: the desktop's notification service).
    std::function<bool()> InForeground;
    std::function<void(const QString& title, const QString& body)> Notify;
    // A yes-or-no question before a match on a server is given up (its title
    // and words); true goes on. Unset for a message box.
    std::function<bool(const QString& title, const QString& question)> Confirm;
};

// The main window: the board panel the game draws into, the menus, and the
// keyboard. Its first showing loads everything behind the progress window.
// It wires its parts together and answers the menus and the keys; each part
// does its own work: the menus, the window's size and place, the table's
// driver and seats, direct network play, play on a server, and replays.
class TVantaroForm : public QMainWindow {
public:
    explicit TVantaroForm(TShellEnvironment environment = {});
    ~TVantaroForm() override;

    void FormShow();
    void ApplicationIdle();
    void FileNewGameClick();
    void FileRulesClick();
    void FormKeyDown(uint16_t& key);
    void HelpHintClick();
    // File › Play Online: asks for the server and name, then opens the lobby.
    void FilePlayOnlineClick();
    // Opens the lobby of the server written as HOST[:PORT] with the remembered name.
    void GoOnline(const QString& server, const QString& name);

    std::unique_ptr<TGame> Game;
    QWidget* GameBoard;
    QMenuBar* MainMenu1;
    QMenu* FileMenu;
    QAction* FileNewGame;
    QAction* FileRules;
    QAction* FileExit;
    QMenu* HelpMenu;

    // The parts of the window.
    TMainMenu& Menus() { return *Menu; }
    TWindowGeometry& Geometry() { return *Place; }
    TTableDriver& Table() { return *Driver; }
    TDirectPlay& Direct() { return *DirectNet; }
    TOnlinePlay& Online() { return *OnServer; }
    TReplayControl& Replays() { return *Replay; }
    TTableListeners& Listening() { return *Listeners; }

    // Runs ApplicationIdle once per display refresh while the match moves;
    // null until everything has loaded, or once stopped.
    TFrameLoop* Frames() const { return FrameLoop.get(); }
    void StopFrames() { FrameLoop.reset(); }
    bool IdleHookInstalled() const { return FrameLoop != nullptr; }
    // The next frame may differ from the last: the frame loop runs on.
    bool PictureMoves() const;
    // Set once a load failed and the program was asked to end.
    bool TerminationRequested() const { return Terminating; }

    // Who sits where at this table, for the announcements on it.
    TTableSeats Seats() const;
    // Whether the table may be taken back or forward now: a match on a still
    // table, at one keyboard or against the computer.
    bool UndoAllowed() const;
    // "Vantaro", or the mode outside hot-seat ("Vantaro — Single Player, Perfect").
    QString TitleText() const;
    void UpdateTitle();
    // After the game type changed: the side window's mode and the title follow.
    void ChatModeChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void RequestTermination();
    // The folder holding Data/, or nothing after telling the player where it was looked for.
    std::optional<TDataFolder> LocateData() const;
    void ShowHowToPlay();
    void ShowAbout();
    void ShowStatistics();
    void SetSound(bool on);
    void EditUndoClick();
    // The commands of a server's table: enabled when they can act.
    void UpdateTableMenu();
    void EditRedoClick();
    void AfterGameStep();
    void Wake();
    void SaveSettings();
    void SetViewOptions();
    // Hosts, joins or leaves a network table as the rules dialog says.
    void ApplyNetworkChoice();
    bool NetworkChosen() const;
    // The rules dialog's record, as New Game deals with it.
    TGameRules DialogRules() const;
    // Tells everyone around the table what happened at it; a replay is no
    // match, and nothing around the table hears it.
    void HearTable(const TTableEvent& event);
    // After each frame and command: a match stopped from outside is drawn
    // again to say so.
    void WatchTable();
    void DrawDraggedCard();
    void UpdateUndoMenu();
    // The parts, made and wired together (VantaroFormParts.cpp).
    void MakeMenus();
    void MakeParts();
    void MakeOnlinePlay();
    void MakeReplays();

    TShellEnvironment Environment;
    bool Shown = false;
    bool Terminating = false;
    bool Closing = false;
    bool RulesOpen = false;
    bool StoppedUnshown = false;
    std::unique_ptr<TSettings> Settings;
    TStoredSettings Stored;
    TSideLog Log;
    TTableAnnouncer Announcer;
    std::unique_ptr<TMainMenu> Menu;
    std::unique_ptr<TWindowGeometry> Place;
    std::unique_ptr<TFrameLoop> FrameLoop;
    std::unique_ptr<TBoardMouse> Mouse;
    std::unique_ptr<TDirectPlay> DirectNet;
    std::unique_ptr<TOnlineControl> OnlineDoor;
    TOnlinePlay* OnServer = nullptr;
    std::unique_ptr<TTableDriver> Driver;
    std::unique_ptr<TReplayControl> Replay;
    std::unique_ptr<TTableListeners> Listeners;
    // The top-left corner of a hand card the mouse drags, in the drawing area.
    QPoint DraggedAt;
};

extern TVantaroForm* VantaroForm;
