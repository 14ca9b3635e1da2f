// What the table says about itself and how its two windows behave: the
// announcements painted on the table, the side window's modes and commands,
// keys from either window, the windows kept together and on the screen, and
// a card dragged by the mouse.
#include "AppWindowsFixture.h"
#include "TestSupport.h"
#include "app/ChatForm.h"
#include "app/ComputerSeat.h"
#include "app/HintAdvisor.h"
#include "app/HowToPlay.h"
#include "app/RulesForm.h"
#include "app/TableAnnouncer.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"
#include "render/Graphics.h"
#include "render/LetterSet.h"
#include "render/Lettering.h"
#include "vantaro_version.h"

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

// The rows and columns in which two pictures of the drawing area differ.
QRect Differences(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
    return box;
}

void FillBoard(TMatch& match, int32_t red, int32_t blue) {
    // Nine cards on the board, one left in a hand; the owners make the score.
    for (int32_t i = 0; i < 9; ++i) match.Board[i / 3][i % 3] = {1, i < red - (red > blue ? 1 : 0) ? 0 : 1};
    match.Score[0] = red;
    match.Score[1] = blue;
}

TEST(TableAnnouncer, TurnsAndResultsAreWordedForWhoeverSitsAtTheTable) {
    TGame game;
    struct TCase {
        int32_t You;
        bool Computer;
        bool InProgress;
        int32_t Turn;
        int32_t Red, Blue;
        bool Full;
        QString LeftBy;
        const char* Turns;
        const char* Result;
    };
    const TCase cases[] = {
        {-1, false, true, 1, 5, 5, false, "", "Blue to move", ""},
        {-1, false, true, 0, 5, 5, false, "", "Red to move", ""},
        {1, true, true, 1, 5, 5, false, "", "You play Blue \u00b7 Your turn", ""},
        {1, true, true, 0, 5, 5, false, "", "You play Blue \u00b7 Red is thinking\u2026", ""},
        {0, false, true, 1, 5, 5, false, "", "You play Red \u00b7 Waiting for Blue", ""},
        {-1, false, false, 0, 4, 6, true, "", "", "Blue wins 6\u20134"},
        {-1, false, false, 1, 7, 3, true, "", "", "Red wins 7\u20133"},
        {1, true, false, 0, 4, 6, true, "", "", "You win 6\u20134"},
        {1, true, false, 0, 6, 4, true, "", "", "You lose 4\u20136"},
        {0, false, false, 0, 9, 1, true, "", "", "You win 9\u20131"},
        {0, false, false, 0, 5, 5, true, "", "", "Draw 5\u20135"},
        {0, false, false, 0, 3, 2, false, "Blue", "", "Blue left the match"},
        {1, false, false, 0, 3, 2, false, "", "", "Match stopped"},
    };
    for (const TCase& c : cases) {
        TMatch& match = game.Arrange();
        match.Resume();
        if (!c.InProgress) match.Stop();
        match.Turn = c.Turn;
        for (auto& row : match.Board)
            for (TOwnedCard& square : row) square = {};
        if (c.Full) FillBoard(match, c.Red, c.Blue);
        match.Score[0] = c.Red;
        match.Score[1] = c.Blue;
        TTableSeats seats;
        seats.You = c.You;
        seats.ComputerOpponent = c.Computer;
        seats.Announce = true;
        seats.LeftBy = c.LeftBy;
        EXPECT_EQ(TTableAnnouncer::TurnLine(game, seats), QString::fromUtf8(c.Turns)) << c.Turns;
        EXPECT_EQ(TTableAnnouncer::ResultLine(game, seats), QString::fromUtf8(c.Result)) << c.Result;
        seats.Announce = false;
        EXPECT_TRUE(TTableAnnouncer::TurnLine(game, seats).isEmpty());
        EXPECT_TRUE(TTableAnnouncer::ResultLine(game, seats).isEmpty());
    }
}

