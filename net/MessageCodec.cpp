#include "net/MessageCodec.h"

#include "protocol/PeerText.h"
#include "protocol/RulesJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>
#include <iterator>

namespace MessageCodec {
namespace {

using TKind = TNetMessage::TKind;

struct TKindName {
    TKind Kind;
    const char* Name;
};

constexpr TKindName KindNames[] = {
    {TKind::Hello, "hello"},
    {TKind::Welcome, "welcome"},
    {TKind::Refused, "refused"},
    {TKind::Deal, "deal"},
    {TKind::NewGameRequest, "new"},
    {TKind::Move, "move"},
    {TKind::Digest, "digest"},
    {TKind::Chat, "chat"},
    {TKind::Ping, "ping"},
    {TKind::Pong, "pong"},
    {TKind::Bye, "bye"},
};

// Field readers: each leaves a reason in Error and returns false when the
// field is missing, of another type or out of range.
class TReader {
public:
    explicit TReader(const QJsonObject& object) : Object(object) {}

    bool Integer(const char* name, int64_t low, int64_t high, int64_t& out) {
        const QJsonValue value = Object.value(QLatin1String(name));
        if (!value.isDouble()) return Fail(QStringLiteral("\"%1\" is missing or not a number").arg(name));
        const double number = value.toDouble();
        // Range first: a cast of a huge or non-finite double is undefined.
        if (!(number >= double(low) && number <= double(high)) || std::floor(number) != number)
            return Fail(
                QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(name).arg(low).arg(high));
        out = int64_t(number);
        return true;
    }

    bool Int32(const char* name, int32_t low, int32_t high, int32_t& out) {
        int64_t wide = 0;
        if (!Integer(name, low, high, wide)) return false;
        out = int32_t(wide);
        return true;
    }

    bool Text(const char* name, qsizetype maxCharacters, QString& out) {
        const QJsonValue value = Object.value(QLatin1String(name));
        if (!value.isString()) return Fail(QStringLiteral("\"%1\" is missing or not text").arg(name));
        out = value.toString();
        // Counted as a person counts them: an emoji is one character, not two.
        if (PeerText::Characters(out) > maxCharacters)
            return Fail(QStringLiteral("\"%1\" is longer than %2 characters").arg(name).arg(maxCharacters));
        return true;
    }

    bool Rules(TGameRules& rules) {
        const QJsonValue value = Object.value(QLatin1String("rules"));
        if (!value.isObject()) return Fail(QStringLiteral("\"rules\" is missing or not an object"));
        if (const RulesJson::TSwitch* bad = RulesJson::Read(value.toObject(), rules))
            return Fail(QStringLiteral("rule \"%1\" is missing or not true/false").arg(bad->Name));
        return true;
    }

    bool Fail(const QString& why) {
        Error = why;
        return false;
    }

    QString Error;

private:
    const QJsonObject& Object;
};

} // namespace

const char* KindName(TKind kind) {
    for (const TKindName& entry : KindNames)
        if (entry.Kind == kind) return entry.Name;
    return "?";
}

QByteArray Encode(const TNetMessage& message) {
    QJsonObject object;
    object["type"] = QLatin1String(KindName(message.Kind));
    switch (message.Kind) {
    case TKind::Hello:
        object["program"] = message.Program;
        object["version"] = message.Version;
        break;
    case TKind::Refused:
    case TKind::Bye:
        object["reason"] = message.Reason;
        break;
    case TKind::Deal:
        object["deal"] = message.DealId;
        object["seed"] = double(message.Seed);
        object["rules"] = RulesJson::Write(message.Rules);
        break;
    case TKind::Move:
        object["deal"] = message.DealId;
        object["slot"] = message.Slot;
        object["x"] = message.X;
        object["y"] = message.Y;
        break;
    case TKind::Digest:
        object["deal"] = message.DealId;
        object["placement"] = message.Placement;
        object["value"] = double(message.Value);
        break;
    case TKind::Chat:
        object["text"] = message.Text;
        break;
    case TKind::Welcome:
    case TKind::NewGameRequest:
    case TKind::Ping:
    case TKind::Pong:
        break;
    }
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    line.append('\n');
    return line;
}

TDecoded Decode(QByteArrayView line) {
    TDecoded result;
    if (line.size() > MaxLineBytes) {
        result.Error = QStringLiteral("a message is longer than %1 bytes").arg(MaxLineBytes);
        return result;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.Error = QStringLiteral("a message is not valid JSON (%1)").arg(parseError.errorString());
        return result;
    }
    if (!document.isObject()) {
        result.Error = QStringLiteral("a message is not a JSON object");
        return result;
    }
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QLatin1String("type"));
    if (!type.isString()) {
        result.Error = QStringLiteral("a message has no \"type\"");
        return result;
    }
    const QString typeName = type.toString();
    const TKindName* found = nullptr;
    for (const TKindName& entry : KindNames)
        if (typeName == QLatin1String(entry.Name)) found = &entry;
    if (!found) {
        result.Error = QStringLiteral("unknown message type \"%1\"").arg(PeerText::Readable(typeName, 40));
        return result;
    }

    TNetMessage& message = result.Message;
    message.Kind = found->Kind;
    TReader read(object);
    bool ok = true;
    switch (message.Kind) {
    case TKind::Hello:
        ok = read.Text("program", MaxProgramCharacters, message.Program) &&
             read.Int32("version", 0, MaxDealId, message.Version);
        break;
    case TKind::Refused:
    case TKind::Bye:
        ok = read.Text("reason", MaxReasonCharacters, message.Reason);
        break;
    case TKind::Deal:
        ok = read.Int32("deal", 1, MaxDealId, message.DealId) &&
             read.Integer("seed", 0, MaxSeed, message.Seed) && read.Rules(message.Rules);
        break;
    case TKind::Move:
        ok = read.Int32("deal", 1, MaxDealId, message.DealId) && read.Int32("slot", 0, 4, message.Slot) &&
             read.Int32("x", 0, 2, message.X) && read.Int32("y", 0, 2, message.Y);
        break;
    case TKind::Digest: {
        int64_t value = 0;
        ok = read.Int32("deal", 1, MaxDealId, message.DealId) &&
             read.Int32("placement", 1, MaxPlacement, message.Placement) &&
             read.Integer("value", 0, int64_t(UINT32_MAX), value);
        message.Value = uint32_t(value);
        break;
    }
    case TKind::Chat:
        ok = read.Text("text", MaxChatCharacters, message.Text);
        break;
    case TKind::Welcome:
    case TKind::NewGameRequest:
    case TKind::Ping:
    case TKind::Pong:
        break;
    }
    if (!ok) {
        result.Error = QStringLiteral("a \"%1\" message is malformed: %2").arg(found->Name, read.Error);
        result.Message = TNetMessage();
        return result;
    }
    result.Ok = true;
    return result;
}

} // namespace MessageCodec
