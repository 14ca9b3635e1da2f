// Play Now: a seat at the waiting rated table of the same rules and time
// whose player is closest in rating, or a new table to wait at.
#include "server/Lobby.h"

#include <cmath>

void TLobby::PlayNow(uint64_t connection, TClient& client, int32_t rules, int32_t seconds, int64_t nowMs) {
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (TTable* table = ClosestTable(client, rules, seconds))
        Sit(connection, client, *table, -1, nowMs);
    else
        Create(connection, client, rules, seconds, true, nowMs);
}

TLobby::TTable* TLobby::ClosestTable(const TClient& client, int32_t rules, int32_t seconds) {
    // Waiting tables are kept in the order they were opened, so on equal
    // distance the first found has waited longest.
    TTable* closest = nullptr;
    double closestGap = 0;
    for (int64_t id : WaitingTables) {
        TTable& table = TableById.at(id);
        if (!table.Rated || table.Rules != rules || table.Clock.MoveSeconds() != seconds) continue;
        const int64_t waitingId = table.Seats[0] != 0 ? table.Seats[0] : table.Seats[1];
        if (Blocked(client, waitingId)) continue;
        uint64_t waiting = ConnectionOf(waitingId);
        double rating = waiting != 0 ? Clients.at(waiting).Rating.Rating : TRating().Rating;
        double gap = std::fabs(rating - client.Rating.Rating);
        if (closest == nullptr || gap < closestGap) {
            closest = &table;
            closestGap = gap;
        }
    }
    return closest;
}