TEST(TableLettering, EveryCharacterIsPaintedAndTheLongestResultFitsItsPlate) {
    TGraphics graphics;
    const std::string data = TAppWindowsFixture::DataDir().toStdString();
    TLettering lettering;
    ASSERT_TRUE(
        lettering.Load(graphics, data + "/Lettering.bmp", LetterCellLargeWidth, LetterCellLargeHeight));
    TRect plate;
    ASSERT_TRUE(graphics.LoadBitmapSurface(data + "/ResultPlate.bmp", &plate, true, false));
    // A character without ink would be set as a space: "You win 6 4".
    const QString letters = QString::fromUtf8(LetterSetUtf8);
    for (const QChar letter : letters)
        EXPECT_TRUE(lettering.Painted(letter)) << QString(letter).toStdString();
    EXPECT_FALSE(lettering.Painted(QChar(u'#')));
    // The ribbon's notched ends take 20 pixels a side.
    for (const char* longest :
         {"Blue left the match", "Match stopped", "Blue wins 9\u20131", "You lose 1\u20139"})
        EXPECT_LE(lettering.TextWidth(QString::fromUtf8(longest)), plate.right - 40) << longest;
}

class AppTableTest : public TAppWindowsFixture {
protected:
    void Start(TShellEnvironment environment = {}) {
        ShowWindowsActive(std::move(environment));
        // The test runs every frame itself.
        VantaroForm->StopFrames();
    }
    QImage Picture() { return Game().Graphics->BackBuffer->Image().copy(); }
    QString Log() const { return ChatForm->ChatLog->toPlainText(); }
    // Frames until the computer has moved or the match is over.
    void FramesWhileTheComputerMoves() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (Game().InProgress && (Game().Phase != TGame::PhaseIdle || Game().Turn == 0) &&
               std::chrono::steady_clock::now() < deadline) {
            Frame();
            if (VantaroForm->Table().Computer().Thinking())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

TEST_F(AppTableTest, HotSeatDrawsNothingNewUntilAskedAndTheOptionsChangeOnlyTheirCorners) {
    Start();
    EXPECT_FALSE(VantaroForm->Menus().ViewAnnounce->isChecked());
    EXPECT_TRUE(VantaroForm->Menus().ViewFrameRate->isChecked());
    VantaroForm->FileNewGameClick();
    RunFrames();
    Frame();
    const QImage plain = Picture();
    // The same frame without anything of the overlay is the same picture.
    auto overlay = std::move(Game().Overlay);
    Game().Overlay = nullptr;
    Frame();
    EXPECT_EQ(Picture(), plain);
    Game().Overlay = std::move(overlay);

    VantaroForm->Menus().ViewAnnounce->trigger();
    Frame();
    const QRect turnLine = Differences(plain, Picture());
    ASSERT_FALSE(turnLine.isEmpty()) << "Blue to move is written";
    EXPECT_LT(turnLine.bottom(), TGame::BoardTop) << "only in the strip above board and hands";
    EXPECT_GT(turnLine.left(), 60) << "clear of the frame counter";

    VantaroForm->Menus().ViewAnnounce->trigger();
    VantaroForm->Menus().ViewFrameRate->trigger();
    Frame();
    const QRect counter = Differences(plain, Picture());
    ASSERT_FALSE(counter.isEmpty());
    EXPECT_LE(counter.right(), 80);
    EXPECT_LE(counter.bottom(), 20);
    VantaroForm->Menus().ViewFrameRate->trigger();
    EXPECT_EQ(VantaroForm->windowTitle(), "Vantaro");
}

TEST_F(AppTableTest, ASinglePlayerMatchEndsWithItsResultOnTheTable) {
    Start();
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    VantaroForm->UpdateTitle();
    EXPECT_EQ(VantaroForm->windowTitle(), "Vantaro \u2014 Single Player, Easy");
    VantaroForm->FileNewGameClick();
    RunFrames();
    while (Game().InProgress) {
        if (Game().Turn == 1 && Game().Phase == TGame::PhaseIdle) {
            Press(VK_RETURN);
            Press(VK_RETURN);
        }
        FramesWhileTheComputerMoves();
        RunFrames();
    }
    const QImage banner = Picture();
    const QString result = TTableAnnouncer::ResultLine(Game(), VantaroForm->Seats());
    ASSERT_TRUE(result.startsWith("You win") || result.startsWith("You lose") || result.startsWith("Draw"))
        << result.toStdString();
    // Drawn again without the announcements, only the banner's place differs.
    auto overlay = std::move(Game().Overlay);
    Game().Overlay = nullptr;
    Game().RedrawEnded();
    Game().Overlay = std::move(overlay);
    const QRect plate = Differences(banner, Picture());
    ASSERT_FALSE(plate.isEmpty());
    EXPECT_TRUE(QRect(56, 161, 400, 62).contains(plate))
        << plate.x() << "," << plate.y() << " " << plate.width() << "x" << plate.height();
}

TEST_F(AppTableTest, TheSideWindowFollowsTheGameType) {
    Start();
    auto mode = [](TGameType type) {
        RulesForm->GameType = type;
        VantaroForm->ChatModeChanged();
    };
    // At one keyboard it is the window it always was.
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "ChatEdit");
    EXPECT_TRUE(ChatForm->Blah1->isVisible());
    EXPECT_FALSE(ChatForm->LogMenu->menuAction()->isVisible());

    mode(TGameType::Network);
    EXPECT_TRUE(ChatForm->ChatEdit->toPlainText().isEmpty());
    EXPECT_FALSE(ChatForm->ChatEdit->placeholderText().isEmpty());
    EXPECT_FALSE(ChatForm->Blah1->isVisible());
    EXPECT_TRUE(ChatForm->LogMenu->menuAction()->isVisible());
    EXPECT_TRUE(ChatForm->ChatEdit->isVisibleTo(ChatForm));

    mode(TGameType::SinglePlayer);
    EXPECT_FALSE(ChatForm->ChatEdit->isVisibleTo(ChatForm)) << "chat reaches nobody here";
    EXPECT_FALSE(ChatForm->SendButton->isVisibleTo(ChatForm));
    EXPECT_EQ(ChatForm->ChatLog->geometry().bottom() + 1, 384);

    // The log's commands work.
    TScopedWorkDir work;
    const QString file = work.Path() + "/log.txt";
    ChatForm->AskSaveFile = [file] { return file; };
    ChatForm->LogSave->trigger();
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), Log() + "\n");
    ChatForm->LogClear->trigger();
    EXPECT_TRUE(Log().isEmpty());

    mode(TGameType::HotSeat);
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "ChatEdit");
    EXPECT_TRUE(ChatForm->ChatEdit->isVisibleTo(ChatForm));
    EXPECT_EQ(ChatForm->ChatLog->geometry(), QRect(0, 0, 241, 257));
}

