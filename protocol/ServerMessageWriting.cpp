// The server's side of its messages. The number types are the ones the
// server has always written, so that the lines stay the same to the byte.
#include "protocol/ServerMessages.h"

#include "protocol/Protocol.h"
#include "protocol/RulesJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

using TKind = TServerMessage::TKind;

struct TMessageName {
    const char* Name;
    TKind Kind;
};
constexpr TMessageName MessageNames[] = {
    {"signed_in", TKind::SignedIn},
    {"lobby", TKind::Lobby},
    {"player", TKind::Player},
    {"player_gone", TKind::PlayerGone},
    {"table", TKind::Table},
    {"table_gone", TKind::TableGone},
    {"match", TKind::Match},
    {"moved", TKind::Moved},
    {"move_refused", TKind::MoveRefused},
    {"away", TKind::Away},
    {"back", TKind::Back},
    {"ended", TKind::Ended},
    {"chat", TKind::Chat},
    {"refused", TKind::Refused},
    {"bye", TKind::Bye},
    {"pong", TKind::Pong},
    {"leaderboard", TKind::Leaderboard},
    {"profile", TKind::Profile},
    {"record", TKind::Record},
    {"notice", TKind::Notice},
    {"relations", TKind::Relations},
    {"moderation", TKind::Moderation},
    {"rematch", TKind::Rematch},
    {"waiting", TKind::Waiting},
    {"challenge", TKind::Challenge},
    {"challenge_over", TKind::ChallengeOver},
};

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray PairOf(const std::array<int32_t, 2>& pair) {
    return QJsonArray{pair[0], pair[1]};
}

QJsonArray SeatsArray(const std::array<QString, 2>& seats) {
    return QJsonArray{seats[0], seats[1]};
}

void AddClock(QJsonObject& object, int64_t clockMs) {
    if (clockMs >= 0) object["clock"] = double(clockMs);
}

void WriteMatch(QJsonObject& state, const TServerMatchState& match) {
    state["table"] = double(match.Table);
    state["match"] = double(match.Match);
    state["seed"] = double(match.Seed);
    state["rules"] = RulesJson::Write(match.Rules);
    state["seconds"] = match.Seconds;
    state["rated"] = match.Rated;
    state["away_seconds"] = match.AwaySeconds;
    state["first"] = match.First;
    state["seats"] = SeatsArray(match.Seats);
    state["you"] = match.You;
    QJsonArray moves;
    for (const TPlacementMove& move : match.Moves) moves.append(QJsonArray{move.Slot, move.X, move.Y});
    state["moves"] = moves;
    state["away"] = QJsonArray{match.Away[0], match.Away[1]};
}

QJsonObject ProfileMatchObject(const TProfileMatch& match) {
    QJsonObject entry{{"match", qint64(match.Match)},
                      {"started", qint64(match.StartedMs)},
                      {"ended", qint64(match.EndedMs)},
                      {"opponent", match.Opponent},
                      {"seat", match.Seat},
                      {"rules", RulesJson::Write(match.Rules)},
                      {"seconds", match.Seconds},
                      {"how", match.How},
                      {"winner", match.Winner},
                      {"score", PairOf(match.Score)},
                      {"rated", match.Rated}};
    if (match.Change) entry["change"] = qint64(*match.Change);
    return entry;
}

