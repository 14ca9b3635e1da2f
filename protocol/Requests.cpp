#include "protocol/Requests.h"

#include "protocol/JsonReader.h"
#include "protocol/PlayerName.h"
#include "protocol/Protocol.h"
#include "protocol/RulesJson.h"
#include "rules/RuleBits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace {

using TRequestKind = TLobbyRequest::TKind;

struct TRequestName {
    const char* Name;
    TRequestKind Kind;
};
constexpr TRequestName RequestNames[] = {
    {"hello", TRequestKind::Hello},
    {"ping", TRequestKind::Ping},
    {"login", TRequestKind::Login},
    {"create", TRequestKind::CreateTable},
    {"sit", TRequestKind::Sit},
    {"watch", TRequestKind::Watch},
    {"leave", TRequestKind::Leave},
    {"play_now", TRequestKind::PlayNow},
    {"chat", TRequestKind::Chat},
    {"move", TRequestKind::Move},
    {"leaderboard", TRequestKind::Leaderboard},
    {"profile", TRequestKind::Profile},
    {"record", TRequestKind::Record},
    {"state", TRequestKind::State},
    {"block", TRequestKind::Block},
    {"follow", TRequestKind::Follow},
    {"report", TRequestKind::Report},
    {"relations", TRequestKind::Relations},
    {"moderate", TRequestKind::Moderate},
    {"resign", TRequestKind::Resign},
    {"rematch", TRequestKind::Rematch},
    {"challenge", TRequestKind::Challenge},
    {"answer", TRequestKind::Answer},
};

// A word from a fixed list, or refused.
template <size_t N> std::string OneOf(TJsonReader& read, const char* key, const char* const (&words)[N]) {
    const QString word = read.Value(key).toString();
    for (const char* allowed : words)
        if (word == QLatin1String(allowed)) return allowed;
    read.Refuse();
    return {};
}

QByteArray Line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// A name that could never be bound is refused here, so that it never reaches
// the storage.
std::string NameOf(TJsonReader& read) {
    return read.Name("name").toStdString();
}

void RulesOf(TJsonReader& read, TLobbyRequest& request) {
    request.Rules = RuleBitsOf(read.RulesOf(read.Value("rules")));
    request.MoveSeconds = read.MoveSecondsOf(read.Value("seconds"));
}

// Each entry once, in the order given: a longer list is no more than its
// distinct entries, which the bounds already allow.
template <class TEntry> void AddOnce(std::vector<int32_t>& list, TEntry entry) {
    if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(entry);
}

// A list of what the player accepts, or (as older clients send) one of each.
void AcceptedOf(TJsonReader& read, TLobbyRequest& request) {
    const QJsonValue rules = read.Value("rules"), seconds = read.Value("seconds");
    if (rules.isArray()) {
        for (const QJsonValue& entry : read.ArrayOf(rules, Protocol::MaxPlayNowRules))
            AddOnce(request.AcceptedRules, RuleBitsOf(read.RulesOf(entry)));
    } else {
        AddOnce(request.AcceptedRules, RuleBitsOf(read.RulesOf(rules)));
    }
    if (seconds.isArray()) {
        for (const QJsonValue& entry : read.ArrayOf(seconds, Protocol::MaxPlayNowSeconds))
            AddOnce(request.AcceptedSeconds, read.MoveSecondsOf(entry));
    } else {
        AddOnce(request.AcceptedSeconds, read.MoveSecondsOf(seconds));
    }
    if (request.AcceptedRules.empty() || request.AcceptedSeconds.empty()) read.Refuse();
    request.Rules = request.AcceptedRules.empty() ? 0 : request.AcceptedRules.front();
    request.MoveSeconds = request.AcceptedSeconds.empty() ? 60 : request.AcceptedSeconds.front();
}

void Read(TJsonReader& read, TLobbyRequest& request) {
    switch (request.Kind) {
    case TRequestKind::Hello: {
        const QString program = read.Value("program").toString();
        if (program.isEmpty() || program.size() > Protocol::MaxProgramCharacters) read.Refuse();
        request.Program = program.toStdString();
        request.Version = int32_t(read.Integer("version", 0, 1 << 30));
        break;
    }
    case TRequestKind::Login:
    case TRequestKind::Profile:
        request.Name = NameOf(read);
        break;
    case TRequestKind::CreateTable:
        RulesOf(read, request);
        request.Rated = read.OptionalBool("rated");
        break;
    case TRequestKind::PlayNow:
        AcceptedOf(read, request);
        request.Rated = true;
        break;
    case TRequestKind::Challenge:
        request.Name = NameOf(read);
        RulesOf(read, request);
        request.Rated = read.OptionalBool("rated");
        break;
    case TRequestKind::Answer:
        request.Challenge = read.Integer("challenge", 1, Protocol::MaxId);
        request.Accept = read.Bool("accept");
        break;
    case TRequestKind::Record:
        request.Match = read.Integer("match", 1, Protocol::MaxId);
        break;
    case TRequestKind::Sit:
        request.Table = read.Integer("table", 1, Protocol::MaxId);
        if (read.Has("seat")) request.Seat = int32_t(read.Integer("seat", 0, 1));
        break;
    case TRequestKind::Watch:
        request.Table = read.Integer("table", 1, Protocol::MaxId);
        break;
    case TRequestKind::Ping:
    case TRequestKind::Leave:
    case TRequestKind::State:
    case TRequestKind::Leaderboard:
    case TRequestKind::Resign:
    case TRequestKind::Rematch:
        break;
    case TRequestKind::Chat:
        request.Text = read.PlainText("text", Protocol::MaxChatCharacters).toStdString();
        break;
    case TRequestKind::Block:
    case TRequestKind::Follow:
        request.Name = NameOf(read);
        request.On = read.Has("on") ? read.Bool("on") : true;
        break;
    case TRequestKind::Report:
        request.Name = NameOf(read);
        request.Reason = OneOf(read, "reason", Protocol::ReportReasons);
        if (read.Has("text")) request.Text = read.Text("text", Protocol::MaxReasonCharacters).toStdString();
        break;
    case TRequestKind::Relations:
        break;
    case TRequestKind::Moderate:
        request.Reason = OneOf(read, "action", Protocol::ModerationActions);
        if (read.Has("name")) request.Name = NameOf(read);
        if (read.Has("minutes"))
            request.Minutes = int32_t(read.Integer("minutes", 0, Protocol::MaxSanctionMinutes));
        if (read.Has("id")) request.Id = read.Integer("id", 1, Protocol::MaxId);
        if (read.Has("target")) request.Target = read.Text("target", 64).toStdString();
        if (read.Has("reason"))
            request.Text = read.Text("reason", Protocol::MaxReasonCharacters).toStdString();
        break;
    case TRequestKind::Move:
        request.Move.Slot = int32_t(read.Integer("slot", 0, 4));
        request.Move.X = int32_t(read.Integer("x", 0, 2));
        request.Move.Y = int32_t(read.Integer("y", 0, 2));
        break;
    }
}

} // namespace

