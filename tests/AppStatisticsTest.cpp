// Statistics: the counts against a model recomputed from the whole list of
// results, their file read back, damaged files of every kind, and a match
// played through the windows.
#include "AppWindowsFixture.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/RulesForm.h"
#include "app/Settings.h"
#include "app/Statistics.h"
#include "app/StatisticsForm.h"
#include "game/KeyCodes.h"

#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

struct TEntry {
    TGameType Type;
    TLevel Level;
    TMatchResult Result;
    bool Undo;
    bool Hint;
};

// What the statistics of one mode must be after these results, worked out
// from the list itself rather than step by step.
TTally Expected(const std::vector<TEntry>& entries, TGameType type, TLevel level) {
    TTally tally;
    int32_t run = 0;
    for (const TEntry& entry : entries) {
        if (TStatistics::ModeKey(entry.Type, entry.Level) != TStatistics::ModeKey(type, level)) continue;
        ++tally.Played;
        const bool won = entry.Result == TMatchResult::Win;
        tally.Won += won;
        tally.Lost += entry.Result == TMatchResult::Loss;
        tally.Drawn += entry.Result == TMatchResult::Draw;
        tally.WonWithUndo += won && entry.Undo;
        tally.WonWithHint += won && entry.Hint;
        run = won ? run + 1 : 0;
        tally.BestStreak = std::max(tally.BestStreak, run);
        tally.Recent += "LDW"[int(entry.Result)];
    }
    tally.Streak = run;
    if (tally.Recent.size() > 50) tally.Recent = tally.Recent.substr(tally.Recent.size() - 50);
    return tally;
}

const TGameType Types[] = {TGameType::SinglePlayer, TGameType::HotSeat, TGameType::Network};
const TLevel Levels[] = {TLevel::Easy, TLevel::Normal, TLevel::Perfect};

TEST(AppStatisticsTest, CountsMatchTheResultsAndSurviveTheFile) {
    QTemporaryDir folder;
    const QString file = TStatistics::FileBeside(folder.filePath("Vantaro.conf"));
    std::vector<QString> log;
    TStatistics statistics(file, [&log](const QString& line) { log.push_back(line); });
    statistics.Load();
    std::mt19937 random(15);
    std::vector<TEntry> entries;
    for (int i = 0; i < 240; ++i) {
        // Wins come in runs often enough for streaks longer than one.
        const TEntry entry{Types[random() % 3], Levels[random() % 3],
                           TMatchResult(random() % 5 ? 2 : random() % 2), random() % 4 == 0,
                           random() % 3 == 0};
        entries.push_back(entry);
        statistics.Record(entry.Type, entry.Level, entry.Result, entry.Undo, entry.Hint);
    }
    TStatistics reloaded(file, [&log](const QString& line) { log.push_back(line); });
    reloaded.Load();
    for (TGameType type : Types)
        for (TLevel level : Levels) {
            const TTally expected = Expected(entries, type, level);
            EXPECT_EQ(statistics.Tally(type, level), expected)
                << TStatistics::ModeKey(type, level).toStdString();
            EXPECT_EQ(reloaded.Tally(type, level), expected)
                << TStatistics::ModeKey(type, level).toStdString();
        }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(statistics.Tally(TGameType::Network, TLevel::Easy),
              statistics.Tally(TGameType::Network, TLevel::Perfect))
        << "the level counts only against the computer";

    reloaded.Reset();
    TStatistics afterReset(file, {});
    afterReset.Load();
    EXPECT_EQ(afterReset.Tally(TGameType::HotSeat, TLevel::Normal), TTally{});
}

TEST(AppStatisticsTest, AnUnreadableFileStartsEmptyWithOneLineAndLeavesTheSettingsAlone) {
    const QByteArray good =
        R"({"version":1,"modes":{"hot-seat":{"played":3,"won":2,"lost":1,"drawn":0,"streak":1,"best_streak":1,)"
        R"("won_with_undo":0,"won_with_hint":1,"recent":"WLW"}}})";
    const struct {
        const char* What;
        QByteArray Bytes;
    } damaged[] = {
        {"not JSON", "{\"version\":1,"},
        {"an array", "[1,2,3]"},
        {"another version", QByteArray(good).replace("\"version\":1", "\"version\":2")},
        {"a negative count", QByteArray(good).replace("\"lost\":1", "\"lost\":-1")},
        {"a fraction", QByteArray(good).replace("\"lost\":1", "\"lost\":1.5")},
        {"a count as text", QByteArray(good).replace("\"lost\":1", "\"lost\":\"1\"")},
        {"counts that do not add up", QByteArray(good).replace("\"played\":3", "\"played\":4")},
        {"a streak beyond the best", QByteArray(good).replace("\"streak\":1", "\"streak\":2")},
        {"hinted wins beyond the wins",
         QByteArray(good).replace("\"won_with_hint\":1", "\"won_with_hint\":3")},
        {"a strange result letter", QByteArray(good).replace("WLW", "WXW")},
        {"more results than matches", QByteArray(good).replace("WLW", "WLWW")},
        {"an unknown game type", QByteArray(good).replace("hot-seat", "chess")},
        {"a missing field", QByteArray(good).replace("\"drawn\":0,", "")},
        {"a file too large", good + QByteArray(TStatistics::MaxFileBytes, ' ')},
    };
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath("Vantaro.conf");
    TStoredSettings stored;
    stored.Zoom = 2;
    stored.Rules.Plus = true;
    TSettings(settingsFile).Save(stored);
    QFile settings(settingsFile);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray settingsBytes = settings.readAll();
    settings.close();
    const QString file = TStatistics::FileBeside(settingsFile);

    auto write = [&file](const QByteArray& bytes) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    };
    write(good);
    TStatistics control(file, {});
    control.Load();
    ASSERT_EQ(control.Tally(TGameType::HotSeat, TLevel::Easy).Played, 3) << "the undamaged file is read";

    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        write(bytes);
        std::vector<QString> log;
        TStatistics statistics(file, [&log](const QString& line) { log.push_back(line); });
        statistics.Load();
        EXPECT_EQ(log.size(), 1u);
        for (TGameType type : Types) EXPECT_EQ(statistics.Tally(type, TLevel::Normal), TTally{});
        // The next result replaces the damaged file with a sound one.
        statistics.Record(TGameType::HotSeat, TLevel::Normal, TMatchResult::Win, false, false);
        TStatistics again(file, [&log](const QString& line) { log.push_back(line); });
        again.Load();
        EXPECT_EQ(again.Tally(TGameType::HotSeat, TLevel::Normal).Played, 1);
        EXPECT_EQ(log.size(), 1u);
    }
    // A folder where the file should be cannot be read either.
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkdir(file));
    std::vector<QString> log;
    TStatistics folderInstead(file, [&log](const QString& line) { log.push_back(line); });
    folderInstead.Load();
    EXPECT_EQ(log.size(), 1u);

    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), settingsBytes);
    EXPECT_EQ(TSettings(settingsFile).Load().Zoom, 2);
}

