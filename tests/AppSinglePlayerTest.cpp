// A person alone against the computer, through the real windows offscreen: the
// computer's moves come through the game's keys at a pace a person can follow,
// the person's keys wait meanwhile, Perfect plays what the solver says is best,
// and Help › Hint points at the best move.
#include "AppWindowsFixture.h"
#include "TestSupport.h"
#include "ai/GamePosition.h"
#include "ai/Solver.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/RulesForm.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"

#include <QTest>
#include <QTextEdit>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <system_error>
#include <thread>

namespace {

class AppSinglePlayerTest : public TAppWindowsFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TAppWindowsFixture::SetUp());
        ShowWindows();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
    }

    void Deal(TLevel level, TGameRules rules = {}) {
        RulesForm->SetChoices(rules, TGameType::SinglePlayer, level);
        VantaroForm->FileNewGameClick();
        ASSERT_EQ(Game().Phase, TGame::PhaseDealing);
    }
    // One frame of 16 ms; a search on the worker thread gets a moment of real time.
    void Frame() {
        TAppWindowsFixture::Frame();
        if (VantaroForm->Table().Computer().Thinking() || VantaroForm->Table().Hint().Busy())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QString Log() const { return ChatForm->ChatLog->toPlainText(); }
};

TEST_F(AppSinglePlayerTest, EachLevelPlaysAWholeMatchThroughTheKeysAndThePersonWaits) {
    for (TLevel level : {TLevel::Easy, TLevel::Normal, TLevel::Perfect}) {
        Second += 977;
        TGameRules rules;
        rules.Same = rules.Plus = rules.SameWall = rules.Elemental = level == TLevel::Perfect;
        Deal(level, rules);
        int32_t computerMoves = 0;
        while (Game().InProgress) {
            if (Game().Phase != TGame::PhaseIdle) {
                Frame();
                continue;
            }
            if (Game().Turn == 1) {
                Press(VK_RETURN);
                Press(VK_RETURN);
                continue;
            }
            // The computer is to move: the person's keys change nothing.
            const int32_t cursor = Game().HandCursor;
            Press(VK_DOWN);
            Press(VK_RETURN);
            ASSERT_EQ(Game().HandCursor, cursor);
            ASSERT_FALSE(Game().BoardCursorActive);

            TSolver solver;
            const std::optional<TSolution> best = solver.SolveAll(PositionFromGame(Game().Match()));
            ASSERT_TRUE(best);
            int32_t hand[5];
            for (int32_t slot = 0; slot < 5; ++slot) hand[slot] = Game().Hands[slot][0];
            int32_t walking = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (Game().Turn == 0 && std::chrono::steady_clock::now() < deadline) {
                walking += Game().BoardCursorActive;
                Frame();
            }
            ASSERT_EQ(Game().Turn, 1) << "the computer never moved";
            ++computerMoves;
            // The walk was shown: the board cursor stood for at least one
            // quarter-second step (about 15 frames) before the card left.
            EXPECT_GE(walking, 10);
            if (level == TLevel::Perfect) {
                const TOwnedCard card = Game().FlyingCard;
                int32_t score = -1;
                for (const TScoredMove& move : best->Moves)
                    if (move.Move.X == Game().BoardCursorX && move.Move.Y == Game().BoardCursorY &&
                        hand[move.Move.Slot] == card.Card && card.Owner == 0)
                        score = std::max(score, move.Score);
                EXPECT_EQ(score, best->Score) << "Perfect played a move worse than the best";
            }
        }
        EXPECT_TRUE(Game().GameOver);
        EXPECT_EQ(computerMoves, 4);
    }
}

