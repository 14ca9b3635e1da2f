#include "records/RecordJson.h"

#include "records/RecordCheck.h"

#include "protocol/RulesJson.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <iterator>

namespace {

const char* const Format = "vantaro-match";
const char* const ModeNames[] = {"hot-seat", "single-player", "network", "server"};
const char* const LevelNames[] = {"easy", "normal", "perfect"};
const char* const EndingNames[] = {"finished", "time", "forfeit", "abandoned", "left"};

struct TRefusal {
    std::string Reason;
};

QJsonValue Field(const QJsonObject& object, const char* name, const std::string& where = std::string()) {
    if (!object.contains(QLatin1String(name))) throw TRefusal{"missing field " + where + name};
    return object.value(QLatin1String(name));
}

int64_t Number(const QJsonValue& value, int64_t low, int64_t high, const std::string& what) {
    if (!value.isDouble()) throw TRefusal{what + " must be a whole number"};
    const double number = value.toDouble();
    if (std::floor(number) != number) throw TRefusal{what + " must be a whole number"};
    if (number < double(low) || number > double(high))
        throw TRefusal{what + " is outside " + std::to_string(low) + " to " + std::to_string(high)};
    return int64_t(number);
}

template <size_t N>
int32_t Named(const QJsonValue& value, const char* const (&names)[N], const std::string& what) {
    for (size_t i = 0; i < N; ++i)
        if (value.isString() && value.toString() == QLatin1String(names[i])) return int32_t(i);
    std::string allowed;
    for (size_t i = 0; i < N; ++i) allowed += (i ? ", " : "") + std::string(names[i]);
    throw TRefusal{what + " must be one of " + allowed};
}

bool Switch(const QJsonValue& value, const std::string& what) {
    if (!value.isBool()) throw TRefusal{what + " must be true or false"};
    return value.toBool();
}

QJsonArray Array(const QJsonValue& value, qsizetype size, const std::string& what) {
    if (!value.isArray()) throw TRefusal{what + " must be an array"};
    const QJsonArray array = value.toArray();
    if (size >= 0 && array.size() != size)
        throw TRefusal{what + " must hold " + std::to_string(size) + " values"};
    return array;
}

QString Timestamp(int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate);
}

int64_t TimeFrom(const QJsonValue& value, const std::string& what) {
    const QString text = value.toString();
    // UTC only, to the second: 2026-12-08T15:06:31Z.
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!value.isString() || text.size() != 20 || !text.endsWith(QLatin1Char('Z')) || !time.isValid())
        throw TRefusal{what + " must be a UTC time such as 2026-12-08T15:06:31Z"};
    return time.toSecsSinceEpoch();
}

