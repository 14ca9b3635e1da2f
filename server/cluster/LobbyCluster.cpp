// The lobby shared with the other processes of a cluster: this process's
// players and tables told as they change and whole every few seconds, the
// others' listed beside its own, lobby chat heard everywhere, and a name
// signed in once in the whole cluster.
#include "server/Lobby.h"

#include "protocol/ServerMessages.h"
#include "server/ServerLog.h"
#include "server/cluster/ClusterMessage.h"
#include "server/cluster/ClusterPeers.h"

namespace {

using TKind = TClusterMessage::TKind;

std::string GoneLine(TServerMessage::TKind kind, int64_t table, const QString& name) {
    TServerMessage gone;
    gone.Kind = kind;
    gone.Table = table;
    gone.Name = name;
    return ServerMessages::Encode(gone).toStdString();
}

const std::string LobbyChannel = "lobby";

} // namespace

void TLobby::JoinCluster(const std::string& origin, int64_t nowMs) {
    Cluster = std::make_unique<TClusterPeers>();
    Cluster->Origin = origin;
    Cluster->WholeNow(nowMs);
    Cluster->Subscriptions.emplace_back(TClusterPeers::NodeChannel(origin), true);
}

size_t TLobby::ClusterDropped() const {
    return Cluster ? Cluster->Dropped : 0;
}

std::vector<std::pair<std::string, std::string>> TLobby::TakeClusterOutgoing() {
    return Cluster ? std::exchange(Cluster->Outgoing, {})
                   : std::vector<std::pair<std::string, std::string>>();
}

std::vector<std::pair<std::string, bool>> TLobby::TakeClusterSubscriptions() {
    return Cluster ? std::exchange(Cluster->Subscriptions, {}) : std::vector<std::pair<std::string, bool>>();
}

void TLobby::ClusterPlayer(int64_t playerId) {
    if (Cluster) Cluster->ChangedPlayers.insert(playerId);
}

void TLobby::ClusterTable(int64_t tableId) {
    if (Cluster) Cluster->ChangedTables.insert(tableId);
}

void TLobby::Publish(TClusterMessage& message) {
    message.Origin = Cluster->Origin;
    std::string channel = LobbyChannel;
    if (message.Kind == TKind::TableLine)
        channel = TClusterPeers::TableChannel(Cluster->Origin, message.Table);
    else if (message.Kind == TKind::Relay || message.Kind == TKind::Relayed ||
             message.Kind == TKind::Released || message.Kind == TKind::OpenMatch ||
             message.Kind == TKind::Paired || message.Kind == TKind::SitAt)
        channel = TClusterPeers::NodeChannel(message.To);
    Cluster->Outgoing.emplace_back(std::move(channel), message.Encode());
}

void TLobby::ClusterSignedIn(const TClient& client) {
    if (!Cluster) return;
    TClusterMessage message;
    message.Kind = TKind::SignedIn;
    message.Player = client.PlayerId;
    message.AtMs = client.SignedInMs;
    Publish(message);
}

void TLobby::ClusterChat(const TClient& client, const std::string& text) {
    if (!Cluster) return;
    TClusterMessage message;
    message.Kind = TKind::Chat;
    message.Player = client.PlayerId;
    message.Name = QString::fromStdString(client.Name);
    message.Text = QString::fromStdString(text);
    Publish(message);
}

// What changed here since the last flush, in messages of a bounded size.
void TLobby::ClusterFlush() {
    if (!Cluster) return;
    TClusterMessage message;
    auto full = [&] {
        return message.Players.size() + message.Tables.size() + message.GonePlayers.size() +
                   message.GoneTables.size() >=
               TClusterMessage::MaxEntries;
    };
    auto send = [&] {
        message.Generation = Cluster->Generation;
        Publish(message);
        message = TClusterMessage();
    };
    for (int64_t id : std::exchange(Cluster->ChangedTables, {})) {
        if (auto table = TableById.find(id); table != TableById.end())
            message.Tables.push_back(TableEntry(table->second));
        else
            message.GoneTables.push_back(id);
        if (full()) send();
    }
    // One seated here from elsewhere is listed by the process holding its connection.
    for (int64_t id : std::exchange(Cluster->ChangedPlayers, {})) {
        if (auto player = Players.find(id); player != Players.end() && !IsRelayed(player->second))
            ListPlayer(message, id, Clients.at(player->second));
        else
            message.GonePlayers.push_back(id);
        if (full()) send();
    }
    if (!message.Tables.empty() || !message.Players.empty() || !message.GoneTables.empty() ||
        !message.GonePlayers.empty())
        send();
}