void Write(QJsonObject& object, const TServerMessage& message) {
    switch (message.Kind) {
    case TKind::SignedIn:
        object["name"] = message.Name;
        if (!message.Text.isEmpty()) object["motd"] = message.Text;
        if (message.Moderator) object["moderator"] = true;
        break;
    case TKind::PlayerGone:
        object["name"] = message.Name;
        break;
    case TKind::Lobby: // written by LobbyLine
    case TKind::Player:
    case TKind::Table:
    case TKind::Pong:
        break;
    case TKind::TableGone:
        object["table"] = double(message.Table);
        break;
    case TKind::Match:
        WriteMatch(object, message.Match);
        AddClock(object, message.ClockMs);
        break;
    case TKind::MoveRefused:
        WriteMatch(object, message.Match);
        object["reason"] = message.Text;
        AddClock(object, message.ClockMs);
        break;
    case TKind::Moved:
        object["table"] = double(message.Table);
        object["index"] = message.Index;
        object["seat"] = message.Seat;
        object["slot"] = message.Move.Slot;
        object["x"] = message.Move.X;
        object["y"] = message.Move.Y;
        AddClock(object, message.ClockMs);
        break;
    case TKind::Away:
        object["table"] = double(message.Table);
        object["seat"] = message.Seat;
        object["seconds"] = message.Seconds;
        break;
    case TKind::Back:
        object["table"] = double(message.Table);
        object["seat"] = message.Seat;
        AddClock(object, message.ClockMs);
        break;
    case TKind::Ended:
        object["table"] = double(message.Table);
        object["how"] = message.How;
        object["winner"] = message.Winner;
        object["score"] = PairOf(message.Score);
        if (message.Ratings) {
            QJsonArray changes;
            for (const TRatingChange& change : *message.Ratings)
                changes.append(QJsonArray{qint64(change.Before), qint64(change.After)});
            object["ratings"] = changes;
        }
        break;
    case TKind::Chat:
        object["from"] = message.From;
        object["text"] = message.Text;
        if (message.Table != 0) object["table"] = double(message.Table);
        if (message.Earlier) {
            object["earlier"] = true;
            object["at"] = qint64(message.AtMs);
        }
        break;
    case TKind::Refused:
    case TKind::Bye:
        object["reason"] = message.Text;
        break;
    case TKind::Leaderboard: {
        QJsonArray players;
        for (const TLeaderboardEntry& leader : message.Leaders)
            players.append(QJsonObject{{"name", leader.Name},
                                       {"matches", leader.Matches},
                                       {"rating", qint64(leader.Rating)},
                                       {"deviation", qint64(leader.Deviation)}});
        object["players"] = players;
        break;
    }
    case TKind::Profile: {
        const TPlayerProfile& profile = message.Profile;
        object["name"] = profile.Name;
        object["rating"] = qint64(profile.Rating);
        object["deviation"] = qint64(profile.Deviation);
        object["volatility"] = profile.Volatility;
        object["matches"] = profile.Matches;
        QJsonArray history;
        for (const TPlayerProfile::TPoint& point : profile.History)
            history.append(QJsonArray{qint64(point.EndedMs), qint64(point.Rating)});
        object["history"] = history;
        QJsonArray recent;
        for (const TProfileMatch& match : profile.Recent) recent.append(ProfileMatchObject(match));
        object["recent"] = recent;
        break;
    }
    case TKind::Record:
        object["match"] = qint64(message.Record.Match);
        object["record"] = QJsonDocument::fromJson(message.Record.Json).object();
        break;
    case TKind::Notice:
        object["text"] = message.Text;
        break;
    case TKind::Relations: {
        QJsonArray follows, blocks;
        for (const TFollowedPlayer& player : message.Follows) {
            QJsonObject entry{{"name", player.Name}, {"online", player.Online}};
            if (player.Table != 0) entry["table"] = double(player.Table), entry["seat"] = player.Seat;
            follows.append(entry);
        }
        for (const QString& name : message.Blocks) blocks.append(name);
        object["follows"] = follows;
        object["blocks"] = blocks;
        break;
    }
    case TKind::Moderation: {
        QJsonArray reports, sanctions;
        for (const TOpenReport& report : message.Reports) {
            QJsonArray evidence;
            for (const QString& line : report.Evidence) evidence.append(line);
            reports.append(QJsonObject{{"id", double(report.Id)},
                                       {"reporter", report.Reporter},
                                       {"reported", report.Reported},
                                       {"reason", report.Reason},
                                       {"text", report.Text},
                                       {"evidence", evidence},
                                       {"match", double(report.Match)},
                                       {"at", double(report.CreatedMs)}});
        }
        for (const TSanctionEntry& sanction : message.Sanctions)
            sanctions.append(QJsonObject{{"id", double(sanction.Id)},
                                         {"kind", sanction.Kind},
                                         {"target", sanction.Target},
                                         {"reason", sanction.Reason},
                                         {"by", sanction.By},
                                         {"until", double(sanction.UntilMs)}});
        object["reports"] = reports;
        object["sanctions"] = sanctions;
        break;
    }
    case TKind::Rematch:
        object["table"] = double(message.Table);
        object["seat"] = message.Seat;
        object["asks"] = message.Asks;
        break;
    case TKind::Waiting: {
        QJsonArray rules, seconds;
        for (const TGameRules& each : message.AcceptedRules) rules.append(RulesJson::Write(each));
        for (int32_t each : message.AcceptedSeconds) seconds.append(each);
        object["rules"] = rules;
        object["seconds"] = seconds;
        break;
    }
    case TKind::Challenge:
        object["challenge"] = double(message.Offer.Id);
        object["from"] = message.Offer.From;
        object["to"] = message.Offer.To;
        object["rules"] = RulesJson::Write(message.Offer.Rules);
        object["seconds"] = message.Offer.Seconds;
        object["rated"] = message.Offer.Rated;
        break;
    case TKind::ChallengeOver:
        object["challenge"] = double(message.Offer.Id);
        object["reason"] = message.Text;
        break;
    }
}