TEST_F(AppSinglePlayerTest, HotSeatStaysTheDefaultAndTheChoiceWaitsForTheNextNewGame) {
    VantaroForm->FileNewGameClick();
    EXPECT_EQ(VantaroForm->Table().Computer().Player(), -1);
    for (int i = 0; i < 200 && Game().Phase != TGame::PhaseIdle; ++i) Frame();
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    EXPECT_EQ(VantaroForm->Table().Computer().Player(), -1) << "the running match keeps its players";
    Press(VK_RETURN);
    Press(VK_RETURN);
    for (int i = 0; i < 200 && Game().Phase != TGame::PhaseIdle; ++i) Frame();
    EXPECT_EQ(Game().Turn, 0);
    Press(VK_RETURN);
    EXPECT_TRUE(Game().BoardCursorActive) << "at one keyboard Red moves by keys";
    Press(VK_ESCAPE);
    VantaroForm->FileNewGameClick();
    EXPECT_EQ(VantaroForm->Table().Computer().Player(), 0);
}

TEST_F(AppSinglePlayerTest, HintNamesTheBestMovesAndPointsAtTheBestOne) {
    TGameRules rules;
    rules.Same = rules.Plus = true;
    Deal(TLevel::Perfect, rules);
    for (int i = 0; i < 200 && Game().Phase != TGame::PhaseIdle; ++i) Frame();
    // Three cards down, so the analysis is quick.
    for (int move = 0; move < 2; ++move) {
        Press(VK_RETURN);
        Press(VK_RETURN);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((Game().Phase != TGame::PhaseIdle || Game().Turn != 1) &&
               std::chrono::steady_clock::now() < deadline)
            Frame();
    }
    TSolver solver;
    const std::optional<TSolution> best = solver.SolveAll(PositionFromGame(Game().Match()));
    ASSERT_TRUE(best);

    VantaroForm->HelpHintClick();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (VantaroForm->Table().Hint().Busy() && std::chrono::steady_clock::now() < deadline) Frame();
    ASSERT_TRUE(Log().contains("Hint: ")) << Log().toStdString();
    EXPECT_TRUE(Log().contains(" square: " + THintAdvisor::Outcome(best->Score)));
    ASSERT_TRUE(Game().BoardCursorActive);
    int32_t score = -1;
    for (const TScoredMove& move : best->Moves)
        if (move.Move.Slot == Game().HandCursor && move.Move.X == Game().BoardCursorX &&
            move.Move.Y == Game().BoardCursorY)
            score = move.Score;
    EXPECT_EQ(score, best->Score) << "the cursors point at a move that is not the best";
    Press(VK_RETURN);
    EXPECT_EQ(Game().Phase, TGame::PhaseFlight) << "Enter plays the hinted move";
}

TEST_F(AppSinglePlayerTest, NewGameCancelsAHintStillThinking) {
    TGameRules rules;
    rules.Same = rules.Plus = rules.SameWall = rules.Elemental = true;
    Deal(TLevel::Perfect, rules);
    for (int i = 0; i < 200 && Game().Phase != TGame::PhaseIdle; ++i) Frame();
    const QString before = Log();
    VantaroForm->HelpHintClick(); // the whole opening: long enough to still be thinking
    VantaroForm->FileNewGameClick();
    EXPECT_FALSE(VantaroForm->Table().Hint().Busy());
    for (int i = 0; i < 100; ++i) Frame();
    EXPECT_FALSE(Log().mid(before.size()).contains("Hint: ")) << "a cancelled hint spoke";
}

TEST(HintWording, SquaresAndOutcomesReadNaturally) {
    EXPECT_EQ(THintAdvisor::SquareName(2, 0), "top-right");
    EXPECT_EQ(THintAdvisor::SquareName(1, 1), "centre");
    EXPECT_EQ(THintAdvisor::SquareName(0, 2), "bottom-left");
    EXPECT_EQ(THintAdvisor::SquareName(3, 0), "");
    EXPECT_EQ(THintAdvisor::Outcome(6), "you can force 6–4");
    EXPECT_EQ(THintAdvisor::Outcome(5), "you can force a draw 5–5");
    EXPECT_EQ(THintAdvisor::Outcome(3), "best play loses 3–7");
}

} // namespace

