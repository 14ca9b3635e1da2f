// Long random sessions against the real windows: keys, menu commands and
// frames of any length, with the match's invariants checked throughout.
#include "AppWindowsFixture.h"
#include "app/RulesForm.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int Matches = 250; // the sanitizers make every frame several times slower
#else
constexpr int Matches = 1500;
#endif

void ExpectConsistent(const TGame& game, int step) {
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_LE(game.Phase, TGame::PhaseFlipping);
    ASSERT_TRUE(FlightLeg == 1 || FlightLeg == 2);
    ASSERT_TRUE(FlipStep >= 1 && FlipStep <= 5);
    if (!game.InProgress && !game.GameOver) return;
    int placed = 0;
    for (const auto& row : game.Board)
        for (const TOwnedCard& square : row)
            if (square.Card != -1) {
                ++placed;
                ASSERT_TRUE(square.Owner == 0 || square.Owner == 1);
                ASSERT_GE(square.Card, 0);
                ASSERT_LT(square.Card, game.Cards->NumCards);
            }
    for (int player = 0; player < 2; ++player) {
        bool seenCard = false;
        for (int slot = 0; slot < 5; ++slot) {
            const int32_t card = game.Hands[slot][player];
            if (card == -1) {
                ASSERT_FALSE(seenCard) << "hands stay packed toward slot 4";
            }
            seenCard = seenCard || card != -1;
        }
    }
    ASSERT_GE(game.HandCursor, 0);
    ASSERT_LE(game.HandCursor, 4);
    ASSERT_TRUE(game.BoardCursorX >= 0 && game.BoardCursorX <= 2 && game.BoardCursorY >= 0 &&
                game.BoardCursorY <= 2);
    if (game.Phase == TGame::PhaseIdle) {
        ASSERT_EQ(game.Score[0] + game.Score[1], 10);
        int owned[2] = {0, 0};
        for (const auto& row : game.Board)
            for (const TOwnedCard& square : row)
                if (square.Card != -1) ++owned[square.Owner];
        for (int player = 0; player < 2; ++player)
            for (int slot = 0; slot < 5; ++slot) owned[player] += game.Hands[slot][player] != -1;
        ASSERT_EQ(owned[0], game.Score[0]);
        ASSERT_EQ(owned[1], game.Score[1]);
    }
    if (game.GameOver) {
        ASSERT_EQ(placed, 9);
    }
}

using AppKeyFuzz = TAppWindowsFixture;

TEST_F(AppKeyFuzz, RandomSessionsKeepTheMatchConsistent) {
    std::mt19937 random(20261208);
    Now = 0; // the seeded sessions start from a frame clock at zero
    ShowWindows();
    ASSERT_TRUE(Messages.Lines.empty());
    TGame& game = *VantaroForm->Game;

    const Qt::Key keys[] = {Qt::Key_Up,    Qt::Key_Down,   Qt::Key_Left,  Qt::Key_Right, Qt::Key_Return,
                            Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_A,     Qt::Key_Tab};
    const uint32_t frameLengths[] = {0, 1, 16, 33, 250, 700, 2000, 5000};
    int matchesEnded = 0, step = 0;
    // A stall (a phase that never ends) shows as matches that stop ending.
    const int maxSteps = Matches * 3000;
    while (matchesEnded < Matches && step < maxSteps) {
        ++step;
        const int action = int(random() % 100);
        if (action == 0 && random() % 16 == 0) {
            Second += random() % 3;
            VantaroForm->FileNewGameClick();
        } else if (action == 2 && step % 50 == 0) {
            // The rules dialog, left with OK or Cancel after ticking at random.
            const bool ok = random() % 2;
            const unsigned ticks = random();
            QTimer::singleShot(0, [ok, ticks] {
                QCheckBox* boxes[] = {RulesForm->SameCheck, RulesForm->SameWallCheck, RulesForm->PlusCheck,
                                      RulesForm->ElementalCheck, RulesForm->SuddenDeathCheck};
                for (int i = 0; i < 5; ++i) boxes[i]->setChecked(ticks >> i & 1);
                (ok ? RulesForm->OKButton : RulesForm->CancelButton)->click();
            });
            VantaroForm->FileRulesClick();
        } else if (action < 45) {
            const bool wasOver = game.GameOver;
            Now += 1000 * uint64_t(frameLengths[random() % std::size(frameLengths)]);
            VantaroForm->ApplicationIdle();
            if (!wasOver && game.GameOver) ++matchesEnded;
        } else {
            // Mostly the keys that play, so that matches get finished.
            QTest::keyClick(VantaroForm, keys[random() % (action < 85 ? 5 : std::size(keys))]);
        }
        ExpectConsistent(game, step);
        if (HasFatalFailure()) break;
        if (!game.InProgress && !game.GameOver) VantaroForm->FileNewGameClick();
        if (game.GameOver && random() % 4 == 0) VantaroForm->FileNewGameClick();
    }
    EXPECT_EQ(matchesEnded, Matches);
    EXPECT_TRUE(Messages.Lines.empty());
}

} // namespace
