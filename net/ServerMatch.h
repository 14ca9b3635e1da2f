#pragma once

#include "game/Game.h"
#include "game/PacedKeys.h"
#include "protocol/ServerMessage.h"
#include "rules/MatchLimits.h"
#include "rules/TableState.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>

// What the window does for a match on a server.
struct TServerMatchHooks {
    // A line for the match log.
    std::function<void(const QString&)> Log;
    // A request line for the server (a move, or the table as it stands).
    std::function<void(const QByteArray&)> Send;
    // A match this player sits in has started while the table is held for
    // something else: whatever holds it should give it back (Release).
    std::function<void()> TableWanted;
};

// A match the server decides, shown on this table. The server's `match`
// deals from its seed, rules and first player exactly as the table deals; a
// player coming back or a watcher arriving late gets the moves made so far,
// which the rules core replays with nothing shown and the table takes over at
// once, as undo does. Each accepted move (`moved`) is played through the keys
// a person presses, a step at a time. This player's own card is not played
// when Enter is pressed: the move goes to the server and is played once the
// server has accepted it, so the table never shows a move the server did not
// take. Every accepted move is kept, so the table can be built again from
// them at any time; a table out of step with the server (a move missing, or
// one that does not play here) asks the server for the match as it stands,
// once, and is built again from the answer. The game must take its calendar
// clock from DealSeconds during a server match.
class TServerMatch {
public:
    static constexpr uint32_t KeyStepMs = 250;
    // The clock warns in the last seconds of a move.
    static constexpr int32_t ClockWarnSeconds = 10;
    // More accepted moves than this waiting to be shown: the table catches up
    // at once rather than a quarter of a second a key.
    static constexpr size_t MaxWaiting = 16;
    // A Sudden Death match deals again at most this often: a replay for every
    // deal but the first, and one dealt after the last card.
    static constexpr int64_t MaxRedeals = MatchLimits::MaxDeals;

    TServerMatch(TGame& game, TServerMatchHooks hooks);

    // A server match is on the table (its end may still be showing).
    bool Active() const { return Playing; }
    // This player sits in a match that is still being played.
    bool Seated() const { return Playing && You >= 0 && !EndTable && !Known.Ended; }
    int32_t LocalSeat() const { return You; }
    // The names in the seats of the match on the table (Red, Blue).
    const std::array<QString, 2>& Players() const { return Seats; }
    // The server's numbers for the table and the match on it.
    int64_t TableId() const { return Table; }
    int64_t MatchId() const { return Known.State.Match; }
    // Each player's time away the server allows in this match.
    int32_t AwaySeconds() const { return Known.State.AwaySeconds; }
    // The seed of the server's deal (plus the deals already made from it,
    // for Sudden Death replays).
    int64_t DealSeconds();
    // The match is in play on the table and nothing of the server's is
    // still to show: the table stands as the server has it.
    bool Still() const;
    // Whether a key of the person here may reach the table now: theirs to
    // move, the table still, no move awaiting its answer.
    bool LocalMayMove() const;
    // A key of the person here; the key that would play a card sends the move instead.
    void KeyDown(uint16_t key, uint64_t nowMs);

    // The server's messages about the match: match, moved, move_refused,
    // away, back, ended, and the lobby or the table when they answer a
    // request for the match. Others are ignored.
    void Received(const TServerMessage& message, uint64_t nowMs);
    // Once per frame, after the game's frame step.
    void Step(uint64_t nowMs);
    // Off the table (left it, or the connection is gone): the table stops as
    // it stands, with `banner` on it when given.
    void Stop(const QString& why, const QString& banner = {});
    // The line to the server dropped and is being tried again: the table
    // waits as it stands, keys do nothing and the move clock stops, until
    // the server's match arrives again (or Stop).
    void LineLost();
    bool LineDown() const { return LineIsDown; }

    // The table is lent to something else (a replay): the server's messages
    // are still followed, but nothing reaches the table until Release, which
    // builds it again as the server has it now, without animation, if
    // anything arrived meanwhile.
    void Hold();
    void Release();
    bool Held() const { return Holding; }
    // A request for the table as it stands is on its way to the server.
    bool AwaitingState() const { return StateAsked; }

