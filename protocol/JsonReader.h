#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>

struct TGameRules;

// Reads the fields of a JSON object that anyone may have written. Reading
// fails softly: the first field missing, of the wrong type or out of range
// marks the whole object refused (Ok false), and later reads just return
// defaults, so that a decoder reads straight through and asks once at the end.
class TJsonReader {
public:
    explicit TJsonReader(QJsonObject object) : Object(std::move(object)) {}

    bool Ok() const { return Good; }
    const QJsonObject& Fields() const { return Object; }
    bool Has(const char* key) const { return Object.contains(QLatin1String(key)); }
    QJsonValue Value(const char* key) const { return Object.value(QLatin1String(key)); }

    // A whole number from low to high.
    int64_t Integer(const char* key, int64_t low, int64_t high) { return IntegerOf(Value(key), low, high); }
    int64_t IntegerOf(const QJsonValue& field, int64_t low, int64_t high);
    bool Bool(const char* key) { return BoolOf(Value(key)); }
    bool BoolOf(const QJsonValue& field);
    // A switch a peer may leave out: absent it is false, present it is checked.
    bool OptionalBool(const char* key) { return Has(key) ? Bool(key) : false; }
    // A player's name; with mayBeEmpty, "" too (an open seat).
    QString NameOf(const QJsonValue& field, bool mayBeEmpty = false);
    QString Name(const char* key) { return NameOf(Value(key)); }
    // Text for a person to read: any string, made plain and cut to its limit.
    QString TextOf(const QJsonValue& field, qsizetype maxCharacters);
    QString Text(const char* key, qsizetype maxCharacters) { return TextOf(Value(key), maxCharacters); }
    // Text taken only as it came: refused unless plain already, not empty and
    // within its limit.
    QString PlainText(const char* key, qsizetype maxCharacters);
    QJsonArray ArrayOf(const QJsonValue& field, size_t maxEntries);
    // An array of exactly `size` entries.
    QJsonArray TupleOf(const QJsonValue& field, qsizetype size);
    QJsonObject ObjectOf(const QJsonValue& field);
    TGameRules RulesOf(const QJsonValue& field);
    // Seconds per move a table may give: 30, 60, or 0 for no clock.
    int32_t MoveSecondsOf(const QJsonValue& field);

    // For a decoder's own checks, and to take over what a nested reader found.
    void Refuse() { Good = false; }
    void Take(const TJsonReader& inner) { Good = Good && inner.Good; }

private:
    template <class T> T Fail(T value) {
        Good = false;
        return value;
    }

    QJsonObject Object;
    bool Good = true;
};
