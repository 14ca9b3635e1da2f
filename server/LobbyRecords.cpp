// What the lobby tells about players and ended matches: ratings in the lists,
// the leaderboard, profiles and match records. Each answer is bounded in
// size, and each connection may ask only so often: every one is a database
// read a client can make the server do.
#include "server/Lobby.h"

#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include "records/RecordCheck.h"
#include "records/RecordJson.h"

#include <QJsonDocument>

#include <cmath>

namespace {

QJsonObject Message(const char* type)
{
    QJsonObject message;
    message["type"] = type;
    return message;
}

qint64 Rounded(double value)
{
    return qint64(std::llround(value));
}

TMatchEnding EndingOf(TMatchStatus status)
{
    switch (status) {
    case TMatchStatus::Time:
        return TMatchEnding::Time;
    case TMatchStatus::Forfeit:
        return TMatchEnding::Forfeit;
    case TMatchStatus::Abandoned:
        return TMatchEnding::Abandoned;
    case TMatchStatus::Playing:
    case TMatchStatus::Finished:
        break;
    }
    return TMatchEnding::Finished;
}

} // namespace

QJsonObject TLobby::RulesObject(int32_t rules)
{
    QJsonObject object;
    object["same"] = (rules & RuleSame) != 0;
    object["same_wall"] = (rules & RuleSameWall) != 0;
    object["plus"] = (rules & RulePlus) != 0;
    object["elemental"] = (rules & RuleElemental) != 0;
    object["sudden_death"] = (rules & RuleSuddenDeath) != 0;
    return object;
}

void TLobby::AddRating(QJsonObject& player, const TRating& rating)
{
    player["rating"] = Rounded(rating.Rating);
    player["deviation"] = Rounded(rating.Deviation);
}

TLobby::TTable* TLobby::ClosestTable(const TClient& client, int32_t rules, int32_t seconds)
{
    // Waiting tables are kept in the order they were opened, so on equal
    // distance the first found has waited longest.
    TTable* closest = nullptr;
    double closestGap = 0;
    for (int64_t id : WaitingTables) {
        TTable& table = TableById.at(id);
        if (!table.Rated || table.Rules != rules || table.MoveSeconds != seconds)
            continue;
        uint64_t waiting = ConnectionOf(table.Seats[0] != 0 ? table.Seats[0] : table.Seats[1]);
        double rating = waiting != 0 ? Clients.at(waiting).Rating.Rating : TRating().Rating;
        double gap = std::fabs(rating - client.Rating.Rating);
        if (closest == nullptr || gap < closestGap) {
            closest = &table;
            closestGap = gap;
        }
    }
    return closest;
}

// Per connection, and per address so that reconnecting in a loop gains nothing.
bool TLobby::TryQuery(uint64_t connection, TClient& client, int64_t nowMs)
{
    if (nowMs - client.QueryWindowStartMs >= QueryWindowMs || nowMs < client.QueryWindowStartMs) {
        client.QueryWindowStartMs = nowMs;
        client.QueriesInWindow = 0;
    }
    if (client.QueriesInWindow >= QueriesPerWindow ||
        !Limits.TryAction(client.LimitKey, TAddressLimits::TAction::Query, QueriesPerAddressWindow, QueryWindowMs,
                          nowMs)) {
        Refuse(connection, "You are asking too often; wait a few seconds.", TRefusal::Limit);
        return false;
    }
    ++client.QueriesInWindow;
    return true;
}

void TLobby::SendAnswer(uint64_t connection, const QJsonObject& message)
{
    // Every answer is bounded by what it holds; this keeps a mistake in
    // those bounds from ever sending a line a client must refuse.
    if (QJsonDocument(message).toJson(QJsonDocument::Compact).size() + 1 > qsizetype(MaxAnswerBytes)) {
        Log.Write("an answer of type " + message.value("type").toString().toStdString() + " was too long to send");
        Refuse(connection, "The answer is too long to send.");
        return;
    }
    Send(connection, message);
}

void TLobby::Leaderboard(uint64_t connection, TClient& client, int64_t nowMs)
{
    if (!TryQuery(connection, client, nowMs))
        return;
    // Everyone asks for the same list: read and encode it at most every few
    // seconds, and meanwhile answer with the same bytes.
    if (!HaveLeaderCache || nowMs - LeaderCacheMs >= LeaderboardCacheMs || nowMs < LeaderCacheMs) {
        QJsonArray players;
        for (const TStorage::TStanding& standing : Storage.Leaderboard(LeaderboardMinMatches, LeaderboardSize)) {
            QJsonObject player{{"name", QString::fromStdString(standing.Name)}, {"matches", standing.RatedMatches}};
            AddRating(player, standing.Rating);
            players.append(player);
        }
        QJsonObject answer = Message("leaderboard");
        answer["players"] = players;
        LeaderCache = QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString() + '\n';
        if (LeaderCache.size() > MaxAnswerBytes) {
            Log.Write("the leaderboard was too long to send");
            LeaderCache.clear();
        }
        LeaderCacheMs = nowMs;
        HaveLeaderCache = true;
    }
    if (LeaderCache.empty())
        Refuse(connection, "The answer is too long to send.");
    else
        SendLine(connection, LeaderCache);
}

