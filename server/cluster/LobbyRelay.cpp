// Seats at tables of other processes. The process a client is connected to
// keeps its connection and sign-in, and passes its requests about a table run
// elsewhere to the process running it, which seats the client as one of its
// own, under a connection of its own numbering, and passes back every line
// for it. Moves go through that process's referee and storage as any other.
#include "server/Lobby.h"

#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"
#include "server/ServerLog.h"
#include "server/cluster/ClusterMessage.h"
#include "server/cluster/ClusterPeers.h"

#include <algorithm>

namespace {

using TKind = TClusterMessage::TKind;
using TRequest = TLobbyRequest::TKind;

// The request again as the client wrote it, for those passed on.
QByteArray RequestLine(const TLobbyRequest& request) {
    switch (request.Kind) {
    case TRequest::Move:
        return Requests::Move(request.Move.Slot, request.Move.X, request.Move.Y);
    case TRequest::Chat:
        return Requests::Chat(QString::fromStdString(request.Text));
    case TRequest::State:
        return Requests::State();
    case TRequest::Resign:
        return Requests::Resign();
    case TRequest::Rematch:
        return Requests::Rematch();
    case TRequest::PlayNow:
        return Requests::PlayNow(request.AcceptedRules, request.AcceptedSeconds);
    default:
        return Requests::Leave();
    }
}

} // namespace

bool TLobby::RelayAfar(uint64_t connection, TClient& client, const TLobbyRequest& request) {
    if (request.Kind == TRequest::Sit) {
        auto target = Cluster->Targets.find(request.Table);
        if (target == Cluster->Targets.end() && client.Remote == 0) {
            Release(connection, client);
            return false;
        }
        if (client.Remote != 0 || (client.Table != 0 && client.Seat >= 0)) {
            Refuse(connection, "Leave your table first.");
            return true;
        }
        // What it watches, it watches until seated there.
        WithdrawRematch(client.PlayerId);
        StopWaiting(connection, client);
        if (client.RemoteOrigin != target->second.Origin) Release(connection, client);
        Relay(connection, client, target->second.Origin, Requests::Sit(target->second.Table, request.Seat));
        return true;
    }
    if (request.Kind == TRequest::PlayNow) {
        // One process keeps the cluster's Play Now queue, so that players
        // waiting anywhere meet as they would on one.
        const std::string keeper = PlayNowKeeper();
        if (client.Remote != 0) {
            Refuse(connection, "Leave your table first.");
            return true;
        }
        if (client.RemoteOrigin != keeper) Release(connection, client);
        if (keeper == Cluster->Origin) return false;
        if (client.Table != 0 && client.Seat >= 0) return false; // refused as here
        if (client.Afar) LeaveAfar(connection, client);
        WithdrawRematch(client.PlayerId);
        StopWaiting(connection, client);
        client.PlayNowAfar = request;
        Relay(connection, client, keeper, RequestLine(request));
        return true;
    }
    if (client.RemoteOrigin.empty()) return false;
    switch (request.Kind) {
    case TRequest::Move:
    case TRequest::Chat:
    case TRequest::State:
        if (client.Remote == 0) return false;
        [[fallthrough]];
    case TRequest::Resign:
    case TRequest::Rematch:
        Relay(connection, client, client.RemoteOrigin, RequestLine(request));
        return true;
    case TRequest::Leave:
        // Waiting for Play Now there, or offered to play that match again: stops it there.
        if (client.Remote != 0 || (client.Table == 0 && client.Afar == 0)) {
            Relay(connection, client, client.RemoteOrigin, RequestLine(request));
            return true;
        }
        return false;
    case TRequest::Watch:
    case TRequest::CreateTable:
    case TRequest::Challenge:
    case TRequest::Answer:
        if (client.Remote != 0) {
            Refuse(connection, "Leave your table first.");
            return true;
        }
        Release(connection, client);
        return false;
    default:
        return false;
    }
}

