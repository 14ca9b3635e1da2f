// Match records and replays through the real windows: every match played is
// kept, reads back and replays to the table it ended on; a replay shows
// exactly the table after any number of placements, stepped, jumped or
// played on; leaving puts the match in progress back; bad files are refused.
#include "AppWindowsFixture.h"
#include "TableStill.h"
#include "ai/RecordReplay.h"
#include "ai/SearchThread.h"
#include "app/ChatForm.h"
#include "app/HistoryForm.h"
#include "app/MatchArchive.h"
#include "app/RecordKeeper.h"
#include "app/ReplayBar.h"
#include "app/ReplayView.h"
#include "app/ResultChart.h"
#include "app/RulesForm.h"
#include "game/KeyCodes.h"
#include "records/MatchHistory.h"
#include "records/RecordJson.h"
#include "rules/Match.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

class AppReplayTest : public TAppWindowsFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TAppWindowsFixture::SetUp());
        ASSERT_TRUE(Folder.isValid());
        TShellEnvironment environment;
        environment.HistoryFolder = Folder.filePath("History");
        environment.AskRecordFile = [this](bool) { return Asked; };
        ShowWindows(environment);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    }
    void ReplayKey(Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        VantaroForm->Replays().ReplayKey(&event);
    }
    // A hot-seat match under `rules` played to its end with random placements.
    void PlayMatch(const TGameRules& rules, std::mt19937& random) {
        RulesForm->SetChoices(rules, TGameType::HotSeat, TLevel::Normal);
        Second += 7919;
        VantaroForm->FileNewGameClick();
        RunFrames();
        for (int i = 0; i < 9 * 20 && Game().InProgress; ++i) ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
        ASSERT_FALSE(Game().InProgress);
    }
    std::vector<TMatchHistory::TEntry> Kept() { return VantaroForm->Replays().History()->List(); }
    // The table a fresh replay of `script` gives after `moves` placements.
    uint32_t FreshTable(const TMatchScript& script, int32_t moves) {
        TMatch replayed;
        std::string refusal;
        EXPECT_TRUE(ReplayScript(script, *Game().Match().Catalogue, replayed, refusal, moves)) << refusal;
        return TableDigest(replayed.Table());
    }
    // Events until the window has collected the review from the worker by itself.
    void AwaitReview() {
        for (int i = 0; i < 20000 && VantaroForm->Replays().Bar().Chart->Points().empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            QCoreApplication::processEvents();
        }
    }

    QTemporaryDir Folder;
    QString Asked;
};