void TLobby::Profile(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs)
{
    if (!TryQuery(connection, client, nowMs))
        return;
    std::optional<TStorage::TProfile> profile = Storage.Profile(name, HistorySize, RecentSize);
    if (!profile && !Storage.LastError().empty()) {
        Log.Write("cannot read the profile of " + name + ": " + Storage.LastError());
        Refuse(connection, "The server cannot read that profile now; try again later.", TRefusal::Storage);
        return;
    }
    if (!profile) {
        Refuse(connection, "There is no player called " + name + ".");
        return;
    }
    QJsonObject answer = Message("profile");
    answer["name"] = QString::fromStdString(profile->Standing.Name);
    AddRating(answer, profile->Standing.Rating);
    answer["volatility"] = profile->Standing.Rating.Volatility;
    answer["matches"] = profile->Standing.RatedMatches;
    QJsonArray history;
    for (const auto& [endedMs, rating] : profile->History)
        history.append(QJsonArray{qint64(endedMs), Rounded(rating.Rating)});
    answer["history"] = history;
    QJsonArray recent;
    for (const TStorage::TPlayedMatch& played : profile->Recent) {
        const TStoredMatch& match = played.Match;
        QJsonObject entry{{"match", qint64(match.Id)},
                          {"started", qint64(match.StartedMs)},
                          {"ended", qint64(match.EndedMs)},
                          {"opponent", QString::fromStdString(played.Opponent)},
                          {"seat", played.Seat},
                          {"rules", RulesObject(match.Rules)},
                          {"seconds", match.MoveSeconds},
                          {"how", StatusName(match.Status)},
                          {"winner", match.Winner},
                          {"score", QJsonArray{match.Score[0], match.Score[1]}},
                          {"rated", match.Rated}};
        if (played.RatingMoved)
            entry["change"] = Rounded(played.After.Rating) - Rounded(played.Before.Rating);
        recent.append(entry);
    }
    answer["recent"] = recent;
    SendAnswer(connection, answer);
}

void TLobby::Record(uint64_t connection, TClient& client, int64_t matchId, int64_t nowMs)
{
    if (!TryQuery(connection, client, nowMs))
        return;
    std::optional<TStoredMatch> match = Storage.LoadMatch(matchId);
    if (!match) {
        Refuse(connection, "There is no such match.");
        return;
    }
    if (match->Status == TMatchStatus::Playing) {
        Refuse(connection, "That match is still in play; watch it instead.");
        return;
    }
    std::string problem;
    std::optional<QJsonObject> record = RecordOf(*match, problem);
    if (!record) {
        Log.Write("match " + std::to_string(matchId) + " cannot be sent as a record: " + problem);
        Refuse(connection, "The server cannot make a record of that match.", TRefusal::Storage);
        return;
    }
    QJsonObject answer = Message("record");
    answer["match"] = qint64(matchId);
    answer["record"] = *record;
    SendAnswer(connection, answer);
}

std::optional<QJsonObject> TLobby::RecordOf(const TStoredMatch& match, std::string& problem) const
{
    TMatchRecord record;
    for (int seat = 0; seat < 2; ++seat) {
        std::optional<std::string> name = Storage.PlayerName(match.Players[seat]);
        if (!name) {
            problem = "a player is missing";
            return std::nullopt;
        }
        record.Players[seat] = *name;
    }
    record.Mode = TMatchMode::Server;
    record.Rated = match.Rated;
    record.Rules.Same = (match.Rules & RuleSame) != 0;
    record.Rules.SameWall = (match.Rules & RuleSameWall) != 0;
    record.Rules.Plus = (match.Rules & RulePlus) != 0;
    record.Rules.Elemental = (match.Rules & RuleElemental) != 0;
    record.Rules.SuddenDeath = (match.Rules & RuleSuddenDeath) != 0;
    record.Seed = match.Seed;
    record.FirstPlayer = match.FirstPlayer;
    // Played again to learn what the stored match leaves out: the seeds of
    // the Sudden Death replays and, for a match that ended early, the cards
    // each side owned then.
    std::unique_ptr<TReferee> referee = Referees ? Referees(match.Seed, match.Rules, match.FirstPlayer) : nullptr;
    if (!referee) {
        problem = "no rules to replay it with";
        return std::nullopt;
    }
    for (const TStoredMove& move : match.Moves) {
        problem = referee->MoveProblem(referee->ToMove(), move.Slot, move.X, move.Y);
        if (!problem.empty())
            return std::nullopt;
        referee->Play(move.Slot, move.X, move.Y);
        record.Moves.push_back({move.Slot, move.X, move.Y});
    }
    record.RedealSeeds = referee->RedealSeeds();
    record.Winner = match.Winner;
    const bool finished = match.Status == TMatchStatus::Finished;
    for (int seat = 0; seat < 2; ++seat)
        record.Score[seat] = finished ? match.Score[seat] : referee->Score(seat);
    record.Ending = EndingOf(match.Status);
    record.StartTime = match.StartedMs / 1000;
    record.EndTime = match.EndedMs / 1000;
    problem = RecordProblem(record);
    if (!problem.empty())
        return std::nullopt;
    return QJsonDocument::fromJson(WriteRecordJson(record)).object();
}