namespace {

// A table without windows, six cards down and Blue to move: quick to solve.
struct THeadlessTable {
    THeadlessTable() {
        Game.Cards->CardTable.reset(new TCardInfo[20]);
        for (int32_t i = 0; i < 20; ++i) {
            Game.Cards->CardTable[i].Ranks = {1 + i % 9, 1 + (i * 3) % 9, 1 + (i * 5) % 9, 1 + (i * 7) % 9};
            Game.Cards->CardTable[i].Name = "Card";
        }
        Game.Cards->NumCards = 20;
        TMatch& match = Game.Arrange();
        match.Resume();
        Game.Phase = TGame::PhaseIdle;
        match.Turn = 1;
        for (int32_t slot = 0; slot < 5; ++slot) match.Hands[slot][0] = match.Hands[slot][1] = -1;
        // Hands close up towards their last slot as cards are played.
        match.Hands[3][1] = 1;
        match.Hands[4][1] = 2;
        match.Hands[3][0] = 3;
        match.Hands[4][0] = 4;
        for (int32_t square = 0; square < 9; ++square)
            match.Board[square / 3][square % 3] =
                square < 6 ? TOwnedCard(10 + square, square % 2) : TOwnedCard();
    }
    TGame Game;
    QStringList Log;
};

TEST(HintFreshness, AnAnswerForAnotherDealOrPlacementIsNeverShown) {
    const struct {
        const char* Name;
        std::function<void(THeadlessTable&, THintAdvisor&)> Meanwhile;
        bool Shown;
    } cases[] = {
        {"nothing happened", [](THeadlessTable&, THintAdvisor&) {}, true},
        {"another deal at the same stage, same turn and empty squares",
         [](THeadlessTable& t, THintAdvisor&) { t.Game.Arrange().Hands[3][1] = 7; }, false},
        {"other element squares",
         [](THeadlessTable& t, THintAdvisor&) { t.Game.Arrange().Elements[2][2] = 3; }, false},
        {"a deal seen on the table (the joiner's), then the same cards again",
         [](THeadlessTable& t, THintAdvisor& hint) {
             t.Game.Phase = TGame::PhaseDealing;
             hint.Step();
             t.Game.Phase = TGame::PhaseIdle;
         },
         false},
        {"the network match says it dealt", [](THeadlessTable&, THintAdvisor& hint) { hint.Dealt(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        THeadlessTable table;
        THintAdvisor hint(table.Game, [&table](const QString& line) { table.Log << line; });
        ASSERT_TRUE(hint.Ask());
        c.Meanwhile(table, hint);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (hint.Busy() && std::chrono::steady_clock::now() < deadline) {
            hint.Step();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_FALSE(hint.Busy());
        EXPECT_EQ(table.Log.join(u'\n').contains("Hint: "), c.Shown) << table.Log.join(" | ").toStdString();
    }
}

TEST(ComputerSeatFailure, NoWorkerThreadIsReportedAndTheComputerStillMoves) {
    THeadlessTable table;
    TComputerSeat seat(
        table.Game, [&table](const QString& line) { table.Log << line; },
        [](std::function<void()>) -> std::thread {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        });
    seat.Seat(1, TLevel::Perfect);
    uint64_t now = 1000;
    for (int i = 0; i < 100 && table.Game.Turn == 1; ++i) seat.Step(now += TComputerSeat::StepMs);
    EXPECT_FALSE(seat.Thinking());
    EXPECT_EQ(table.Log.size(), 1) << "said once: " << table.Log.join(" | ").toStdString();
    EXPECT_TRUE(table.Log.join(u'\n').contains("could not think")) << table.Log.join(" | ").toStdString();
    EXPECT_EQ(table.Game.Turn, 0) << "the computer moved all the same";
}

} // namespace