TEST(AppStatisticsTest, TheDialogShowsTheCurrentModeAndResetAsksFirst) {
    TStatistics statistics({}, {});
    for (TMatchResult result : {TMatchResult::Win, TMatchResult::Loss, TMatchResult::Win})
        statistics.Record(TGameType::SinglePlayer, TLevel::Perfect, result, false, false);
    TStatisticsForm form(statistics, TGameType::SinglePlayer, TLevel::Perfect);
    EXPECT_EQ(form.Chart->Results(), "WLW");
    EXPECT_EQ(form.Table->item(form.Table->currentRow(), 0)->text(), "3");
    bool confirm = false;
    form.ConfirmReset = [&confirm](QWidget*) { return confirm; };
    form.ResetClick();
    EXPECT_EQ(statistics.Tally(TGameType::SinglePlayer, TLevel::Perfect).Played, 3);
    confirm = true;
    form.ResetClick();
    EXPECT_EQ(statistics.Tally(TGameType::SinglePlayer, TLevel::Perfect).Played, 0);
    EXPECT_EQ(form.Chart->Results(), "");
}

class AppStatisticsWindowTest : public TAppWindowsFixture {};

// A person against the computer asks a hint on every turn; the match counts
// once, for the level played, from the person's side, and as hinted if won.
TEST_F(AppStatisticsWindowTest, ASinglePlayerMatchCountsOnceFromThePersonsSide) {
    QTemporaryDir folder;
    TShellEnvironment environment;
    environment.SettingsFile = folder.filePath("Vantaro.conf");
    ShowWindows(environment);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    VantaroForm->FileNewGameClick();
    for (int guard = 0; guard < 100000 && Game().InProgress; ++guard) {
        Frame();
        if (VantaroForm->Table().Computer().Thinking() || VantaroForm->Table().Hint().Busy())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (Game().Phase != TGame::PhaseIdle || Game().Turn != 1 || VantaroForm->Table().Hint().Busy())
            continue;
        if (!Game().BoardCursorActive) {
            VantaroForm->HelpHintClick();
            while (VantaroForm->Table().Hint().Busy()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                Frame();
            }
        }
        uint16_t enter = VK_RETURN;
        VantaroForm->FormKeyDown(enter);
    }
    RunFrames();
    ASSERT_TRUE(Game().GameOver);
    const TTally& tally = VantaroForm->Listening().Statistics().Tally(TGameType::SinglePlayer, TLevel::Easy);
    const int32_t person = Game().Score[1], computer = Game().Score[0];
    EXPECT_EQ(tally.Played, 1);
    EXPECT_EQ(tally.Won, person > computer ? 1 : 0);
    EXPECT_EQ(tally.Lost, person < computer ? 1 : 0);
    EXPECT_EQ(tally.WonWithHint, tally.Won);
    EXPECT_EQ(tally.WonWithUndo, 0);
    EXPECT_EQ(VantaroForm->Listening().Statistics().Tally(TGameType::HotSeat, TLevel::Normal).Played, 0);
    // A hot-seat match afterwards starts clean of the hints.
    RulesForm->SetChoices({}, TGameType::HotSeat, TLevel::Easy);
    VantaroForm->FileNewGameClick();
    for (int guard = 0; guard < 100 && Game().InProgress; ++guard) {
        RunFrames();
        uint16_t enter = VK_RETURN;
        VantaroForm->FormKeyDown(enter);
        enter = VK_RETURN;
        VantaroForm->FormKeyDown(enter);
    }
    RunFrames();
    const TTally& hotSeat = VantaroForm->Listening().Statistics().Tally(TGameType::HotSeat, TLevel::Normal);
    EXPECT_EQ(hotSeat.Played, 1);
    EXPECT_EQ(hotSeat.Won, Game().Score[1] > Game().Score[0] ? 1 : 0);
    EXPECT_EQ(hotSeat.WonWithHint, 0);

    TStatistics onDisk(TStatistics::FileBeside(environment.SettingsFile), {});
    onDisk.Load();
    EXPECT_EQ(onDisk.Tally(TGameType::SinglePlayer, TLevel::Easy), tally);
}

} // namespace