// Everything listed here, numbered as one whole set.
void TLobby::PublishWhole() {
    ClusterFlush(); // what changed goes first, so that the whole set is the newest word
    TClusterMessage message;
    message.Whole = true;
    message.Generation = ++Cluster->Generation;
    auto send = [&](bool last) {
        message.Last = last;
        Publish(message);
        message.Players.clear();
        message.Tables.clear();
    };
    for (const auto& [id, table] : TableById) {
        message.Tables.push_back(TableEntry(table));
        if (message.Tables.size() == TClusterMessage::MaxEntries) send(false);
    }
    for (const auto& [id, connection] : Players) {
        if (IsRelayed(connection)) continue;
        ListPlayer(message, id, Clients.at(connection));
        if (message.Tables.size() + message.Players.size() == TClusterMessage::MaxEntries) send(false);
    }
    send(true);
}

void TLobby::ClusterBus(bool up, int64_t nowMs) {
    if (!Cluster) return;
    Cluster->Up = up;
    if (!up) return;
    // What others said while the bus was away is lost: everyone says it again.
    TClusterMessage resync;
    resync.Kind = TKind::Resync;
    Publish(resync);
    Cluster->WholeNow(nowMs);
    AfterChange(nowMs);
}

void TLobby::HandleCluster(const std::string& payload, int64_t nowMs) {
    if (!Cluster) return;
    std::optional<TClusterMessage> message = TClusterMessage::Decode(payload);
    if (!message) {
        if (Cluster->Dropped++ % 1000 == 0)
            Log.Write("dropped a malformed message from the bus (" + std::to_string(Cluster->Dropped) +
                      " so far)");
        return;
    }
    if (message->Origin == Cluster->Origin) return; // our own, heard back
    auto process = Cluster->Processes.find(message->Origin);
    if (process == Cluster->Processes.end()) {
        if (Cluster->Processes.size() >= TClusterPeers::MaxProcesses) {
            ++Cluster->Dropped;
            return;
        }
        Log.Write("the lobby is shared with " + message->Origin);
        // One new to us has not heard our whole set.
        Cluster->WholeNow(nowMs);
    }
    Cluster->Processes[message->Origin].HeardMs = nowMs;
    // Heard again after it was forgotten: its word that it is back may have
    // come before this process was back itself.
    if (process == Cluster->Processes.end()) ResyncSeats(message->Origin, nowMs);
    switch (message->Kind) {
    case TKind::Entries:
        TakeEntries(*message, nowMs);
        break;
    case TKind::Chat:
        TakeChat(*message, nowMs);
        break;
    case TKind::SignedIn:
        TakeSignedIn(*message, nowMs);
        break;
    case TKind::Resync:
        Cluster->WholeNow(nowMs);
        ResyncSeats(message->Origin, nowMs);
        break;
    case TKind::Watch:
        TakeWatch(*message, nowMs);
        break;
    case TKind::TableLine:
        TakeTableLine(*message);
        break;
    case TKind::TableChat:
        TakeTableChat(*message);
        break;
    case TKind::Relay:
        TakeRelay(*message, nowMs);
        break;
    case TKind::Relayed:
        TakeRelayed(*message, nowMs);
        break;
    case TKind::Released:
        TakeReleased(*message, nowMs);
        break;
    case TKind::TakenOver:
        TakeTakenOver(*message);
        break;
    case TKind::OpenMatch:
        TakeOpenMatch(*message, nowMs);
        break;
    case TKind::Paired:
        TakePaired(*message);
        break;
    case TKind::SitAt:
        TakeSitAt(*message, nowMs);
        break;
    }
    AfterChange(nowMs);
}

