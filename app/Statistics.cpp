#include "app/Statistics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <optional>

namespace {

constexpr int32_t FileVersion = 1;
// Far more matches than anyone plays, and small enough that no sum overflows.
constexpr int32_t MaxCount = 1'000'000'000;

struct TField {
    const char* Name;
    int32_t TTally::*Value;
};
const TField Fields[] = {{"played", &TTally::Played},
                         {"won", &TTally::Won},
                         {"lost", &TTally::Lost},
                         {"drawn", &TTally::Drawn},
                         {"streak", &TTally::Streak},
                         {"best_streak", &TTally::BestStreak},
                         {"won_with_undo", &TTally::WonWithUndo},
                         {"won_with_hint", &TTally::WonWithHint}};

const TGameType AllTypes[] = {TGameType::SinglePlayer, TGameType::HotSeat, TGameType::Network};
const TLevel AllLevels[] = {TLevel::Easy, TLevel::Normal, TLevel::Perfect};

bool Consistent(const TTally& tally) {
    if (tally.Won + tally.Lost + tally.Drawn != tally.Played) return false;
    if (tally.Streak > tally.BestStreak || tally.BestStreak > tally.Won) return false;
    if (tally.WonWithUndo > tally.Won || tally.WonWithHint > tally.Won) return false;
    if (tally.Recent.size() > TStatistics::RecentLength || tally.Recent.size() > size_t(tally.Played))
        return false;
    return tally.Recent.find_first_not_of("WLD") == std::string::npos;
}

std::optional<TTally> TallyFrom(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    TTally tally;
    for (const TField& field : Fields) {
        const QJsonValue number = object.value(QLatin1String(field.Name));
        const double count = number.toDouble(-1);
        if (!number.isDouble() || count < 0 || count > MaxCount || count != int32_t(count))
            return std::nullopt;
        tally.*field.Value = int32_t(count);
    }
    const QJsonValue recent = object.value(QLatin1String("recent"));
    if (!recent.isString()) return std::nullopt;
    tally.Recent = recent.toString().toStdString();
    if (!Consistent(tally)) return std::nullopt;
    return tally;
}

// The reason the file cannot be used, or nothing with the tallies filled in.
std::optional<QString> Parse(const QByteArray& bytes, std::map<QString, TTally>& tallies) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) return error.errorString();
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QLatin1String("version")).toInt() != FileVersion)
        return QStringLiteral("not a statistics file of this version");
    const QJsonObject modes = root.value(QLatin1String("modes")).toObject();
    for (auto it = modes.begin(); it != modes.end(); ++it) {
        bool known = false;
        for (TGameType type : AllTypes)
            for (TLevel level : AllLevels) known = known || it.key() == TStatistics::ModeKey(type, level);
        const std::optional<TTally> tally = TallyFrom(it.value());
        if (!known || !tally)
            return QStringLiteral("the entry \"%1\" does not add up").arg(it.key().left(40));
        tallies[it.key()] = *tally;
    }
    return std::nullopt;
}

} // namespace

TStatistics::TStatistics(QString file, TLogSink log) : File(std::move(file)), Log(std::move(log)) {}

QString TStatistics::FileBeside(const QString& settingsFile) {
    if (settingsFile.isEmpty()) return {};
    return QFileInfo(settingsFile).dir().filePath(QStringLiteral("Statistics.json"));
}

QString TStatistics::ModeKey(TGameType type, TLevel level) {
    switch (type) {
    case TGameType::HotSeat:
        return QStringLiteral("hot-seat");
    case TGameType::Network:
        return QStringLiteral("network");
    case TGameType::SinglePlayer:
        break;
    }
    const char* const levels[] = {"easy", "normal", "perfect"};
    return QStringLiteral("single-player/") + QLatin1String(levels[size_t(level) % 3]);
}

void TStatistics::Load() {
    Tallies.clear();
    if (File.isEmpty() || !QFileInfo::exists(File)) return;
    QFile file(File);
    std::optional<QString> failure;
    if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString();
    } else if (file.size() > MaxFileBytes) {
        failure = QStringLiteral("larger than %1 KiB").arg(MaxFileBytes / 1024);
    } else {
        failure = Parse(file.read(MaxFileBytes), Tallies);
    }
    if (!failure) return;
    Tallies.clear();
    if (Log)
        Log(QStringLiteral("Statistics: %1 could not be read (%2); starting afresh.").arg(File, *failure));
}

void TStatistics::Record(TGameType type, TLevel level, TMatchResult result, bool undoUsed, bool hintUsed) {
    TTally& tally = Tallies[ModeKey(type, level)];
    if (tally.Played >= MaxCount) return;
    ++tally.Played;
    switch (result) {
    case TMatchResult::Win:
        ++tally.Won;
        tally.BestStreak = std::max(tally.BestStreak, ++tally.Streak);
        if (undoUsed) ++tally.WonWithUndo;
        if (hintUsed) ++tally.WonWithHint;
        tally.Recent += 'W';
        break;
    case TMatchResult::Loss:
        ++tally.Lost;
        tally.Streak = 0;
        tally.Recent += 'L';
        break;
    case TMatchResult::Draw:
        ++tally.Drawn;
        tally.Streak = 0;
        tally.Recent += 'D';
        break;
    }
    if (tally.Recent.size() > RecentLength) tally.Recent.erase(0, tally.Recent.size() - RecentLength);
    Save();
}

void TStatistics::Reset() {
    Tallies.clear();
    Save();
}

const TTally& TStatistics::Tally(TGameType type, TLevel level) const {
    static const TTally none;
    const auto found = Tallies.find(ModeKey(type, level));
    return found == Tallies.end() ? none : found->second;
}

void TStatistics::Save() const {
    if (File.isEmpty()) return;
    QJsonObject modes;
    for (const auto& [key, tally] : Tallies) {
        QJsonObject object;
        for (const TField& field : Fields) object.insert(QLatin1String(field.Name), tally.*field.Value);
        object.insert(QLatin1String("recent"), QString::fromStdString(tally.Recent));
        modes.insert(key, object);
    }
    QJsonObject root;
    root.insert(QLatin1String("version"), FileVersion);
    root.insert(QLatin1String("modes"), modes);
    // Written aside and renamed, so a crash mid-write leaves the old file whole.
    QDir().mkpath(QFileInfo(File).absolutePath());
    QSaveFile file(File);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit()) {
        if (Log) Log(QStringLiteral("Statistics: could not write %1 (%2).").arg(File, file.errorString()));
    }
}
