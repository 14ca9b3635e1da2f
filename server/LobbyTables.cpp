// Tables and seats: opening a table, sitting, watching, leaving, and the
// chat of a table or of the lobby.
#include "server/Lobby.h"

#include "protocol/ServerMessages.h"

#include "server/AddressLimits.h"

void TLobby::Create(uint64_t connection, TClient& client, int32_t rules, int32_t seconds, bool rated,
                    int64_t nowMs) {
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (!Limits.TryAction(client.LimitKey, TAddressLimits::TAction::CreateTable, Settings.Tables,
                          Settings.TableWindowSeconds * 1000LL, nowMs)) {
        Refuse(connection, "Too many tables opened from your address; wait a minute.", TRefusal::Limit);
        return;
    }
    Sit(connection, client, NewTable(rules, seconds, rated, nowMs), 1, nowMs);
}

TLobby::TTable& TLobby::NewTable(int32_t rules, int32_t seconds, bool rated, int64_t nowMs) {
    TTable& table = TableById[NextTable];
    table.Id = NextTable++;
    table.Rules = rules;
    table.Clock = TTableClock(seconds, AwayMs());
    table.Rated = rated;
    table.CreatedMs = nowMs;
    TableChanged(table);
    return table;
}

void TLobby::Sit(uint64_t connection, TClient& client, TTable& table, int32_t seat, int64_t nowMs) {
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (table.Referee) {
        Refuse(connection, "That table is playing; you can watch it.");
        return;
    }
    if (seat < 0) seat = table.Seats[1] == 0 ? 1 : 0;
    if (table.Seats[seat] != 0) {
        Refuse(connection, "That seat is taken.");
        return;
    }
    WithdrawRematch(client.PlayerId);
    StopWaiting(connection, client);
    // A watcher heard nothing of the lobby, which it hears again while it waits here.
    const bool wasWatching = TableOf(client) != nullptr;
    if (TTable* watched = TableOf(client)) {
        watched->Watchers.erase(connection);
        TableChanged(*watched);
    }
    table.Seats[seat] = client.PlayerId;
    table.Names[seat] = client.Name;
    SeatTable[client.PlayerId] = table.Id;
    client.Table = table.Id;
    client.Seat = seat;
    TableChanged(table);
    PlayerChanged(client);
    if (table.Seats[0] != 0 && table.Seats[1] != 0) {
        StartMatch(table, nowMs);
    } else { // the table to wait at, as it now is
        if (wasWatching) SendLobby(connection);
        SendLine(connection, TableView.Line(table.Id));
    }
}

void TLobby::Watch(uint64_t connection, TClient& client, TTable& table, int64_t nowMs) {
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    WithdrawRematch(client.PlayerId);
    if (TTable* watched = TableOf(client)) {
        watched->Watchers.erase(connection);
        TableChanged(*watched);
    }
    client.Table = table.Id;
    client.Seat = -1;
    table.Watchers.insert(connection);
    TableChanged(table);
    State(connection, client, nowMs);
    PlayerChanged(client);
}

// What a client at a table would see were it to come back to it now; the
// lobby afresh when at none.
void TLobby::State(uint64_t connection, TClient& client, int64_t nowMs) {
    const TTable* table = TableOf(client);
    if (!table)
        SendLobby(connection);
    else if (table->Referee)
        Send(connection, MatchState(*table, client.Seat, nowMs));
    else
        SendLine(connection, TableView.Line(table->Id));
}