TMatchRecord RecordFrom(QByteArrayView bytes) {
    if (bytes.size() > TMatchRecord::MaxBytes)
        throw TRefusal{"larger than " + std::to_string(TMatchRecord::MaxBytes / 1024) + " KiB"};
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &parse);
    if (parse.error != QJsonParseError::NoError)
        throw TRefusal{"not JSON: " + parse.errorString().toStdString() + " at offset " +
                       std::to_string(parse.offset)};
    if (!document.isObject()) throw TRefusal{"not a match record: the JSON is not an object"};
    const QJsonObject root = document.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(Format))
        throw TRefusal{"not a match record: format is not \"vantaro-match\""};
    const QJsonValue version = Field(root, "version");
    if (!version.isDouble()) throw TRefusal{"version must be a number"};
    if (version.toDouble() != TMatchRecord::Version)
        throw TRefusal{"record version " + QString::number(version.toDouble()).toStdString() +
                       "; this program reads version " + std::to_string(TMatchRecord::Version)};

    TMatchRecord record;
    const QJsonArray players = Array(Field(root, "players"), 2, "players");
    for (int32_t player = 0; player < 2; ++player) {
        if (!players[player].isString()) throw TRefusal{"players must be two names"};
        record.Players[player] = players[player].toString().toStdString();
    }
    record.Mode = TMatchMode(Named(Field(root, "mode"), ModeNames, "mode"));
    if (record.Mode == TMatchMode::SinglePlayer)
        record.Level = TLevel(Named(Field(root, "level"), LevelNames, "level"));
    record.Rated = Switch(Field(root, "rated"), "rated");

    const QJsonValue rulesValue = Field(root, "rules");
    if (!rulesValue.isObject()) throw TRefusal{"rules must be an object"};
    const QJsonObject rules = rulesValue.toObject();
    if (const RulesJson::TSwitch* bad = RulesJson::Read(rules, record.Rules)) {
        const std::string name = std::string("rules.") + bad->Name;
        throw TRefusal{rules.contains(QLatin1String(bad->Name)) ? name + " must be true or false"
                                                                : "missing field " + name};
    }

    record.Seed = Number(Field(root, "seed"), 0, TMatchRecord::MaxSeed, "seed");
    record.FirstPlayer = int32_t(Number(Field(root, "first_player"), 0, 1, "first_player"));

    const QJsonArray moves = Array(Field(root, "moves"), -1, "moves");
    if (moves.size() > TMatchRecord::MaxMoves)
        throw TRefusal{"more than " + std::to_string(TMatchRecord::MaxMoves) + " moves"};
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const std::string what = "move " + std::to_string(i + 1);
        const QJsonArray move = Array(moves[i], 3, what);
        record.Moves.push_back({int32_t(Number(move[0], 0, 4, what + " slot")),
                                int32_t(Number(move[1], 0, 2, what + " column")),
                                int32_t(Number(move[2], 0, 2, what + " row"))});
    }

    const QJsonArray redeals = Array(Field(root, "redeal_seeds"), -1, "redeal_seeds");
    // A replay for every deal but the first, and one dealt after the last card.
    if (redeals.size() > TMatchRecord::MaxDeals)
        throw TRefusal{"more than " + std::to_string(TMatchRecord::MaxDeals) + " Sudden Death seeds"};
    for (const QJsonValue& seed : redeals)
        record.RedealSeeds.push_back(Number(seed, 0, TMatchRecord::MaxSeed, "a Sudden Death seed"));

    const QJsonValue resultValue = Field(root, "result");
    if (!resultValue.isObject()) throw TRefusal{"result must be an object"};
    const QJsonObject result = resultValue.toObject();
    record.Winner = int32_t(Number(Field(result, "winner", "result."), -1, 1, "result.winner"));
    const QJsonArray score = Array(Field(result, "score", "result."), 2, "result.score");
    for (int32_t player = 0; player < 2; ++player)
        record.Score[player] = int32_t(Number(score[player], 0, 10, "result.score"));
    record.Ending = TMatchEnding(Named(Field(root, "ended"), EndingNames, "ended"));
    record.StartTime = TimeFrom(Field(root, "start"), "start");
    record.EndTime = TimeFrom(Field(root, "end"), "end");

    const std::string problem = RecordProblem(record);
    if (!problem.empty()) throw TRefusal{problem};
    return record;
}

} // namespace

QByteArray WriteRecordJson(const TMatchRecord& record) {
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(Format));
    root.insert(QStringLiteral("version"), TMatchRecord::Version);
    root.insert(QStringLiteral("players"), QJsonArray{QString::fromStdString(record.Players[0]),
                                                      QString::fromStdString(record.Players[1])});
    root.insert(QStringLiteral("mode"), QLatin1String(ModeNames[int32_t(record.Mode)]));
    if (record.Mode == TMatchMode::SinglePlayer)
        root.insert(QStringLiteral("level"), QLatin1String(LevelNames[int32_t(record.Level)]));
    root.insert(QStringLiteral("rated"), record.Rated);
    root.insert(QStringLiteral("rules"), RulesJson::Write(record.Rules));
    root.insert(QStringLiteral("seed"), qint64(record.Seed));
    QJsonArray redeals;
    for (int64_t seed : record.RedealSeeds) redeals.append(qint64(seed));
    root.insert(QStringLiteral("redeal_seeds"), redeals);
    root.insert(QStringLiteral("first_player"), record.FirstPlayer);
    QJsonArray moves;
    for (const TPlacementMove& move : record.Moves) moves.append(QJsonArray{move.Slot, move.X, move.Y});
    root.insert(QStringLiteral("moves"), moves);
    QJsonObject result;
    result.insert(QStringLiteral("winner"), record.Winner);
    result.insert(QStringLiteral("score"), QJsonArray{record.Score[0], record.Score[1]});
    root.insert(QStringLiteral("result"), result);
    root.insert(QStringLiteral("ended"), QLatin1String(EndingNames[int32_t(record.Ending)]));
    root.insert(QStringLiteral("start"), Timestamp(record.StartTime));
    root.insert(QStringLiteral("end"), Timestamp(record.EndTime));
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

TRecordReading ReadRecordJson(QByteArrayView bytes, const std::string& source) {
    TRecordReading reading;
    try {
        reading.Record = RecordFrom(bytes);
    } catch (const TRefusal& refusal) {
        reading.Problem = source + ": " + refusal.Reason;
    }
    return reading;
}

TRecordReading ReadRecordFile(const QString& path) {
    const std::string name = path.toStdString();
    if (QFileInfo(path).isDir()) return {std::nullopt, name + ": a folder, not a match record"};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, name + ": cannot be read (" + file.errorString().toStdString() + ")"};
    // A file that never ends (a device, a pipe) is cut off past the bound.
    const QByteArray bytes = file.read(TMatchRecord::MaxBytes + 1);
    return ReadRecordJson(bytes, name);
}
