#include "server/LobbyCodec.h"

#include "server/StoredMatch.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

using TKind = TLobbyRequest::TKind;

struct TKindName {
    const char* Name;
    TKind Kind;
};
constexpr TKindName Kinds[] = {
    {"hello", TKind::Hello}, {"ping", TKind::Ping}, {"login", TKind::Login},
    {"create", TKind::CreateTable}, {"sit", TKind::Sit},
    {"watch", TKind::Watch}, {"leave", TKind::Leave},        {"play_now", TKind::PlayNow},
    {"chat", TKind::Chat},   {"move", TKind::Move},  {"leaderboard", TKind::Leaderboard},
    {"profile", TKind::Profile}, {"record", TKind::Record}, {"state", TKind::State},
};

bool Integer(const QJsonObject& object, const char* key, int64_t low, int64_t high, int64_t& value)
{
    QJsonValue field = object.value(key);
    if (!field.isDouble())
        return false;
    double number = field.toDouble();
    // The range first: converting a number beyond int64_t is undefined.
    if (!(number >= double(low) && number <= double(high)) || number != double(int64_t(number)))
        return false;
    value = int64_t(number);
    return true;
}

bool Rules(const QJsonObject& object, TLobbyRequest& request)
{
    QJsonValue field = object.value("rules");
    if (!field.isObject())
        return false;
    QJsonObject rules = field.toObject();
    const std::pair<const char*, int32_t> bits[] = {{"same", RuleSame},
                                                    {"same_wall", RuleSameWall},
                                                    {"plus", RulePlus},
                                                    {"elemental", RuleElemental},
                                                    {"sudden_death", RuleSuddenDeath}};
    request.Rules = 0;
    for (auto [name, bit] : bits) {
        QJsonValue value = rules.value(name);
        if (!value.isBool())
            return false;
        request.Rules |= value.toBool() ? bit : 0;
    }
    int64_t seconds = 0;
    if (!Integer(object, "seconds", 0, 60, seconds) || (seconds != 0 && seconds != 30 && seconds != 60))
        return false;
    request.MoveSeconds = int32_t(seconds);
    return true;
}

// Plain text for people: no control characters (but none of the line and
// paragraph separators or direction overrides either), at most the limit in
// code points.
bool PlainText(const QString& text, size_t maxCharacters)
{
    size_t characters = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t c = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            QChar high = *it;
            ++it;
            c = QChar::surrogateToUcs4(high, *it);
        } else if (it->isSurrogate())
            return false;
        bool control = c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029 ||
                       (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e ||
                       c == 0x200f || c == 0x061c || c == 0xfeff;
        if (control || ++characters > maxCharacters)
            return false;
    }
    return characters > 0;
}

} // namespace

namespace LobbyCodec {

TDecoded Decode(std::string_view line)
{
    TDecoded decoded;
    if (line.size() > MaxLineBytes) {
        decoded.Error = "a line longer than 4096 bytes";
        return decoded;
    }
    QJsonParseError parse{};
    QJsonDocument document = QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.Error = "not a JSON object";
        return decoded;
    }
    QJsonObject object = document.object();
    QString type = object.value("type").toString();
    const TKindName* kind = nullptr;
    for (const TKindName& entry : Kinds)
        if (type == QLatin1String(entry.Name))
            kind = &entry;
    if (kind == nullptr) {
        decoded.Error = "an unknown kind of message";
        return decoded;
    }
    TLobbyRequest& request = decoded.Request;
    request.Kind = kind->Kind;
    int64_t value = 0;
    bool ok = true;
    switch (request.Kind) {
    case TKind::Hello: {
        QString program = object.value("program").toString();
        ok = !program.isEmpty() && program.size() <= 40 && Integer(object, "version", 0, 1 << 30, value);
        request.Program = program.toStdString();
        request.Version = int32_t(value);
        break;
    }
    case TKind::Login: {
        QString name = object.value("name").toString();
        request.Name = name.toStdString();
        ok = IsValidPlayerName(request.Name);
        break;
    }
    case TKind::CreateTable:
        ok = Rules(object, request);
        if (ok && object.contains("rated")) {
            ok = object.value("rated").isBool();
            request.Rated = object.value("rated").toBool();
        }
        break;
    case TKind::PlayNow:
        ok = Rules(object, request);
        request.Rated = true;
        break;
    case TKind::Leaderboard:
        break;
    case TKind::Profile: {
        // A name that could never be bound is refused here, so that it never
        // reaches the storage.
        QString name = object.value("name").toString();
        request.Name = name.toStdString();
        ok = IsValidPlayerName(request.Name);
        break;
    }
    case TKind::Record:
        ok = Integer(object, "match", 1, int64_t(1) << 53, request.Match);
        break;
    case TKind::Sit:
        ok = Integer(object, "table", 1, int64_t(1) << 53, request.Table);
        if (ok && object.contains("seat")) {
            ok = Integer(object, "seat", 0, 1, value);
            request.Seat = int32_t(value);
        }
        break;
    case TKind::Watch:
        ok = Integer(object, "table", 1, int64_t(1) << 53, request.Table);
        break;
    case TKind::Ping:
    case TKind::Leave:
    case TKind::State:
        break;
    case TKind::Chat: {
        QJsonValue text = object.value("text");
        ok = text.isString() && PlainText(text.toString(), MaxChatCharacters);
        request.Text = text.toString().toStdString();
        break;
    }
    case TKind::Move:
        ok = Integer(object, "slot", 0, 4, value);
        request.Slot = int32_t(value);
        ok = ok && Integer(object, "x", 0, 2, value);
        request.X = int32_t(value);
        ok = ok && Integer(object, "y", 0, 2, value);
        request.Y = int32_t(value);
        break;
    }
    decoded.Ok = ok;
    if (!ok)
        decoded.Error = "a " + type.toStdString() + " message with a missing or out-of-range field";
    return decoded;
}

} // namespace LobbyCodec