std::string ArrayOfObjects(const std::vector<QJsonObject>& objects) {
    std::string array = "[";
    for (const QJsonObject& object : objects) {
        if (array.size() > 1) array += ',';
        array += Compact(object).toStdString();
    }
    return array + ']';
}

} // namespace

namespace ServerMessages {

const char* KindName(TKind kind) {
    for (const TMessageName& entry : MessageNames)
        if (entry.Kind == kind) return entry.Name;
    return "?";
}

QByteArray Hello() {
    return Compact({{"type", "hello"},
                    {"program", Protocol::ServerProgramName},
                    {"version", Protocol::Version}}) +
           '\n';
}

QJsonObject PlayerObject(const TLobbyPlayer& player) {
    return {{"name", player.Name},
            {"table", double(player.Table)},
            {"seat", player.Seat},
            {"rating", qint64(player.Rating)},
            {"deviation", qint64(player.Deviation)}};
}

QJsonObject TableObject(const TLobbyTable& table) {
    return {{"table", double(table.Id)},        {"rules", RulesJson::Write(table.Rules)},
            {"seconds", table.Seconds},         {"rated", table.Rated},
            {"seats", SeatsArray(table.Seats)}, {"watchers", table.Watchers},
            {"playing", table.Playing}};
}

std::string ObjectText(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string TypedLine(std::string_view type, std::string_view object) {
    // The object is never empty: "{…}" becomes {"type":"…",…}.
    std::string line = "{\"type\":\"" + std::string(type) + "\"";
    if (object.size() > 2) line += ',';
    line.append(object.substr(1));
    line += '\n';
    return line;
}

std::string LobbyLine(size_t online, size_t openTables, std::string_view players, std::string_view tables) {
    return "{\"type\":\"lobby\",\"online\":" + std::to_string(online) +
           ",\"open_tables\":" + std::to_string(openTables) + ",\"players\":" + std::string(players) +
           ",\"tables\":" + std::string(tables) + "}\n";
}

QByteArray Encode(const TServerMessage& message) {
    switch (message.Kind) {
    case TKind::Lobby: {
        std::vector<QJsonObject> players, tables;
        for (const TLobbyPlayer& player : message.Players) players.push_back(PlayerObject(player));
        for (const TLobbyTable& table : message.Tables) tables.push_back(TableObject(table));
        return QByteArray::fromStdString(
            LobbyLine(players.size(), tables.size(), ArrayOfObjects(players), ArrayOfObjects(tables)));
    }
    case TKind::Player:
        return QByteArray::fromStdString(
            TypedLine("player", Compact(PlayerObject(message.Player)).toStdString()));
    case TKind::Table:
        return QByteArray::fromStdString(
            TypedLine("table", Compact(TableObject(message.TableInfo)).toStdString()));
    default:
        break;
    }
    QJsonObject object;
    object["type"] = QLatin1String(ServerMessages::KindName(message.Kind));
    Write(object, message);
    return Compact(object) + '\n';
}

} // namespace ServerMessages
