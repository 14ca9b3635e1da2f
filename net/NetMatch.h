#pragma once

#include "game/Game.h"
#include "game/PacedKeys.h"
#include "net/NetMessage.h"
#include "rules/TableState.h"

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <utility>

class TNetSession;

// What the window does for a network match.
struct TNetMatchHooks {
    // A line for the match log.
    std::function<void(const QString&)> Log;
    // The rules the host deals with: its rules dialog's record.
    std::function<TGameRules()> HostRules;
    // The network match is over (connection gone or tables disagreeing); the
    // table has been stopped and the player may host, join or play hot-seat.
    std::function<void(const QString&)> Ended;
    // A deal of the network match is on the table (either side's, or the
    // one the joiner asked for): anything worked out for the last is stale.
    std::function<void()> Dealt;
};

// One match played across a connection: the host plays Blue and deals, the
// joiner plays Red. Moves travel as (hand slot, column, row) and are played
// on the other table through the same keys a person presses; after every
// placement both tables compare digests. The game must take its calendar
// clock from DealSeconds, so that both tables deal from the host's seed.
class TNetMatch : public QObject {
    Q_OBJECT

public:
    static constexpr int32_t HostPlayer = 1;
    static constexpr int32_t JoinerPlayer = 0;
    // The pause before each key of a move from across the network.
    static constexpr uint32_t KeyStepMs = 250;
    // More moves and deals than this waiting for the table is not an honest peer.
    static constexpr size_t MaxWaiting = 8;
    static constexpr size_t MaxDigests = 64;

    TNetMatch(TGame& game, TNetSession& session, TNetMatchHooks hooks,
              TCalendarClock calendarClock = CalendarSeconds);

    // The seconds the game seeds its random source with: the host's seed
    // (plus the deals already made from it, for Sudden Death replays) during
    // a network match, the calendar otherwise.
    int64_t DealSeconds();

    // Connected to another player (handshake done).
    bool Active() const;
    int32_t LocalPlayer() const;
    // Whether a local key may reach the game: always outside a network match,
    // during one only when it is this side's turn and nothing remote is pending.
    bool LocalMayMove() const;

    // A local key press during a network match; a played card goes across.
    void KeyDown(uint16_t key);
    // The local New Game command: the host deals, the joiner asks the host to.
    void NewGame();
    // Sends a line of chat; false (with a note in the log) when it cannot go.
    bool SendChat(const QString& text);
    // Once per frame, after the game's frame step: plays what arrived, sends
    // digests and ends the table when the connection has gone.
    void Step(uint64_t nowMs);

    // For tests and the log: placements compared so far in this connection.
    int32_t DigestsCompared() const { return Compared; }

private:
    void Connected(const QString& description);
    void Received(const TNetMessage& message);
    void Closed(const QString& reason);
    void Deal(int32_t dealId, int64_t seed, const TGameRules& rules);
    void HostDeal();
    void QueueOrPlay(const TNetMessage& message);
    bool PlayWaiting(uint64_t nowMs);
    void Placed();
    void CompareDigests();
    void Fault(const QString& reason);
    void StopTable();
    TTableState Table() const;
    QString PlayerName(int32_t player) const;
    void Log(const QString& line) const;

    TGame& Game;
    TNetSession& Session;
    TNetMatchHooks Hooks;
    TCalendarClock CalendarClock;
    TPacedKeys Paced;

    bool Playing = false;    // a deal of this connection is on the table
    bool EndTable = false;   // stop the table as soon as nothing moves
    bool DealAsked = false;  // the joiner asked the host for a deal
    bool RemoteMove = false; // the paced keys are playing the other side's move
    int32_t TurnBeforeRemote = 0;
    bool AwaitingDigest = false;
    int32_t LatestDeal = 0; // the newest deal number made or heard of
    int32_t TableDeal = 0;  // the deal number on the table
    int64_t Seed = 0;
    int32_t DealsFromSeed = 0;
    int32_t Placements = 0;
    int32_t Compared = 0;
    std::deque<TNetMessage> Waiting;
    std::map<std::pair<int32_t, int32_t>, uint32_t> LocalDigests;
    std::map<std::pair<int32_t, int32_t>, uint32_t> RemoteDigests;
};