// A player here seated at another process's table is listed with that
// table, as that process numbers it.
void TLobby::ListPlayer(TClusterMessage& message, int64_t playerId, const TClient& client) const {
    TClusterMessage::TPlayer& player = message.Players.emplace_back();
    player.Id = playerId;
    player.Entry = PlayerEntry(client);
    if (client.Remote == 0) return;
    auto target = Cluster->Targets.find(client.Remote);
    if (target == Cluster->Targets.end()) {
        player.Entry.Table = 0;
        player.Entry.Seat = -1;
    } else {
        player.Entry.Table = target->second.Table;
        player.TableOrigin = target->second.Origin;
    }
}

void TLobby::ShowRemotePlayer(int64_t playerId) {
    if (!Cluster || Players.count(playerId)) return; // one here is the one shown
    for (auto& [origin, process] : Cluster->Processes) {
        auto found = process.Players.find(playerId);
        if (found == process.Players.end()) continue;
        TLobbyPlayer entry = found->second.Entry;
        const std::string& at = found->second.TableOrigin.empty() ? origin : found->second.TableOrigin;
        auto running = Cluster->Processes.find(at);
        if (entry.Table == 0 || at == Cluster->Origin) {
            // In the lobby, or at one of this process's own tables: its id as it is.
        } else if (running != Cluster->Processes.end()) {
            entry.Table = Cluster->AliasOf(at, running->second, entry.Table);
        } else {
            entry.Table = 0; // at a table of a process not heard of (yet)
            entry.Seat = -1;
        }
        PlayerView.Put(playerId, ServerMessages::ObjectText(ServerMessages::PlayerObject(entry)),
                       GoneLine(TServerMessage::TKind::PlayerGone, 0, entry.Name));
        return;
    }
    PlayerView.Remove(playerId);
}

void TLobby::TakeEntries(const TClusterMessage& message, int64_t) {
    TClusterPeers::TProcess& process = Cluster->Processes[message.Origin];
    if (message.Whole) process.Generation = message.Generation;
    for (const TLobbyTable& table : message.Tables) {
        if (!process.Tables.count(table.Id) && process.Tables.size() >= TClusterPeers::MaxEntriesEach) {
            ++Cluster->Dropped;
            continue;
        }
        auto [kept, added] = process.Tables.try_emplace(table.Id);
        const bool same = !added && kept->second.Entry == table;
        if (!same) Cluster->Reseat(message.Origin, added ? nullptr : &kept->second.Entry, &table);
        kept->second = {table, process.Generation};
        // A heartbeat names every entry again: only a change reaches the lobby's clients.
        if (same) continue;
        TLobbyTable shown = table;
        shown.Id = Cluster->AliasOf(message.Origin, process, table.Id);
        TableView.Put(shown.Id, ServerMessages::ObjectText(ServerMessages::TableObject(shown)),
                      GoneLine(TServerMessage::TKind::TableGone, shown.Id, {}));
    }
    for (const TClusterMessage::TPlayer& player : message.Players) {
        if (!process.Players.count(player.Id) && process.Players.size() >= TClusterPeers::MaxEntriesEach) {
            ++Cluster->Dropped;
            continue;
        }
        auto [kept, added] = process.Players.try_emplace(player.Id);
        const bool same =
            !added && kept->second.TableOrigin == player.TableOrigin && kept->second.Entry == player.Entry;
        kept->second = {player.Entry, player.TableOrigin, process.Generation};
        if (!same) ShowRemotePlayer(player.Id);
    }
    auto dropTable = [&](int64_t id) {
        if (auto gone = process.Tables.find(id); gone != process.Tables.end()) {
            Cluster->Reseat(message.Origin, &gone->second.Entry, nullptr);
            process.Tables.erase(gone);
        }
        if (auto alias = process.Aliases.find(id); alias != process.Aliases.end()) {
            DropAlias(*Cluster, alias->second);
            process.Aliases.erase(alias);
        }
    };
    auto dropPlayer = [&](int64_t id) {
        process.Players.erase(id);
        ShowRemotePlayer(id);
    };
    for (int64_t id : message.GoneTables) dropTable(id);
    for (int64_t id : message.GonePlayers) dropPlayer(id);
    if (!message.Whole || !message.Last) return;
    // The whole set is in: what it did not name is gone.
    std::vector<int64_t> goneTables, gonePlayers;
    for (const auto& [id, table] : process.Tables)
        if (table.Generation != process.Generation) goneTables.push_back(id);
    for (const auto& [id, alias] : process.Aliases)
        if (!process.Tables.count(id)) goneTables.push_back(id);
    for (const auto& [id, player] : process.Players)
        if (player.Generation != process.Generation) gonePlayers.push_back(id);
    for (int64_t id : goneTables) dropTable(id);
    for (int64_t id : gonePlayers) dropPlayer(id);
}

