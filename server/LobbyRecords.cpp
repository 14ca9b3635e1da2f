// What the lobby tells about players and ended matches: ratings in the lists,
// the leaderboard, profiles and match records. Each answer is bounded in
// size, and each connection may ask only so often: every one is a database
// read a client can make the server do.
#include "server/Lobby.h"

#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include "protocol/ServerMessages.h"
#include "records/RecordCheck.h"
#include "records/RecordJson.h"

#include <cmath>

namespace {

int32_t RoundedRating(double value) {
    return int32_t(std::llround(value));
}

TMatchEnding EndingOf(TMatchStatus status) {
    switch (status) {
    case TMatchStatus::Time:
        return TMatchEnding::Time;
    case TMatchStatus::Forfeit:
    case TMatchStatus::Resigned: // a record knows one way of giving up
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

// Per connection, and per address so that reconnecting in a loop gains nothing.
bool TLobby::TryQuery(uint64_t connection, TClient& client, int64_t nowMs) {
    const int64_t windowMs = Settings.QuestionWindowSeconds * 1000LL;
    if (nowMs - client.QueryWindowStartMs >= windowMs || nowMs < client.QueryWindowStartMs) {
        client.QueryWindowStartMs = nowMs;
        client.QueriesInWindow = 0;
    }
    if (client.QueriesInWindow >= Settings.QuestionsPerConnection ||
        !Limits.TryAction(client.LimitKey, TAddressLimits::TAction::Query, Settings.QuestionsPerAddress,
                          windowMs, nowMs)) {
        Refuse(connection, "You are asking too often; wait a few seconds.", TRefusal::Limit);
        return false;
    }
    ++client.QueriesInWindow;
    return true;
}

void TLobby::SendAnswer(uint64_t connection, const TServerMessage& message) {
    // Every answer is bounded by what it holds; this keeps a mistake in
    // those bounds from ever sending a line a client must refuse.
    QByteArray line = ServerMessages::Encode(message);
    if (size_t(line.size()) > MaxAnswerBytes) {
        Log.Write(std::string("an answer of type ") + ServerMessages::KindName(message.Kind) +
                  " was too long to send");
        Refuse(connection, "The answer is too long to send.");
        return;
    }
    SendLine(connection, line.toStdString());
}

void TLobby::Leaderboard(uint64_t connection, TClient& client, int64_t nowMs) {
    if (!TryQuery(connection, client, nowMs)) return;
    // Everyone asks for the same list: read and encode it at most every few
    // seconds, and meanwhile answer with the same bytes.
    if (!HaveLeaderCache || nowMs - LeaderCacheMs >= LeaderboardCacheMs || nowMs < LeaderCacheMs) {
        TServerMessage answer;
        answer.Kind = TServerMessage::TKind::Leaderboard;
        for (const TStorage::TStanding& standing :
             Storage.Leaderboard(Settings.LeaderboardMinMatches, LeaderboardSize))
            answer.Leaders.push_back({QString::fromStdString(standing.Name),
                                      RoundedRating(standing.Rating.Rating),
                                      RoundedRating(standing.Rating.Deviation), standing.RatedMatches});
        LeaderCache = ServerMessages::Encode(answer).toStdString();
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

void TLobby::Profile(uint64_t connection, TClient& client, const std::string& name, int64_t nowMs) {
    if (!TryQuery(connection, client, nowMs)) return;
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
    TServerMessage answer;
    answer.Kind = TServerMessage::TKind::Profile;
    TPlayerProfile& shown = answer.Profile;
    shown.Name = QString::fromStdString(profile->Standing.Name);
    shown.Rating = RoundedRating(profile->Standing.Rating.Rating);
    shown.Deviation = RoundedRating(profile->Standing.Rating.Deviation);
    shown.Volatility = profile->Standing.Rating.Volatility;
    shown.Matches = profile->Standing.RatedMatches;
    for (const auto& [endedMs, rating] : profile->History)
        shown.History.push_back({endedMs, RoundedRating(rating.Rating)});
    for (const TStorage::TPlayedMatch& played : profile->Recent) {
        const TStoredMatch& match = played.Match;
        TProfileMatch entry;
        entry.Match = match.Id;
        entry.StartedMs = match.StartedMs;
        entry.EndedMs = match.EndedMs;
        entry.Opponent = QString::fromStdString(played.Opponent);
        entry.Seat = played.Seat;
        entry.Rules = RulesOfBits(match.Rules);
        entry.Seconds = match.MoveSeconds;
        entry.How = QString::fromLatin1(StatusName(match.Status));
        entry.Winner = match.Winner;
        entry.Score = {match.Score[0], match.Score[1]};
        // Older servers kept 0–0 for a match that ended early; its moves tell
        // what each side owned then.
        if (match.Status != TMatchStatus::Finished && match.Score[0] + match.Score[1] == 0)
            if (const std::optional<std::array<int32_t, 2>> owned = ScoreOf(match.Id)) entry.Score = *owned;
        entry.Rated = match.Rated;
        if (played.RatingMoved)
            entry.Change = RoundedRating(played.After.Rating) - RoundedRating(played.Before.Rating);
        shown.Recent.push_back(entry);
    }
    SendAnswer(connection, answer);
}

void TLobby::Record(uint64_t connection, TClient& client, int64_t matchId, int64_t nowMs) {
    if (!TryQuery(connection, client, nowMs)) return;
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
    std::optional<QByteArray> record = RecordOf(*match, problem);
    if (!record) {
        Log.Write("match " + std::to_string(matchId) + " cannot be sent as a record: " + problem);
        Refuse(connection, "The server cannot make a record of that match.", TRefusal::Storage);
        return;
    }
    TServerMessage answer;
    answer.Kind = TServerMessage::TKind::Record;
    answer.Record = {matchId, *record};
    SendAnswer(connection, answer);
}

std::optional<std::array<int32_t, 2>> TLobby::ScoreOf(int64_t matchId) const {
    const std::optional<TStoredMatch> stored = Storage.LoadMatch(matchId);
    std::string problem;
    const std::unique_ptr<TReferee> referee = stored ? Replay(*stored, problem) : nullptr;
    if (!referee) return std::nullopt;
    return std::array<int32_t, 2>{referee->Score(0), referee->Score(1)};
}

std::optional<QByteArray> TLobby::RecordOf(const TStoredMatch& match, std::string& problem) const {
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
    record.Rules = RulesOfBits(match.Rules);
    record.Seed = match.Seed;
    record.FirstPlayer = match.FirstPlayer;
    // Played again to learn what the stored match leaves out: the seeds of
    // the Sudden Death replays and, for a match that ended early, the cards
    // each side owned then.
    std::unique_ptr<TReferee> referee =
        Referees ? Referees(match.Seed, match.Rules, match.FirstPlayer) : nullptr;
    if (!referee) {
        problem = "no rules to replay it with";
        return std::nullopt;
    }
    for (const TStoredMove& move : match.Moves) {
        problem = referee->MoveProblem(referee->ToMove(), move.Move);
        if (!problem.empty()) return std::nullopt;
        referee->Play(move.Move);
        record.Moves.push_back(move.Move);
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
    if (!problem.empty()) return std::nullopt;
    return WriteRecordJson(record);
}