void TLobby::Leave(uint64_t connection, TClient& client, int64_t nowMs) {
    // Also after a match, back in the lobby: the offer to play it again goes.
    WithdrawRematch(client.PlayerId);
    StopWaiting(connection, client);
    TTable* at = TableOf(client);
    if (!at) return;
    TTable& table = *at;
    int32_t seat = client.Seat;
    if (seat >= 0 && table.Referee) {
        // Leaving a match gives it up; the end brings everyone back (the one
        // who left without an offer to play again), once a move being stored
        // has been told.
        table.LeftBy = client.PlayerId;
        if (table.Storing)
            table.EndAfterStoring = {TMatchStatus::Forfeit, 1 - seat};
        else
            EndMatch(table, TMatchStatus::Forfeit, 1 - seat, nowMs);
        return;
    }
    client.Table = 0;
    client.Seat = -1;
    if (seat < 0) {
        table.Watchers.erase(connection);
        TableChanged(table);
    } else {
        table.Seats[seat] = 0;
        table.Names[seat].clear();
        SeatTable.erase(client.PlayerId);
        if (table.Seats[0] == 0 && table.Seats[1] == 0)
            RemoveTable(table.Id);
        else
            TableChanged(table);
    }
    PlayerChanged(client);
    if (Clients.count(connection) && client.PlayerId != 0 && ConnectionOf(client.PlayerId) == connection)
        SendLobby(connection);
}

void TLobby::Chat(uint64_t connection, TClient& client, const std::string& text, int64_t nowMs) {
    if (const TModeration::TSanction* mute = Moderation.MuteOf(client.PlayerId, nowMs)) {
        Refuse(connection, TModeration::Telling(*mute, nowMs));
        return;
    }
    if (!Limits.TryAction(client.LimitKey, TAddressLimits::TAction::Chat, Settings.ChatLines,
                          Settings.ChatWindowSeconds * 1000LL, nowMs)) {
        Refuse(connection, "You are chatting too fast.", TRefusal::Limit);
        return;
    }
    TServerMessage line;
    line.Kind = TServerMessage::TKind::Chat;
    line.From = QString::fromStdString(client.Name);
    line.Text = QString::fromStdString(text);
    if (client.Afar) {
        ChatAfar(client, text);
        return;
    }
    // Seated at a table still waiting, a player speaks to the lobby it still hears.
    const TTable* table = InLobby(client) ? nullptr : TableOf(client);
    client.Said.push_back((table ? "at table " + std::to_string(table->Id) : std::string("in the lobby")) +
                          ": " + text);
    if (client.Said.size() > Protocol::MaxEvidenceLines) client.Said.pop_front();
    if (table) {
        line.Table = table->Id;
        ClusterTableLine(*table, line, client.PlayerId);
        const std::string atTable = ServerMessages::Encode(line).toStdString();
        for (int seat = 0; seat < 2; ++seat)
            if (uint64_t to = ConnectionOf(table->Seats[seat]); to && Hears(to, client.PlayerId))
                SendLine(to, atTable);
        for (uint64_t watcher : table->Watchers)
            if (Hears(watcher, client.PlayerId)) SendLine(watcher, atTable);
    } else {
        const std::string encoded = ServerMessages::Encode(line).toStdString();
        for (const auto& [player, to] : Players)
            if (InLobby(Clients.at(to)) && Hears(to, client.PlayerId)) SendLine(to, encoded);
        ClusterChat(client, text);
        KeepInBacklog(line, client.PlayerId, nowMs);
    }
}

// Whoever still sits at or watches the table is sent the lobby afresh, with
// every change of this removal in it.
void TLobby::RemoveTable(int64_t id) {
    auto found = TableById.find(id);
    if (found == TableById.end()) return;
    TTable& table = found->second;
    std::vector<uint64_t> back(table.Watchers.begin(), table.Watchers.end());
    for (int64_t player : table.Seats) {
        if (uint64_t connection = ConnectionOf(player)) back.push_back(connection);
        if (auto seated = SeatTable.find(player); seated != SeatTable.end() && seated->second == id)
            SeatTable.erase(seated);
    }
    if (table.ScheduledMs != Never) Deadlines.erase({table.ScheduledMs, id});
    WaitingTables.erase(id);
    TableView.Remove(id);
    ClusterTable(id);
    TableById.erase(found);
    std::vector<uint64_t> moved;
    for (uint64_t connection : back) {
        auto client = Clients.find(connection);
        if (client == Clients.end() || client->second.Table != id) continue;
        client->second.Table = 0;
        client->second.Seat = -1;
        if (client->second.PlayerId != 0) PlayerChanged(client->second);
        moved.push_back(connection);
    }
    for (uint64_t connection : moved) SendLobby(connection);
}