void TLobby::Relay(uint64_t connection, TClient& client, const std::string& origin,
                   const QByteArray& request) {
    client.RemoteOrigin = origin;
    client.Stranded = false;
    TClusterMessage message;
    message.Kind = TKind::Relay;
    message.To = origin;
    message.Connection = connection;
    message.Player = client.PlayerId;
    message.Name = QString::fromStdString(client.Name);
    message.Fingerprint = client.Fingerprint;
    message.Address = client.Address;
    message.LimitKey = client.LimitKey;
    message.Request = request.chopped(1).toStdString();
    message.Rating = client.Rating;
    for (const auto& [id, name] : client.Blocks) message.Blocks.push_back(id);
    Publish(message);
}

void TLobby::Release(uint64_t connection, TClient& client) {
    client.Stranded = false;
    if (client.RemoteOrigin.empty()) return;
    TClusterMessage message =
        TClusterMessage::About(TKind::Released, std::exchange(client.RemoteOrigin, {}), connection);
    Publish(message);
    SetRemote(connection, client, 0);
}

void TLobby::SetRemote(uint64_t connection, TClient& client, int64_t alias) {
    if (client.Remote == alias) return;
    if (auto seated = Cluster->SeatedAfar.find(client.Remote); seated != Cluster->SeatedAfar.end()) {
        seated->second.erase(connection);
        if (seated->second.empty()) Cluster->SeatedAfar.erase(seated);
    }
    client.Remote = alias;
    if (alias != 0) Cluster->SeatedAfar[alias].insert(connection);
    if (client.PlayerId != 0) PlayerChanged(client);
}

void TLobby::SeekSeatAfar(uint64_t connection, TClient& client) {
    if (!Cluster) return;
    auto seated = Cluster->PlayingAfar.find(QString::fromStdString(client.Name));
    if (seated != Cluster->PlayingAfar.end())
        Relay(connection, client, seated->second.Origin, Requests::State());
}

// Here, where the player is connected: tell the others that this process
// runs their match now.
void TLobby::ClusterTakenOver(int64_t playerId) {
    if (!Cluster || ConnectionOf(playerId) != 0) return;
    TClusterMessage message;
    message.Kind = TKind::TakenOver;
    message.Player = playerId;
    Publish(message);
}

// The player's match was taken over by the sender. One here in the lobby,
// or still seated at the table of the process that lost it, sits back there
// without signing in again; one busy with something else here finds the
// match when signing in next.
void TLobby::TakeTakenOver(const TClusterMessage& message) {
    const uint64_t connection = ConnectionOf(message.Player);
    if (connection == 0 || IsRelayed(connection)) return;
    TClient& client = Clients.at(connection);
    const bool stale = (client.Remote != 0 && client.RemoteOrigin != message.Origin) || client.Stranded;
    const bool idle = client.Table == 0 && InLobby(client) && client.WantRules.empty() && !client.WaitingAfar;
    if (!stale && !idle) return;
    if (stale) {
        // That process is gone or stalled: what it still says of the table is not heard.
        SetRemote(connection, client, 0);
        client.RemoteOrigin.clear();
    }
    Relay(connection, client, message.Origin, Requests::State());
}

// Lines between the two processes were lost while the bus was away: a move
// told to a player here, or a player's move asked for there. Each side sends
// the tables again, as the other may have come back to the bus first and
// missed this one's word that it is back.
void TLobby::ResyncSeats(const std::string& origin, int64_t nowMs) {
    for (auto& [connection, client] : Clients) {
        if (client.RemoteOrigin == origin && (client.Remote != 0 || client.Stranded)) {
            Relay(connection, client, origin, Requests::State());
        } else if (client.Via == origin) {
            if (const TTable* table = TableOf(client); table && table->Referee)
                Send(connection, MatchState(*table, client.Seat, nowMs));
        }
    }
}

