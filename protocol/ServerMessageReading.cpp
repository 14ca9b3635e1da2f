// The client's side of the server's messages: every line checked as if
// anyone had written it.
#include "protocol/ServerMessages.h"

#include "protocol/JsonReader.h"
#include "protocol/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

using TKind = TServerMessage::TKind;
using Protocol::MaxId;

QByteArray CompactJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int32_t RatingOf(TJsonReader& read, const QJsonValue& field) {
    return int32_t(read.IntegerOf(field, -Protocol::MaxRating, Protocol::MaxRating));
}

int32_t DeviationOf(TJsonReader& read, const QJsonValue& field) {
    return int32_t(read.IntegerOf(field, 0, Protocol::MaxDeviation));
}

std::array<QString, 2> SeatsOf(TJsonReader& read, const QJsonValue& field) {
    const QJsonArray seats = read.TupleOf(field, 2);
    if (seats.size() != 2) return {};
    return {read.NameOf(seats[0], true), read.NameOf(seats[1], true)};
}

std::array<int32_t, 2> ScoreOf(TJsonReader& read, const QJsonValue& field) {
    const QJsonArray score = read.TupleOf(field, 2);
    if (score.size() != 2) return {};
    return {int32_t(read.IntegerOf(score[0], 0, 10)), int32_t(read.IntegerOf(score[1], 0, 10))};
}

TLobbyTable TableOf(TJsonReader& outer, const QJsonObject& object) {
    TJsonReader read(object);
    TLobbyTable table;
    table.Id = read.Integer("table", 1, MaxId);
    table.Rules = read.RulesOf(read.Value("rules"));
    table.Seconds = read.MoveSecondsOf(read.Value("seconds"));
    table.Seats = SeatsOf(read, read.Value("seats"));
    table.Watchers = int32_t(read.Integer("watchers", 0, 1 << 30));
    table.Playing = read.Bool("playing");
    table.Rated = read.OptionalBool("rated");
    outer.Take(read);
    return table;
}

TLobbyPlayer PlayerOf(TJsonReader& outer, const QJsonObject& object) {
    TJsonReader read(object);
    TLobbyPlayer player;
    player.Name = read.Name("name");
    player.Table = read.Integer("table", 0, MaxId);
    player.Seat = int32_t(read.Integer("seat", -1, 1));
    // A server that keeps no ratings leaves them out.
    if (read.Has("rating")) player.Rating = RatingOf(read, read.Value("rating"));
    if (read.Has("deviation")) player.Deviation = DeviationOf(read, read.Value("deviation"));
    outer.Take(read);
    return player;
}

TPlacementMove MoveOf(TJsonReader& read, const QJsonValue& field) {
    const QJsonArray move = read.TupleOf(field, 3);
    if (move.size() != 3) return {};
    return {int32_t(read.IntegerOf(move[0], 0, 4)), int32_t(read.IntegerOf(move[1], 0, 2)),
            int32_t(read.IntegerOf(move[2], 0, 2))};
}

TServerMatchState MatchOf(TJsonReader& read) {
    TServerMatchState match;
    match.Table = read.Integer("table", 1, MaxId);
    match.Match = read.Integer("match", 0, MaxId);
    match.Seed = read.Integer("seed", 0, MaxId);
    match.Rules = read.RulesOf(read.Value("rules"));
    match.Seconds = read.MoveSecondsOf(read.Value("seconds"));
    match.First = int32_t(read.Integer("first", 0, 1));
    match.Seats = SeatsOf(read, read.Value("seats"));
    match.You = int32_t(read.Integer("you", -1, 1));
    for (const QJsonValue& move : read.ArrayOf(read.Value("moves"), Protocol::MaxMoves))
        match.Moves.push_back(MoveOf(read, move));
    const QJsonArray away = read.TupleOf(read.Value("away"), 2);
    for (qsizetype seat = 0; seat < away.size(); ++seat) match.Away[size_t(seat)] = read.BoolOf(away[seat]);
    match.Rated = read.OptionalBool("rated");
    // A server that does not say keeps a seat the 60 s servers always kept.
    if (read.Has("away_seconds"))
        match.AwaySeconds = int32_t(read.Integer("away_seconds", 0, Protocol::MaxAwaySeconds));
    return match;
}

// The time left on the turn under way, which the server leaves out when no
// clock runs.
int64_t ClockOf(TJsonReader& read) {
    return read.Has("clock") ? read.Integer("clock", 0, Protocol::MaxClockMs) : -1;
}

