#include "net/ServerCodec.h"

#include "net/PeerText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using TKind = TServerMessage::TKind;

struct TKindName {
    const char* Name;
    TKind Kind;
};
constexpr TKindName Kinds[] = {
    {"signed_in", TKind::SignedIn}, {"lobby", TKind::Lobby},   {"player", TKind::Player},
    {"player_gone", TKind::PlayerGone}, {"table", TKind::Table}, {"table_gone", TKind::TableGone},
    {"match", TKind::Match},        {"moved", TKind::Moved},   {"move_refused", TKind::MoveRefused},
    {"away", TKind::Away},          {"back", TKind::Back},     {"ended", TKind::Ended},
    {"chat", TKind::Chat},          {"refused", TKind::Refused}, {"bye", TKind::Bye},
    {"pong", TKind::Pong},          {"leaderboard", TKind::Leaderboard}, {"profile", TKind::Profile},
    {"record", TKind::Record},
};

constexpr int64_t MaxId = int64_t(1) << 53;

// Reading fails softly: the first missing or wrong field marks the whole
// message refused, and later reads just return defaults.
class TReader {
public:
    explicit TReader(QJsonObject object) : Object(std::move(object)) {}

    int64_t Integer(const char* key, int64_t low, int64_t high) { return IntegerOf(Object.value(key), low, high); }

    int64_t IntegerOf(const QJsonValue& field, int64_t low, int64_t high) {
        if (!field.isDouble()) return Fail(0);
        const double number = field.toDouble();
        if (number < double(low) || number > double(high) || number != double(int64_t(number))) return Fail(0);
        return int64_t(number);
    }

    bool Bool(const QJsonValue& field) {
        if (!field.isBool()) return Fail(false);
        return field.toBool();
    }

    QString Name(const QJsonValue& field, bool mayBeEmpty = false) {
        if (!field.isString()) return Fail(QString());
        const QString name = field.toString();
        if (mayBeEmpty && name.isEmpty()) return name;
        if (!ServerCodec::IsPlayerName(name)) return Fail(QString());
        return name;
    }

    QString Text(const char* key, qsizetype limit) {
        const QJsonValue field = Object.value(key);
        if (!field.isString()) return Fail(QString());
        return PeerText::Readable(field.toString(), limit);
    }

    QJsonArray Array(const QJsonValue& field, size_t maxEntries) {
        if (!field.isArray() || size_t(field.toArray().size()) > maxEntries) return Fail(QJsonArray());
        return field.toArray();
    }

    QJsonObject ObjectOf(const QJsonValue& field) {
        if (!field.isObject()) return Fail(QJsonObject());
        return field.toObject();
    }

    TGameRules Rules(const QJsonValue& field) {
        const QJsonObject rules = ObjectOf(field);
        TGameRules read;
        read.Same = Bool(rules.value("same"));
        read.SameWall = Bool(rules.value("same_wall"));
        read.Plus = Bool(rules.value("plus"));
        read.Elemental = Bool(rules.value("elemental"));
        read.SuddenDeath = Bool(rules.value("sudden_death"));
        return read;
    }

    int32_t Seconds(const QJsonValue& field) {
        const int32_t seconds = int32_t(IntegerOf(field, 0, 60));
        if (seconds != 0 && seconds != 30 && seconds != 60) return Fail(0);
        return seconds;
    }

    std::array<QString, 2> Seats(const QJsonValue& field) {
        const QJsonArray seats = Array(field, 2);
        if (seats.size() != 2) return Fail(std::array<QString, 2>{});
        return {Name(seats[0], true), Name(seats[1], true)};
    }

    TLobbyTable Table(const QJsonObject& object) {
        TReader inner(object);
        TLobbyTable table;
        table.Id = inner.Integer("table", 1, MaxId);
        table.Rules = inner.Rules(object.value("rules"));
        table.Seconds = inner.Seconds(object.value("seconds"));
        table.Seats = inner.Seats(object.value("seats"));
        table.Watchers = int32_t(inner.Integer("watchers", 0, 1 << 30));
        table.Playing = inner.Bool(object.value("playing"));
        table.Rated = inner.OptionalBool(object.value("rated"));
        if (!inner.Ok) Ok = false;
        return table;
    }