    // What the table shows beside the board: the move clock of whoever is
    // to move, whenever the table has one, or the countdown of a player
    // whose line dropped. Empty for nothing.
    QString Overlay(uint64_t nowMs) const;
    // The same, short, for the turn line: "42 s", "Red away 57 s".
    QString ClockText(uint64_t nowMs) const;
    // The clock is a warning: in its last seconds, or a line dropped.
    bool ClockWarns(uint64_t nowMs) const;
    // True once per move when this player's own clock enters its last
    // seconds: the moment for a sound.
    bool TakeClockWarning(uint64_t nowMs);
    // After a rated match has ended on the table, the player's rating change
    // ("Rating 1512 → 1527 (+15)") to show with the result; empty otherwise
    // and for a watcher, whose log names both.
    QString RatingLine() const { return ShownRating; }
    // After a match ended before its last card has ended on the table, the
    // banner's words for how ("You win – Red left the match", "You lose on
    // time"); empty otherwise: a finished match's board says its score.
    QString EndingLine() const { return ShownEnding; }
    // Moves of this match applied to the table so far.
    int32_t Applied() const { return AppliedMoves; }

private:
    struct TWaiting {
        bool Ended = false;
        TPlacementMove Move;
        int32_t Seat = 0;
        QString Result;
        QString How;
        QString Ratings; // the log's line, for a rated match
        QString OwnRating;
        QString Banner;
        TTableEvent::TDecision Decision = TTableEvent::TDecision::None;
        int32_t Winner = -1;
    };
    void SayRatings(const TServerMessage& ended, TWaiting& waiting) const;
    QString Banner(const TServerMessage& ended, bool loserAway) const;
    // Everything the server has said about the match: enough to build the table again.
    struct TKnown {
        TServerMatchState State;
        bool Ended = false;
        TWaiting End;
    };
    void Setup(const TServerMatchState& state, bool announce, int64_t clockMs, uint64_t nowMs);
    // The table as the known moves leave it, without animation; false (and
    // the table stopped) when they do not replay here.
    bool Rebuild();
    void OutOfStep(const QString& problem);
    void Ended(const TServerMessage& message);
    uint64_t Deadline(int64_t clockMs, uint64_t nowMs) const;
    uint64_t SecondsLeft(uint64_t nowMs) const;
    void PlayWaiting(uint64_t nowMs);
    void Settle();
    void StopTable();
    TTableState TableState() const;
    // Who sits at this table for its match: a player in their own seat, or a watcher.
    TSeats TableSeats() const;
    QString SeatName(int32_t seat) const;
    void Log(const QString& line) const;

    TGame& Game;
    TServerMatchHooks Hooks;
    TPacedKeys Paced;
    TKnown Known;
    bool Playing = false;
    bool EndTable = false;
    bool AwaitingAnswer = false; // our move went to the server
    bool PlayingMove = false;    // the paced keys play an accepted move
    bool StateAsked = false;     // at most one request for the table at a time
    bool Holding = false;
    bool ChangedWhileHeld = false;
    bool LineIsDown = false;
    int32_t TurnBeforeMove = 0;
    int64_t Table = 0;
    int64_t Seed = 0;
    int32_t DealsFromSeed = 0;
    int32_t You = -1;
    int32_t Seconds = 60;
    std::array<QString, 2> Seats;
    int32_t AppliedMoves = 0; // played on the table
    std::deque<TWaiting> Waiting;
    uint64_t TurnDeadlineMs = 0;   // 0: no clock running
    uint64_t WarnedDeadlineMs = 0; // the deadline whose warning was given
    int32_t ClockSeat = -1;        // whose clock runs, when the table has not caught up yet
    int32_t AwaySeat = -1;
    uint64_t AwayDeadlineMs = 0;
    QString ShownRating;
    QString ShownEnding;
    // The server's word on a match it stopped, told with the stop once shown.
    TTableEvent::TDecision StopDecision = TTableEvent::TDecision::None;
    int32_t StopWinner = -1;
};