namespace Requests {

QByteArray Hello() {
    return Line({{"type", "hello"}, {"program", Protocol::ProgramName}, {"version", Protocol::Version}});
}

QByteArray Login(const QString& name) {
    return Line({{"type", "login"}, {"name", name}});
}

QByteArray Create(const TGameRules& rules, int32_t seconds, bool rated) {
    QJsonObject create{{"type", "create"}, {"rules", RulesJson::Write(rules)}, {"seconds", seconds}};
    // Left out when casual, as a server without ratings expects.
    if (rated) create["rated"] = true;
    return Line(create);
}

QByteArray PlayNow(const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds) {
    QJsonArray ruleList, secondList;
    for (int32_t bits : rules) ruleList.append(RulesJson::Write(RulesOfBits(bits)));
    for (int32_t each : seconds) secondList.append(each);
    return Line({{"type", "play_now"}, {"rules", ruleList}, {"seconds", secondList}});
}

QByteArray PlayNow(const TGameRules& rules, int32_t seconds) {
    return Line({{"type", "play_now"}, {"rules", RulesJson::Write(rules)}, {"seconds", seconds}});
}

QByteArray Challenge(const QString& name, const TGameRules& rules, int32_t seconds, bool rated) {
    return Line({{"type", "challenge"},
                 {"name", name},
                 {"rules", RulesJson::Write(rules)},
                 {"seconds", seconds},
                 {"rated", rated}});
}

QByteArray Answer(int64_t challenge, bool accept) {
    return Line({{"type", "answer"}, {"challenge", double(challenge)}, {"accept", accept}});
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
    return Line({{"type", "ping"}});
}

QByteArray Leaderboard() {
    return Line({{"type", "leaderboard"}});
}

QByteArray Profile(const QString& name) {
    return Line({{"type", "profile"}, {"name", name}});
}

QByteArray Record(int64_t match) {
    return Line({{"type", "record"}, {"match", double(match)}});
}

QByteArray State() {
    return Line({{"type", "state"}});
}

QByteArray Block(const QString& name, bool on) {
    return Line({{"type", "block"}, {"name", name}, {"on", on}});
}

QByteArray Follow(const QString& name, bool on) {
    return Line({{"type", "follow"}, {"name", name}, {"on", on}});
}

QByteArray Report(const QString& name, const QString& reason, const QString& text) {
    QJsonObject report{{"type", "report"}, {"name", name}, {"reason", reason}};
    if (!text.isEmpty()) report["text"] = text;
    return Line(report);
}

QByteArray Relations() {
    return Line({{"type", "relations"}});
}

QByteArray Moderate(const TModerate& action) {
    QJsonObject moderate{{"type", "moderate"}, {"action", action.Action}};
    if (!action.Name.isEmpty()) moderate["name"] = action.Name;
    if (action.Minutes > 0) moderate["minutes"] = action.Minutes;
    if (action.Id > 0) moderate["id"] = double(action.Id);
    if (!action.Target.isEmpty()) moderate["target"] = action.Target;
    if (!action.Reason.isEmpty()) moderate["reason"] = action.Reason;
    return Line(moderate);
}

QByteArray Resign() {
    return Line({{"type", "resign"}});
}

QByteArray Rematch() {
    return Line({{"type", "rematch"}});
}

TDecoded Decode(std::string_view line) {
    TDecoded decoded;
    if (line.size() > Protocol::MaxRequestBytes) {
        decoded.Error = "a line longer than " + std::to_string(Protocol::MaxRequestBytes) + " bytes";
        return decoded;
    }
    QJsonParseError parse{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.Error = "not a JSON object";
        return decoded;
    }
    TJsonReader read(document.object());
    const QString type = read.Value("type").toString();
    const TRequestName* kind = nullptr;
    for (const TRequestName& entry : RequestNames)
        if (type == QLatin1String(entry.Name)) kind = &entry;
    if (!kind) {
        decoded.Error = "an unknown kind of message";
        return decoded;
    }
    decoded.Request.Kind = kind->Kind;
    Read(read, decoded.Request);
    decoded.Ok = read.Ok();
    if (!decoded.Ok)
        decoded.Error = "a " + type.toStdString() + " message with a missing or out-of-range field";
    return decoded;
}

} // namespace Requests
