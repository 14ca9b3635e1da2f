// Long random sessions against the real windows: keys, menu commands and
// frames of any length, with the match's invariants checked throughout.
#include "AppWindowsFixture.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/RulesForm.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

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

// FNV-1a over everything the table shows and everything the window offers,
// so that a change in either shows as another number.
struct TDigest {
    uint64_t Value = 1469598103934665603ull;
    void Add(int64_t number) {
        for (int i = 0; i < 8; ++i) {
            Value ^= uint64_t(number >> (8 * i)) & 0xff;
            Value *= 1099511628211ull;
        }
    }
    void Add(const QString& text) {
        for (const QChar c : text) Add(int64_t(c.unicode()));
        Add(-1);
    }
    void Add(const TGame& game) {
        Add(game.Phase);
        Add(game.Turn);
        Add(game.InProgress);
        Add(game.GameOver);
        Add(game.HandCursor);
        Add(game.BoardCursorActive);
        Add(game.BoardCursorX);
        Add(game.BoardCursorY);
        Add(game.Score[0]);
        Add(game.Score[1]);
        for (const auto& row : game.Board)
            for (const TOwnedCard& square : row) {
                Add(square.Card);
                Add(square.Owner);
            }
        for (const auto& slot : game.Hands)
            for (const int32_t card : slot) Add(card);
    }
};

// The same keys, commands and frames always leave the table, its log, its
// title and what its menus offer in the same state; the numbers were taken
// before the main window was cut into its parts, and pin what it did then.
TEST_F(AppKeyFuzz, TheSameKeysEndInTheSameState) {
    struct TSession {
        uint32_t Seed;
        TGameType Type;
        TLevel Level;
        uint64_t Digest;
    };
    const TSession sessions[] = {
        {7, TGameType::HotSeat, TLevel::Normal, 0x161483084ec7c579ull},
        {11, TGameType::SinglePlayer, TLevel::Easy, 0x1c7c09708c2b48f7ull},
        {13, TGameType::SinglePlayer, TLevel::Normal, 0x4982768e7aff9823ull},
        {17, TGameType::SinglePlayer, TLevel::Perfect, 0x5fda2fee1063cc7eull},
    };
    Now = 0;
    ShowWindows();
    TGame& game = *VantaroForm->Game;
    // A command as its menu item gives it: nothing when the item is disabled.
    const auto command = [](QKeySequence shortcut) {
        for (QAction* action : VantaroForm->findChildren<QAction*>())
            if (action->shortcut() == shortcut) {
                action->trigger();
                return;
            }
        ADD_FAILURE() << "no command on " << shortcut.toString().toStdString();
    };
    // Searches end before the next step, and a hint is taken at once, so that
    // answers come at the same step every run.
    const auto settle = [] {
        while (VantaroForm->Table().Computer().Thinking())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (VantaroForm->Table().Hint().Busy()) {
            VantaroForm->Table().Hint().Step();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    const Qt::Key keys[] = {Qt::Key_Up,    Qt::Key_Down,   Qt::Key_Left,
                            Qt::Key_Right, Qt::Key_Return, Qt::Key_Escape};
    const uint32_t frameLengths[] = {0, 16, 33, 250, 700, 2000};
    for (const TSession& session : sessions) {
        SCOPED_TRACE("seed " + std::to_string(session.Seed));
        std::mt19937 random(session.Seed);
        TDigest digest;
        RulesForm->SetChoices({}, session.Type, session.Level);
        VantaroForm->FileNewGameClick();
        for (int step = 0; step < 1500; ++step) {
            const int action = int(random() % 100);
            if (action < 2) {
                TGameRules rules;
                rules.Same = random() % 2;
                rules.SameWall = random() % 2;
                rules.Plus = random() % 2;
                rules.Elemental = random() % 2;
                rules.SuddenDeath = random() % 2;
                RulesForm->SetChoices(rules, session.Type, session.Level);
            } else if (action < 5) {
                ++Second;
                command(QKeySequence(Qt::Key_F2));
            } else if (action < 9) {
                command(QKeySequence(Qt::CTRL | Qt::Key_Z));
            } else if (action < 11) {
                command(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
            } else if (action < 12) {
                command(QKeySequence(Qt::Key_H));
            } else if (action < 50) {
                Now += 1000 * uint64_t(frameLengths[random() % std::size(frameLengths)]);
                VantaroForm->ApplicationIdle();
            } else {
                QTest::keyClick(VantaroForm, keys[random() % std::size(keys)]);
            }
            settle();
            digest.Add(game);
            if (game.GameOver && random() % 8 == 0) VantaroForm->FileNewGameClick();
        }
        digest.Add(ChatForm->ChatLog->toPlainText());
        digest.Add(VantaroForm->windowTitle());
        std::vector<QString> offered;
        for (QAction* action : VantaroForm->findChildren<QAction*>())
            offered.push_back(QStringLiteral("%1 %2%3%4")
                                  .arg(action->text())
                                  .arg(action->isEnabled())
                                  .arg(action->isChecked())
                                  .arg(action->isVisible()));
        std::sort(offered.begin(), offered.end());
        for (const QString& line : offered) digest.Add(line);
        EXPECT_EQ(digest.Value, session.Digest) << std::hex << digest.Value;
    }
    EXPECT_TRUE(Messages.Lines.empty());
}

} // namespace
