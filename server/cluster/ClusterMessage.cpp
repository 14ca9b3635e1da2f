#include "server/cluster/ClusterMessage.h"

#include "protocol/JsonReader.h"
#include "protocol/Protocol.h"
#include "protocol/RulesJson.h"
#include "protocol/ServerMessages.h"
#include "rules/RuleBits.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

using TKind = TClusterMessage::TKind;

const char* const KindNames[] = {"entries",    "chat",       "signed_in", "resync",  "watch",
                                 "table_line", "table_chat", "relay",     "relayed", "released",
                                 "taken_over", "open_match", "paired",    "sit_at"};
constexpr size_t MaxFingerprintBytes = 128;
constexpr size_t MaxAddressBytes = 64;

QJsonArray IdsArray(const std::vector<int64_t>& ids) {
    QJsonArray array;
    for (int64_t id : ids) array.append(double(id));
    return array;
}

// A line as a client reads it, carried as a string.
bool ReadLine(TJsonReader& read, TServerMessage& into) {
    const QJsonValue line = read.Value("line");
    if (!line.isString()) return false;
    ServerMessages::TDecoded decoded = ServerMessages::Decode(line.toString().toUtf8());
    if (!decoded.Ok) return false;
    into = decoded.Message;
    return true;
}

// Plain text, or empty.
std::string OptionalPlain(TJsonReader& read, const char* key, size_t maxBytes) {
    if (read.Value(key) == QJsonValue(QString())) return {};
    return read.PlainText(key, qsizetype(maxBytes)).toStdString();
}

// A rating and a list of blocked players, each there only when known or not
// empty: a process that says neither is read from the database instead.
void WriteStanding(QJsonObject& object, const std::optional<TRating>& rating,
                   const std::vector<int64_t>& blocks) {
    if (rating) object["rating"] = QJsonArray{rating->Rating, rating->Deviation, rating->Volatility};
    if (!blocks.empty()) object["blocks"] = IdsArray(blocks);
}

void ReadStanding(TJsonReader& read, std::optional<TRating>& rating, std::vector<int64_t>& blocks) {
    if (read.Has("rating")) {
        const QJsonArray numbers = read.TupleOf(read.Value("rating"), 3);
        // Far beyond any rating the system gives, yet finite: a bound, not a judgement.
        constexpr double Most[3] = {1e5, 1e4, 10.0};
        double values[3] = {};
        for (qsizetype i = 0; i < numbers.size(); ++i) {
            const QJsonValue number = numbers[i];
            values[i] = number.toDouble();
            if (!number.isDouble() || !(values[i] >= -Most[i] && values[i] <= Most[i])) read.Refuse();
        }
        if (read.Ok() && numbers.size() == 3) rating = TRating{values[0], values[1], values[2]};
    }
    if (read.Has("blocks"))
        for (const QJsonValue& id : read.ArrayOf(read.Value("blocks"), Protocol::MaxRelations))
            blocks.push_back(read.IntegerOf(id, 1, Protocol::MaxId));
}

QJsonObject SeatObject(const TClusterSeat& seat) {
    QJsonObject object{{"from", QString::fromStdString(seat.Origin)},
                       {"connection", double(seat.Connection)},
                       {"player", double(seat.Player)},
                       {"name", seat.Name},
                       {"fingerprint", QString::fromStdString(seat.Fingerprint)},
                       {"address", QString::fromStdString(seat.Address)},
                       {"limit", QString::fromStdString(seat.LimitKey)},
                       {"waited", seat.Waited}};
    WriteStanding(object, seat.Rating, seat.Blocks);
    return object;
}

TClusterSeat ReadSeat(TJsonReader& outer, const QJsonValue& value) {
    TJsonReader read(outer.ObjectOf(value));
    TClusterSeat seat;
    seat.Origin = read.PlainText("from", TClusterMessage::MaxOriginBytes).toStdString();
    seat.Connection = uint64_t(read.Integer("connection", 1, Protocol::MaxId));
    seat.Player = read.Integer("player", 1, Protocol::MaxId);
    seat.Name = read.Name("name");
    seat.Fingerprint = OptionalPlain(read, "fingerprint", MaxFingerprintBytes);
    seat.Address = OptionalPlain(read, "address", MaxAddressBytes);
    seat.LimitKey = OptionalPlain(read, "limit", MaxAddressBytes);
    seat.Waited = read.Bool("waited");
    ReadStanding(read, seat.Rating, seat.Blocks);
    outer.Take(read);
    return seat;
}

} // namespace