std::optional<std::array<TRatingChange, 2>> RatingChangesOf(TJsonReader& read) {
    if (!read.Has("ratings")) return std::nullopt;
    const QJsonArray seats = read.TupleOf(read.Value("ratings"), 2);
    if (seats.size() != 2) return std::nullopt;
    std::array<TRatingChange, 2> changes;
    for (size_t seat = 0; seat < 2; ++seat) {
        const QJsonArray pair = read.TupleOf(seats[qsizetype(seat)], 2);
        if (pair.size() != 2) return std::nullopt;
        changes[seat] = {RatingOf(read, pair[0]), RatingOf(read, pair[1])};
    }
    return changes;
}

std::vector<TLeaderboardEntry> LeadersOf(TJsonReader& read) {
    std::vector<TLeaderboardEntry> leaders;
    for (const QJsonValue& entry : read.ArrayOf(read.Value("players"), Protocol::MaxLeaders)) {
        const QJsonObject player = read.ObjectOf(entry);
        leaders.push_back({read.NameOf(player.value("name")), RatingOf(read, player.value("rating")),
                           DeviationOf(read, player.value("deviation")),
                           int32_t(read.IntegerOf(player.value("matches"), 0, INT32_MAX))});
    }
    return leaders;
}

TProfileMatch ProfileMatchOf(TJsonReader& read, const QJsonObject& object) {
    TProfileMatch match;
    match.Match = read.IntegerOf(object.value("match"), 1, MaxId);
    match.StartedMs = read.IntegerOf(object.value("started"), 0, MaxId);
    match.EndedMs = read.IntegerOf(object.value("ended"), 0, MaxId);
    match.Opponent = read.NameOf(object.value("opponent"));
    match.Seat = int32_t(read.IntegerOf(object.value("seat"), 0, 1));
    match.Rules = read.RulesOf(object.value("rules"));
    match.Seconds = read.MoveSecondsOf(object.value("seconds"));
    match.How = read.TextOf(object.value("how"), Protocol::MaxHowCharacters);
    match.Winner = int32_t(read.IntegerOf(object.value("winner"), -1, 1));
    match.Score = ScoreOf(read, object.value("score"));
    match.Rated = read.BoolOf(object.value("rated"));
    // A rated match broken off before its end may have moved no rating.
    if (object.contains("change"))
        match.Change =
            int32_t(read.IntegerOf(object.value("change"), -Protocol::MaxRating, Protocol::MaxRating));
    return match;
}

TPlayerProfile ProfileOf(TJsonReader& read) {
    TPlayerProfile profile;
    profile.Name = read.Name("name");
    profile.Rating = RatingOf(read, read.Value("rating"));
    profile.Deviation = DeviationOf(read, read.Value("deviation"));
    const QJsonValue volatility = read.Value("volatility");
    profile.Volatility = volatility.toDouble(-1);
    if (!volatility.isDouble() || !(profile.Volatility >= 0 && profile.Volatility <= 10)) read.Refuse();
    profile.Matches = int32_t(read.Integer("matches", 0, INT32_MAX));
    for (const QJsonValue& point : read.ArrayOf(read.Value("history"), Protocol::MaxHistory)) {
        const QJsonArray pair = read.TupleOf(point, 2);
        if (pair.size() != 2) return profile;
        profile.History.push_back({read.IntegerOf(pair[0], 0, MaxId), RatingOf(read, pair[1])});
    }
    for (const QJsonValue& match : read.ArrayOf(read.Value("recent"), Protocol::MaxRecent))
        profile.Recent.push_back(ProfileMatchOf(read, read.ObjectOf(match)));
    return profile;
}

TServerRecord RecordOf(TJsonReader& read) {
    TServerRecord record;
    record.Match = read.Integer("match", 1, MaxId);
    // Read and checked later as a record file is; kept as the server wrote it.
    record.Json = CompactJson(read.ObjectOf(read.Value("record")));
    return record;
}

