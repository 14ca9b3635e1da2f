#include "app/Settings.h"

#include "net/ServerCodec.h"
#include "rules/RuleBits.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

namespace {

// An INI file gives every value back as text; a bool must be spelled as one.
std::optional<bool> ReadBool(const QSettings& file, const QString& key) {
    const QVariant value = file.value(key);
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
}

std::optional<int32_t> ReadInt(const QSettings& file, const QString& key, int32_t low, int32_t high) {
    const QVariant value = file.value(key);
    if (value.typeId() != QMetaType::Int && value.typeId() != QMetaType::QString) return std::nullopt;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (!ok || number < low || number > high) return std::nullopt;
    return number;
}

// Text names keep the file readable and independent of the enums' numbers.
template <class Enum, size_t N>
std::optional<Enum> ReadName(const QSettings& file, const QString& key, const char* const (&names)[N]) {
    const QVariant value = file.value(key);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    for (size_t i = 0; i < N; ++i)
        if (names[i] && value.toString() == names[i]) return Enum(i);
    return std::nullopt;
}

// Indexed by the enums' values. Network play cannot be chosen yet, so it is
// not remembered either.
const char* const GameTypeNames[] = {"single-player", "hot-seat", nullptr};
const char* const LevelNames[] = {"easy", "normal", "perfect"};

// A window is reachable when the left end of its title bar is on a screen.
bool OnSomeScreen(const QPoint& position) {
    const QPoint grip = position + QPoint(32, 12);
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().contains(grip)) return true;
    return false;
}

std::optional<QPoint> ReadPosition(const QSettings& file) {
    const auto x = ReadInt(file, "Window/X", -100000, 100000);
    const auto y = ReadInt(file, "Window/Y", -100000, 100000);
    if (!x || !y || !OnSomeScreen({*x, *y})) return std::nullopt;
    return QPoint(*x, *y);
}

// A list of whole numbers written "0 1 4"; none when any is out of range or
// none is there, so that a broken line gives back the defaults.
std::optional<std::vector<int32_t>> ReadList(const QSettings& file, const QString& key, int32_t low,
                                             int32_t high, size_t most) {
    const QVariant value = file.value(key);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    std::vector<int32_t> list;
    for (const QString& entry : value.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = entry.toInt(&ok);
        if (!ok || number < low || number > high || list.size() >= most) return std::nullopt;
        if (std::find(list.begin(), list.end(), number) == list.end()) list.push_back(number);
    }
    if (list.empty()) return std::nullopt;
    return list;
}

QString ListText(const std::vector<int32_t>& list) {
    QStringList entries;
    for (int32_t entry : list) entries << QString::number(entry);
    return entries.join(QLatin1Char(' '));
}

// Text that cannot be a server address or a name is not kept.
void ReadOnline(const QSettings& file, TStoredSettings& settings) {
    const QVariant server = file.value("Online/Server"), name = file.value("Online/Name");
    if (server.typeId() == QMetaType::QString && server.toString().size() <= 300 &&
        !server.toString().contains(QLatin1Char(' ')))
        settings.OnlineServer = server.toString();
    if (name.typeId() == QMetaType::QString && ServerCodec::IsPlayerName(name.toString()))
        settings.OnlineName = name.toString();
    if (const auto rated = ReadBool(file, "Online/Rated")) settings.OnlineRated = *rated;
    if (const auto rules =
            ReadList(file, "Online/PlayNowRules", 0, RuleAllBits, ServerCodec::MaxPlayNowRules))
        settings.PlayNowRules = *rules;
    if (const auto seconds = ReadList(file, "Online/PlayNowSeconds", 0, 60, ServerCodec::MaxPlayNowSeconds);
        seconds && std::all_of(seconds->begin(), seconds->end(), [](int32_t s) { return s % 30 == 0; }))
        settings.PlayNowSeconds = *seconds;
}

void WriteOnline(QSettings& file, const TStoredSettings& settings) {
    if (!settings.OnlineServer.isEmpty()) file.setValue("Online/Server", settings.OnlineServer);
    if (!settings.OnlineName.isEmpty()) file.setValue("Online/Name", settings.OnlineName);
    if (settings.OnlineRated) file.setValue("Online/Rated", true);
    const TStoredSettings defaults;
    if (settings.PlayNowRules != defaults.PlayNowRules)
        file.setValue("Online/PlayNowRules", ListText(settings.PlayNowRules));
    if (settings.PlayNowSeconds != defaults.PlayNowSeconds)
        file.setValue("Online/PlayNowSeconds", ListText(settings.PlayNowSeconds));
}

} // namespace

TSettings::TSettings(QString file) : File(std::move(file)) {}

QString TSettings::DefaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Vantaro/Vantaro.conf";
}

TStoredSettings TSettings::Load() const {
    TStoredSettings settings;
    const QSettings file(File, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return settings;

    bool* const switches[] = {&settings.Rules.Same, &settings.Rules.SameWall, &settings.Rules.Plus,
                              &settings.Rules.Elemental, &settings.Rules.SuddenDeath};
    const char* const keys[] = {"Rules/Same", "Rules/SameWall", "Rules/Plus", "Rules/Elemental",
                                "Rules/SuddenDeath"};
    for (size_t i = 0; i < std::size(keys); ++i)
        if (const auto on = ReadBool(file, keys[i])) *switches[i] = *on;
    if (const auto type = ReadName<TGameType>(file, "Game/Type", GameTypeNames)) settings.GameType = *type;
    if (const auto level = ReadName<TLevel>(file, "Game/Level", LevelNames)) settings.Level = *level;
    if (const auto zoom = ReadInt(file, "View/Zoom", 1, MaxZoom)) settings.Zoom = *zoom;
    if (const auto on = ReadBool(file, "View/AnnounceTurns")) settings.AnnounceTurns = *on;
    if (const auto on = ReadBool(file, "View/ShowFrameRate")) settings.ShowFrameRate = *on;
    if (const auto sound = ReadBool(file, "View/Sound")) settings.Sound = *sound;
    settings.Position = ReadPosition(file);
    ReadOnline(file, settings);
    return settings;
}

void TSettings::Save(const TStoredSettings& settings) const {
    // A file QSettings cannot parse would be kept as it is; start it afresh.
    if (QSettings(File, QSettings::IniFormat).status() == QSettings::FormatError) QFile::remove(File);
    QSettings file(File, QSettings::IniFormat);
    file.clear();
    file.setValue("Rules/Same", settings.Rules.Same);
    file.setValue("Rules/SameWall", settings.Rules.SameWall);
    file.setValue("Rules/Plus", settings.Rules.Plus);
    file.setValue("Rules/Elemental", settings.Rules.Elemental);
    file.setValue("Rules/SuddenDeath", settings.Rules.SuddenDeath);
    const size_t type = size_t(settings.GameType), level = size_t(settings.Level);
    if (type < std::size(GameTypeNames) && GameTypeNames[type])
        file.setValue("Game/Type", GameTypeNames[type]);
    if (level < std::size(LevelNames)) file.setValue("Game/Level", LevelNames[level]);
    file.setValue("View/Zoom", settings.Zoom);
    file.setValue("View/AnnounceTurns", settings.AnnounceTurns);
    file.setValue("View/ShowFrameRate", settings.ShowFrameRate);
    file.setValue("View/Sound", settings.Sound);
    if (settings.Position) {
        file.setValue("Window/X", settings.Position->x());
        file.setValue("Window/Y", settings.Position->y());
    }
    WriteOnline(file, settings);
    file.sync();
}