TEST_F(AppTableTest, MenuKeysWorkFromTheSideWindowAndEscHandsTheKeysBack) {
    Start();
    RulesForm->GameType = TGameType::Network;
    VantaroForm->ChatModeChanged();
    RulesForm->GameType = TGameType::HotSeat;
    ChatForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ChatForm));
    ChatForm->ChatEdit->setFocus();
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_F2);
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing) << "F2 deals from the side window";
    RunFrames();
    // Typing in the field stays typing; the arrows there move the text cursor.
    QTest::keyClicks(ChatForm->ChatEdit, "hi");
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "hi");
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Down);
    EXPECT_EQ(Game().HandCursor, 0);
    // With nothing in the side window focused, the arrows play at the table.
    ChatForm->setFocus();
    QTest::keyClick(ChatForm, Qt::Key_Down);
    EXPECT_EQ(Game().HandCursor, 1);
    // Esc in the field hands the keys back to the table.
    ChatForm->ChatEdit->setFocus();
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitForWindowActive(VantaroForm));
    QTest::keyClick(VantaroForm, Qt::Key_Down);
    EXPECT_EQ(Game().HandCursor, 2);
    // Every menu command with a short cut is offered in the side window.
    for (QAction* action : {VantaroForm->FileNewGame, VantaroForm->FileExit, VantaroForm->Menus().HelpHint,
                            VantaroForm->Menus().HelpHowToPlay, VantaroForm->Menus().ViewZoomOut})
        EXPECT_TRUE(ChatForm->actions().contains(action)) << action->text().toStdString();
    EXPECT_EQ(VantaroForm->Menus().HelpHowToPlay->shortcut(), QKeySequence(Qt::Key_F1));
}

