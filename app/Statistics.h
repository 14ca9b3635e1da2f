#pragma once

#include "app/GameType.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

// How a match ended for the person whose results are kept.
enum class TMatchResult : int32_t { Loss, Draw, Win };

// The results of one game type at one level.
struct TTally {
    int32_t Played = 0;
    int32_t Won = 0;
    int32_t Lost = 0;
    int32_t Drawn = 0;
    int32_t Streak = 0;
    int32_t BestStreak = 0;
    // Of the wins, those in which a placement was taken back or a hint asked for.
    int32_t WonWithUndo = 0;
    int32_t WonWithHint = 0;
    // The latest results, oldest first, one letter each: W, L or D.
    std::string Recent;

    bool operator==(const TTally&) const = default;
};

// The results of every game type and level, kept in a JSON file beside the
// settings. The file is the player's own but may have been damaged or edited:
// anything in it that does not add up makes the whole file count as
// unreadable, which starts empty statistics with one line in the log. The
// settings file is never touched.
class TStatistics {
public:
    using TLogSink = std::function<void(const QString&)>;
    static constexpr size_t RecentLength = 50;
    static constexpr int64_t MaxFileBytes = 256 * 1024;

    // An empty file name keeps the statistics in memory only.
    TStatistics(QString file, TLogSink log);

    // Statistics.json in the folder of the settings file; empty for none.
    static QString FileBeside(const QString& settingsFile);
    // "hot-seat", "network", "single-player/easy" ...; the level counts only
    // against the computer.
    static QString ModeKey(TGameType type, TLevel level);

    void Load();
    void Record(TGameType type, TLevel level, TMatchResult result, bool undoUsed, bool hintUsed);
    void Reset();
    const TTally& Tally(TGameType type, TLevel level) const;

    const QString File;

private:
    void Save() const;

    TLogSink Log;
    std::map<QString, TTally> Tallies;
};