// A line for a client here from the process running its table, told with
// that table's id here.
void TLobby::TakeRelayed(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin) return;
    auto found = Clients.find(message.Connection);
    if (found == Clients.end() ||
        (found->second.RemoteOrigin != message.Origin && !PairedAfar(found->first, found->second, message))) {
        // A seat there for a connection gone from here, or gone elsewhere: let go of there.
        if (!message.Home && message.Line.Kind == TServerMessage::TKind::Match) {
            TClusterMessage released =
                TClusterMessage::About(TKind::Released, message.Origin, message.Connection);
            Publish(released);
        }
        return;
    }
    const uint64_t connection = found->first;
    TClient& client = found->second;
    if (message.Rating && *message.Rating != client.Rating) {
        client.Rating = *message.Rating;
        PlayerChanged(client);
    }
    if (message.Home) {
        SetRemote(connection, client, 0);
        SendLobby(connection);
        return;
    }
    TClusterPeers::TProcess& process = Cluster->Processes[message.Origin];
    auto alias = [&](int64_t table) { return Cluster->AliasOf(message.Origin, process, table); };
    TServerMessage line = message.Line;
    if (line.Table != 0) line.Table = alias(line.Table);
    if (line.Match.Table != 0) line.Match.Table = alias(line.Match.Table);
    if (line.TableInfo.Id != 0) line.TableInfo.Id = alias(line.TableInfo.Id);
    if (line.Kind == TServerMessage::TKind::Waiting) client.WaitingAfar = !line.AcceptedRules.empty();
    if (line.Kind == TServerMessage::TKind::Match) client.WaitingAfar = false;
    if (line.Kind == TServerMessage::TKind::Match || line.Kind == TServerMessage::TKind::Table) {
        // Seated there: what it watched, here or elsewhere, it watches no more.
        if (client.Afar) LeaveAfar(connection, client);
        if (client.Table != 0 && client.Seat < 0) Leave(connection, client, nowMs);
        const bool match = line.Kind == TServerMessage::TKind::Match;
        const auto& seats = match ? line.Match.Seats : line.TableInfo.Seats;
        const auto seat = std::find(seats.begin(), seats.end(), QString::fromStdString(client.Name));
        const int32_t seated = match                 ? line.Match.You
                               : seat == seats.end() ? -1
                                                     : int32_t(seat - seats.begin());
        const int64_t alias = match ? line.Match.Table : line.TableInfo.Id;
        // Every state the table sends comes this way: the entry changes only when the seat does.
        const bool reseated = client.Remote == alias && client.RemoteSeat != seated;
        client.RemoteSeat = seated;
        SetRemote(connection, client, alias);
        if (reseated) PlayerChanged(client);
    }
    Send(connection, line, message.Close);
}

bool TLobby::IsRelayed(uint64_t connection) {
    return connection >= TClusterPeers::FirstRelayed;
}

void TLobby::RelayOut(uint64_t connection, const TServerMessage& line, bool close) {
    auto found = Clients.find(connection);
    if (found == Clients.end()) return;
    const TClient& client = found->second;
    TClusterMessage message = TClusterMessage::About(TKind::Relayed, client.Via, client.ViaConnection);
    message.Close = close;
    message.Line = line;
    message.Home = line.Kind == TServerMessage::TKind::Lobby;
    // The player's own process lists them, and vouches for their rating to the next table.
    if (line.Kind == TServerMessage::TKind::Ended && line.Ratings) message.Rating = client.Rating;
    Publish(message);
}

void TLobby::RelayOut(uint64_t connection, const std::string& lines) {
    for (const QByteArray& line : QByteArray::fromStdString(lines).chopped(1).split('\n')) {
        ServerMessages::TDecoded decoded = ServerMessages::Decode(line);
        if (decoded.Ok)
            RelayOut(connection, decoded.Message, false);
        else
            Log.Write("cannot pass on a line: " + decoded.Error.toStdString());
    }
}

// A client of another process asks about a table here: seated as one of this
// process's own, with the identity that process vouches for.
void TLobby::TakeRelay(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin) return;
    const Requests::TDecoded decoded = Requests::Decode(message.Request);
    static constexpr TRequest Relayable[] = {TRequest::Sit,     TRequest::Leave,   TRequest::Move,
                                             TRequest::Chat,    TRequest::State,   TRequest::Resign,
                                             TRequest::Rematch, TRequest::PlayNow, TRequest::Ping};
    if (!decoded.Ok ||
        std::find(std::begin(Relayable), std::end(Relayable), decoded.Request.Kind) == std::end(Relayable)) {
        ++Cluster->Dropped;
        return;
    }
    const TClusterSeat who{
        message.Origin,  message.Connection, message.Player, message.Name,   message.Fingerprint,
        message.Address, message.LimitKey,   message.Rating, message.Blocks, false};
    bool added = false;
    const uint64_t connection = Adopt(who, added, nowMs);
    if (connection == 0) return;
    if (added) {
        const TTable* table = TableOf(Clients.at(connection));
        if (table && table->Referee && decoded.Request.Kind != TRequest::State)
            Send(connection, MatchState(*table, Clients.at(connection).Seat, nowMs));
    }
    Handle(connection, decoded.Request, nowMs);
}

