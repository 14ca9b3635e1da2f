#pragma once

#include "protocol/LobbyRequest.h"
#include "protocol/Protocol.h"
#include "protocol/ServerMessage.h"
#include "server/ChatBacklog.h"
#include "server/CommunityStorage.h"
#include "server/InlineStorageRunner.h"
#include "server/LobbyView.h"
#include "server/Moderation.h"
#include "server/Referee.h"
#include "server/ServerMetrics.h"
#include "server/ServerSettings.h"
#include "server/Storage.h"
#include "server/StoredMatch.h"
#include "server/TableClock.h"

#include "records/Rating.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class TAddressLimits;
class TServerLog;
struct TClusterMessage;
struct TClusterPeers;
struct TClusterSeat;

// The lobby and its tables, without sockets or a clock: fed who connected,
// what each asked and the time, it hands back the lines to send to whom and
// when it next needs the time. Every request is checked against who sent it:
// a client acts only for the name its certificate holds and the seat it sits
// in. Every accepted move is stored before anyone is told of it.
//
// Clients in the lobby see a bounded view of its players and tables, sent
// whole when they come to the lobby and then as the changes to it, gathered
// and sent at most every LobbyFlushMs; clients at a table hear only about it.
//
// Its parts: connections and the lobby's view (Lobby.cpp), signing in
// (LobbySignIn.cpp), tables and seats (LobbyTables.cpp), Play Now and
// challenges (LobbyMatchmaking.cpp), match play and its clocks
// (LobbyMatch.cpp), resigning and playing again (LobbyRematch.cpp), the
// messages built from its state (LobbyMessages.cpp), the leaderboard,
// profiles and records (LobbyRecords.cpp), and the lobby shared with other
// processes (cluster/LobbyCluster.cpp).
class TLobby {
public:
    static constexpr int64_t Never = TTableClock::Never;
    static constexpr int64_t LeaderboardCacheMs = 5'000;
    static constexpr int32_t LeaderboardSize = int32_t(Protocol::MaxLeaders);
    static constexpr int32_t HistorySize = int32_t(Protocol::MaxHistory);
    static constexpr int32_t RecentSize = int32_t(Protocol::MaxRecent);
    static constexpr size_t MaxAnswerBytes = size_t(Protocol::MaxServerLineBytes);
    static constexpr int64_t LobbyFlushMs = 250;
    // What the lobby's view holds of each: a snapshot must stay well within a line.
    static constexpr size_t ShownPlayers = 100;
    static constexpr size_t ShownTables = 100;
    // How often the address limits forget addresses whose windows have passed.
    static constexpr int64_t AddressSweepMs = 60'000;
    // How often the moderation log is read for actions taken elsewhere (by
    // another server sharing the database, or the admin command).
    static constexpr int64_t ModerationPollMs = 3'000;
    // How often a server renews the leases of the matches it runs, and looks
    // for matches whose lease ran out on another server, to take them over.
    // A server killed has its matches taken over within LeaseMs +
    // LeasePollMs; a renewal may come two periods late before that happens
    // to one alive.
    static constexpr int64_t LeasePollMs = 2'000;
    static_assert(LeasePollMs * 3 <= TStorage::LeaseMs);
    static_assert(TStorage::LeaseMs + LeasePollMs < 10'000);
    // Matches taken over at one look, at most.
    static constexpr size_t TakeOverMost = 100;

    struct TOutgoing {
        uint64_t Connection = 0;
        std::string Line;   // one or more JSON objects, each ending in '\n'
        bool Close = false; // close the connection once this is written
    };
    using TSeedSource = std::function<int64_t()>;

    TLobby(TStorage& storage, TServerLog& log, TAddressLimits& limits, TRefereeFactory referees,
           TSeedSource seeds);
    ~TLobby();

    // address: the client's, bare (no port), for address bans.
    void Connected(uint64_t connection, const std::string& fingerprint, const std::string& limitKey,
                   const std::string& address = {});
    void Handle(uint64_t connection, const TLobbyRequest& request, int64_t nowMs);
    void Disconnected(uint64_t connection, int64_t nowMs);
    // Move clocks, seats of players who dropped, and the lobby's changes.
    void Tick(int64_t nowMs);
    int64_t NextDeadline() const;
    std::vector<TOutgoing> TakeOutgoing();

    // After a restart: every stored match this server ran that is still in
    // play waits at its table for its players, each with the away allowance;
    // one already over by its moves ends with its result.
    void ResumeStored(int64_t nowMs);
    // Renews this server's leases and takes over the matches whose lease
    // ran out elsewhere, every LeasePollMs from now on, through the storage
    // runner: for servers sharing a database.
    void KeepLeases(int64_t nowMs);

    size_t PlayersOnline() const { return Players.size(); }
    size_t Tables() const { return TableById.size(); }
    size_t MatchesInPlay() const;
    // Counts stored moves and refusals into metrics from now on; it must outlive this.
    void CountInto(TServerMetrics& metrics) { Metrics = &metrics; }
    // Moves are stored through runner from now on (at once, on the given
    // storage, until then); it must outlive this.
    void StoreThrough(TStorageRunner& runner) { Runner = &runner; }
    // Sign-ins' reads and the leases' renewals and takeovers: on a runner of
    // their own, so that neither waits for the moves' commits nor holds them up.
    void ReadThrough(TStorageRunner& runner) { Reader = &runner; }

    // What signing in reads from the database (LobbySignIn.cpp).
    using TRelated = std::vector<std::pair<int64_t, std::string>>;
    struct TSignInRead {
        bool Unknown = false; // no player has the name yet
        TStorage::TBinding Binding;
        std::string Error; // why the binding failed
        std::optional<TStorage::TStanding> Standing;
        bool RelationsRead = false; // else the lobby reads them from its own storage
        std::optional<TRelated> Blocks, Follows;
    };
    // The operator's limits and allowances, from now on (a table keeps the
    // away allowance it started with).
    void Apply(const TServerSettings& settings);
    // Enforces the sanctions kept in the community's storage, which must
    // outlive this, and follows its moderation log from now on.
    void Moderate(TCommunityStorage& community, int64_t nowMs);
    const TServerSettings& CurrentSettings() const { return Settings; }

    // One lobby over several processes: each tells the others of its players
    // and tables, its lobby chat and who signs in, as bus messages it hands
    // back (TakeClusterOutgoing) and takes from them (HandleCluster); it
    // lists theirs beside its own, read-only. Their ids of players must come
    // from one shared database. Its tables' lines go out on a channel of each
    // table's, which a process subscribes to while someone there watches it;
    // those watchers chat at it through the process running it. A process
    // not heard from for ClusterSilenceMs is gone with all it listed. Every
    // ClusterWholeMs the heartbeat names every entry again, mending what a
    // lost message left wrong; between those it says only that it is alive.
    static constexpr int64_t ClusterHeartbeatMs = 3'000;
    static constexpr int64_t ClusterWholeMs = 30'000;
    static constexpr int64_t ClusterSilenceMs = 10'000;
    // origin: this process's name, its instance's.
    void JoinCluster(const std::string& origin, int64_t nowMs);
    // A message from the bus, as anyone may have written it.
    void HandleCluster(const std::string& payload, int64_t nowMs);
    // The bus went down or came back: back, every process is asked for its whole set.
    void ClusterBus(bool up, int64_t nowMs);
    // (channel, payload): "lobby", or the channel of one of this process's tables.
    std::vector<std::pair<std::string, std::string>> TakeClusterOutgoing();
    // (channel, true to subscribe or false to leave): the tables of others watched from here.
    std::vector<std::pair<std::string, bool>> TakeClusterSubscriptions();
    // Messages from the bus refused as malformed or beyond the bounds.
    size_t ClusterDropped() const;

private:
    struct TClient {
        std::string Fingerprint;
        std::string LimitKey;
        std::string Address;
        int64_t PlayerId = 0;   // 0 until logged in
        bool SigningIn = false; // its name is being looked up
        std::string Name;
        int64_t SignedInMs = 0;
        int64_t Afar = 0; // a table of another process watched, by its id here
        // Seated at a table of another process: its id here. RemoteOrigin is
        // the process this client's table requests go to, kept once back in
        // the lobby (to play that match again) until the client goes elsewhere.
        int64_t Remote = 0;
        int32_t RemoteSeat = -1;
        std::string RemoteOrigin;
        // Seated at a table of RemoteOrigin's when it went silent: sits back
        // at the match when that process, or one taking it over, is heard.
        bool Stranded = false;
        bool WaitingAfar = false; // for Play Now, at RemoteOrigin
        // What it asked Play Now for there: asked again of the next keeper
        // should that one go while it waits.
        std::optional<TLobbyRequest> PlayNowAfar;
        // A client of another process seated here: that process and its connection.
        std::string Via;
        uint64_t ViaConnection = 0;
        int64_t Table = 0; // the table sat at or watched
        int32_t Seat = -1; // -1 when watching
        TRating Rating;
        int64_t QueryWindowStartMs = 0;
        int32_t QueriesInWindow = 0;
        // Kept on the server; read as the player signs in.
        std::map<int64_t, std::string> Blocks, Follows;
        // The player's last lines of chat, with where they were said: a report's evidence.
        std::deque<std::string> Said;
        // What Play Now waits for, the most wanted first; empty when not waiting.
        std::vector<int32_t> WantRules;
        std::vector<int32_t> WantSeconds;
    };
    struct TChallenge {
        int64_t Id = 0;
        int64_t From = 0; // player ids
        int64_t To = 0;
        int32_t Rules = 0;
        int32_t Seconds = 60;
        bool Rated = false;
        int64_t ExpiresMs = 0;
    };
    struct TTable {
        int64_t Id = 0;
        int32_t Rules = 0;
        bool Rated = false;
        int64_t CreatedMs = 0;
        int64_t Seats[2] = {0, 0}; // player ids
        std::string Names[2];
        std::set<uint64_t> Watchers;
        // Someone on another process asked to watch it: its lines go on its channel from then on.
        bool WatchedAfar = false;
        TTableClock Clock{60, 0};
        // The match, once both seats are taken.
        std::unique_ptr<TReferee> Referee;
        TStoredMatch Match;
        int64_t ScheduledMs = Never; // the clock's next deadline, as kept in Deadlines
        // A move or the end is being stored: the referee has played it,
        // nobody has heard of it, and the clocks wait.
        bool Storing = false;
        std::optional<std::pair<TMatchStatus, int32_t>> EndAfterStoring; // how and who won
        // The player who left the match, who is offered no rematch at its end.
        int64_t LeftBy = 0;
    };
    // A match's players after its end, free to play again on its terms:
    // kept while both are in the lobby and neither has left it.
    struct TRematch {
        int64_t Table = 0;
        int64_t Players[2] = {0, 0}; // by their seats in the match that ended
        std::string Names[2];
        int32_t Rules = 0;
        int32_t Seconds = 60;
        bool Rated = false;
        bool Asked[2] = {false, false};
    };

    // Sending (Lobby.cpp).
    void Send(uint64_t connection, const TServerMessage& message, bool close = false);
    void SendLine(uint64_t connection, std::string line);
    void SendLobby(uint64_t connection);
    void Refuse(uint64_t connection, const std::string& reason, TRefusal why = TRefusal::NotAllowed);
    void ToTable(const TTable& table, const TServerMessage& message);
    uint64_t ConnectionOf(int64_t playerId) const;
    // The table the client sits at or watches; null, and the client back in
    // the lobby, when it has none or its table is gone.
    TTable* TableOf(TClient& client);
    // Hears the lobby's changes and chat: in the lobby, or seated at a table
    // still waiting for its second player.
    bool InLobby(const TClient& client) const;

    // Signing in (LobbySignIn.cpp).
    void Login(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs);
    void ReadForSignIn(uint64_t connection, TClient& client, const std::string& name, bool bind,
                       int64_t nowMs);
    void SignIn(uint64_t connection, TClient& client, const std::string& name, TSignInRead& read,
                int64_t nowMs);
    // The player's older connection goes: a newer one is theirs now.
    void SendAway(uint64_t old);
    void BackToSeat(TClient& client, int64_t nowMs);

    // Tables and seats (LobbyTables.cpp).
    void Create(uint64_t connection, TClient& client, int32_t rules, int32_t seconds, bool rated,
                int64_t nowMs);
    void Sit(uint64_t connection, TClient& client, TTable& table, int32_t seat, int64_t nowMs);
    void Watch(uint64_t connection, TClient& client, TTable& table, int64_t nowMs);
    void State(uint64_t connection, TClient& client, int64_t nowMs);
    void Leave(uint64_t connection, TClient& client, int64_t nowMs);
    void Chat(uint64_t connection, TClient& client, const std::string& text, int64_t nowMs);
    // A table open for its first player, listed in the lobby.
    TTable& NewTable(int32_t rules, int32_t seconds, bool rated, int64_t nowMs);
    // Everyone still at the table goes back to the lobby.
    void RemoveTable(int64_t id);

    // Play Now and challenges (LobbyMatchmaking.cpp).
    void PlayNow(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    // Out of the Play Now queue, told so when it was in it.
    void StopWaiting(uint64_t connection, TClient& client);
    // A new table with both seated, its match started: `blue` waited or challenged.
    void OpenMatch(uint64_t blue, uint64_t red, int32_t rules, int32_t seconds, bool rated, int64_t nowMs);
    void Challenge(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    void Answer(uint64_t connection, TClient& client, int64_t id, bool accept, int64_t nowMs);
    // The challenge is over: each side hears why in its own words.
    void EndChallenge(int64_t id, const std::string& toChallenger, const std::string& toChallenged);
    // Every challenge from or to the player, ended with the reason.
    void EndChallengesOf(int64_t playerId, const std::string& reason);
    bool InMatch(int64_t playerId) const;
    // The name of a player online; empty for one who is not.
    std::string NameOf(int64_t playerId) const;

    // Match play (LobbyMatch.cpp).
    void Move(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    // A move's storing is done: told to the table, or refused and taken back.
    void MoveStored(int64_t tableId, int32_t seat, TStorageJob& job, int64_t nowMs);
    void RefuseMove(uint64_t connection, TTable& table, int32_t seat, const std::string& problem,
                    TRefusal why, int64_t nowMs);
    void EndDeferred(TTable& table, int64_t nowMs);
    // Hands a new match or an end to the runner, or stores it here on the
    // loop when the runner is full: neither can be refused as a move can.
    void Store(TStorageJob job);
    // Counts a write's storing in the metrics, when the runner timed it.
    void CountStored(const TStorageJob& job);
    // The match is stored only at its creation's completion, which starts it.
    void StartMatch(TTable& table, int64_t nowMs);
    void MatchCreated(int64_t tableId, TStorageJob& job, int64_t nowMs);
    // A stored match nobody is left to play, or without rules to decide it.
    void Abandon(const TStoredMatch& match, int64_t nowMs);
    void EndMatch(TTable& table, TMatchStatus how, int32_t winner, int64_t nowMs);
    void EndStored(int64_t tableId, TStorageJob& job, int64_t nowMs);
    // The end, once stored: told to the table, whose clients go back to the lobby.
    void Ended(TTable& table, TMatchStatus how, int32_t winner, const int32_t score[2],
               const TStorage::TRatingUpdate& ratings);
    void EndedElsewhere(TTable& table, int64_t nowMs);
    std::unique_ptr<TReferee> Replay(const TStoredMatch& match, std::string& problem) const;
    // Stored matches this server has just taken: each waits at a table for
    // its players, or ends when its moves ended it.
    void Resume(std::vector<TStoredMatch> matches, int64_t nowMs);
    // The table's match is run by another server now: it stops here, storing
    // nothing, and its players are sent to find it there.
    void LostTable(TTable& table, int64_t nowMs);
    void PollLeases(int64_t nowMs);
    // A rated table whose players are one person (a certificate, an address).
    bool OnePerson(const TTable& table) const;
    // Keeps Deadlines in step with the table's clock.
    void Schedule(TTable& table);
    // The clock of the player to move; -1 when there is none.
    int64_t ClockMs(const TTable& table, int64_t nowMs) const;

    // Moderation (LobbyModeration.cpp): the sanctions read again after an
    // action, and everyone they now keep out sent away.
    void FollowModeration(int64_t nowMs);
    void ReloadModeration(int64_t nowMs);
    void Moderate(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    void SendModeration(uint64_t connection, int64_t nowMs);
    // A moderator's action on a player's chat, here or read from the log.
    void RemoveChat(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    void ActOnLogged(const TCommunityStorage::TAction& action);
    // The lobby's earlier lines, as a player arriving in it may hear them.
    void SendBacklog(uint64_t connection, const TClient& client);
    // A line said in the lobby, here or on another process sharing it.
    void KeepInBacklog(TServerMessage line, int64_t playerId, int64_t nowMs);

    // Players' own lists and reports (LobbyCommunity.cpp).
    // The player's own lists: those their sign-in read, or else read now.
    void LoadRelations(TClient& client, TSignInRead* read = nullptr);
    void Relate(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    void SendRelations(uint64_t connection, const TClient& client);
    void Report(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    // Whether either of two players blocks the other.
    bool Blocked(const TClient& client, int64_t otherId) const;
    // Whether a chat line from a player may reach a connection.
    bool Hears(uint64_t connection, int64_t fromId) const;
    // Resigning and playing again (LobbyRematch.cpp).
    void Resign(uint64_t connection, TClient& client, int64_t nowMs);
    void Rematch(uint64_t connection, TClient& client, int64_t nowMs);
    // Once a match has ended with both its players here.
    void OfferRematch(const TTable& table);
    // The player's offer is gone (they left, sat elsewhere or dropped); the
    // other is told.
    void WithdrawRematch(int64_t playerId);
    void TellRematch(const TRematch& offer, int32_t seat, bool asks);

    // Leaderboard, profiles and records (LobbyRecords.cpp).
    bool TryQuery(uint64_t connection, TClient& client, int64_t nowMs);
    void SendAnswer(uint64_t connection, const TServerMessage& message);
    void Leaderboard(uint64_t connection, TClient& client, int64_t nowMs);
    void Profile(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs);
    void Record(uint64_t connection, TClient& client, int64_t matchId, int64_t nowMs);
    // The stored match as a record file holds it, or the problem.
    std::optional<QByteArray> RecordOf(const TStoredMatch& match, std::string& problem) const;
    // The cards each side owns after a stored match's moves; none when they do not replay.
    std::optional<std::array<int32_t, 2>> ScoreOf(int64_t matchId) const;

    // The lobby's view of an entry, after every change to it (LobbyMessages.cpp).
    void PlayerChanged(const TClient& client);
    void TableChanged(const TTable& table);
    TLobbyPlayer PlayerEntry(const TClient& client) const;
    TLobbyTable TableEntry(const TTable& table) const;
    std::string LobbySnapshot() const;
    TServerMessage MatchState(const TTable& table, int32_t you, int64_t nowMs) const;
    // The lobby's changes go out to everyone in it (Lobby.cpp).
    void FlushLobby();
    // After each call from outside: when the lobby's changes go out.
    void AfterChange(int64_t nowMs);

    // The lobby shared with other processes (cluster/LobbyCluster.cpp): what
    // changed here, told with the lobby's next changes.
    void ClusterPlayer(int64_t playerId);
    void ClusterTable(int64_t tableId);
    void ClusterSignedIn(const TClient& client);
    void ClusterChat(const TClient& client, const std::string& text);
    void ClusterFlush();
    void ClusterTick(int64_t nowMs);
    int64_t ClusterDeadline() const;
    void Publish(TClusterMessage& message);
    void PublishWhole();
    void TakeEntries(const TClusterMessage& message, int64_t nowMs);
    void TakeChat(const TClusterMessage& message, int64_t nowMs);
    void TakeSignedIn(const TClusterMessage& message, int64_t nowMs);
    // The view's entry of a player not here, from whichever process lists them.
    void ShowRemotePlayer(int64_t playerId);
    void ListPlayer(TClusterMessage& message, int64_t playerId, const TClient& client) const;
    void ForgetProcess(const std::string& origin, int64_t nowMs);
    // Watching tables of other processes: a request about one, handled
    // (true), or let through once the client has stopped watching.
    bool TakeAfar(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs);
    void LeaveAfar(uint64_t connection, TClient& client);
    void ChatAfar(TClient& client, const std::string& text);
    // Watchers of the alias, back in the lobby: the table is gone.
    void EndAfar(int64_t alias);
    void DropAlias(TClusterPeers& peers, int64_t alias);
    // A line every watcher of this process's table hears, for those elsewhere.
    void ClusterTableLine(const TTable& table, const TServerMessage& line, int64_t speaker = 0,
                          bool state = false);
    void TakeWatch(const TClusterMessage& message, int64_t nowMs);
    void AskToWatch(const std::string& origin, int64_t table);
    void AskToWatchAgain();
    void TakeTableLine(const TClusterMessage& message);
    void TakeTableChat(const TClusterMessage& message);

    // Seats at tables of other processes (cluster/LobbyRelay.cpp). Here, the
    // process holding the connection: a request about a table run elsewhere
    // goes there (true), or, when the client goes elsewhere, lets go of it.
    bool RelayAfar(uint64_t connection, TClient& client, const TLobbyRequest& request);
    void Relay(uint64_t connection, TClient& client, const std::string& origin, const QByteArray& request);
    void Release(uint64_t connection, TClient& client);
    void SetRemote(uint64_t connection, TClient& client, int64_t alias);
    // A player signing in here whose match runs elsewhere is seated there again.
    void SeekSeatAfar(uint64_t connection, TClient& client);
    // A match taken over here: its players connected elsewhere sit back here.
    void ClusterTakenOver(int64_t playerId);
    void TakeTakenOver(const TClusterMessage& message);
    // The origin rejoined the bus: what went between it and here meanwhile is
    // made good by sending the tables again, both ways.
    void ResyncSeats(const std::string& origin, int64_t nowMs);
    void TakeRelayed(const TClusterMessage& message, int64_t nowMs);
    // There, the process running the table: the client as one of its own.
    static bool IsRelayed(uint64_t connection);
    void RelayOut(uint64_t connection, const TServerMessage& line, bool close);
    void RelayOut(uint64_t connection, const std::string& lines);
    void TakeRelay(const TClusterMessage& message, int64_t nowMs);
    // The client of another process as one of this process's own (added when
    // new); 0 when its connection there has signed in anew since.
    uint64_t Adopt(const TClusterSeat& who, bool& added, int64_t nowMs);
    void TakeReleased(const TClusterMessage& message, int64_t nowMs);
    void ReleaseAllFrom(const std::string& origin, int64_t nowMs);
    // The live process whose name sorts first.
    std::string PlayNowKeeper() const;
    // Play Now across processes (cluster/LobbyPlayNow.cpp). The keeper's
    // pair plays on the process of the one who waited: told so (true), or
    // here (false) when that is this one.
    bool PairElsewhere(uint64_t blue, uint64_t red, int32_t rules, int32_t seconds, int64_t nowMs);
    void TakeOpenMatch(const TClusterMessage& message, int64_t nowMs);
    void TakePaired(const TClusterMessage& message);
    // Rated tables open on other processes whose terms a Play Now asker
    // accepts and whose waiting player neither blocks the other, for the
    // keeper to weigh as it weighs its own.
    struct TTableAfar {
        std::string Origin;
        int64_t Table = 0;    // as its process numbers it
        double Rating = 1500; // of the one waiting there
    };
    std::vector<TTableAfar> OpenTablesAfar(const TClient& client, const std::vector<int32_t>& rules,
                                           const std::vector<int32_t>& seconds);
    // Seats a Play Now asker at a table of origin's (this process's own, or
    // relayed there); the keeper has that done by the asker's own process.
    void SitAt(uint64_t connection, TClient& client, const std::string& origin, int64_t table, int64_t nowMs);
    void TakeSitAt(const TClusterMessage& message, int64_t nowMs);
    // Where a client of the keeper was paired, when that is not the keeper:
    // its requests go there from now on (true).
    bool PairedAfar(uint64_t connection, TClient& client, const TClusterMessage& message);
    std::vector<uint64_t> LoseRemoteOrigin(const std::string& origin);
    size_t RemoteTables() const;

    TStorage& Storage;
    TInlineStorageRunner InlineRunner{Storage};
    TStorageRunner* Runner = &InlineRunner;
    TStorageRunner* Reader = &InlineRunner;
    TServerLog& Log;
    TAddressLimits& Limits;
    TRefereeFactory Referees;
    TSeedSource Seeds;
    std::unordered_map<uint64_t, TClient> Clients;
    std::unordered_map<int64_t, uint64_t> Players;   // logged-in player id → connection
    std::map<int64_t, TTable> TableById;             // ordered: the oldest first
    std::set<int64_t> WaitingTables;                 // one seat taken, no match: what Play Now looks at
    std::unordered_map<int64_t, int64_t> SeatTable;  // player id → the table they sit at
    std::set<std::pair<int64_t, int64_t>> Deadlines; // (time, table id), the earliest first
    std::map<int64_t, TRematch> Rematches;           // by the table of the match that ended
    std::unordered_map<int64_t, int64_t> RematchOf;  // player id → the table of their offer
    std::vector<uint64_t> PlayNowQueue;              // connections waiting for Play Now, the longest first
    std::map<int64_t, TChallenge> Challenges;        // by id: at most one from each player
    std::set<std::pair<int64_t, int64_t>> ChallengeDeadlines; // (expiry, challenge id)
    int64_t NextChallenge = 1;
    TLobbyView PlayerView{"player", ShownPlayers};
    TLobbyView TableView{"table", ShownTables};
    int64_t LobbyFlushAtMs = Never;
    int64_t NextSweepMs = 0;
    int64_t NextTable = 1;
    std::vector<TOutgoing> Outgoing;
    std::string LeaderCache; // the whole answer, encoded; empty when too long to send
    int64_t LeaderCacheMs = 0;
    bool HaveLeaderCache = false;
    TServerMetrics* Metrics = nullptr;
    TServerSettings Settings;
    TCommunityStorage* Community = nullptr;
    TModeration Moderation;
    int64_t ModerationSeen = 0; // the last action of the log acted on
    TChatBacklog Backlog{Protocol::MaxBacklogLines, Protocol::MaxBacklogBytes};
    int64_t ModerationAtMs = Never;
    int64_t LeaseAtMs = Never;
    bool LeaseJobsOut = false;  // a look for matches to take over is with the runner
    bool RenewingLeases = true; // the last renewal did not fail
    int64_t AwayMs() const { return Settings.AwaySeconds * 1000LL; }
    std::unique_ptr<TClusterPeers> Cluster; // none when alone
};