void Read(TJsonReader& read, TServerMessage& message) {
    switch (message.Kind) {
    case TKind::SignedIn:
        message.Name = read.Name("name");
        if (read.Has("motd")) message.Text = read.Text("motd", Protocol::MaxMotdCharacters);
        message.Moderator = read.OptionalBool("moderator");
        break;
    case TKind::PlayerGone:
        message.Name = read.Name("name");
        break;
    case TKind::Lobby:
        for (const QJsonValue& player : read.ArrayOf(read.Value("players"), Protocol::MaxListEntries))
            message.Players.push_back(PlayerOf(read, read.ObjectOf(player)));
        for (const QJsonValue& table : read.ArrayOf(read.Value("tables"), Protocol::MaxListEntries))
            message.Tables.push_back(TableOf(read, read.ObjectOf(table)));
        break;
    case TKind::Player:
        message.Player = PlayerOf(read, read.Fields());
        break;
    case TKind::Table:
        message.TableInfo = TableOf(read, read.Fields());
        break;
    case TKind::TableGone:
        message.Table = read.Integer("table", 1, MaxId);
        break;
    case TKind::Match:
        message.Match = MatchOf(read);
        message.ClockMs = ClockOf(read);
        break;
    case TKind::MoveRefused:
        message.Match = MatchOf(read);
        message.Text = read.Text("reason", Protocol::MaxReasonCharacters);
        message.ClockMs = ClockOf(read);
        break;
    case TKind::Moved:
        message.Table = read.Integer("table", 1, MaxId);
        message.Index = int32_t(read.Integer("index", 0, int64_t(Protocol::MaxMoves) - 1));
        message.Seat = int32_t(read.Integer("seat", 0, 1));
        message.Move.Slot = int32_t(read.Integer("slot", 0, 4));
        message.Move.X = int32_t(read.Integer("x", 0, 2));
        message.Move.Y = int32_t(read.Integer("y", 0, 2));
        message.ClockMs = ClockOf(read);
        break;
    case TKind::Away:
        message.Table = read.Integer("table", 1, MaxId);
        message.Seat = int32_t(read.Integer("seat", 0, 1));
        message.Seconds = int32_t(read.Integer("seconds", 0, 3600));
        break;
    case TKind::Back:
        message.Table = read.Integer("table", 1, MaxId);
        message.Seat = int32_t(read.Integer("seat", 0, 1));
        message.ClockMs = ClockOf(read);
        break;
    case TKind::Ended:
        message.Table = read.Integer("table", 1, MaxId);
        message.How = read.Text("how", Protocol::MaxHowCharacters);
        message.Winner = int32_t(read.Integer("winner", -1, 1));
        message.Score = ScoreOf(read, read.Value("score"));
        message.Ratings = RatingChangesOf(read);
        break;
    case TKind::Chat:
        message.From = read.Name("from");
        message.Text = read.Text("text", Protocol::MaxChatCharacters);
        message.Table = read.Has("table") ? read.Integer("table", 1, MaxId) : 0;
        message.Earlier = read.OptionalBool("earlier");
        if (message.Earlier) message.AtMs = read.Integer("at", 0, MaxId);
        break;
    case TKind::Refused:
    case TKind::Bye:
        message.Text = read.Text("reason", Protocol::MaxReasonCharacters);
        break;
    case TKind::Pong:
        break;
    case TKind::Leaderboard:
        message.Leaders = LeadersOf(read);
        break;
    case TKind::Profile:
        message.Profile = ProfileOf(read);
        break;
    case TKind::Record:
        message.Record = RecordOf(read);
        break;
    case TKind::Notice:
        message.Text = read.Text("text", Protocol::MaxReasonCharacters);
        break;
    case TKind::Relations:
        for (const QJsonValue& value : read.ArrayOf(read.Value("follows"), Protocol::MaxRelations)) {
            TJsonReader entry(read.ObjectOf(value));
            TFollowedPlayer player;
            player.Name = entry.Name("name");
            player.Online = entry.Bool("online");
            if (entry.Has("table")) {
                player.Table = entry.Integer("table", 1, MaxId);
                player.Seat = int32_t(entry.Integer("seat", -1, 1));
            }
            read.Take(entry);
            message.Follows.push_back(player);
        }
        for (const QJsonValue& value : read.ArrayOf(read.Value("blocks"), Protocol::MaxRelations))
            message.Blocks.push_back(read.NameOf(value));
        break;
    case TKind::Moderation:
        for (const QJsonValue& value : read.ArrayOf(read.Value("reports"), Protocol::MaxOpenReports)) {
            TJsonReader entry(read.ObjectOf(value));
            TOpenReport report;
            report.Id = entry.Integer("id", 1, MaxId);
            report.Reporter = entry.Name("reporter");
            report.Reported = entry.Name("reported");
            report.Reason = entry.Text("reason", Protocol::MaxHowCharacters);
            report.Text = entry.Text("text", Protocol::MaxReasonCharacters);
            for (const QJsonValue& line : entry.ArrayOf(entry.Value("evidence"), Protocol::MaxEvidenceLines))
                report.Evidence.push_back(entry.TextOf(line, Protocol::MaxEvidenceCharacters));
            report.Match = entry.Integer("match", 0, MaxId);
            report.CreatedMs = entry.Integer("at", 0, MaxId);
            read.Take(entry);
            message.Reports.push_back(report);
        }
        for (const QJsonValue& value : read.ArrayOf(read.Value("sanctions"), Protocol::MaxSanctionEntries)) {
            TJsonReader entry(read.ObjectOf(value));
            TSanctionEntry sanction;
            sanction.Id = entry.Integer("id", 1, MaxId);
            sanction.Kind = entry.Text("kind", Protocol::MaxHowCharacters);
            sanction.Target = entry.Text("target", 80);
            sanction.Reason = entry.Text("reason", Protocol::MaxReasonCharacters);
            sanction.By = entry.Text("by", 80);
            sanction.UntilMs = entry.Integer("until", 0, MaxId);
            read.Take(entry);
            message.Sanctions.push_back(sanction);
        }
        break;
    case TKind::Rematch:
        message.Table = read.Integer("table", 1, MaxId);
        message.Seat = int32_t(read.Integer("seat", 0, 1));
        message.Asks = read.Bool("asks");
        break;
    case TKind::Waiting:
        for (const QJsonValue& rules : read.ArrayOf(read.Value("rules"), Protocol::MaxPlayNowRules))
            message.AcceptedRules.push_back(read.RulesOf(rules));
        for (const QJsonValue& seconds : read.ArrayOf(read.Value("seconds"), Protocol::MaxPlayNowSeconds))
            message.AcceptedSeconds.push_back(read.MoveSecondsOf(seconds));
        break;
    case TKind::Challenge:
        message.Offer.Id = read.Integer("challenge", 1, MaxId);
        message.Offer.From = read.Name("from");
        message.Offer.To = read.Name("to");
        message.Offer.Rules = read.RulesOf(read.Value("rules"));
        message.Offer.Seconds = read.MoveSecondsOf(read.Value("seconds"));
        message.Offer.Rated = read.Bool("rated");
        break;
    case TKind::ChallengeOver:
        message.Offer.Id = read.Integer("challenge", 1, MaxId);
        message.Text = read.Text("reason", Protocol::MaxReasonCharacters);
        break;
    }
}

} // namespace

