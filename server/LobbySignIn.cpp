// Signing in: a name bound to the certificate that first took it, one
// connection per player, and a player back at the seat kept for them.
#include "server/Lobby.h"

#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

void TLobby::Login(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs) {
    if (client.PlayerId != 0) {
        Refuse(connection, "You are signed in already.");
        return;
    }
    std::optional<TStorage::TPlayer> known = Storage.FindPlayer(name);
    TStorage::TBinding binding;
    if (known) {
        binding.Result = known->Fingerprint == client.Fingerprint ? TStorage::TBindResult::Known
                                                                  : TStorage::TBindResult::Taken;
        binding.PlayerId = known->Id;
        binding.Name = known->Name;
    } else if (!Limits.TryNewName(client.LimitKey, nowMs)) {
        Refuse(connection, "Too many new names from your address this hour; use one you have.",
               TRefusal::Limit);
        return;
    } else {
        binding = Storage.BindName(name, client.Fingerprint, nowMs);
    }
    if (binding.Result == TStorage::TBindResult::Taken) {
        Refuse(connection, "The name " + name + " belongs to another player.");
        return;
    }
    if (binding.Result != TStorage::TBindResult::Known && binding.Result != TStorage::TBindResult::Created) {
        Log.Write("cannot bind a name: " + Storage.LastError());
        Refuse(connection, "The server cannot sign you in now.", TRefusal::Storage);
        return;
    }
    if (binding.Result == TStorage::TBindResult::Created) Log.Write("new player " + binding.Name);
    if (const TModeration::TSanction* ban =
            Moderation.BanOf(binding.PlayerId, client.Fingerprint, client.Address, nowMs)) {
        Log.Write(binding.Name + " refused: " + TCommunityStorage::KindName(ban->Kind) + " #" +
                  std::to_string(ban->Id));
        TServerMessage bye;
        bye.Kind = TServerMessage::TKind::Bye;
        bye.Text = QString::fromStdString(TModeration::Telling(*ban, nowMs));
        Send(connection, bye, true);
        return;
    }
    // The same player from a second connection: the newer one wins (a
    // client coming back before the server noticed the old line drop).
    if (uint64_t old = ConnectionOf(binding.PlayerId)) SendAway(old);
    client.PlayerId = binding.PlayerId;
    client.Name = binding.Name;
    client.SignedInMs = nowMs;
    ClusterSignedIn(client);
    if (std::optional<TStorage::TStanding> standing = Storage.Standing(client.PlayerId))
        client.Rating = standing->Rating;
    Players[client.PlayerId] = connection;
    LoadRelations(client);
    TServerMessage welcome;
    welcome.Kind = TServerMessage::TKind::SignedIn;
    welcome.Name = QString::fromStdString(client.Name);
    welcome.Text = QString::fromStdString(Settings.Motd);
    welcome.Moderator = Moderation.IsModerator(client.Name);
    Send(connection, welcome);

    BackToSeat(client, nowMs);
    // Listed before the snapshot, which counts the view's entries.
    PlayerChanged(client);
    SendLobby(connection);
    if (InLobby(client)) SendBacklog(connection, client);
    if (const TTable* table = TableOf(client); table && table->Referee)
        Send(connection, MatchState(*table, client.Seat, nowMs));
    else if (!table)
        SeekSeatAfar(connection, client);
}

void TLobby::SendAway(uint64_t old) {
    TServerMessage bye;
    bye.Kind = TServerMessage::TKind::Bye;
    bye.Text = QStringLiteral("You signed in from elsewhere.");
    Send(old, bye, true);
    TClient& previous = Clients[old];
    std::erase(PlayNowQueue, old);
    if (TTable* watched = TableOf(previous); watched && previous.Seat < 0) {
        watched->Watchers.erase(old);
        TableChanged(*watched);
    }
    previous.PlayerId = 0;
    previous.Table = 0;
    previous.Seat = -1;
}

// Back to a seat kept for this player, with its clocks going on.
void TLobby::BackToSeat(TClient& client, int64_t nowMs) {
    auto seated = SeatTable.find(client.PlayerId);
    auto kept = seated == SeatTable.end() ? TableById.end() : TableById.find(seated->second);
    if (seated != SeatTable.end() && kept == TableById.end()) SeatTable.erase(seated);
    if (kept == TableById.end()) return;
    TTable& table = kept->second;
    int32_t seat = table.Seats[0] == client.PlayerId ? 0 : 1;
    client.Table = table.Id;
    client.Seat = seat;
    if (!table.Referee) return;
    table.Clock.Returned(seat, nowMs);
    Schedule(table);
    Log.Write(client.Name + " is back at table " + std::to_string(table.Id));
    TServerMessage back;
    back.Kind = TServerMessage::TKind::Back;
    back.Table = table.Id;
    back.Seat = seat;
    back.ClockMs = ClockMs(table, nowMs);
    ToTable(table, back);
}
