#pragma once

#include "app/FrameLoop.h"
#include "app/MatchRecorder.h"
#include "app/NetworkChoice.h"
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
class QActionGroup;
class QMenu;
class QTimer;
class TBoardMouse;
class TComputerSeat;
class THintAdvisor;
class TNetMatch;
class TNetSession;
class TMatchArchive;
class TRecordKeeper;
class TMatchLog;
class TOnlinePlay;
class TReplayBar;
class TReplayView;
class TSearchThread;
struct TMatchRecord;
class TSettings;
class TSoundCues;
class TSoundPlayer;
class TStatistics;
class TUndoHistory;

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
    QAction* ViewAnnounce;
    QAction* ViewFrameRate;
    QMenu* HelpMenu;
    QAction* HelpHint;
    QAction* HelpHowToPlay;
    QAction* HelpAbout;

    // Who sits where at this table, for the announcements on it.
    TTableSeats Seats() const;
    // "Vantaro", or the mode outside hot-seat ("Vantaro — Single Player, Perfect").
    QString TitleText() const;
    // The largest zoom at which the table and the side window both fit the
    // available area of the screen the table is on.
    int32_t LargestFittingZoom() const;
    // Where the side window goes: against the table's right edge, kept on
    // the table's screen.
    QPoint ChatFormPlace() const;
    QRect AvailableArea() const;
    // After the game type changed: the side window's mode and the title follow.
    void ChatModeChanged();
    void UpdateTitle();

    // The computer at the table in a single-player match, and Help › Hint.
    std::unique_ptr<TComputerSeat> Computer;
    std::unique_ptr<THintAdvisor> Hint;
    // The connection of a network match and the match played across it.
    std::unique_ptr<TNetSession> Session;
    std::unique_ptr<TNetMatch> Net;
    std::unique_ptr<TMatchLog> MatchLog;
    // Playing on a game server: the lobby and the server's match on this table.
    std::unique_ptr<TOnlinePlay> Online;
    // The table shows (or last showed) a server's match, and this player's
    // seat at it, -1 when watching.
    bool OnlineShown = false;
    int32_t OnlineSeat = -1;

    // Game statistics and the table's sounds (VantaroFormExtras.cpp).
    QAction* FileStatistics;
    QAction* ViewSound;
    std::unique_ptr<TStatistics> Statistics;
    std::unique_ptr<TMatchRecorder> Recorder;
    std::unique_ptr<TSoundPlayer> SoundPlayer;
    std::unique_ptr<TSoundCues> Sounds;
    // Edit › Undo and Redo.
    QMenu* EditMenu;
    QAction* EditUndo;
    QAction* EditRedo;
    std::unique_ptr<TUndoHistory> History;
    void EditUndoClick();
    void EditRedoClick();
    // Whether the table may be taken back or forward now: a match on a still
    // table, not across a network.
    bool UndoAllowed() const;
    void ShowStatistics();
    void SetSound(bool on);
    // Tells everyone around the table what happened at it; a replay is no
    // match, and nothing around the table hears it.
    void HearTable(const TTableEvent& event);
    bool Closing = false;

    // Match records and replays (VantaroFormReplay.cpp).
    QAction* FileHistory;
    QAction* FileSaveRecord;
    QAction* FileOpenRecord;
    QAction* FileLeaveReplay;
    QAction* FileReview;
    std::unique_ptr<TRecordKeeper> MatchHistory;
    std::unique_ptr<TMatchArchive> Archive;
    std::unique_ptr<TReplayView> Replay;
    std::unique_ptr<TSearchThread> ReviewSearch;
    TReplayBar* ReplayBar = nullptr;
    // Runs only while a review is under way.
    QTimer* ReviewPoll = nullptr;
    bool Replaying() const;
    void ShowMatchHistory();
    // Writes the match on the table, or the last one, to a file the player names.
    bool SaveMatchRecord();
    // Reads a record file the player names and replays it; a bad one is
    // refused with a message naming the file and the problem.
    bool OpenMatchRecord();
    bool OpenReplay(const TMatchRecord& record, const QString& source);
    void LeaveReplay();
    // Scores every move of the replay on the worker thread, or cancels that.
    void ToggleReview();
    bool Reviewing() const;
    // Takes a finished review's lines into the side window and the chart.
    void CollectReview();
    // Keys during a replay: the replay's own, and nothing reaches the match.
    void ReplayKey(QKeyEvent* event);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

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
    void SetViewOptions();
    void UpdateZoomChoices();
    // Makes every command of the menus work from the side window too.
    void ShareShortcuts();
    // After each frame and command: a match stopped from outside is drawn
    // again to say so.
    void WatchTable();
    // After a connection closed: whether the program still hosts, in the log.
    void TellWhereTheTableStands();
    // F2 at a network table with nobody to play: says what it does instead.
    bool ExplainNetworkNewGame();
    void LogLine(const QString& line);
    void DrawDraggedCard();
    void BuildExtras();
    void StartSound(const TDataFolder& data);
    void UpdateUndoMenu();
    void MakeOnlinePlay();
    bool OnlineHoldsTable() const;
    void BuildReplay();
    // One frame of a replay: play on, the controls and the title follow.
    void StepReplay();
    void ShowReplayState();
    void KeepRecord(const TMatchRecord& record);

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
    TTableAnnouncer Announcer;
    // The colour played here in the last network match on the table (-1:
    // none) and who left it, for the table once it has ended.
    int32_t NetSeat = -1;
    QString NetLeftBy;
    bool StoppedUnshown = false;
    // The top-left corner of a hand card the mouse drags, in the drawing area.
    QPoint DraggedAt;
    // The last line of the log, so a refusal repeated by mashed keys shows once.
    QString LastLogLine;
    // The heading of the last hint list, so each move's list gets one.
    QString HintHeading;
};

extern TVantaroForm* VantaroForm;
