#pragma once

#include "game/Game.h"
#include "game/TableEvent.h"
#include "render/Reporting.h"

#include <QString>
#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QTimer;
class QWidget;
class TMatchArchive;
class TRecordKeeper;
class TReplayBar;
class TReplayView;
class TSearchThread;
struct TMatchRecord;

// Match records and replays: every match kept at its end, listed, saved,
// opened and shown on the table in place of the match, and reviewed move by
// move on a worker thread.
class TReplayControl {
public:
    struct THooks {
        TMessageSink Message;                            // a fault the player must see
        TMicrosecondClock FrameClock;                    // the frame clock
        TCalendarClock CalendarClock;                    // when a kept match was played
        std::function<QString(bool save)> AskRecordFile; // a record file to save to or open; empty for none
        // Why the table cannot be given to a replay now; empty when it can.
        std::function<QString()> TableBusy;
        // The table is about to be left for a replay: whatever was worked out for it is dropped.
        std::function<void()> Leaving;
        // The table went to a replay (true), where a server's match waits, or back to its match (false).
        std::function<void(bool replaying)> Handover;
        std::function<void()> Wake;  // a frame is due
        std::function<void()> Title; // the window's title follows
    };
    // `historyFolder`: where every match played is kept, empty for nowhere;
    // `review` and `leave`: the File menu's items that a replay shows.
    TReplayControl(TGame& game, QWidget& window, QString historyFolder, QAction* review, QAction* leave,
                   THooks hooks);
    ~TReplayControl();

    // A match ended or dealt: kept in the history at its end.
    void Take(const TTableEvent& event);
    // The server's record of a match this player sat in: kept in the history.
    void KeepServerRecord(const TMatchRecord& record);

    bool Replaying() const;
    TReplayView& Replay() { return *View; }
    TReplayBar& Bar() { return *ReplayBar; }
    TRecordKeeper* History() const { return Keeper.get(); }

    bool OpenReplay(const TMatchRecord& record, const QString& source);
    void LeaveReplay();
    // Lists the kept matches and replays the one chosen.
    void ShowMatchHistory();
    // Writes the match on the table, or the last one, to a file the player names.
    bool SaveMatchRecord();
    // Reads a record file the player names and replays it; a bad one is
    // refused with a message naming the file and the problem.
    bool OpenMatchRecord();
    // Scores every move of the replay on the worker thread, or cancels that.
    void ToggleReview();
    bool Reviewing() const;
    // Takes a finished review's lines into the side window and the chart.
    void CollectReview();
    // Keys during a replay: the replay's own, and nothing reaches the match.
    void ReplayKey(QKeyEvent* event);
    // One frame of a replay: play on, the controls and the title follow.
    void Step();
    void ShowState();

private:
    TGame& Game;
    QWidget& Window;
    QAction* ReviewItem;
    QAction* LeaveItem;
    THooks Hooks;
    std::unique_ptr<TRecordKeeper> Keeper;
    std::unique_ptr<TMatchArchive> Archive;
    std::unique_ptr<TReplayView> View;
    std::unique_ptr<TSearchThread> ReviewSearch;
    TReplayBar* ReplayBar = nullptr;
    // Runs only while a review is under way.
    QTimer* ReviewPoll = nullptr;
};