// The help is the one place a player reads about every command: none is
// left out, hidden ones (the replay's) included.
TEST_F(AppTableTest, TheHelpNamesEveryMenuCommandAndItsKey) {
    Start();
    QTextDocument page;
    page.setHtml(THowToPlay::Page());
    const QString text = page.toPlainText().simplified();
    for (QMenu* menu : {VantaroForm->Menus().FileMenu, VantaroForm->Menus().EditMenu,
                        VantaroForm->Menus().ViewMenu, VantaroForm->Menus().HelpMenu})
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            const QString name = action->text().remove('&');
            EXPECT_TRUE(text.contains(name)) << name.toStdString();
            const QString key = action->shortcut().toString(QKeySequence::NativeText);
            EXPECT_TRUE(key.isEmpty() || text.contains(key)) << key.toStdString();
        }
}

TEST_F(AppTableTest, OnASmallerScreenTheZoomStopsWhereBothWindowsFit) {
    TScopedWorkDir work;
    const QString settings = work.Path() + "/Vantaro.conf";
    {
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[View]\nZoom=3\n");
    }
    const QRect screen(0, 0, 1600, 1200);
    TShellEnvironment environment;
    environment.SettingsFile = settings;
    environment.ScreenArea = [screen] { return screen; };
    Start(environment);
    EXPECT_EQ(VantaroForm->Geometry().Zoom(), 2) << "3x does not fit beside the side window";
    EXPECT_FALSE(VantaroForm->Menus().ViewZoom[2]->isEnabled());
    EXPECT_TRUE(VantaroForm->Menus().ViewZoom[1]->isEnabled());
    VantaroForm->Geometry().SetZoom(3);
    EXPECT_EQ(VantaroForm->Geometry().Zoom(), 2);
    for (const int zoom : {1, 2}) {
        VantaroForm->Geometry().SetZoom(zoom);
        QApplication::processEvents();
        EXPECT_EQ(ChatForm->centralWidget()->height(), VantaroForm->GameBoard->height()) << zoom;
        EXPECT_TRUE(screen.contains(VantaroForm->frameGeometry())) << zoom;
        EXPECT_TRUE(screen.contains(ChatForm->frameGeometry())) << zoom;
        EXPECT_EQ(ChatForm->frameGeometry().top(), VantaroForm->frameGeometry().top());
    }
    // Moved, the table takes the side window along; at the screen's edge it stays on it.
    VantaroForm->move(40, 30);
    EXPECT_EQ(ChatForm->pos(),
              QPoint(VantaroForm->frameGeometry().right() + 1, VantaroForm->frameGeometry().top()));
    VantaroForm->move(1000, 30);
    EXPECT_TRUE(screen.contains(ChatForm->frameGeometry()));
}

// Another window (the lobby) opens beside the table and its side window,
// on the table's screen, trying right, left, below, above; with no room on
// any side, where it covers them least.
TEST_F(AppTableTest, AWindowOpenedBesideTheTableCoversNeitherWindowWhenThereIsRoom) {
    QRect screen(0, 0, 3840, 2160);
    TShellEnvironment environment;
    environment.ScreenArea = [&screen] { return screen; };
    Start(environment);
    const QSize lobby(860, 540);
    const struct {
        QRect Screen;
        QPoint Table;
        const char* Side; // "right", "left", "below", "above" or "least"
    } cases[] = {
        {{0, 0, 3840, 2160}, {40, 30}, "right"},  {{0, 0, 1700, 1000}, {900, 30}, "left"},
        {{0, 0, 900, 1200}, {40, 30}, "below"},   {{0, 0, 900, 1200}, {40, 650}, "above"},
        {{0, 0, 1200, 800}, {200, 150}, "least"},
    };
    for (const auto& c : cases) {
        screen = c.Screen;
        VantaroForm->move(c.Table);
        QApplication::processEvents();
        const QRect taken = VantaroForm->frameGeometry() | ChatForm->frameGeometry();
        const QRect placed(VantaroForm->Geometry().BesideTable(lobby), lobby);
        const std::string side = c.Side;
        EXPECT_TRUE(screen.contains(placed)) << side;
        if (side == "least") {
            EXPECT_TRUE(placed.intersects(taken));
            continue;
        }
        EXPECT_FALSE(placed.intersects(taken)) << side;
        const bool right = placed.left() > taken.right(), left = placed.right() < taken.left();
        const bool below = placed.top() > taken.bottom(), above = placed.bottom() < taken.top();
        EXPECT_EQ(side == "right", right) << side;
        EXPECT_EQ(side == "left", left) << side;
        EXPECT_EQ(side == "below", below && !right && !left) << side;
        EXPECT_EQ(side == "above", above && !right && !left) << side;
    }
}