// Matches of every rule set, Sudden Death replays included: each is kept
// once at its end, reads back from the history, and its replay ends on the
// table the match ended on; every step, jump and play-on shows exactly the
// table a fresh replay gives after that many placements.
TEST_F(AppReplayTest, KeptMatchesReplayExactlyAfterEveryPlacement) {
    std::mt19937 random(1818);
    size_t redeals = 0;
    for (int match = 0; match < 4; ++match) {
        TGameRules rules;
        rules.Same = match & 1;
        rules.Plus = match & 2;
        rules.Elemental = match >= 2;
        rules.SuddenDeath = true;
        ASSERT_NO_FATAL_FAILURE(PlayMatch(rules, random));
        const TTableStill ended = TTableStill::Of(Game());
        const auto kept = Kept();
        ASSERT_EQ(kept.size(), size_t(match + 1));
        ASSERT_TRUE(kept[0].Record) << kept[0].Problem;
        const TMatchRecord record = *kept[0].Record;
        redeals += record.RedealSeeds.size();
        EXPECT_EQ(record.Players[0], "Red");
        EXPECT_EQ(record.Mode, TMatchMode::HotSeat);
        EXPECT_EQ(record.Ending, TMatchEnding::Finished);
        EXPECT_EQ(record.StartTime, Second);
        EXPECT_EQ(ScriptOf(record), ended.Script);
        EXPECT_EQ(record.Score[0], Game().Score[0]);

        ASSERT_TRUE(VantaroForm->Replays().OpenReplay(record, "kept"));
        EXPECT_TRUE(
            VantaroForm->windowTitle().startsWith(QStringLiteral("Vantaro \u2014 Replay: Red vs Blue")));
        const int32_t count = int32_t(record.Moves.size());
        EXPECT_EQ(VantaroForm->Replays().Replay().Shown(), 0);
        EXPECT_EQ(TableDigest(Game().Match().Table()), FreshTable(ended.Script, 0));
        for (int step = 0; step < 40; ++step) {
            const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_Home, Qt::Key_End};
            ReplayKey(keys[random() % 5]);
            const int32_t shown = VantaroForm->Replays().Replay().Shown();
            ASSERT_GE(shown, 0);
            ASSERT_LE(shown, count);
            ASSERT_EQ(TableDigest(Game().Match().Table()), FreshTable(ended.Script, shown))
                << "after " << shown;
            ASSERT_EQ(int32_t(Game().Match().Script.Moves.size()), shown);
        }
        // Played on from the start with the real animations, the table
        // passes through every placement and ends as the match did.
        ReplayKey(Qt::Key_Home);
        ReplayKey(Qt::Key_Space);
        int32_t last = 0;
        for (int i = 0; i < 200000 && VantaroForm->Replays().Replay().Playing(); ++i) {
            Frame();
            // A Sudden Death replay is dealt from the record's seed at once,
            // never animated from a seed of today's.
            ASSERT_NE(Game().Phase, TGame::PhaseDealing);
            const int32_t shown = VantaroForm->Replays().Replay().Shown();
            if (shown != last && Game().Phase == TGame::PhaseIdle) {
                ASSERT_EQ(TableDigest(Game().Match().Table()), FreshTable(ended.Script, shown));
                last = shown;
            }
        }
        EXPECT_EQ(VantaroForm->Replays().Replay().Shown(), count);
        EXPECT_EQ(TableDigest(Game().Match().Table()), ended.Table);
        ReplayKey(Qt::Key_Escape);
        EXPECT_FALSE(VantaroForm->Replays().Replaying());
        EXPECT_EQ(TTableStill::Of(Game()).Differences(ended), "");
        // Nothing about the replay was taken for a match of its own.
        RunFrames();
        EXPECT_EQ(Kept().size(), size_t(match + 1));
    }
    EXPECT_GT(redeals, 0u) << "no Sudden Death replay was played through";
}

// Leaving a replay puts back the match in progress exactly (the cursors
// too), which then plays on and is kept whole; nothing the person presses
// during the replay reaches the match.
TEST_F(AppReplayTest, LeavingPutsBackTheMatchInProgress) {
    std::mt19937 random(99);
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    const TMatchRecord earlier = *Kept()[0].Record;
    Second += 600;
    VantaroForm->FileNewGameClick();
    RunFrames();
    for (int i = 0; i < 3; ++i) ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    Press(VK_DOWN);
    Press(VK_RETURN); // a card chosen, the board cursor out
    const TTableStill before = TTableStill::Of(Game());

    ASSERT_TRUE(VantaroForm->Replays().OpenReplay(earlier, "earlier"));
    ReplayKey(Qt::Key_End);
    uint16_t key = VK_RETURN;
    VantaroForm->FormKeyDown(key);
    VantaroForm->HelpHintClick();
    EXPECT_FALSE(VantaroForm->Menus().EditUndo->isEnabled() && VantaroForm->UndoAllowed());
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(int32_t(Game().Match().Script.Moves.size()), int32_t(earlier.Moves.size()));
    VantaroForm->Menus().FileLeaveReplay->trigger();
    EXPECT_EQ(TTableStill::Of(Game()).Differences(before), "");
    EXPECT_FALSE(VantaroForm->windowTitle().contains("Replay"));

    Press(VK_ESCAPE);
    while (Game().InProgress) ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    auto kept = Kept();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(ScriptOf(*kept[0].Record), Game().Match().Script);

    // Closing the program in a replay keeps the match under it as abandoned.
    VantaroForm->FileNewGameClick();
    RunFrames();
    ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    const TMatchScript running = Game().Match().Script;
    ASSERT_TRUE(VantaroForm->Replays().OpenReplay(earlier, "earlier"));
    ReplayKey(Qt::Key_End);
    VantaroForm->close();
    kept = Kept();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].Record->Ending, TMatchEnding::Abandoned);
    EXPECT_EQ(ScriptOf(*kept[0].Record), running);
}