// Said on another process: heard here by those in the lobby who do not block the speaker.
void TLobby::TakeChat(const TClusterMessage& message, int64_t nowMs) {
    TServerMessage line;
    line.Kind = TServerMessage::TKind::Chat;
    line.From = message.Name;
    line.Text = message.Text;
    const std::string encoded = ServerMessages::Encode(line).toStdString();
    for (const auto& [player, to] : Players)
        if (InLobby(Clients.at(to)) && Hears(to, message.Player)) SendLine(to, encoded);
    KeepInBacklog(line, message.Player, nowMs);
}

// The player signed in on another process: the older of the two connections
// goes, as it would on one server. On a tie the process names decide, the
// same way on both.
void TLobby::TakeSignedIn(const TClusterMessage& message, int64_t nowMs) {
    const uint64_t connection = ConnectionOf(message.Player);
    // One seated here from elsewhere is let go by the process holding it.
    if (connection == 0 || IsRelayed(connection)) return;
    const TClient& client = Clients.at(connection);
    if (client.SignedInMs > message.AtMs ||
        (client.SignedInMs == message.AtMs && Cluster->Origin > message.Origin))
        return;
    TServerMessage bye;
    bye.Kind = TServerMessage::TKind::Bye;
    bye.Text = QStringLiteral("You signed in from elsewhere.");
    Send(connection, bye, true);
    Log.Write(client.Name + " signed in on " + message.Origin);
    Disconnected(connection, nowMs);
}

void TLobby::ForgetProcess(const std::string& origin, int64_t nowMs) {
    auto found = Cluster->Processes.find(origin);
    if (found == Cluster->Processes.end()) return;
    ReleaseAllFrom(origin, nowMs);
    const std::vector<uint64_t> waiting = LoseRemoteOrigin(origin);
    // Its tables' players here wait for it, or for whoever takes its matches over.
    for (auto& [connection, client] : Clients)
        if (client.Remote != 0 && client.RemoteOrigin == origin) {
            SetRemote(connection, client, 0);
            client.Stranded = true;
        }
    TClusterPeers::TProcess process = std::move(found->second);
    Cluster->Processes.erase(found);
    for (const auto& [id, alias] : process.Aliases) DropAlias(*Cluster, alias);
    for (const auto& [id, table] : process.Tables) Cluster->Reseat(origin, &table.Entry, nullptr);
    for (const auto& [id, player] : process.Players) ShowRemotePlayer(id);
    Log.Write("the lobby no longer hears " + origin);
    // The keeper went with its queue: they wait on with the next one, here or elsewhere.
    for (uint64_t connection : waiting)
        if (auto client = Clients.find(connection); client != Clients.end())
            Handle(connection, *client->second.PlayNowAfar, nowMs);
}

void TLobby::ClusterTick(int64_t nowMs) {
    if (!Cluster) return;
    std::vector<std::string> silent;
    for (const auto& [origin, process] : Cluster->Processes)
        if (nowMs >= process.HeardMs + ClusterSilenceMs) silent.push_back(origin);
    for (const std::string& origin : silent) ForgetProcess(origin, nowMs);
    if (nowMs >= Cluster->HeartbeatAtMs) {
        if (nowMs >= Cluster->WholeAtMs) {
            PublishWhole();
            Cluster->WholeAtMs = nowMs + ClusterWholeMs;
        } else {
            // Changes go out as they happen: a beat says only that this process is alive.
            ClusterFlush();
            TClusterMessage beat;
            beat.Generation = Cluster->Generation;
            Publish(beat);
        }
        Cluster->HeartbeatAtMs = nowMs + ClusterHeartbeatMs;
        AskToWatchAgain();
    }
}

