// What the lobby tells of its state: the entries of its view, a match as it
// stands, and the lobby afresh.
#include "server/Lobby.h"

#include "protocol/ServerMessages.h"

#include <cmath>

namespace {} // namespace

TLobbyPlayer TLobby::PlayerEntry(const TClient& client) const {
    TLobbyPlayer player;
    player.Name = QString::fromStdString(client.Name);
    player.Table = client.Remote != 0 ? client.Remote : client.Table;
    player.Seat = client.Remote != 0 ? client.RemoteSeat : client.Seat;
    player.Rating = int32_t(std::llround(client.Rating.Rating));
    player.Deviation = int32_t(std::llround(client.Rating.Deviation));
    return player;
}

TLobbyTable TLobby::TableEntry(const TTable& table) const {
    TLobbyTable info;
    info.Id = table.Id;
    info.Rules = RulesOfBits(table.Rules);
    info.Seconds = table.Clock.MoveSeconds();
    info.Seats = {QString::fromStdString(table.Names[0]), QString::fromStdString(table.Names[1])};
    info.Watchers = int32_t(table.Watchers.size());
    info.Playing = bool(table.Referee);
    info.Rated = table.Rated;
    return info;
}

void TLobby::PlayerChanged(const TClient& client) {
    const TLobbyPlayer player = PlayerEntry(client);
    ClusterPlayer(client.PlayerId);
    TServerMessage gone;
    gone.Kind = TServerMessage::TKind::PlayerGone;
    gone.Name = player.Name;
    PlayerView.Put(client.PlayerId, ServerMessages::ObjectText(ServerMessages::PlayerObject(player)),
                   ServerMessages::Encode(gone).toStdString());
}

void TLobby::TableChanged(const TTable& table) {
    const TLobbyTable info = TableEntry(table);
    ClusterTable(table.Id);
    TServerMessage gone;
    gone.Kind = TServerMessage::TKind::TableGone;
    gone.Table = table.Id;
    TableView.Put(table.Id, ServerMessages::ObjectText(ServerMessages::TableObject(info)),
                  ServerMessages::Encode(gone).toStdString());
    if (!table.Referee && (table.Seats[0] == 0) != (table.Seats[1] == 0))
        WaitingTables.insert(table.Id);
    else
        WaitingTables.erase(table.Id);
}

TServerMessage TLobby::MatchState(const TTable& table, int32_t you, int64_t nowMs) const {
    TServerMessage message;
    message.Kind = TServerMessage::TKind::Match;
    TServerMatchState& state = message.Match;
    state.Table = table.Id;
    state.Match = table.Match.Id;
    state.Seed = table.Match.Seed;
    state.Rules = RulesOfBits(table.Rules);
    state.Seconds = table.Clock.MoveSeconds();
    state.Rated = table.Rated;
    state.First = table.Match.FirstPlayer;
    state.Seats = {QString::fromStdString(table.Names[0]), QString::fromStdString(table.Names[1])};
    state.You = you;
    for (const TStoredMove& move : table.Match.Moves) state.Moves.push_back(move.Move);
    for (int seat = 0; seat < 2; ++seat) state.Away[size_t(seat)] = table.Clock.Away(seat);
    state.AwaySeconds = int32_t(table.Clock.AllowanceMs() / 1000);
    message.ClockMs = ClockMs(table, nowMs);
    return message;
}

// Built from the view's cached objects: a client coming back from a match
// costs a copy, not an encoding of the lobby.
std::string TLobby::LobbySnapshot() const {
    return ServerMessages::LobbyLine(PlayerView.Size(), TableById.size() + RemoteTables(), PlayerView.Shown(),
                                     TableView.Shown());
}