// A match dealt over an unfinished one keeps it as abandoned; a single-player
// match names the computer by its level; Save writes the last one to a file
// that reads back equal.
TEST_F(AppReplayTest, AbandonedAndSavedRecords) {
    std::mt19937 random(5);
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    VantaroForm->FileNewGameClick();
    RunFrames();
    ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    VantaroForm->FileNewGameClick();
    RunFrames();
    const auto kept = Kept();
    ASSERT_EQ(kept.size(), 1u);
    const TMatchRecord& record = *kept[0].Record;
    EXPECT_EQ(record.Ending, TMatchEnding::Abandoned);
    EXPECT_EQ(record.Winner, -1);
    EXPECT_EQ(record.Mode, TMatchMode::SinglePlayer);
    EXPECT_EQ(record.Players[0], "Computer (Easy)");
    EXPECT_EQ(record.Players[1], "You");
    EXPECT_EQ(record.Moves.size(), 1u);

    Asked = Folder.filePath("saved.json");
    EXPECT_FALSE(VantaroForm->Replays().SaveMatchRecord()) << "nothing placed yet in the new match";
    for (int i = 0; i < 5000 && Game().Turn != 1; ++i) Frame();
    ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    ASSERT_TRUE(VantaroForm->Replays().SaveMatchRecord());
    const TRecordReading reading = ReadRecordFile(Asked);
    ASSERT_TRUE(reading.Record) << reading.Problem;
    EXPECT_EQ(ScriptOf(*reading.Record).Moves,
              std::vector<TPlacementMove>(Game().Match().Script.Moves.begin(),
                                          Game().Match().Script.Moves.begin() +
                                              ptrdiff_t(reading.Record->Moves.size())));
    EXPECT_GE(reading.Record->Moves.size(), 1u);
}

// Open Match Record refuses a bad file with a message naming it and the
// problem, and leaves the table alone.
TEST_F(AppReplayTest, BadRecordFilesAreRefusedByName) {
    std::mt19937 random(3);
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    TMatchRecord record = *Kept()[0].Record;
    const TTableStill before = TTableStill::Of(Game());
    TMatchRecord refused = record;
    std::swap(refused.Moves[0], refused.Moves[1]); // the second player moves first: slots fine, squares fine
    refused.Moves[1] = refused.Moves[0];           // the same square twice
    const QByteArray cases[] = {"{not json", QByteArray(100000, ' '), WriteRecordJson(refused)};
    for (const QByteArray& bytes : cases) {
        Asked = Folder.filePath("bad-record.json");
        QFile file(Asked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        Messages.Lines.clear();
        EXPECT_FALSE(VantaroForm->Replays().OpenMatchRecord());
        ASSERT_EQ(Messages.Lines.size(), 1u);
        EXPECT_NE(Messages.Lines[0].find("bad-record.json"), std::string::npos) << Messages.Lines[0];
        EXPECT_GT(Messages.Lines[0].size(), std::string("bad-record.json").size() + 5);
        EXPECT_FALSE(VantaroForm->Replays().Replaying());
        EXPECT_EQ(TTableStill::Of(Game()).Differences(before), "");
    }
    Asked = Folder.filePath("good.json");
    QFile file(Asked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WriteRecordJson(record));
    file.close();
    EXPECT_TRUE(VantaroForm->Replays().OpenMatchRecord());
    EXPECT_TRUE(VantaroForm->Replays().Replaying());
}

// Match History lists the kept matches newest first and opens the one chosen.
TEST_F(AppReplayTest, MatchHistoryOpensTheChosenMatch) {
    std::mt19937 random(21);
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    const auto kept = Kept();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_GT(kept[0].Record->StartTime, kept[1].Record->StartTime);
    int32_t rows = 0;
    QTimer::singleShot(0, [&rows] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto* list = dialog->findChild<QTreeWidget*>("HistoryList");
        rows = list->topLevelItemCount();
        list->setCurrentItem(list->topLevelItem(1));
        dialog->accept();
    });
    VantaroForm->Menus().FileHistory->trigger();
    EXPECT_EQ(rows, 2);
    ASSERT_TRUE(VantaroForm->Replays().Replaying());
    EXPECT_TRUE(VantaroForm->Replays().Replay().Record() == *kept[1].Record);
    // The side window's buttons step it; a click on the ended table deals nothing.
    VantaroForm->Replays().Bar().EndButton->click();
    VantaroForm->Replays().Bar().BackButton->click();
    EXPECT_EQ(VantaroForm->Replays().Replay().Shown(), 8);
    VantaroForm->Replays().Bar().ForwardButton->click();
    QTest::mouseClick(VantaroForm->GameBoard, Qt::LeftButton, Qt::NoModifier, QPoint(256, 190));
    EXPECT_TRUE(VantaroForm->Replays().Replaying());
    EXPECT_EQ(Game().Match().Script, ScriptOf(*kept[1].Record));
    VantaroForm->Replays().Bar().LeaveButton->click();
    EXPECT_FALSE(VantaroForm->Replays().Replaying());
}