    TLobbyPlayer Player(const QJsonObject& object) {
        TReader inner(object);
        TLobbyPlayer player;
        player.Name = inner.Name(object.value("name"));
        player.Table = inner.Integer("table", 0, MaxId);
        player.Seat = int32_t(inner.Integer("seat", -1, 1));
        inner.RatingOf(object, player);
        if (!inner.Ok) Ok = false;
        return player;
    }

    TServerMove MoveOf(const QJsonValue& field) {
        const QJsonArray move = Array(field, 3);
        if (move.size() != 3) return Fail(TServerMove{});
        return {int32_t(IntegerOf(move[0], 0, 4)), int32_t(IntegerOf(move[1], 0, 2)), int32_t(IntegerOf(move[2], 0, 2))};
    }

    TServerMatchState Match() {
        TServerMatchState match;
        match.Table = Integer("table", 1, MaxId);
        match.Match = Integer("match", 0, MaxId);
        match.Seed = Integer("seed", 0, MaxId);
        match.Rules = Rules(Object.value("rules"));
        match.Seconds = Seconds(Object.value("seconds"));
        match.First = int32_t(Integer("first", 0, 1));
        match.Seats = Seats(Object.value("seats"));
        match.You = int32_t(Integer("you", -1, 1));
        for (const QJsonValue& move : Array(Object.value("moves"), ServerCodec::MaxMoves))
            match.Moves.push_back(MoveOf(move));
        const QJsonArray away = Array(Object.value("away"), 2);
        if (away.size() != 2) Ok = false;
        for (qsizetype seat = 0; seat < away.size(); ++seat) match.Away[size_t(seat)] = Bool(away[seat]);
        match.Rated = OptionalBool(Object.value("rated"));
        return match;
    }

    // Fields a server without ratings leaves out: absent, the defaults stand;
    // present, they are checked like any other.
    bool OptionalBool(const QJsonValue& field) { return field.isUndefined() ? false : Bool(field); }

    int32_t Rating(const QJsonValue& field) {
        return int32_t(IntegerOf(field, -ServerCodec::MaxRating, ServerCodec::MaxRating));
    }

    int32_t Deviation(const QJsonValue& field) { return int32_t(IntegerOf(field, 0, ServerCodec::MaxDeviation)); }

    void RatingOf(const QJsonObject& object, TLobbyPlayer& player) {
        if (object.contains("rating")) player.Rating = Rating(object.value("rating"));
        if (object.contains("deviation")) player.Deviation = Deviation(object.value("deviation"));
    }

    QString TextOf(const QJsonValue& field, qsizetype limit) {
        if (!field.isString()) return Fail(QString());
        return PeerText::Readable(field.toString(), limit);
    }

    std::array<int32_t, 2> Score(const QJsonValue& field) {
        const QJsonArray score = Array(field, 2);
        if (score.size() != 2) return Fail(std::array<int32_t, 2>{});
        return {int32_t(IntegerOf(score[0], 0, 10)), int32_t(IntegerOf(score[1], 0, 10))};
    }

    std::optional<std::array<TRatingChange, 2>> Ratings() {
        const QJsonValue field = Object.value("ratings");
        if (field.isUndefined()) return std::nullopt;
        const QJsonArray seats = Array(field, 2);
        if (seats.size() != 2) return Fail(std::nullopt);
        std::array<TRatingChange, 2> changes;
        for (size_t seat = 0; seat < 2; ++seat) {
            const QJsonArray pair = Array(seats[qsizetype(seat)], 2);
            if (pair.size() != 2) return Fail(std::nullopt);
            changes[seat] = {Rating(pair[0]), Rating(pair[1])};
        }
        return changes;
    }

    std::vector<TLeaderboardEntry> Leaders() {
        std::vector<TLeaderboardEntry> leaders;
        for (const QJsonValue& entry : Array(Object.value("players"), ServerCodec::MaxLeaders)) {
            const QJsonObject player = ObjectOf(entry);
            leaders.push_back({Name(player.value("name")), Rating(player.value("rating")),
                               Deviation(player.value("deviation")),
                               int32_t(IntegerOf(player.value("matches"), 0, INT32_MAX))});
        }
        return leaders;
    }