uint64_t TLobby::Adopt(const TClusterSeat& who, bool& added, int64_t nowMs) {
    const auto key = std::make_pair(who.Origin, who.Connection);
    added = false;
    // Blocks as the player's own process has them now: one blocked meanwhile is not heard here either.
    auto vouched = [&who](TClient& client) {
        // Every relayed request says them, moves too: most often the same.
        if (client.Blocks.size() == who.Blocks.size() &&
            std::all_of(who.Blocks.begin(), who.Blocks.end(),
                        [&client](int64_t blocked) { return client.Blocks.count(blocked) != 0; }))
            return;
        client.Blocks.clear();
        for (int64_t blocked : who.Blocks) client.Blocks[blocked];
    };
    if (auto known = Cluster->Relayed.find(key); known != Cluster->Relayed.end()) {
        TClient& client = Clients.at(known->second);
        if (client.PlayerId != who.Player) return 0; // signed in anew since
        if (who.Rating) vouched(client);
        return known->second;
    }
    added = true;
    const uint64_t connection = Cluster->NextRelayed++;
    Cluster->Relayed.emplace(key, connection);
    Connected(connection, who.Fingerprint, who.LimitKey, who.Address);
    TClient& client = Clients.at(connection);
    client.Via = who.Origin;
    client.ViaConnection = who.Connection;
    if (uint64_t old = ConnectionOf(who.Player)) SendAway(old);
    client.PlayerId = who.Player;
    client.Name = who.Name.toStdString();
    client.SignedInMs = nowMs;
    Players[client.PlayerId] = connection;
    if (who.Rating) {
        // Only blocks count here: the player's own process answers all else.
        client.Rating = *who.Rating;
        vouched(client);
    } else {
        if (std::optional<TStorage::TStanding> standing = Storage.Standing(client.PlayerId))
            client.Rating = standing->Rating;
        LoadRelations(client);
    }
    BackToSeat(client, nowMs);
    PlayerChanged(client);
    return connection;
}

void TLobby::TakeReleased(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin) return;
    auto known = Cluster->Relayed.find({message.Origin, message.Connection});
    if (known == Cluster->Relayed.end()) return;
    const uint64_t connection = known->second;
    Cluster->Relayed.erase(known);
    Disconnected(connection, nowMs);
}

// The process holding them is gone: its clients seated here are away, as
// though their connections had dropped.
void TLobby::ReleaseAllFrom(const std::string& origin, int64_t nowMs) {
    std::vector<uint64_t> gone;
    for (auto it = Cluster->Relayed.lower_bound({origin, 0});
         it != Cluster->Relayed.end() && it->first.first == origin;) {
        gone.push_back(it->second);
        it = Cluster->Relayed.erase(it);
    }
    for (uint64_t connection : gone) Disconnected(connection, nowMs);
}

std::string TLobby::PlayNowKeeper() const {
    std::string first = Cluster->Origin;
    for (const auto& [origin, process] : Cluster->Processes) first = std::min(first, origin);
    return first;
}

// The process is gone: whoever here had their requests go to it and is not
// at its tables (those are let go with its tables) stops waiting there. Those
// waiting for Play Now are returned, to ask the next keeper.
std::vector<uint64_t> TLobby::LoseRemoteOrigin(const std::string& origin) {
    std::vector<uint64_t> waiting;
    for (auto& [connection, client] : Clients) {
        if (client.RemoteOrigin != origin || client.Remote != 0) continue;
        client.RemoteOrigin.clear();
        if (!std::exchange(client.WaitingAfar, false)) continue;
        if (client.PlayNowAfar) {
            waiting.push_back(connection);
            continue;
        }
        TServerMessage stopped;
        stopped.Kind = TServerMessage::TKind::Waiting;
        Send(connection, stopped);
    }
    return waiting;
}
