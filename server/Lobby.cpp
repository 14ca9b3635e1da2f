#include "server/Lobby.h"

#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include "rules/MatchLimits.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

QJsonObject Message(const char* type)
{
    QJsonObject message;
    message["type"] = type;
    return message;
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// Over when the rules say so, or as a draw when a chain of drawn deals
// reaches the bound that clients and records hold.
bool MatchOver(const TReferee& referee, size_t moves, int32_t& winner)
{
    winner = referee.Over() ? referee.Winner() : -1;
    return referee.Over() || moves >= size_t(MatchLimits::MaxMoves);
}

std::string Encode(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

TLobby::TLobby(TStorage& storage, TServerLog& log, TAddressLimits& limits, TRefereeFactory referees,
               TSeedSource seeds)
    : Storage(storage), Log(log), Limits(limits), Referees(std::move(referees)), Seeds(std::move(seeds))
{
}

TLobby::~TLobby() = default;

void TLobby::Send(uint64_t connection, const QJsonObject& message, bool close)
{
    Outgoing.push_back({connection, Encode(message) + '\n', close});
}

void TLobby::SendLine(uint64_t connection, std::string line)
{
    Outgoing.push_back({connection, std::move(line), false});
}

void TLobby::Refuse(uint64_t connection, const std::string& reason, TRefusal why)
{
    if (Metrics)
        Metrics->Refused(why);
    QJsonObject message = Message("refused");
    message["reason"] = Text(reason);
    Send(connection, message);
}

void TLobby::ToTable(const TTable& table, const QJsonObject& message)
{
    std::string line = Encode(message) + '\n';
    for (int seat = 0; seat < 2; ++seat)
        if (uint64_t connection = ConnectionOf(table.Seats[seat]))
            SendLine(connection, line);
    for (uint64_t watcher : table.Watchers)
        SendLine(watcher, line);
}

void TLobby::PlayerChanged(const TClient& client)
{
    QJsonObject player{{"name", Text(client.Name)}, {"table", double(client.Table)}, {"seat", client.Seat}};
    AddRating(player, client.Rating);
    QJsonObject gone = Message("player_gone");
    gone["name"] = Text(client.Name);
    PlayerView.Put(client.PlayerId, Encode(player), Encode(gone) + '\n');
}

void TLobby::TableChanged(const TTable& table)
{
    QJsonObject info;
    info["table"] = double(table.Id);
    info["rules"] = RulesObject(table.Rules);
    info["seconds"] = table.MoveSeconds;
    info["rated"] = table.Rated;
    info["seats"] = QJsonArray{Text(table.Names[0]), Text(table.Names[1])};
    info["watchers"] = int(table.Watchers.size());
    info["playing"] = bool(table.Referee);
    QJsonObject gone = Message("table_gone");
    gone["table"] = double(table.Id);
    TableView.Put(table.Id, Encode(info), Encode(gone) + '\n');
    if (!table.Referee && (table.Seats[0] == 0) != (table.Seats[1] == 0))
        WaitingTables.insert(table.Id);
    else
        WaitingTables.erase(table.Id);
}

// Everyone in the lobby gets the same changes in one write. Those at a table
// are not told: they get the lobby afresh when they come back to it.
void TLobby::FlushLobby()
{
    LobbyFlushAtMs = Never;
    std::string lines = PlayerView.TakeChanges() + TableView.TakeChanges();
    if (lines.empty())
        return;
    for (const auto& [player, connection] : Players)
        if (Clients.at(connection).Table == 0)
            SendLine(connection, lines);
}

void TLobby::AfterChange(int64_t nowMs)
{
    if (LobbyFlushAtMs == Never && (PlayerView.Changed() || TableView.Changed()))
        LobbyFlushAtMs = nowMs + LobbyFlushMs;
    // The address limits grow only as clients act, so sweeping as they act
    // keeps them bounded without a timer of their own.
    if (nowMs >= NextSweepMs || nowMs < NextSweepMs - AddressSweepMs) {
        Limits.Sweep(nowMs);
        NextSweepMs = nowMs + AddressSweepMs;
    }
}

uint64_t TLobby::ConnectionOf(int64_t playerId) const
{
    auto found = Players.find(playerId);
    return found == Players.end() ? 0 : found->second;
}

TLobby::TTable* TLobby::TableOf(TClient& client)
{
    if (client.Table == 0)
        return nullptr;
    if (auto found = TableById.find(client.Table); found != TableById.end())
        return &found->second;
    client.Table = 0;
    client.Seat = -1;
    if (client.PlayerId != 0)
        PlayerChanged(client);
    return nullptr;
}

std::vector<TLobby::TOutgoing> TLobby::TakeOutgoing()
{
    return std::exchange(Outgoing, {});
}

void TLobby::Connected(uint64_t connection, const std::string& fingerprint, const std::string& limitKey)
{
    TClient client;
    client.Fingerprint = fingerprint;
    client.LimitKey = limitKey;
    Clients[connection] = client;
}

void TLobby::Handle(uint64_t connection, const TLobbyRequest& request, int64_t nowMs)
{
    auto found = Clients.find(connection);
    if (found == Clients.end())
        return;
    TClient& client = found->second;
    using TKind = TLobbyRequest::TKind;
    if (request.Kind != TKind::Login && client.PlayerId == 0) {
        Refuse(connection, "Sign in with a name first.");
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
        PlayNow(connection, client, request.Rules, request.MoveSeconds, nowMs);
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
    case TKind::State:
        State(connection, client, nowMs);
        break;
    }
    AfterChange(nowMs);
}

void TLobby::Login(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs)
{
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
        Refuse(connection, "Too many new names from your address this hour; use one you have.", TRefusal::Limit);
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
    if (binding.Result == TStorage::TBindResult::Created)
        Log.Write("new player " + binding.Name);
    // The same player from a second connection: the newer one wins (a
    // client coming back before the server noticed the old line drop).
    if (uint64_t old = ConnectionOf(binding.PlayerId)) {
        QJsonObject bye = Message("bye");
        bye["reason"] = "You signed in from elsewhere.";
        Send(old, bye, true);
        TClient& previous = Clients[old];
        if (TTable* watched = TableOf(previous); watched && previous.Seat < 0) {
            watched->Watchers.erase(old);
            TableChanged(*watched);
        }
        previous.PlayerId = 0;
        previous.Table = 0;
        previous.Seat = -1;
    }
    client.PlayerId = binding.PlayerId;
    client.Name = binding.Name;
    if (std::optional<TStorage::TStanding> standing = Storage.Standing(client.PlayerId))
        client.Rating = standing->Rating;
    Players[client.PlayerId] = connection;
    QJsonObject welcome = Message("signed_in");
    welcome["name"] = Text(client.Name);
    Send(connection, welcome);

    // Back to a seat kept for this player.
    auto seated = SeatTable.find(client.PlayerId);
    auto kept = seated == SeatTable.end() ? TableById.end() : TableById.find(seated->second);
    if (seated != SeatTable.end() && kept == TableById.end())
        SeatTable.erase(seated);
    if (kept != TableById.end()) {
        TTable& table = kept->second;
        int32_t seat = table.Seats[0] == client.PlayerId ? 0 : 1;
        client.Table = table.Id;
        client.Seat = seat;
        if (table.Referee) {
            if (table.AwayDeadlineMs[seat] != Never)
                table.AwayLeftMs[seat] = std::max<int64_t>(0, table.AwayDeadlineMs[seat] - nowMs);
            table.AwayDeadlineMs[seat] = Never;
            // The clock goes on from where it stopped.
            if (table.AwayDeadlineMs[1 - seat] == Never && table.TurnDeadlineMs == Never && table.MoveSeconds > 0)
                table.TurnDeadlineMs = nowMs + table.TurnLeftMs;
            Schedule(table);
            QJsonObject back = Message("back");
            back["table"] = double(table.Id);
            back["seat"] = seat;
            if (int64_t clock = ClockMs(table, nowMs); clock >= 0)
                back["clock"] = double(clock);
            ToTable(table, back);
        }
    }
    SendLine(connection, LobbySnapshot());
    if (const TTable* table = TableOf(client); table && table->Referee)
        Send(connection, MatchState(*table, client.Seat, nowMs));
    PlayerChanged(client);
}

void TLobby::Create(uint64_t connection, TClient& client, int32_t rules, int32_t seconds, bool rated,
                    int64_t nowMs)
{
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (!Limits.TryAction(client.LimitKey, TAddressLimits::TAction::CreateTable, TablesPerWindow, TableWindowMs,
                          nowMs)) {
        Refuse(connection, "Too many tables opened from your address; wait a minute.", TRefusal::Limit);
        return;
    }
    TTable& table = TableById[NextTable];
    table.Id = NextTable++;
    table.Rules = rules;
    table.MoveSeconds = seconds;
    table.Rated = rated;
    table.CreatedMs = nowMs;
    TableChanged(table);
    Sit(connection, client, table, 1, nowMs);
}

void TLobby::Sit(uint64_t connection, TClient& client, TTable& table, int32_t seat, int64_t nowMs)
{
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (table.Referee) {
        Refuse(connection, "That table is playing; you can watch it.");
        return;
    }
    if (seat < 0)
        seat = table.Seats[1] == 0 ? 1 : 0;
    if (table.Seats[seat] != 0) {
        Refuse(connection, "That seat is taken.");
        return;
    }
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
    if (table.Seats[0] != 0 && table.Seats[1] != 0)
        StartMatch(table, nowMs);
    else // the table to wait at, as it now is; the lobby's view is no longer this client's
        SendLine(connection, TableView.Line(table.Id));
}

void TLobby::Watch(uint64_t connection, TClient& client, TTable& table, int64_t nowMs)
{
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
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
void TLobby::State(uint64_t connection, TClient& client, int64_t nowMs)
{
    const TTable* table = TableOf(client);
    if (!table)
        SendLine(connection, LobbySnapshot());
    else if (table->Referee)
        Send(connection, MatchState(*table, client.Seat, nowMs));
    else
        SendLine(connection, TableView.Line(table->Id));
}

void TLobby::Leave(uint64_t connection, TClient& client, int64_t nowMs)
{
    TTable* at = TableOf(client);
    if (!at)
        return;
    TTable& table = *at;
    int32_t seat = client.Seat;
    if (seat >= 0 && table.Referee) {
        // Leaving a match gives it up; the end brings everyone back.
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
        SendLine(connection, LobbySnapshot());
}

void TLobby::PlayNow(uint64_t connection, TClient& client, int32_t rules, int32_t seconds, int64_t nowMs)
{
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    if (TTable* table = ClosestTable(client, rules, seconds))
        Sit(connection, client, *table, -1, nowMs);
    else
        Create(connection, client, rules, seconds, true, nowMs);
}

void TLobby::Chat(uint64_t connection, TClient& client, const std::string& text, int64_t nowMs)
{
    if (!Limits.TryAction(client.LimitKey, TAddressLimits::TAction::Chat, ChatLinesPerWindow, ChatWindowMs, nowMs)) {
        Refuse(connection, "You are chatting too fast.", TRefusal::Limit);
        return;
    }
    QJsonObject line = Message("chat");
    line["from"] = Text(client.Name);
    line["text"] = Text(text);
    if (const TTable* table = TableOf(client)) {
        line["table"] = double(table->Id);
        ToTable(*table, line);
    } else {
        // The lobby: everyone not at a table.
        for (const auto& [player, to] : Players)
            if (Clients.at(to).Table == 0)
                Send(to, line);
    }
}

void TLobby::Move(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs)
{
    TTable* at = TableOf(client);
    if (!at || client.Seat < 0) {
        Refuse(connection, "You are not playing at a table.");
        return;
    }
    TTable& table = *at;
    std::string problem;
    if (!table.Referee)
        problem = "The match has not started.";
    else if (table.AwayDeadlineMs[1 - client.Seat] != Never)
        problem = "The other player's line dropped; wait for them to come back.";
    else
        problem = table.Referee->MoveProblem(client.Seat, request.Slot, request.X, request.Y);
    TStoredMove move{int32_t(table.Match.Moves.size()), request.Slot, request.X, request.Y, nowMs};
    // Played first, to know whether the move ends the match: then it is
    // stored with the end in one transaction.
    TStorage::TMoveResult stored = TStorage::TMoveResult::Stored;
    int32_t score[2] = {0, 0};
    TStorage::TRatingUpdate ratings;
    bool over = false;
    int32_t winner = -1;
    if (problem.empty()) {
        table.Referee->Play(request.Slot, request.X, request.Y);
        over = MatchOver(*table.Referee, table.Match.Moves.size() + 1, winner);
        if (over) {
            for (int seat = 0; seat < 2; ++seat)
                score[seat] = table.Referee->Score(seat);
            stored = Storage.AddLastMove(table.Match.Id, move, winner, score, &ratings);
        } else {
            stored = Storage.AddMove(table.Match.Id, move);
        }
        if (stored != TStorage::TMoveResult::Stored) {
            Log.Write("cannot store a move of match " + std::to_string(table.Match.Id) + ": " + Storage.LastError());
            // Back to the position before the move, as stored.
            table.Referee = Replay(table.Match, problem);
            problem = stored == TStorage::TMoveResult::Ended ? "The match has ended."
                                                             : "The server could not keep your move; play it again.";
        }
    }
    if (!problem.empty()) {
        if (Metrics)
            Metrics->Refused(stored == TStorage::TMoveResult::Failed ? TRefusal::Storage : TRefusal::NotAllowed);
        QJsonObject refused = MatchState(table, client.Seat, nowMs);
        refused["type"] = "move_refused";
        refused["reason"] = Text(problem);
        Send(connection, refused);
        // Ended elsewhere, or no longer replayable here: the table ends.
        if (stored == TStorage::TMoveResult::Ended || (stored != TStorage::TMoveResult::Stored && !table.Referee))
            EndedElsewhere(table, nowMs);
        return;
    }
    table.Match.Moves.push_back(move);
    if (Metrics)
        ++Metrics->Moves;
    if (!over)
        StartTurn(table, nowMs);
    QJsonObject moved = Message("moved");
    moved["table"] = double(table.Id);
    moved["index"] = move.Index;
    moved["seat"] = client.Seat;
    moved["slot"] = move.Slot;
    moved["x"] = move.X;
    moved["y"] = move.Y;
    if (int64_t clock = over ? -1 : ClockMs(table, nowMs); clock >= 0)
        moved["clock"] = double(clock);
    ToTable(table, moved);
    if (over)
        Ended(table, TMatchStatus::Finished, winner, score, ratings);
}

// The match was ended in storage, not here (by another server sharing the
// database): everyone at the table hears the stored end and goes back.
void TLobby::EndedElsewhere(TTable& table, int64_t nowMs)
{
    std::optional<TStoredMatch> stored = Storage.LoadMatch(table.Match.Id);
    if (!stored || stored->Status == TMatchStatus::Playing) {
        EndMatch(table, TMatchStatus::Abandoned, -1, nowMs);
        return;
    }
    Ended(table, stored->Status, stored->Winner, stored->Score, {});
}

// A new referee at the position of the stored moves; none, with the
// problem, when there are no rules or a move does not replay.
std::unique_ptr<TReferee> TLobby::Replay(const TStoredMatch& match, std::string& problem) const
{
    std::unique_ptr<TReferee> referee = Referees ? Referees(match.Seed, match.Rules, match.FirstPlayer) : nullptr;
    problem = referee ? "" : "no rules to decide it with";
    for (size_t i = 0; referee && i < match.Moves.size(); ++i) {
        const TStoredMove& move = match.Moves[i];
        problem = referee->MoveProblem(referee->ToMove(), move.Slot, move.X, move.Y);
        if (!problem.empty())
            return nullptr;
        referee->Play(move.Slot, move.X, move.Y);
    }
    return referee;
}

void TLobby::StartMatch(TTable& table, int64_t nowMs)
{
    TStoredMatch& match = table.Match;
    match = TStoredMatch();
    match.Players[0] = table.Seats[0];
    match.Players[1] = table.Seats[1];
    match.Rules = table.Rules;
    match.MoveSeconds = table.MoveSeconds;
    match.Seed = Seeds();
    match.FirstPlayer = 1; // Blue moves first
    match.StartedMs = nowMs;
    if (table.Rated && OnePerson(table)) {
        // A rating is a measure between people: one person's names would
        // only trade points among themselves.
        table.Rated = false;
        Log.Write("table " + std::to_string(table.Id) + " plays casual: " + table.Names[0] + " and " +
                  table.Names[1] + " share a certificate or an address");
    }
    match.Rated = table.Rated;
    match.Id = Storage.CreateMatch(match);
    if (match.Id == 0)
        Log.Write("cannot store a new match: " + Storage.LastError());
    else if (table.Referee = Referees ? Referees(match.Seed, match.Rules, match.FirstPlayer) : nullptr; !table.Referee) {
        const int32_t none[2] = {0, 0};
        Storage.FinishMatch(match.Id, TMatchStatus::Abandoned, -1, none, nowMs);
        Log.Write("no rules to decide match " + std::to_string(match.Id) + " with");
    }
    if (!table.Referee) {
        QJsonObject failed = Message("refused");
        failed["reason"] = "The server could not start the match.";
        ToTable(table, failed);
        RemoveTable(table.Id);
        return;
    }
    Log.Write("match " + std::to_string(match.Id) + " at table " + std::to_string(table.Id) + ": " + table.Names[0] +
              " against " + table.Names[1]);
    StartTurn(table, nowMs);
    for (int seat = 0; seat < 2; ++seat)
        if (uint64_t connection = ConnectionOf(table.Seats[seat]))
            Send(connection, MatchState(table, seat, nowMs));
    if (!table.Watchers.empty()) {
        std::string line = Encode(MatchState(table, -1, nowMs)) + '\n';
        for (uint64_t watcher : table.Watchers)
            SendLine(watcher, line);
    }
    TableChanged(table);
}

void TLobby::StartTurn(TTable& table, int64_t nowMs)
{
    table.TurnLeftMs = int64_t(table.MoveSeconds) * 1000;
    table.TurnDeadlineMs = table.MoveSeconds > 0 ? nowMs + table.TurnLeftMs : Never;
    Schedule(table);
}

void TLobby::StopClock(TTable& table, int64_t nowMs)
{
    if (table.TurnDeadlineMs != Never)
        table.TurnLeftMs = std::max<int64_t>(0, table.TurnDeadlineMs - nowMs);
    table.TurnDeadlineMs = Never;
    Schedule(table);
}

// The clock of the player to move; -1 when there is none.
int64_t TLobby::ClockMs(const TTable& table, int64_t nowMs) const
{
    if (table.MoveSeconds <= 0 || !table.Referee || table.Referee->Over())
        return -1;
    return table.TurnDeadlineMs != Never ? std::max<int64_t>(0, table.TurnDeadlineMs - nowMs) : table.TurnLeftMs;
}

void TLobby::Schedule(TTable& table)
{
    int64_t next = std::min({table.TurnDeadlineMs, table.AwayDeadlineMs[0], table.AwayDeadlineMs[1]});
    if (next == table.ScheduledMs)
        return;
    if (table.ScheduledMs != Never)
        Deadlines.erase({table.ScheduledMs, table.Id});
    table.ScheduledMs = next;
    if (next != Never)
        Deadlines.insert({next, table.Id});
}

void TLobby::EndMatch(TTable& table, TMatchStatus how, int32_t winner, int64_t nowMs)
{
    // Given up before each player has placed a card: nothing was played, so
    // nothing is won and no rating moves.
    if (how == TMatchStatus::Forfeit && table.Match.Moves.size() < 2) {
        how = TMatchStatus::Abandoned;
        winner = -1;
    }
    int32_t score[2] = {0, 0};
    if (how == TMatchStatus::Finished)
        for (int seat = 0; seat < 2; ++seat)
            score[seat] = table.Referee->Score(seat);
    TStorage::TRatingUpdate ratings;
    if (!Storage.FinishMatch(table.Match.Id, how, winner, score, nowMs, &ratings))
        Log.Write("cannot store the end of match " + std::to_string(table.Match.Id) + ": " + Storage.LastError());
    Ended(table, how, winner, score, ratings);
}

void TLobby::Ended(TTable& table, TMatchStatus how, int32_t winner, const int32_t score[2],
                   const TStorage::TRatingUpdate& ratings)
{
    Log.Write("match " + std::to_string(table.Match.Id) + " ended: " + StatusName(how) +
              (winner >= 0 ? ", " + table.Names[winner] + " won" : std::string()));
    QJsonObject ended = Message("ended");
    ended["table"] = double(table.Id);
    ended["how"] = StatusName(how);
    ended["winner"] = winner;
    ended["score"] = QJsonArray{score[0], score[1]};
    if (ratings.Rated) {
        QJsonArray changes;
        for (int seat = 0; seat < 2; ++seat) {
            changes.append(QJsonArray{qint64(std::llround(ratings.Before[seat].Rating)),
                                      qint64(std::llround(ratings.After[seat].Rating))});
            if (uint64_t connection = ConnectionOf(table.Seats[seat]))
                Clients.at(connection).Rating = ratings.After[seat];
        }
        ended["ratings"] = changes;
    }
    ToTable(table, ended);
    RemoveTable(table.Id);
}

// Whoever still sits at or watches the table is sent the lobby afresh, with
// every change of this removal in it.
void TLobby::RemoveTable(int64_t id)
{
    auto found = TableById.find(id);
    if (found == TableById.end())
        return;
    TTable& table = found->second;
    std::vector<uint64_t> back(table.Watchers.begin(), table.Watchers.end());
    for (int64_t player : table.Seats) {
        if (uint64_t connection = ConnectionOf(player))
            back.push_back(connection);
        if (auto seated = SeatTable.find(player); seated != SeatTable.end() && seated->second == id)
            SeatTable.erase(seated);
    }
    if (table.ScheduledMs != Never)
        Deadlines.erase({table.ScheduledMs, id});
    WaitingTables.erase(id);
    TableView.Remove(id);
    TableById.erase(found);
    std::vector<uint64_t> moved;
    for (uint64_t connection : back) {
        auto client = Clients.find(connection);
        if (client == Clients.end() || client->second.Table != id)
            continue;
        client->second.Table = 0;
        client->second.Seat = -1;
        if (client->second.PlayerId != 0)
            PlayerChanged(client->second);
        moved.push_back(connection);
    }
    if (moved.empty())
        return;
    const std::string lobby = LobbySnapshot();
    for (uint64_t connection : moved)
        SendLine(connection, lobby);
}

bool TLobby::OnePerson(const TTable& table) const
{
    uint64_t first = ConnectionOf(table.Seats[0]), second = ConnectionOf(table.Seats[1]);
    if (first == 0 || second == 0)
        return false;
    const TClient& red = Clients.at(first);
    const TClient& blue = Clients.at(second);
    return red.Fingerprint == blue.Fingerprint || (Limits.OneAddressOnePerson && red.LimitKey == blue.LimitKey);
}

void TLobby::Disconnected(uint64_t connection, int64_t nowMs)
{
    auto found = Clients.find(connection);
    if (found == Clients.end())
        return;
    TClient& client = found->second;
    if (client.PlayerId != 0) {
        Players.erase(client.PlayerId);
        if (TTable* at = TableOf(client)) {
            TTable& table = *at;
            if (client.Seat >= 0 && table.Referee) {
                // The seat is kept for what is left of the player's time
                // away; the clock stops meanwhile.
                table.AwayDeadlineMs[client.Seat] = nowMs + table.AwayLeftMs[client.Seat];
                StopClock(table, nowMs);
                QJsonObject away = Message("away");
                away["table"] = double(table.Id);
                away["seat"] = client.Seat;
                away["seconds"] = int(table.AwayLeftMs[client.Seat] / 1000);
                ToTable(table, away);
            } else {
                Leave(connection, client, nowMs);
            }
        }
        PlayerView.Remove(client.PlayerId);
    }
    Clients.erase(connection);
    AfterChange(nowMs);
}

void TLobby::Tick(int64_t nowMs)
{
    while (!Deadlines.empty() && Deadlines.begin()->first <= nowMs) {
        auto found = TableById.find(Deadlines.begin()->second);
        if (found == TableById.end()) {
            Deadlines.erase(Deadlines.begin());
            continue;
        }
        TTable& table = found->second;
        bool away0 = table.AwayDeadlineMs[0] <= nowMs, away1 = table.AwayDeadlineMs[1] <= nowMs;
        if (away0 || away1) {
            bool bothGone = table.AwayDeadlineMs[0] != Never && table.AwayDeadlineMs[1] != Never;
            if (bothGone)
                EndMatch(table, TMatchStatus::Abandoned, -1, nowMs);
            else
                EndMatch(table, TMatchStatus::Forfeit, away0 ? 1 : 0, nowMs);
        } else {
            EndMatch(table, TMatchStatus::Time, 1 - table.Referee->ToMove(), nowMs);
        }
    }
    if (LobbyFlushAtMs <= nowMs)
        FlushLobby();
    AfterChange(nowMs);
}

int64_t TLobby::NextDeadline() const
{
    return std::min(Deadlines.empty() ? Never : Deadlines.begin()->first, LobbyFlushAtMs);
}

void TLobby::ResumeStored(int64_t nowMs)
{
    for (TStoredMatch& match : Storage.MatchesInPlay()) {
        std::string problem;
        std::unique_ptr<TReferee> referee = Replay(match, problem);
        int32_t winner = -1;
        if (!referee || MatchOver(*referee, match.Moves.size(), winner)) {
            // A match its last move ended, with the server stopped before
            // the end was kept, ends as it would have then.
            const bool over = referee != nullptr;
            int32_t score[2] = {0, 0};
            for (int seat = 0; over && seat < 2; ++seat)
                score[seat] = referee->Score(seat);
            const int64_t endedMs = over && !match.Moves.empty() ? match.Moves.back().TimeMs : nowMs;
            if (!Storage.FinishMatch(match.Id, over ? TMatchStatus::Finished : TMatchStatus::Abandoned, winner, score,
                                     endedMs))
                Log.Write("cannot store the end of match " + std::to_string(match.Id) + ": " + Storage.LastError());
            Log.Write("stored match " + std::to_string(match.Id) +
                      (over ? " ended at its last move: " + std::to_string(score[0]) + "-" + std::to_string(score[1])
                            : " does not replay: " + problem));
            continue;
        }
        TTable& table = TableById[NextTable];
        table.Id = NextTable++;
        table.Rules = match.Rules;
        table.MoveSeconds = match.MoveSeconds;
        table.Rated = match.Rated;
        table.CreatedMs = match.StartedMs;
        table.Referee = std::move(referee);
        for (int seat = 0; seat < 2; ++seat) {
            table.Seats[seat] = match.Players[seat];
            table.Names[seat] = Storage.PlayerName(match.Players[seat]).value_or("?");
            table.AwayDeadlineMs[seat] = nowMs + AwayMs;
            SeatTable[match.Players[seat]] = table.Id;
        }
        table.TurnLeftMs = int64_t(table.MoveSeconds) * 1000;
        table.Match = std::move(match);
        Schedule(table);
        TableChanged(table);
        Log.Write("match " + std::to_string(table.Match.Id) + " waits for its players after " +
                  std::to_string(table.Match.Moves.size()) + " moves");
    }
    AfterChange(nowMs);
}

QJsonObject TLobby::MatchState(const TTable& table, int32_t you, int64_t nowMs) const
{
    QJsonObject state = Message("match");
    state["table"] = double(table.Id);
    state["match"] = double(table.Match.Id);
    state["seed"] = double(table.Match.Seed);
    state["rules"] = RulesObject(table.Rules);
    state["seconds"] = table.MoveSeconds;
    state["rated"] = table.Rated;
    state["first"] = table.Match.FirstPlayer;
    state["seats"] = QJsonArray{Text(table.Names[0]), Text(table.Names[1])};
    state["you"] = you;
    QJsonArray moves;
    for (const TStoredMove& move : table.Match.Moves)
        moves.append(QJsonArray{move.Slot, move.X, move.Y});
    state["moves"] = moves;
    QJsonArray away;
    for (int seat = 0; seat < 2; ++seat)
        away.append(table.AwayDeadlineMs[seat] != Never);
    state["away"] = away;
    if (int64_t clock = ClockMs(table, nowMs); clock >= 0)
        state["clock"] = double(clock);
    return state;
}

// Built from the view's cached objects: a client coming back from a match
// costs a copy, not an encoding of the lobby.
std::string TLobby::LobbySnapshot() const
{
    return "{\"type\":\"lobby\",\"online\":" + std::to_string(Players.size()) +
           ",\"open_tables\":" + std::to_string(TableById.size()) + ",\"players\":" + PlayerView.Shown() +
           ",\"tables\":" + TableView.Shown() + "}\n";
}

size_t TLobby::MatchesInPlay() const
{
    return size_t(std::count_if(TableById.begin(), TableById.end(),
                                [](const auto& entry) { return entry.second.Referee != nullptr; }));
}