    TProfileMatch ProfileMatch(const QJsonObject& object) {
        TProfileMatch match;
        match.Match = IntegerOf(object.value("match"), 1, MaxId);
        match.StartedMs = IntegerOf(object.value("started"), 0, MaxId);
        match.EndedMs = IntegerOf(object.value("ended"), 0, MaxId);
        match.Opponent = Name(object.value("opponent"));
        match.Seat = int32_t(IntegerOf(object.value("seat"), 0, 1));
        match.Rules = Rules(object.value("rules"));
        match.Seconds = Seconds(object.value("seconds"));
        match.How = TextOf(object.value("how"), 16);
        match.Winner = int32_t(IntegerOf(object.value("winner"), -1, 1));
        match.Score = Score(object.value("score"));
        match.Rated = Bool(object.value("rated"));
        // A rated match broken off before its end may have moved no rating.
        if (object.contains("change"))
            match.Change = int32_t(IntegerOf(object.value("change"), -ServerCodec::MaxRating, ServerCodec::MaxRating));
        return match;
    }

    TPlayerProfile Profile() {
        TPlayerProfile profile;
        profile.Name = Name(Object.value("name"));
        profile.Rating = Rating(Object.value("rating"));
        profile.Deviation = Deviation(Object.value("deviation"));
        const QJsonValue volatility = Object.value("volatility");
        profile.Volatility = volatility.toDouble(-1);
        if (!volatility.isDouble() || !(profile.Volatility >= 0 && profile.Volatility <= 10)) Ok = false;
        profile.Matches = int32_t(Integer("matches", 0, INT32_MAX));
        for (const QJsonValue& point : Array(Object.value("history"), ServerCodec::MaxHistory)) {
            const QJsonArray pair = Array(point, 2);
            if (pair.size() != 2) return Fail(profile);
            profile.History.push_back({IntegerOf(pair[0], 0, MaxId), Rating(pair[1])});
        }
        for (const QJsonValue& match : Array(Object.value("recent"), ServerCodec::MaxRecent))
            profile.Recent.push_back(ProfileMatch(ObjectOf(match)));
        return profile;
    }

    TServerRecord Record() {
        TServerRecord record;
        record.Match = Integer("match", 1, MaxId);
        // Read and checked later as a record file is; kept as the server wrote it.
        record.Json = QJsonDocument(ObjectOf(Object.value("record"))).toJson(QJsonDocument::Compact);
        return record;
    }

    const QJsonObject Object;
    bool Ok = true;

private:
    template <class T> T Fail(T value) {
        Ok = false;
        return value;
    }
};

// The time left on the turn under way, which the server leaves out when no
// clock runs.
int64_t ClockOf(TReader& read) {
    return read.Object.contains("clock") ? read.Integer("clock", 0, ServerCodec::MaxClockMs) : -1;
}

QJsonObject RulesObject(const TGameRules& rules) {
    return {{"same", rules.Same},
            {"same_wall", rules.SameWall},
            {"plus", rules.Plus},
            {"elemental", rules.Elemental},
            {"sudden_death", rules.SuddenDeath}};
}

QByteArray Line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

namespace ServerCodec {

bool IsPlayerName(const QString& name) {
    if (name.size() < 3 || name.size() > 16) return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
                        u == '_';
        if (!ok) return false;
    }
    return true;
}

