#include "protocol/JsonReader.h"

#include "protocol/PeerText.h"
#include "protocol/PlayerName.h"
#include "protocol/RulesJson.h"

int64_t TJsonReader::IntegerOf(const QJsonValue& field, int64_t low, int64_t high) {
    if (!field.isDouble()) return Fail(int64_t(0));
    const double number = field.toDouble();
    // The range first: converting a number beyond int64_t is undefined.
    if (!(number >= double(low) && number <= double(high)) || number != double(int64_t(number)))
        return Fail(int64_t(0));
    return int64_t(number);
}

bool TJsonReader::BoolOf(const QJsonValue& field) {
    if (!field.isBool()) return Fail(false);
    return field.toBool();
}

QString TJsonReader::NameOf(const QJsonValue& field, bool mayBeEmpty) {
    if (!field.isString()) return Fail(QString());
    const QString name = field.toString();
    if (mayBeEmpty && name.isEmpty()) return name;
    if (!IsPlayerName(name)) return Fail(QString());
    return name;
}

QString TJsonReader::TextOf(const QJsonValue& field, qsizetype maxCharacters) {
    if (!field.isString()) return Fail(QString());
    return PeerText::Readable(field.toString(), maxCharacters);
}

QString TJsonReader::PlainText(const char* key, qsizetype maxCharacters) {
    const QJsonValue field = Value(key);
    if (!field.isString()) return Fail(QString());
    const QString text = field.toString();
    if (!PeerText::IsPlain(text, maxCharacters)) return Fail(text);
    return text;
}

QJsonArray TJsonReader::ArrayOf(const QJsonValue& field, size_t maxEntries) {
    if (!field.isArray() || size_t(field.toArray().size()) > maxEntries) return Fail(QJsonArray());
    return field.toArray();
}

QJsonArray TJsonReader::TupleOf(const QJsonValue& field, qsizetype size) {
    const QJsonArray array = ArrayOf(field, size_t(size));
    if (array.size() != size) return Fail(QJsonArray());
    return array;
}

QJsonObject TJsonReader::ObjectOf(const QJsonValue& field) {
    if (!field.isObject()) return Fail(QJsonObject());
    return field.toObject();
}

TGameRules TJsonReader::RulesOf(const QJsonValue& field) {
    TGameRules rules;
    if (RulesJson::Read(ObjectOf(field), rules)) Good = false;
    return rules;
}

int32_t TJsonReader::MoveSecondsOf(const QJsonValue& field) {
    const int32_t seconds = int32_t(IntegerOf(field, 0, 60));
    if (seconds != 0 && seconds != 30 && seconds != 60) return Fail(0);
    return seconds;
}
