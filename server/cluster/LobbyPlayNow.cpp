// Play Now across processes. One process, the keeper, holds the cluster's
// queue and pairs as one process would; the match then runs on the process
// of the one who waited, so that the keeper does not run every match it
// makes and a pair connected to one process plays there with no seat
// relayed. The keeper lets go of both players, and the process told to run
// the match seats the other player as it seats any client of another
// process; that player's process learns where its requests go now from the
// first line it hears from there.
#include "server/Lobby.h"

#include "server/cluster/ClusterMessage.h"
#include "server/cluster/ClusterPeers.h"

#include "protocol/Requests.h"
#include "rules/RuleBits.h"

#include <algorithm>

namespace {

using TKind = TClusterMessage::TKind;

TServerMessage StoppedWaiting() {
    TServerMessage stopped;
    stopped.Kind = TServerMessage::TKind::Waiting;
    return stopped;
}

} // namespace

bool TLobby::PairElsewhere(uint64_t blue, uint64_t red, int32_t rules, int32_t seconds, int64_t nowMs) {
    const TClient& waited = Clients.at(blue);
    const std::string host = waited.Via.empty() ? Cluster->Origin : waited.Via;
    if (host == Cluster->Origin) return false;
    TClusterMessage message;
    message.Kind = TKind::OpenMatch;
    message.To = host;
    message.Rules = rules;
    message.Seconds = seconds;
    const uint64_t pair[2] = {blue, red};
    for (size_t seat = 0; seat < 2; ++seat) {
        const uint64_t connection = pair[seat];
        TClient& client = Clients.at(connection);
        const bool relayed = IsRelayed(connection);
        message.Seats[seat] = {relayed ? client.Via : Cluster->Origin,
                               relayed ? client.ViaConnection : connection,
                               client.PlayerId,
                               QString::fromStdString(client.Name),
                               client.Fingerprint,
                               client.Address,
                               client.LimitKey,
                               client.Rating,
                               {},
                               !client.WantRules.empty()};
        for (const auto& [id, name] : client.Blocks) message.Seats[seat].Blocks.push_back(id);
        // Asked of the keeper here: asked again, on these terms, should the host go before it opens the
        // match.
        if (!relayed) {
            TLobbyRequest again;
            again.Kind = TLobbyRequest::TKind::PlayNow;
            again.AcceptedRules = client.WantRules.empty() ? std::vector<int32_t>{rules} : client.WantRules;
            again.AcceptedSeconds =
                client.WantSeconds.empty() ? std::vector<int32_t>{seconds} : client.WantSeconds;
            client.PlayNowAfar = again;
        }
        // Out of the queue without a word: the process running the match tells each.
        client.WantRules.clear();
        client.WantSeconds.clear();
        std::erase(PlayNowQueue, connection);
        if (relayed) {
            // Its process learns where the match opens, so that it can ask
            // again should that process go before it opens it.
            if (client.Via != host) {
                TClusterMessage paired =
                    TClusterMessage::About(TKind::Paired, client.Via, client.ViaConnection);
                paired.Host = host;
                Publish(paired);
            }
            Cluster->Relayed.erase({client.Via, client.ViaConnection});
            Disconnected(connection, nowMs);
        } else {
            client.RemoteOrigin = host;
            client.Stranded = false;
            client.WaitingAfar = true; // until the host says otherwise, or is gone
        }
    }
    Publish(message);
    return true;
}

// Here runs the match of a pair the keeper made, unless a player of this
// process has gone elsewhere meanwhile: then each hears it waits no more.
void TLobby::TakeOpenMatch(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin) return;
    uint64_t seats[2] = {0, 0};
    bool open = true;
    for (size_t seat = 0; seat < 2; ++seat) {
        const TClusterSeat& who = message.Seats[seat];
        uint64_t connection = who.Connection;
        if (who.Origin != Cluster->Origin) {
            auto known = Cluster->Relayed.find({who.Origin, who.Connection});
            connection = known == Cluster->Relayed.end() ? 0 : known->second;
        }
        auto found = Clients.find(connection);
        if (found == Clients.end()) {
            // One not seen here yet is taken as its process vouches for it.
            open = open && who.Origin != Cluster->Origin;
            continue;
        }
        TClient& client = found->second;
        const bool mine = who.Origin == Cluster->Origin;
        if (client.PlayerId != who.Player || IsRelayed(connection) == mine ||
            (mine && (client.RemoteOrigin != message.Origin || client.Remote != 0)) ||
            (client.Table != 0 && client.Seat >= 0)) {
            open = false;
            continue;
        }
        seats[seat] = connection;
        if (!mine) continue;
        // Its Play Now was with the keeper, which has let go of it.
        client.RemoteOrigin.clear();
        client.WaitingAfar = false;
    }
    for (size_t seat = 0; seat < 2; ++seat) {
        const TClusterSeat& who = message.Seats[seat];
        if (open && !who.Waited) continue;
        if (who.Origin == Cluster->Origin) {
            if (seats[seat] != 0) Send(seats[seat], StoppedWaiting());
            continue;
        }
        TClusterMessage stopped;
        stopped.Kind = TKind::Relayed;
        stopped.To = who.Origin;
        stopped.Connection = who.Connection;
        stopped.Line = StoppedWaiting();
        Publish(stopped);
    }
    if (!open) return;
    for (size_t seat = 0; seat < 2; ++seat) {
        bool added = false;
        if (seats[seat] == 0) seats[seat] = Adopt(message.Seats[seat], added, nowMs);
    }
    OpenMatch(seats[0], seats[1], message.Rules, message.Seconds, true, nowMs);
}

