#pragma once

#include "app/FrameLoop.h"
#include "app/NetworkChoice.h"
#include "app/StoredSettings.h"
#include "game/Game.h"
#include "render/DataFolder.h"
#include "render/Reporting.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QMenu;
class TBoardMouse;
class TComputerSeat;
class THintAdvisor;
class TNetMatch;
class TNetSession;
class TMatchLog;
class TOnlinePlay;
class TSettings;

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
    // A network table to open as soon as the program has loaded (--host, --join).
    std::optional<TNetworkChoice> Network;
    // A game server to go online to as soon as the program has loaded (--online).
    std::optional<QString> Online;
    // Asked once per new server whether to trust its certificate: the server
    // and its fingerprint; true trusts it.
    std::function<bool(const QString&, const QString&)> TrustServer = AskTrustServer;
    // Asks for the server and the name (File › Play Online); false when cancelled.
    std::function<bool(QString& server, QString& name)> AskOnline;
};

// The main window: the board panel the game draws into, the menu, and the
// keyboard. Its first showing loads everything behind the progress window.
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
    // Hosts, joins or leaves a network table as the rules dialog says.
    void ApplyNetworkChoice();
    // The rules dialog's record, as New Game deals with it.
    TGameRules DialogRules() const;

    // In a single-player match the computer plays Red; the person, Blue, moves first.
    static constexpr int32_t ComputerPlayer = 0;

    // The board enlarged 1 to 3 times; the drawing area itself stays 512 x 384.
    void SetZoom(int32_t factor);
    int32_t Zoom() const { return ZoomFactor; }

    // Consulted before any key or click of the person at this computer reaches
    // the match; unset, the person may always move. The computer or a player
    // across the network moves through the game's keys directly.
    std::function<bool()> LocalPlayerMayMove;

    bool IdleHookInstalled() const { return FrameLoop != nullptr; }
    // Set once a load failed and the program was asked to end.
    bool TerminationRequested = false;

    std::unique_ptr<TGame> Game;
    // Runs ApplicationIdle once per display refresh while the match moves.
    std::unique_ptr<TFrameLoop> FrameLoop;
    QWidget* GameBoard;
    QMenuBar* MainMenu1;
    QMenu* FileMenu;
    QAction* FileNewGame;
    QAction* FileRules;
    QAction* FilePlayOnline;
    QAction* FileExit;
    QMenu* ViewMenu;
    QAction* ViewZoom[3];
    QAction* ViewZoomIn;
    QAction* ViewZoomOut;
    QMenu* HelpMenu;
    QAction* HelpHint;

    // The computer at the table in a single-player match, and Help › Hint.
    std::unique_ptr<TComputerSeat> Computer;
    std::unique_ptr<THintAdvisor> Hint;
    // The connection of a network match and the match played across it.
    std::unique_ptr<TNetSession> Session;
    std::unique_ptr<TNetMatch> Net;
    std::unique_ptr<TMatchLog> MatchLog;
    // Playing on a game server: the lobby and the server's match on this table.
    std::unique_ptr<TOnlinePlay> Online;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void RequestTermination();
    // The folder holding Data/, or nothing after telling the player where it was looked for.
    std::optional<TDataFolder> LocateData() const;
    void PlaceChatForm();
    void ShowHowToPlay();
    void ShowAbout();
    void AfterGameStep();
    void ApplyZoom();
    void SaveSettings();
    void MakeOnlinePlay();
    bool OnlineHoldsTable() const;

    TShellEnvironment Environment;
    bool Shown = false;
    std::unique_ptr<TBoardMouse> Mouse;
    bool RulesOpen = false;
    // The table the session was last opened for.
    TNetworkChoice OpenNetwork;
    std::unique_ptr<TSettings> Settings;
    TStoredSettings Stored;
    int32_t ZoomFactor = 1;
    QActionGroup* ZoomGroup;
};

extern TVantaroForm* VantaroForm;
