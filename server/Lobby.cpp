// Connections, the dispatch of their requests, the clocks' deadlines and the
// lobby's view going out.
#include "server/Lobby.h"

#include "protocol/ServerMessages.h"
#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"
#include "server/cluster/ClusterPeers.h"

#include <algorithm>

TLobby::TLobby(TStorage& storage, TServerLog& log, TAddressLimits& limits, TRefereeFactory referees,
               TSeedSource seeds)
    : Storage(storage), Log(log), Limits(limits), Referees(std::move(referees)), Seeds(std::move(seeds)) {}

TLobby::~TLobby() = default;

void TLobby::Send(uint64_t connection, const TServerMessage& message, bool close) {
    if (IsRelayed(connection)) return RelayOut(connection, message, close);
    Outgoing.push_back({connection, ServerMessages::Encode(message).toStdString(), close});
}

void TLobby::SendLine(uint64_t connection, std::string line) {
    if (IsRelayed(connection)) return RelayOut(connection, line);
    Outgoing.push_back({connection, std::move(line), false});
}

// One seated from elsewhere hears the lobby of its own process: told only that it is back there.
void TLobby::SendLobby(uint64_t connection) {
    if (!IsRelayed(connection)) return SendLine(connection, LobbySnapshot());
    TServerMessage home;
    home.Kind = TServerMessage::TKind::Lobby;
    RelayOut(connection, home, false);
}

void TLobby::Refuse(uint64_t connection, const std::string& reason, TRefusal why) {
    if (Metrics) Metrics->Refused(why);
    TServerMessage refused;
    refused.Kind = TServerMessage::TKind::Refused;
    refused.Text = QString::fromStdString(reason);
    Send(connection, refused);
}

void TLobby::ToTable(const TTable& table, const TServerMessage& message) {
    ClusterTableLine(table, message);
    std::string line = ServerMessages::Encode(message).toStdString();
    for (int seat = 0; seat < 2; ++seat)
        if (uint64_t connection = ConnectionOf(table.Seats[seat]); IsRelayed(connection))
            RelayOut(connection, message, false);
        else if (connection != 0)
            SendLine(connection, line);
    for (uint64_t watcher : table.Watchers) SendLine(watcher, line);
}

// Everyone in the lobby gets the same changes in one write. Those at a table
// are not told: they get the lobby afresh when they come back to it.
void TLobby::FlushLobby() {
    LobbyFlushAtMs = Never;
    ClusterFlush();
    std::string lines = PlayerView.TakeChanges() + TableView.TakeChanges();
    if (lines.empty()) return;
    for (const auto& [player, connection] : Players)
        if (InLobby(Clients.at(connection))) SendLine(connection, lines);
}

bool TLobby::InLobby(const TClient& client) const {
    // One seated from elsewhere hears the lobby where it is connected.
    if (client.Afar != 0 || client.Remote != 0 || !client.Via.empty()) return false;
    if (client.Table == 0) return true;
    const auto table = TableById.find(client.Table);
    return client.Seat >= 0 && table != TableById.end() && !table->second.Referee;
}

void TLobby::AfterChange(int64_t nowMs) {
    if (LobbyFlushAtMs == Never &&
        (PlayerView.Changed() || TableView.Changed() ||
         (Cluster && (!Cluster->ChangedPlayers.empty() || !Cluster->ChangedTables.empty()))))
        LobbyFlushAtMs = nowMs + LobbyFlushMs;
    // The address limits grow only as clients act, so sweeping as they act
    // keeps them bounded without a timer of their own.
    if (nowMs >= NextSweepMs || nowMs < NextSweepMs - AddressSweepMs) {
        Limits.Sweep(nowMs);
        NextSweepMs = nowMs + AddressSweepMs;
    }
}

uint64_t TLobby::ConnectionOf(int64_t playerId) const {
    auto found = Players.find(playerId);
    return found == Players.end() ? 0 : found->second;
}

TLobby::TTable* TLobby::TableOf(TClient& client) {
    if (client.Table == 0) return nullptr;
    if (auto found = TableById.find(client.Table); found != TableById.end()) return &found->second;
    client.Table = 0;
    client.Seat = -1;
    if (client.PlayerId != 0) PlayerChanged(client);
    return nullptr;
}

std::vector<TLobby::TOutgoing> TLobby::TakeOutgoing() {
    return std::exchange(Outgoing, {});
}

void TLobby::Connected(uint64_t connection, const std::string& fingerprint, const std::string& limitKey,
                       const std::string& address) {
    TClient client;
    client.Fingerprint = fingerprint;
    client.LimitKey = limitKey;
    client.Address = address;
    Clients[connection] = client;
}

