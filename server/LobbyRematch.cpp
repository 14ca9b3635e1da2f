// Resigning a match, and its players playing again at the same table on the
// same terms with the colours swapped, once both have asked.
#include "server/Lobby.h"

#include "server/ServerLog.h"

void TLobby::Resign(uint64_t connection, TClient& client, int64_t nowMs) {
    TTable* table = TableOf(client);
    if (!table || client.Seat < 0 || !table->Referee) {
        Refuse(connection, "You are not playing a match.");
        return;
    }
    // As leaving: once a move being stored has been told.
    if (table->Storing)
        table->EndAfterStoring = {TMatchStatus::Resigned, 1 - client.Seat};
    else
        EndMatch(*table, TMatchStatus::Resigned, 1 - client.Seat, nowMs);
}

void TLobby::OfferRematch(const TTable& table) {
    TRematch offer;
    offer.Table = table.Id;
    offer.Rules = table.Rules;
    offer.Seconds = table.Clock.MoveSeconds();
    offer.Rated = table.Rated;
    for (int seat = 0; seat < 2; ++seat) {
        // A player whose line dropped cannot answer; nor can one long gone.
        if (ConnectionOf(table.Seats[seat]) == 0) return;
        offer.Players[seat] = table.Seats[seat];
        offer.Names[seat] = table.Names[seat];
    }
    if (offer.Players[0] == offer.Players[1]) return;
    for (int64_t player : offer.Players) {
        WithdrawRematch(player);
        RematchOf[player] = table.Id;
    }
    Rematches[table.Id] = std::move(offer);
}

void TLobby::TellRematch(const TRematch& offer, int32_t seat, bool asks) {
    TServerMessage told;
    told.Kind = TServerMessage::TKind::Rematch;
    told.Table = offer.Table;
    told.Seat = seat;
    told.Asks = asks;
    for (int64_t player : offer.Players)
        if (uint64_t connection = ConnectionOf(player)) Send(connection, told);
}

void TLobby::WithdrawRematch(int64_t playerId) {
    auto of = RematchOf.find(playerId);
    if (of == RematchOf.end()) return;
    auto found = Rematches.find(of->second);
    const TRematch offer = found->second;
    Rematches.erase(found);
    for (int64_t player : offer.Players) RematchOf.erase(player);
    const int32_t seat = offer.Players[0] == playerId ? 0 : 1;
    TellRematch(offer, seat, false);
}

void TLobby::Rematch(uint64_t connection, TClient& client, int64_t nowMs) {
    if (const TTable* table = TableOf(client); table && client.Seat >= 0 && table->Referee) {
        Refuse(connection, "The match is still being played.");
        return;
    }
    auto of = RematchOf.find(client.PlayerId);
    if (of == RematchOf.end()) {
        Refuse(connection, "There is no match of yours to play again.");
        return;
    }
    TRematch& offer = Rematches.at(of->second);
    const int32_t seat = offer.Players[0] == client.PlayerId ? 0 : 1;
    if (offer.Asked[seat]) return;
    offer.Asked[seat] = true;
    TellRematch(offer, seat, true);
    if (!offer.Asked[1 - seat]) return;

    const TRematch terms = offer;
    Rematches.erase(terms.Table);
    for (int64_t player : terms.Players) RematchOf.erase(player);
    // Both are in the lobby: every way out of it withdrew the offer.
    TTable& table = TableById[terms.Table];
    table.Id = terms.Table;
    table.Rules = terms.Rules;
    table.Clock = TTableClock(terms.Seconds, AwayMs());
    table.Rated = terms.Rated;
    table.CreatedMs = nowMs;
    for (int32_t now = 0; now < 2; ++now) {
        // The colours swap: who was Red plays Blue.
        const int64_t player = terms.Players[1 - now];
        TClient& seated = Clients.at(ConnectionOf(player));
        table.Seats[now] = player;
        table.Names[now] = terms.Names[1 - now];
        SeatTable[player] = table.Id;
        seated.Table = table.Id;
        seated.Seat = now;
        PlayerChanged(seated);
    }
    Log.Write("table " + std::to_string(table.Id) + " plays again: " + table.Names[0] + " against " +
              table.Names[1]);
    TableChanged(table);
    StartMatch(table, nowMs);
}