std::string TClusterMessage::Encode() const {
    QJsonObject object{{"kind", KindNames[int(Kind)]}, {"from", QString::fromStdString(Origin)}};
    switch (Kind) {
    case TKind::Entries: {
        QJsonArray players, tables;
        for (const TPlayer& player : Players) {
            QJsonObject entry = ServerMessages::PlayerObject(player.Entry);
            entry["id"] = double(player.Id);
            if (!player.TableOrigin.empty())
                entry["table_origin"] = QString::fromStdString(player.TableOrigin);
            players.append(entry);
        }
        for (const TLobbyTable& table : Tables) tables.append(ServerMessages::TableObject(table));
        object["whole"] = Whole;
        object["last"] = Last;
        object["generation"] = double(Generation);
        object["players"] = players;
        object["tables"] = tables;
        object["gone_players"] = IdsArray(GonePlayers);
        object["gone_tables"] = IdsArray(GoneTables);
        break;
    }
    case TKind::Chat:
        object["player"] = double(Player);
        object["name"] = Name;
        object["text"] = Text;
        break;
    case TKind::SignedIn:
        object["player"] = double(Player);
        object["at"] = double(AtMs);
        break;
    case TKind::Resync:
        break;
    case TKind::Watch:
        object["to"] = QString::fromStdString(To);
        object["table"] = double(Table);
        break;
    case TKind::TableLine:
        object["table"] = double(Table);
        object["player"] = double(Player);
        object["state"] = State;
        object["line"] = QString::fromUtf8(ServerMessages::Encode(Line).chopped(1));
        break;
    case TKind::TableChat:
        object["to"] = QString::fromStdString(To);
        object["table"] = double(Table);
        object["player"] = double(Player);
        object["name"] = Name;
        object["text"] = Text;
        break;
    case TKind::Relay:
        object["to"] = QString::fromStdString(To);
        object["connection"] = double(Connection);
        object["player"] = double(Player);
        object["name"] = Name;
        object["fingerprint"] = QString::fromStdString(Fingerprint);
        object["address"] = QString::fromStdString(Address);
        object["limit"] = QString::fromStdString(LimitKey);
        object["request"] = QString::fromStdString(Request);
        WriteStanding(object, Rating, Blocks);
        break;
    case TKind::Relayed:
        object["to"] = QString::fromStdString(To);
        object["connection"] = double(Connection);
        object["home"] = Home;
        object["close"] = Close;
        if (!Home) object["line"] = QString::fromUtf8(ServerMessages::Encode(Line).chopped(1));
        WriteStanding(object, Rating, {});
        break;
    case TKind::Released:
    case TKind::Paired:
        object["to"] = QString::fromStdString(To);
        object["connection"] = double(Connection);
        if (Kind == TKind::Paired) object["host"] = QString::fromStdString(Host);
        break;
    case TKind::SitAt:
        object["to"] = QString::fromStdString(To);
        object["connection"] = double(Connection);
        object["host"] = QString::fromStdString(Host);
        object["table"] = double(Table);
        break;
    case TKind::TakenOver:
        object["player"] = double(Player);
        break;
    case TKind::OpenMatch:
        object["to"] = QString::fromStdString(To);
        object["rules"] = RulesJson::Write(RulesOfBits(Rules));
        object["seconds"] = Seconds;
        object["seats"] = QJsonArray{SeatObject(Seats[0]), SeatObject(Seats[1])};
        break;
    }
    return ServerMessages::ObjectText(object);
}