void TLobby::Handle(uint64_t connection, const TLobbyRequest& request, int64_t nowMs) {
    auto found = Clients.find(connection);
    if (found == Clients.end()) return;
    TClient& client = found->second;
    using TKind = TLobbyRequest::TKind;
    if (request.Kind != TKind::Login && client.PlayerId == 0) {
        Refuse(connection, "Sign in with a name first.");
        return;
    }
    if (Cluster && !IsRelayed(connection) &&
        (RelayAfar(connection, client, request) || TakeAfar(connection, client, request, nowMs))) {
        AfterChange(nowMs);
        return;
    }
    switch (request.Kind) {
    case TKind::Hello: // the connection's own business
    case TKind::Ping:
        break;
    case TKind::Login:
        Login(connection, client, request.Name, nowMs);
        break;
    case TKind::CreateTable:
        Create(connection, client, request.Rules, request.MoveSeconds, request.Rated, nowMs);
        break;
    case TKind::Sit:
    case TKind::Watch: {
        auto table = TableById.find(request.Table);
        if (table == TableById.end())
            Refuse(connection, "There is no such table.");
        else if (request.Kind == TKind::Sit)
            Sit(connection, client, table->second, request.Seat, nowMs);
        else
            Watch(connection, client, table->second, nowMs);
        break;
    }
    case TKind::Leave:
        Leave(connection, client, nowMs);
        break;
    case TKind::PlayNow:
        PlayNow(connection, client, request, nowMs);
        break;
    case TKind::Challenge:
        Challenge(connection, client, request, nowMs);
        break;
    case TKind::Answer:
        Answer(connection, client, request.Challenge, request.Accept, nowMs);
        break;
    case TKind::Chat:
        Chat(connection, client, request.Text, nowMs);
        break;
    case TKind::Move:
        Move(connection, client, request, nowMs);
        break;
    case TKind::Leaderboard:
        Leaderboard(connection, client, nowMs);
        break;
    case TKind::Profile:
        Profile(connection, client, request.Name, nowMs);
        break;
    case TKind::Record:
        Record(connection, client, request.Match, nowMs);
        break;
    case TKind::Block:
    case TKind::Follow:
        Relate(connection, client, request, nowMs);
        break;
    case TKind::Report:
        Report(connection, client, request, nowMs);
        break;
    case TKind::Relations:
        if (TryQuery(connection, client, nowMs)) SendRelations(connection, client);
        break;
    case TKind::Moderate:
        Moderate(connection, client, request, nowMs);
        break;
    case TKind::State:
        State(connection, client, nowMs);
        break;
    case TKind::Resign:
        Resign(connection, client, nowMs);
        break;
    case TKind::Rematch:
        Rematch(connection, client, nowMs);
        break;
    }
    AfterChange(nowMs);
}

void TLobby::Disconnected(uint64_t connection, int64_t nowMs) {
    auto found = Clients.find(connection);
    if (found == Clients.end()) return;
    TClient& client = found->second;
    if (client.Afar) LeaveAfar(connection, client);
    if (Cluster) Release(connection, client);
    std::erase(PlayNowQueue, connection);
    if (client.PlayerId != 0) {
        Players.erase(client.PlayerId);
        WithdrawRematch(client.PlayerId);
        EndChallengesOf(client.PlayerId, client.Name + " went offline.");
        if (TTable* at = TableOf(client)) {
            TTable& table = *at;
            if (client.Seat >= 0 && table.Referee) {
                // The seat is kept for what is left of the player's time
                // away; the clock stops meanwhile.
                table.Clock.Dropped(client.Seat, nowMs);
                Schedule(table);
                TServerMessage away;
                away.Kind = TServerMessage::TKind::Away;
                away.Table = table.Id;
                away.Seat = client.Seat;
                away.Seconds = int32_t(table.Clock.AwayLeftMs(client.Seat) / 1000);
                ToTable(table, away);
            } else {
                Leave(connection, client, nowMs);
            }
        }
        PlayerView.Remove(client.PlayerId);
        ClusterPlayer(client.PlayerId);
        ShowRemotePlayer(client.PlayerId);
    }
    Clients.erase(connection);
    AfterChange(nowMs);
}

void TLobby::Tick(int64_t nowMs) {
    while (!Deadlines.empty() && Deadlines.begin()->first <= nowMs) {
        auto found = TableById.find(Deadlines.begin()->second);
        if (found == TableById.end()) {
            Deadlines.erase(Deadlines.begin());
            continue;
        }
        TTable& table = found->second;
        const TTableClock& clock = table.Clock;
        bool away0 = clock.AwayRunOut(0, nowMs), away1 = clock.AwayRunOut(1, nowMs);
        if (away0 || away1) {
            if (clock.Away(0) && clock.Away(1))
                EndMatch(table, TMatchStatus::Abandoned, -1, nowMs);
            else
                EndMatch(table, TMatchStatus::Forfeit, away0 ? 1 : 0, nowMs);
        } else {
            EndMatch(table, TMatchStatus::Time, 1 - table.Referee->ToMove(), nowMs);
        }
    }
    while (!ChallengeDeadlines.empty() && ChallengeDeadlines.begin()->first <= nowMs) {
        const TChallenge& challenge = Challenges.at(ChallengeDeadlines.begin()->second);
        const std::string from = NameOf(challenge.From), to = NameOf(challenge.To);
        EndChallenge(challenge.Id, "Your challenge to " + to + " expired unanswered.",
                     from + "'s challenge expired.");
    }
    if (LobbyFlushAtMs <= nowMs) FlushLobby();
    if (ModerationAtMs <= nowMs) FollowModeration(nowMs);
    if (LeaseAtMs <= nowMs) PollLeases(nowMs);
    ClusterTick(nowMs);
    AfterChange(nowMs);
}

int64_t TLobby::NextDeadline() const {
    const int64_t challenges = ChallengeDeadlines.empty() ? Never : ChallengeDeadlines.begin()->first;
    return std::min({Deadlines.empty() ? Never : Deadlines.begin()->first, LobbyFlushAtMs, ModerationAtMs,
                     LeaseAtMs, challenges, ClusterDeadline()});
}

size_t TLobby::MatchesInPlay() const {
    return size_t(std::count_if(TableById.begin(), TableById.end(),
                                [](const auto& entry) { return entry.second.Referee != nullptr; }));
}
