#pragma once

#include "app/NetworkChoice.h"
#include "rules/GameRules.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TGame;
class TNetMatch;
class TNetSession;
class TSideLog;

// A match against another computer across the network, hosted here or
// joined: the connection, the match played across it, and what the table and
// the log say about where it stands.
class TDirectPlay : public QObject {
public:
    struct THooks {
        std::function<TGameRules()> HostRules; // the rules the host deals with
        std::function<void()> Wake;            // a frame is due
        // The connection closed: the table may have stopped, and is drawn
        // again now; `settled` once the session has settled.
        std::function<void()> Closed;
        std::function<void()> Settled;
        // The other seat is a person across the network now.
        std::function<void()> Connected;
        // A deal of the network match is on the table: anything worked out for the last is stale.
        std::function<void()> Dealt;
        // The network match is over; a frame shows it.
        std::function<void()> Ended;
    };

    TDirectPlay(TGame& game, TSideLog& log, std::function<int64_t()> calendar, THooks hooks);
    ~TDirectPlay() override;

    TNetSession& Session() { return *Link; }
    TNetMatch& Net() { return *Match; }
    const TNetMatch& Net() const { return *Match; }
    // The other side holds the match: a peer is connected and the match is theirs as much as ours.
    bool Active() const;
    // Neither hosting, joining nor connected.
    bool Idle() const;
    // The seed of the next deal: the host's, across the network.
    int64_t DealSeconds() const;

    // Hosts, joins or leaves a network table as `network` (with network play
    // chosen or not) says; the same table as before keeps its connection.
    void Choose(bool networkChosen, const TNetworkChoice& network);
    void Close(const QString& reasonForPeer);
    // After the connection closed: whether the program still hosts, in the log.
    void TellWhereTheTableStands(bool networkChosen);
    // F2 with network play chosen and nobody to play: says what it does
    // instead; false when there is a match to deal.
    bool ExplainNewGame(bool networkChosen);
    // "you are Blue", "hosting on port 47017, waiting for a player"; empty
    // when no network table is open nor chosen.
    QString TitlePart(bool networkChosen) const;
    // Sends a typed chat line; false, after saying where chat goes, when no table is open.
    bool SendChat(const QString& text);

    // Once per frame and command: which colour is played here, for the table once the match ended.
    void Follow();
    // A match dealt here forgets the last network match.
    void Forget();
    // The colour that left the last network match, once it has ended; empty otherwise.
    const QString& LeftBy() const { return LeftByName; }

private:
    TGame& Game;
    TSideLog& Log;
    THooks Hooks;
    std::unique_ptr<TNetSession> Link;
    std::unique_ptr<TNetMatch> Match;
    // The table the session was last opened for.
    TNetworkChoice Opened;
    int32_t Seat = -1;
    QString LeftByName;
};