std::optional<TClusterMessage> TClusterMessage::Decode(const std::string& payload) {
    if (payload.size() > MaxBytes) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(payload), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    TJsonReader read(document.object());
    TClusterMessage message;
    const QString kind = read.Value("kind").toString();
    const auto named = std::find(std::begin(KindNames), std::end(KindNames), kind.toStdString());
    if (named == std::end(KindNames)) return std::nullopt;
    message.Kind = TKind(named - std::begin(KindNames));
    message.Origin = read.PlainText("from", MaxOriginBytes).toStdString();
    using Protocol::MaxId;
    switch (message.Kind) {
    case TKind::Entries: {
        message.Whole = read.Bool("whole");
        message.Last = read.Bool("last");
        message.Generation = read.Integer("generation", 0, MaxId);
        const QJsonArray players = read.ArrayOf(read.Value("players"), MaxEntries);
        const QJsonArray tables = read.ArrayOf(read.Value("tables"), MaxEntries);
        const QJsonArray gonePlayers = read.ArrayOf(read.Value("gone_players"), MaxEntries);
        const QJsonArray goneTables = read.ArrayOf(read.Value("gone_tables"), MaxEntries);
        if (size_t(players.size() + tables.size() + gonePlayers.size() + goneTables.size()) > MaxEntries)
            return std::nullopt;
        for (const QJsonValue& value : players) {
            QJsonObject entry = value.toObject();
            const int64_t id = read.IntegerOf(entry.take("id"), 1, MaxId);
            const QJsonValue tableOrigin = entry.take("table_origin");
            std::optional<TLobbyPlayer> player = ServerMessages::ReadPlayerObject(entry);
            if (!player || !(tableOrigin.isUndefined() || tableOrigin.isString()) ||
                size_t(tableOrigin.toString().toUtf8().size()) > MaxOriginBytes)
                return std::nullopt;
            message.Players.push_back({id, *player, tableOrigin.toString().toStdString()});
        }
        for (const QJsonValue& value : tables) {
            std::optional<TLobbyTable> table =
                value.isObject() ? ServerMessages::ReadTableObject(value.toObject()) : std::nullopt;
            if (!table) return std::nullopt;
            message.Tables.push_back(*table);
        }
        for (const QJsonValue& id : gonePlayers) message.GonePlayers.push_back(read.IntegerOf(id, 1, MaxId));
        for (const QJsonValue& id : goneTables) message.GoneTables.push_back(read.IntegerOf(id, 1, MaxId));
        break;
    }
    case TKind::Chat:
        message.Player = read.Integer("player", 1, MaxId);
        message.Name = read.Name("name");
        message.Text = read.Text("text", Protocol::MaxChatCharacters);
        break;
    case TKind::SignedIn:
        message.Player = read.Integer("player", 1, MaxId);
        message.AtMs = read.Integer("at", 0, MaxId);
        break;
    case TKind::Resync:
        break;
    case TKind::TakenOver:
        message.Player = read.Integer("player", 1, MaxId);
        break;
    case TKind::Watch:
    case TKind::TableChat:
        message.To = read.PlainText("to", MaxOriginBytes).toStdString();
        message.Table = read.Integer("table", 1, MaxId);
        if (message.Kind == TKind::Watch) break;
        message.Player = read.Integer("player", 1, MaxId);
        message.Name = read.Name("name");
        message.Text = read.Text("text", Protocol::MaxChatCharacters);
        break;
    case TKind::TableLine: {
        message.Table = read.Integer("table", 1, MaxId);
        message.Player = read.Integer("player", 0, MaxId);
        message.State = read.Bool("state");
        if (!ReadLine(read, message.Line)) return std::nullopt;
        break;
    }
    case TKind::Relay:
    case TKind::Relayed:
    case TKind::Released:
    case TKind::Paired:
    case TKind::SitAt:
        message.To = read.PlainText("to", MaxOriginBytes).toStdString();
        message.Connection = uint64_t(read.Integer("connection", 1, MaxId));
        if (message.Kind == TKind::Paired || message.Kind == TKind::SitAt) {
            message.Host = read.PlainText("host", MaxOriginBytes).toStdString();
            if (message.Kind == TKind::SitAt) message.Table = read.Integer("table", 1, MaxId);
        } else if (message.Kind == TKind::Relayed) {
            message.Home = read.Bool("home");
            message.Close = read.Bool("close");
            if (!message.Home && !ReadLine(read, message.Line)) return std::nullopt;
            ReadStanding(read, message.Rating, message.Blocks);
        } else if (message.Kind == TKind::Relay) {
            message.Player = read.Integer("player", 1, MaxId);
            message.Name = read.Name("name");
            message.Fingerprint = OptionalPlain(read, "fingerprint", MaxFingerprintBytes);
            message.Address = OptionalPlain(read, "address", MaxAddressBytes);
            message.LimitKey = OptionalPlain(read, "limit", MaxAddressBytes);
            const QJsonValue request = read.Value("request");
            if (!request.isString() || size_t(request.toString().size()) > Protocol::MaxRequestBytes)
                return std::nullopt;
            message.Request = request.toString().toStdString();
            ReadStanding(read, message.Rating, message.Blocks);
        }
        break;
    case TKind::OpenMatch: {
        message.To = read.PlainText("to", MaxOriginBytes).toStdString();
        message.Rules = RuleBitsOf(read.RulesOf(read.Value("rules")));
        message.Seconds = read.MoveSecondsOf(read.Value("seconds"));
        const QJsonArray seats = read.TupleOf(read.Value("seats"), 2);
        for (qsizetype seat = 0; seat < seats.size(); ++seat)
            message.Seats[size_t(seat)] = ReadSeat(read, seats[seat]);
        if (seats.size() != 2 || message.Seats[0].Player == message.Seats[1].Player) return std::nullopt;
        break;
    }
    }
    if (!read.Ok()) return std::nullopt;
    return message;
}