// How the history words a result, from the side of the player at this computer.
TEST(AppHistoryWords, ResultsAreSeenFromThisComputersSide) {
    struct TCase {
        TMatchMode Mode;
        std::string Red, Blue;
        TMatchEnding Ending;
        int32_t Winner, RedScore;
        const char* Opponent;
        const char* Result;
    };
    const TCase cases[] = {
        {TMatchMode::HotSeat, "Red", "Blue", TMatchEnding::Finished, 0, 6, "Red and Blue",
         "Red won 6\u20134"},
        {TMatchMode::HotSeat, "Red", "Blue", TMatchEnding::Finished, -1, 5, "Red and Blue", "Draw 5\u20135"},
        {TMatchMode::SinglePlayer, "Computer (Perfect)", "You", TMatchEnding::Finished, 0, 7,
         "Computer (Perfect)", "Lost 3\u20137"},
        {TMatchMode::Network, "You", "Other player", TMatchEnding::Finished, 0, 6, "Other player",
         "Won 6\u20134"},
        {TMatchMode::Network, "Other player", "You", TMatchEnding::Left, 1, 6, "Other player",
         "Won (Other player left) 4\u20136"},
        {TMatchMode::SinglePlayer, "Computer (Easy)", "You", TMatchEnding::Abandoned, -1, 4,
         "Computer (Easy)", "Abandoned at 6\u20134"},
    };
    for (const TCase& c : cases) {
        TMatchRecord record;
        record.Mode = c.Mode;
        record.Players[0] = c.Red;
        record.Players[1] = c.Blue;
        record.Ending = c.Ending;
        record.Winner = c.Winner;
        record.Score[0] = c.RedScore;
        record.Score[1] = 10 - c.RedScore;
        EXPECT_EQ(RecordOpponent(record).toStdString(), c.Opponent);
        EXPECT_EQ(RecordResultText(record), QString::fromUtf8(c.Result)) << c.Result;
    }
}

// A history that cannot be written costs one line in the log, and play goes on.
TEST_F(AppReplayTest, AHistoryThatCannotBeWrittenSaysSoOnce) {
    DestroyWindows();
    QFile blocker(Folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TShellEnvironment environment;
    environment.HistoryFolder = Folder.filePath("blocked/History");
    ShowWindows(environment);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    std::mt19937 random(8);
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    EXPECT_TRUE(Kept().empty());
    QCoreApplication::processEvents();
    const QString log = ChatForm->ChatLog->toPlainText();
    EXPECT_EQ(log.count("could not be kept in the history"), 1) << log.toStdString();
    EXPECT_TRUE(log.contains("blocked")) << log.toStdString();
}

// Review lists one line per move in the side window and fills the chart;
// leaving the replay while it runs cancels it and nothing arrives later.
TEST_F(AppReplayTest, ReviewListsEveryMoveAndIsCancelledOnLeaving) {
    std::mt19937 random(11);
    ASSERT_NO_FATAL_FAILURE(PlayMatch({}, random));
    const TMatchRecord record = *Kept()[0].Record;
    ASSERT_TRUE(VantaroForm->Replays().OpenReplay(record, "kept"));
    ChatForm->ClearLog();
    ReplayKey(Qt::Key_R);
    EXPECT_TRUE(VantaroForm->Replays().Reviewing() ||
                ChatForm->ChatLog->toPlainText().contains("Review done"));
    AwaitReview();
    const QString log = ChatForm->ChatLog->toPlainText();
    for (int32_t move = 1; move <= 9; ++move)
        EXPECT_TRUE(log.contains(QStringLiteral("\n%1. ").arg(move)) ||
                    log.contains(QStringLiteral("\u2717 %1. ").arg(move)))
            << "move " << move << " in\n"
            << log.toStdString();
    EXPECT_TRUE(log.contains("Review done"));
    EXPECT_EQ(VantaroForm->Replays().Bar().Chart->Points().size(), 9u);

    ChatForm->ClearLog();
    ReplayKey(Qt::Key_R);
    VantaroForm->Replays().LeaveReplay();
    EXPECT_FALSE(VantaroForm->Replays().Reviewing());
    VantaroForm->Replays().CollectReview();
    EXPECT_FALSE(ChatForm->ChatLog->toPlainText().contains("Review done"));
}

} // namespace