TEST_F(AppTableTest, ADraggedCardFollowsThePointerAndGoesBackWhenDroppedOffAnEmptySquare) {
    Start();
    VantaroForm->FileNewGameClick();
    RunFrames();
    QWidget* board = VantaroForm->GameBoard;
    const int32_t card = Game().Hands[2][1];
    const QPoint grab(TGame::HandX[1] + 40, 29 + 55 * 2 + 20);
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, grab);
    // Over Red's hand: off every square. The card's top-left follows the
    // pointer less where it was grabbed (60, 20 into the shifted card).
    const QPoint over(60, 150);
    for (int step = 1; step <= 4; ++step) QTest::mouseMove(board, grab + (over - grab) * step / 4);
    EXPECT_EQ(Game().LiftedSlot, 2);
    Frame();
    const QImage held = Picture();
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, over);
    EXPECT_EQ(Game().LiftedSlot, -1);
    EXPECT_FALSE(Game().BoardCursorActive) << "back into the hand";
    EXPECT_EQ(Game().Hands[2][1], card);
    EXPECT_EQ(Game().Phase, TGame::PhaseIdle);
    Frame();
    const QRect moved = Differences(held, Picture());
    EXPECT_TRUE(moved.contains(QRect(0, 130, 85, 110))) << "drawn at the pointer";
    EXPECT_GE(moved.right(), TGame::HandX[1]) << "and gone from the hand meanwhile";
}

TEST_F(AppTableTest, ASuddenDeathReplaySaysWhoMovesFirst) {
    Start();
    TGameRules rules;
    rules.SuddenDeath = true;
    RulesForm->SetChoices(rules, TGameType::HotSeat, TLevel::Normal);
    VantaroForm->FileNewGameClick();
    RunFrames();
    // Eight equal cards down, four each, and one each in hand: the ninth
    // captures nothing and the match ends 5-5.
    const int32_t card = Game().Hands[0][1];
    TMatch& match = Game().Arrange();
    for (int32_t i = 0; i < 8; ++i) match.Board[i / 3][i % 3] = {card, i % 2};
    for (int32_t slot = 0; slot < 5; ++slot)
        match.Hands[slot][0] = match.Hands[slot][1] = slot == 4 ? card : -1;
    Game().HandCursor = 4;
    match.Turn = 1;
    match.Score[0] = match.Score[1] = 5;
    for (const uint16_t key : {VK_RETURN, VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}) Press(key);
    ASSERT_EQ(Game().Phase, TGame::PhaseFlight);
    RunFrames();
    ASSERT_TRUE(Game().InProgress) << "dealt again at once";
    const QString first = TTableAnnouncer::PlayerName(Game().Turn);
    EXPECT_TRUE(Log().contains("Sudden Death replay \u2014 rules: Open, Random, Sudden Death; " + first +
                               " moves first"))
        << Log().toStdString();
}

TEST_F(AppTableTest, TheLogGroupsHintsByMoveAndSaysARefusalOnce) {
    Start();
    RulesForm->SetChoices({}, TGameType::SinglePlayer, TLevel::Easy);
    VantaroForm->FileNewGameClick();
    RunFrames();
    for (int i = 0; i < 2; ++i) {
        VantaroForm->HelpHintClick();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (VantaroForm->Table().Hint().Busy() && std::chrono::steady_clock::now() < deadline) {
            Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(Log().count("Move 1, Blue to play"), 1) << Log().toStdString();
    Press(VK_RETURN);
    Press(VK_RETURN);
    RunFrames();
    ASSERT_EQ(Game().Turn, 0);
    for (int i = 0; i < 4; ++i) VantaroForm->HelpHintClick();
    EXPECT_EQ(Log().count("Hint: wait for your turn."), 1);
    EXPECT_NE(AboutText().indexOf(VANTARO_VERSION), -1);
}

} // namespace