namespace ServerMessages {

std::optional<TLobbyPlayer> ReadPlayerObject(const QJsonObject& object) {
    TJsonReader read{QJsonObject()};
    TLobbyPlayer player = PlayerOf(read, object);
    return read.Ok() ? std::optional(player) : std::nullopt;
}

std::optional<TLobbyTable> ReadTableObject(const QJsonObject& object) {
    TJsonReader read{QJsonObject()};
    TLobbyTable table = TableOf(read, object);
    return read.Ok() ? std::optional(table) : std::nullopt;
}

THello ReadHello(QByteArrayView line) {
    const QJsonObject hello = QJsonDocument::fromJson(line.toByteArray()).object();
    THello read;
    read.IsHello = hello.value("type").toString() == QLatin1String("hello");
    read.Program = hello.value("program").toString();
    read.Version = hello.value("version").toInt(-1);
    return read;
}

TDecoded Decode(const QByteArray& line) {
    TDecoded decoded;
    if (line.size() > Protocol::MaxServerLineBytes) {
        decoded.Error = QStringLiteral("a line longer than %1 bytes").arg(Protocol::MaxServerLineBytes);
        return decoded;
    }
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.Error = QStringLiteral("not a JSON object");
        return decoded;
    }
    TJsonReader read(document.object());
    const QString type = read.Value("type").toString();
    int kind = 0;
    constexpr int LastKind = int(TKind::ChallengeOver);
    while (kind <= LastKind && type != QLatin1String(KindName(TKind(kind)))) ++kind;
    if (kind > LastKind) {
        decoded.Error = QStringLiteral("a message of an unknown kind");
        return decoded;
    }
    decoded.Message.Kind = TKind(kind);
    Read(read, decoded.Message);
    decoded.Ok = read.Ok();
    if (!decoded.Ok)
        decoded.Error = QStringLiteral("a %1 message with a missing or out-of-range field").arg(type);
    return decoded;
}

} // namespace ServerMessages