int64_t TLobby::ClusterDeadline() const {
    if (!Cluster) return Never;
    int64_t next = Cluster->HeartbeatAtMs;
    for (const auto& [origin, process] : Cluster->Processes)
        next = std::min(next, process.HeardMs + ClusterSilenceMs);
    return next;
}

size_t TLobby::RemoteTables() const {
    size_t count = 0;
    if (Cluster)
        for (const auto& [origin, process] : Cluster->Processes) count += process.Tables.size();
    return count;
}

void TLobby::DropAlias(TClusterPeers& peers, int64_t alias) {
    TableView.Remove(alias);
    EndAfar(alias);
    peers.Targets.erase(alias);
}

void TLobby::EndAfar(int64_t alias) {
    // Its players here are back in the lobby; signing in again seats them
    // wherever the match goes on.
    if (auto seated = Cluster->SeatedAfar.find(alias); seated != Cluster->SeatedAfar.end())
        for (uint64_t connection : std::set<uint64_t>(seated->second)) {
            TClient& client = Clients.at(connection);
            SetRemote(connection, client, 0);
            client.RemoteOrigin.clear();
            SendLobby(connection);
        }
    auto watchers = Cluster->WatchersAfar.find(alias);
    if (watchers == Cluster->WatchersAfar.end()) return;
    for (uint64_t connection : std::set<uint64_t>(watchers->second)) {
        TClient& client = Clients.at(connection);
        LeaveAfar(connection, client);
        SendLobby(connection);
    }
}

bool TLobby::TakeAfar(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    using TRequest = TLobbyRequest::TKind;
    const bool toAfar = request.Kind == TRequest::Watch && Cluster->Targets.count(request.Table);
    if (client.Afar != 0) {
        switch (request.Kind) {
        case TRequest::Leave:
            LeaveAfar(connection, client);
            SendLobby(connection);
            return true;
        case TRequest::State: {
            Cluster->AwaitingState.insert(connection);
            const TClusterPeers::TTarget& target = Cluster->Targets.at(client.Afar);
            AskToWatch(target.Origin, target.Table);
            return true;
        }
        case TRequest::Sit:
        case TRequest::Watch:
        case TRequest::CreateTable:
        case TRequest::PlayNow:
        case TRequest::Answer:
            LeaveAfar(connection, client);
            break;
        default:
            break;
        }
    }
    if (!toAfar) return false;
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return true;
    }
    if (client.Table != 0) Leave(connection, client, nowMs);
    WithdrawRematch(client.PlayerId);
    StopWaiting(connection, client);
    client.Afar = request.Table;
    std::set<uint64_t>& watchers = Cluster->WatchersAfar[client.Afar];
    const TClusterPeers::TTarget& target = Cluster->Targets.at(client.Afar);
    if (watchers.empty())
        Cluster->Subscriptions.emplace_back(TClusterPeers::TableChannel(target.Origin, target.Table), true);
    watchers.insert(connection);
    // Until the table as it stands comes, its lines are in what will come.
    Cluster->AwaitingState.insert(connection);
    AskToWatch(target.Origin, target.Table);
    return true;
}

void TLobby::AskToWatch(const std::string& origin, int64_t table) {
    TClusterMessage watch;
    watch.Kind = TKind::Watch;
    watch.To = origin;
    watch.Table = table;
    Publish(watch);
}

// The table's state may have gone out before this process listened on its
// channel (the bus just back, or slow to take the subscription): asked again
// until it comes, once a table.
void TLobby::AskToWatchAgain() {
    std::set<int64_t> asked;
    for (uint64_t connection : Cluster->AwaitingState) {
        auto client = Clients.find(connection);
        if (client == Clients.end() || !asked.insert(client->second.Afar).second) continue;
        if (auto target = Cluster->Targets.find(client->second.Afar); target != Cluster->Targets.end())
            AskToWatch(target->second.Origin, target->second.Table);
    }
}