// The keeper paired a player here for a match another process opens: they
// wait for that process now, and ask again if it goes first. The host's
// first line may have come before this, and said where the player is.
void TLobby::TakePaired(const TClusterMessage& message) {
    if (message.To != Cluster->Origin || message.Host.empty() || message.Host == Cluster->Origin) return;
    auto found = Clients.find(message.Connection);
    if (found == Clients.end()) return;
    TClient& client = found->second;
    if (client.RemoteOrigin != message.Origin || client.Remote != 0) return;
    client.RemoteOrigin = message.Host;
    client.WaitingAfar = true;
}

std::vector<TLobby::TTableAfar> TLobby::OpenTablesAfar(const TClient& client,
                                                       const std::vector<int32_t>& rules,
                                                       const std::vector<int32_t>& seconds) {
    auto accepts = [](const std::vector<int32_t>& list, int32_t entry) {
        return std::find(list.begin(), list.end(), entry) != list.end();
    };
    std::vector<std::pair<TTableAfar, TClusterPeers::TWaiting*>> open;
    std::map<QString, TClusterPeers::TWaiting*> unknown; // who waits, not yet found among the entries
    for (auto& [key, waiting] : Cluster->OpenRatedAfar) {
        auto process = Cluster->Processes.find(key.first);
        if (process == Cluster->Processes.end() || !process->second.Tables.count(key.second)) continue;
        const TLobbyTable& table = process->second.Tables.at(key.second).Entry;
        if (!accepts(rules, RuleBitsOf(table.Rules)) || !accepts(seconds, table.Seconds)) continue;
        open.push_back({{key.first, key.second}, &waiting});
        if (waiting.Player == 0) unknown[waiting.Name] = &waiting;
    }
    // Wherever they are connected.
    for (auto process = Cluster->Processes.begin(); !unknown.empty() && process != Cluster->Processes.end();
         ++process)
        for (const auto& [id, player] : process->second.Players)
            if (auto found = unknown.find(player.Entry.Name); found != unknown.end()) {
                found->second->Player = id;
                found->second->Rating = player.Entry.Rating;
                unknown.erase(found);
            }
    std::vector<TTableAfar> acceptable;
    for (auto& [table, waiting] : open)
        if (waiting->Player != 0 && !Blocked(client, waiting->Player)) {
            table.Rating = waiting->Rating;
            acceptable.push_back(std::move(table));
        }
    return acceptable;
}

void TLobby::SitAt(uint64_t connection, TClient& client, const std::string& origin, int64_t table,
                   int64_t nowMs) {
    if (IsRelayed(connection)) {
        TClusterMessage sit = TClusterMessage::About(TKind::SitAt, client.Via, client.ViaConnection);
        sit.Host = origin;
        sit.Table = table;
        Publish(sit);
        return;
    }
    WithdrawRematch(client.PlayerId);
    StopWaiting(connection, client);
    client.PlayNowAfar.reset();
    if (client.RemoteOrigin != origin) Release(connection, client);
    if (origin != Cluster->Origin) {
        Relay(connection, client, origin, Requests::Sit(table));
        return;
    }
    if (auto found = TableById.find(table); found != TableById.end())
        Sit(connection, client, found->second, -1, nowMs);
    else
        Refuse(connection, "There is no such table.");
}

// The keeper found a table elsewhere for a player here who asked Play Now.
void TLobby::TakeSitAt(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin || message.Host.empty()) return;
    auto found = Clients.find(message.Connection);
    if (found == Clients.end()) return;
    TClient& client = found->second;
    if (IsRelayed(found->first) || client.RemoteOrigin != message.Origin || client.Remote != 0 ||
        (client.Table != 0 && client.Seat >= 0))
        return;
    SitAt(found->first, client, message.Host, message.Table, nowMs);
}

bool TLobby::PairedAfar(uint64_t connection, TClient& client, const TClusterMessage& message) {
    const TServerMessage& line = message.Line;
    const bool paired = line.Kind == TServerMessage::TKind::Match ||
                        (line.Kind == TServerMessage::TKind::Waiting && line.AcceptedRules.empty());
    if (message.Home || !paired || client.Remote != 0 || client.RemoteOrigin != PlayNowKeeper()) return false;
    Release(connection, client);
    client.RemoteOrigin = message.Origin;
    return true;
}
