// Edit › Undo and Redo through the real windows: after random matches with
// random undos and redos, the table is exactly what animated play left after
// the same placements, and what a fresh replay of the remaining ones gives.
#include "AppWindowsFixture.h"
#include "TableStill.h"
#include "app/ComputerSeat.h"
#include "app/RulesForm.h"
#include "app/Statistics.h"
#include "app/UndoHistory.h"
#include "game/KeyCodes.h"
#include "rules/Match.h"

#include <QAction>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

namespace {

class AppUndoTest : public TAppWindowsFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TAppWindowsFixture::SetUp());
        ShowWindows();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    }
    void Frame() {
        TAppWindowsFixture::Frame();
        if (VantaroForm->Table().Computer().Thinking())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void ExpectLikeFreshReplay() {
        TMatch replayed;
        std::string refusal;
        ASSERT_TRUE(ReplayScript(Game().Match().Script, *Game().Match().Catalogue, replayed, refusal))
            << refusal;
        EXPECT_EQ(TableDigest(replayed.Table()), TableDigest(Game().Match().Table()));
    }
};

TEST_F(AppUndoTest, RandomUndoAndRedoGiveBackTheTableAsPlayed) {
    std::mt19937 random(1515);
    for (int match = 0; match < 8; ++match) {
        TGameRules rules;
        rules.Same = random() & 1;
        rules.SameWall = random() & 1;
        rules.Plus = random() & 1;
        rules.Elemental = random() & 1;
        rules.SuddenDeath = random() & 1;
        RulesForm->SetChoices(rules, TGameType::HotSeat, TLevel::Normal);
        Second += 104729;
        VantaroForm->FileNewGameClick();
        RunFrames();
        // The table as animated play left it after each number of placements.
        std::map<int32_t, TTableStill> played{{0, TTableStill::Of(Game())}};
        int undos = 0;
        for (int step = 0; step < 60 && Game().InProgress; ++step) {
            const uint32_t what = random() % 6;
            const int32_t before = int32_t(Game().Match().Script.Moves.size());
            if (what == 0 && VantaroForm->Menus().EditUndo->isEnabled()) {
                VantaroForm->Menus().EditUndo->trigger();
                ++undos;
                ASSERT_EQ(int32_t(Game().Match().Script.Moves.size()), before - 1);
            } else if (what == 1 && VantaroForm->Menus().EditRedo->isEnabled()) {
                VantaroForm->Menus().EditRedo->trigger();
                ASSERT_EQ(int32_t(Game().Match().Script.Moves.size()), before + 1);
            } else {
                ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
                const TTableStill now = TTableStill::Of(Game());
                // A new placement after an undo makes a new line of play.
                for (auto it = played.upper_bound(before); it != played.end();) it = played.erase(it);
                played[now.Moves()] = now;
                EXPECT_FALSE(VantaroForm->Menus().EditRedo->isEnabled()) << "redo after a new placement";
                continue;
            }
            ASSERT_EQ(Game().Phase, TGame::PhaseIdle);
            const TTableStill now = TTableStill::Of(Game());
            ASSERT_TRUE(played.count(now.Moves()));
            EXPECT_EQ(now.Differences(played[now.Moves()]), "") << "match " << match << " step " << step;
            ExpectLikeFreshReplay();
            // The table keeps playing from there as if nothing had been taken back.
            Frame();
            EXPECT_EQ(Game().Phase, TGame::PhaseIdle);
        }
        RunFrames();
        ExpectLikeFreshReplay();
        EXPECT_FALSE(VantaroForm->Menus().EditUndo->isEnabled() && Game().GameOver) << "undo after the end";
        (void)undos;
    }
}

// Against the computer, undo takes back the person's placement with the
// computer's reply, also while the computer still thinks about it; the match
// then counts as one won (or lost) with undo.
TEST_F(AppUndoTest, SinglePlayerTakesBackThePersonsMoveWithTheReply) {
    std::mt19937 random(77);
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    VantaroForm->FileNewGameClick();
    RunFrames();
    const TTableStill start = TTableStill::Of(Game());
    ASSERT_EQ(Game().Turn, 1);
    ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    ASSERT_TRUE(VantaroForm->Table().Computer().HoldsTurn());
    // Straight away, before the computer has answered.
    VantaroForm->Menus().EditUndo->trigger();
    EXPECT_EQ(TTableStill::Of(Game()).Differences(start), "");
    for (int i = 0; i < 100; ++i) Frame();
    EXPECT_EQ(TTableStill::Of(Game()).Differences(start), "") << "the computer answered a move taken back";

    ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
    for (int i = 0; i < 5000 && Game().Turn != 1; ++i) Frame();
    RunFrames();
    ASSERT_EQ(Game().Match().Script.Moves.size(), 2u);
    const TTableStill answered = TTableStill::Of(Game());
    VantaroForm->Menus().EditUndo->trigger();
    EXPECT_EQ(TTableStill::Of(Game()).Differences(start), "");
    VantaroForm->Menus().EditRedo->trigger();
    EXPECT_EQ(TTableStill::Of(Game()).Differences(answered), "");
    EXPECT_FALSE(VantaroForm->Table().Computer().HoldsTurn());

    while (Game().InProgress) {
        if (Game().Turn == 1 && Game().Phase == TGame::PhaseIdle) {
            ASSERT_NO_FATAL_FAILURE(PlayRandom(random));
        }
        Frame();
    }
    RunFrames();
    const TTally& tally = VantaroForm->Listening().Statistics().Tally(TGameType::SinglePlayer, TLevel::Easy);
    EXPECT_EQ(tally.Played, 1);
    EXPECT_EQ(tally.WonWithUndo, tally.Won);
}

} // namespace