void TLobby::LeaveAfar(uint64_t connection, TClient& client) {
    const int64_t alias = std::exchange(client.Afar, 0);
    Cluster->AwaitingState.erase(connection);
    auto watchers = Cluster->WatchersAfar.find(alias);
    if (watchers == Cluster->WatchersAfar.end()) return;
    watchers->second.erase(connection);
    if (!watchers->second.empty()) return;
    Cluster->WatchersAfar.erase(watchers);
    if (auto target = Cluster->Targets.find(alias); target != Cluster->Targets.end())
        Cluster->Subscriptions.emplace_back(
            TClusterPeers::TableChannel(target->second.Origin, target->second.Table), false);
}

// Said by a watcher here at a table run elsewhere: heard by everyone at it,
// this process's watchers too, once the process running it has passed it on.
void TLobby::ChatAfar(TClient& client, const std::string& text) {
    const TClusterPeers::TTarget& target = Cluster->Targets.at(client.Afar);
    client.Said.push_back("at table " + std::to_string(client.Afar) + ": " + text);
    if (client.Said.size() > Protocol::MaxEvidenceLines) client.Said.pop_front();
    TClusterMessage chat;
    chat.Kind = TKind::TableChat;
    chat.To = target.Origin;
    chat.Table = target.Table;
    chat.Player = client.PlayerId;
    chat.Name = QString::fromStdString(client.Name);
    chat.Text = QString::fromStdString(text);
    Publish(chat);
}

void TLobby::ClusterTableLine(const TTable& table, const TServerMessage& line, int64_t speaker, bool state) {
    if (!Cluster || !table.WatchedAfar) return;
    TClusterMessage message;
    message.Kind = TKind::TableLine;
    message.Table = table.Id;
    message.Player = speaker;
    message.State = state;
    message.Line = line;
    Publish(message);
}

void TLobby::TakeWatch(const TClusterMessage& message, int64_t nowMs) {
    if (message.To != Cluster->Origin) return;
    auto found = TableById.find(message.Table);
    if (found == TableById.end()) return;
    TTable& table = found->second;
    table.WatchedAfar = true;
    if (table.Referee) {
        ClusterTableLine(table, MatchState(table, -1, nowMs), 0, true);
        return;
    }
    TServerMessage waiting;
    waiting.Kind = TServerMessage::TKind::Table;
    waiting.TableInfo = TableEntry(table);
    ClusterTableLine(table, waiting, 0, true);
}

void TLobby::TakeTableChat(const TClusterMessage& message) {
    if (message.To != Cluster->Origin) return;
    auto found = TableById.find(message.Table);
    if (found == TableById.end()) return;
    const TTable& table = found->second;
    TServerMessage line;
    line.Kind = TServerMessage::TKind::Chat;
    line.From = message.Name;
    line.Text = message.Text;
    line.Table = table.Id;
    ClusterTableLine(table, line, message.Player);
    const std::string encoded = ServerMessages::Encode(line).toStdString();
    for (int seat = 0; seat < 2; ++seat)
        if (uint64_t to = ConnectionOf(table.Seats[seat]); to && Hears(to, message.Player))
            SendLine(to, encoded);
    for (uint64_t watcher : table.Watchers)
        if (Hears(watcher, message.Player)) SendLine(watcher, encoded);
}

// A line of a table elsewhere, told here as its watchers know the table.
void TLobby::TakeTableLine(const TClusterMessage& message) {
    auto process = Cluster->Processes.find(message.Origin);
    auto alias = process->second.Aliases.find(message.Table);
    if (alias == process->second.Aliases.end()) return;
    auto watchers = Cluster->WatchersAfar.find(alias->second);
    if (watchers == Cluster->WatchersAfar.end()) return;
    TServerMessage line = message.Line;
    if (line.Table != 0) line.Table = alias->second;
    if (line.Kind == TServerMessage::TKind::Match) line.Match.Table = alias->second;
    if (line.Kind == TServerMessage::TKind::Table) line.TableInfo.Id = alias->second;
    const std::string encoded = ServerMessages::Encode(line).toStdString();
    for (uint64_t connection : watchers->second) {
        const bool awaiting = Cluster->AwaitingState.count(connection) != 0;
        if (message.State != awaiting) continue;
        if (message.State) Cluster->AwaitingState.erase(connection);
        if (message.Player == 0 || Hears(connection, message.Player)) SendLine(connection, encoded);
    }
}