TDecoded Decode(const QByteArray& line) {
    TDecoded decoded;
    if (line.size() > MaxLineBytes) {
        decoded.Error = QStringLiteral("a line longer than %1 bytes").arg(MaxLineBytes);
        return decoded;
    }
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.Error = QStringLiteral("not a JSON object");
        return decoded;
    }
    TReader read(document.object());
    const QString type = read.Object.value("type").toString();
    const TKindName* kind = nullptr;
    for (const TKindName& entry : Kinds)
        if (type == QLatin1String(entry.Name)) kind = &entry;
    if (!kind) {
        decoded.Error = QStringLiteral("a message of an unknown kind");
        return decoded;
    }
    TServerMessage& message = decoded.Message;
    message.Kind = kind->Kind;
    const QJsonObject& object = read.Object;
    switch (message.Kind) {
    case TKind::SignedIn:
    case TKind::PlayerGone:
        message.Name = read.Name(object.value("name"));
        break;
    case TKind::Lobby:
        for (const QJsonValue& player : read.Array(object.value("players"), MaxListEntries))
            message.Players.push_back(read.Player(read.ObjectOf(player)));
        for (const QJsonValue& table : read.Array(object.value("tables"), MaxListEntries))
            message.Tables.push_back(read.Table(read.ObjectOf(table)));
        break;
    case TKind::Player:
        message.Player = read.Player(object);
        break;
    case TKind::Table:
        message.TableInfo = read.Table(object);
        break;
    case TKind::TableGone:
        message.Table = read.Integer("table", 1, MaxId);
        break;
    case TKind::Match:
        message.Match = read.Match();
        message.ClockMs = ClockOf(read);
        break;
    case TKind::MoveRefused:
        message.Match = read.Match();
        message.Text = read.Text("reason", MaxReasonCharacters);
        message.ClockMs = ClockOf(read);
        break;
    case TKind::Moved:
        message.Table = read.Integer("table", 1, MaxId);
        message.Index = int32_t(read.Integer("index", 0, int64_t(MaxMoves) - 1));
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
        message.How = read.Text("how", 16);
        message.Winner = int32_t(read.Integer("winner", -1, 1));
        message.Score = read.Score(object.value("score"));
        message.Ratings = read.Ratings();
        break;
    case TKind::Chat:
        message.From = read.Name(object.value("from"));
        message.Text = read.Text("text", MaxChatCharacters);
        message.Table = object.contains("table") ? read.Integer("table", 1, MaxId) : 0;
        break;
    case TKind::Refused:
    case TKind::Bye:
        message.Text = read.Text("reason", MaxReasonCharacters);
        break;
    case TKind::Pong:
        break;
    case TKind::Leaderboard:
        message.Leaders = read.Leaders();
        break;
    case TKind::Profile:
        message.Profile = read.Profile();
        break;
    case TKind::Record:
        message.Record = read.Record();
        break;
    }
    decoded.Ok = read.Ok;
    if (!decoded.Ok) decoded.Error = QStringLiteral("a %1 message with a missing or out-of-range field").arg(type);
    return decoded;
}

QByteArray Login(const QString& name) {
    return Line({{"type", "login"}, {"name", name}});
}

QByteArray Create(const TGameRules& rules, int32_t seconds, bool rated) {
    QJsonObject create{{"type", "create"}, {"rules", RulesObject(rules)}, {"seconds", seconds}};
    // Left out when casual, as a server without ratings expects.
    if (rated) create["rated"] = true;
    return Line(create);
}

QByteArray PlayNow(const TGameRules& rules, int32_t seconds) {
    return Line({{"type", "play_now"}, {"rules", RulesObject(rules)}, {"seconds", seconds}});
}

QByteArray Sit(int64_t table, int32_t seat) {
    QJsonObject sit{{"type", "sit"}, {"table", double(table)}};
    if (seat >= 0) sit["seat"] = seat;
    return Line(sit);
}

QByteArray Watch(int64_t table) {
    return Line({{"type", "watch"}, {"table", double(table)}});
}

QByteArray Leave() {
    return Line({{"type", "leave"}});
}

QByteArray Chat(const QString& text) {
    return Line({{"type", "chat"}, {"text", text}});
}

QByteArray Move(int32_t slot, int32_t x, int32_t y) {
    return Line({{"type", "move"}, {"slot", slot}, {"x", x}, {"y", y}});
}

QByteArray Ping() {
    return QByteArrayLiteral("{\"type\":\"ping\"}\n");
}

QByteArray Leaderboard() {
    return QByteArrayLiteral("{\"type\":\"leaderboard\"}\n");
}

QByteArray Profile(const QString& name) {
    return Line({{"type", "profile"}, {"name", name}});
}

QByteArray Record(int64_t match) {
    return Line({{"type", "record"}, {"match", double(match)}});
}

QByteArray State() {
    return QByteArrayLiteral("{\"type\":\"state\"}\n");
}

} // namespace ServerCodec
