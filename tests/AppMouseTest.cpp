// The real windows, offscreen, played with the mouse (and keys mixed in), at
// every zoom; and the choices the program remembers between runs.
#include "AppWindowsFixture.h"
#include "TestSupport.h"
#include "app/BoardMouse.h"
#include "app/ChatForm.h"
#include "app/MatchLog.h"
#include "app/RulesForm.h"
#include "app/Windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// What a click may change, to show that one changed nothing.
struct TTurnState {
    int32_t Turn, HandCursor, BoardX, BoardY;
    bool BoardActive, InProgress;
    uint8_t Phase;
    int32_t Hands[5][2];
    TOwnedCard Board[3][3];
    explicit TTurnState(const TGame& game)
        : Turn(game.Turn), HandCursor(game.HandCursor), BoardX(game.BoardCursorX), BoardY(game.BoardCursorY),
          BoardActive(game.BoardCursorActive), InProgress(game.InProgress), Phase(game.Phase) {
        std::memcpy(Hands, game.Hands, sizeof Hands);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) Board[y][x] = game.Board[y][x];
    }
    bool operator==(const TTurnState& other) const {
        bool same = Turn == other.Turn && HandCursor == other.HandCursor && BoardX == other.BoardX &&
                    BoardY == other.BoardY && BoardActive == other.BoardActive &&
                    InProgress == other.InProgress && Phase == other.Phase &&
                    std::memcmp(Hands, other.Hands, sizeof Hands) == 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                same = same && Board[y][x].Card == other.Board[y][x].Card &&
                       Board[y][x].Owner == other.Board[y][x].Owner;
        return same;
    }
};

class AppMouseTest : public TAppWindowsFixture {
protected:
    void Start(const QString& settingsFile = {}) {
        TShellEnvironment environment;
        environment.SettingsFile = settingsFile;
        ShowWindowsActive(environment);
    }

    QWidget* Board() { return VantaroForm->GameBoard; }

    // The middle of a pixel of the drawing area, on the panel at the current zoom.
    QPoint At(QPoint drawing) const {
        const int zoom = VantaroForm->Geometry().Zoom();
        return drawing * zoom + QPoint(zoom / 2, zoom / 2);
    }
    static QPoint SquareCentre(int x, int y) { return {130 + 85 * x + 42, 29 + 110 * y + 55}; }
    // A part of the card in `slot` that no lower card covers.
    QPoint HandCard(int player, int slot) {
        const bool selected = player == Game().Turn && slot == Game().HandCursor;
        return {TGame::HandX[player] + 42 + (selected ? TGame::HandSelectShift[player] : 0),
                29 + 55 * slot + 27};
    }
    void Click(QPoint drawing, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Board(), button, Qt::NoModifier, At(drawing));
    }
    void Hover(QPoint drawing) { QTest::mouseMove(Board(), At(drawing)); }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(Board(), Qt::LeftButton, Qt::NoModifier, At(from));
        for (int step = 1; step <= 4; ++step) QTest::mouseMove(Board(), At(from + (to - from) * step / 4));
        QTest::mouseRelease(Board(), Qt::LeftButton, Qt::NoModifier, At(to));
    }
    QStringList LogLines() const { return ChatForm->ChatLog->toPlainText().split('\n'); }
};

TEST_F(AppMouseTest, WholeMatchWithTheMouseMixedWithKeys) {
    Start();
    EXPECT_EQ(LogLines(), QStringList{TMatchLog::Invitation});
    Click({256, 200});
    ASSERT_TRUE(Game().InProgress) << "a click on the table deals";
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing);
    RunFrames();

    const int squares[9] = {4, 0, 8, 2, 6, 1, 3, 5, 7};
    for (int play = 0; play < 9; ++play) {
        ASSERT_EQ(Game().Phase, TGame::PhaseIdle);
        const int32_t mover = Game().Turn;
        const int x = squares[play] % 3, y = squares[play] / 3;
        // The lowest card, which every hand still holds, or the one above it.
        const int slot = play % 2 == 0 || Game().Hands[3][mover] == -1 ? 4 : 3;
        const int32_t card = Game().Hands[slot][mover];
        switch (play % 4) {
        case 0: // click the card, click the square
            Click(HandCard(mover, slot));
            EXPECT_EQ(Game().HandCursor, slot);
            EXPECT_FALSE(Game().BoardCursorActive);
            Click(SquareCentre(x, y));
            break;
        case 1: // drag the card onto the square
            Drag(HandCard(mover, slot), SquareCentre(x, y));
            break;
        case 2: // keys to the board, the mouse to the square
            Key(slot == 4 ? Qt::Key_Down : Qt::Key_Up);
            while (Game().HandCursor != slot) Key(slot > Game().HandCursor ? Qt::Key_Down : Qt::Key_Up);
            Key(Qt::Key_Return);
            ASSERT_TRUE(Game().BoardCursorActive);
            Hover(SquareCentre(x, y));
            Click(SquareCentre(x, y));
            break;
        case 3: // the mouse to the square, Enter to play
            Click(HandCard(mover, slot));
            Hover(SquareCentre(x, y));
            ASSERT_TRUE(Game().BoardCursorActive) << "the pointer leads the board cursor";
            EXPECT_EQ(Game().BoardCursorX, x);
            EXPECT_EQ(Game().BoardCursorY, y);
            Key(Qt::Key_Return);
            break;
        }
        ASSERT_EQ(Game().Phase, TGame::PhaseFlight) << "play " << play;
        EXPECT_EQ(Game().Turn, 1 - mover);
        RunFrames();
        EXPECT_EQ(Game().Board[y][x].Card, card) << "play " << play;
    }
    ASSERT_TRUE(Game().GameOver);
    const QStringList log = LogLines();
    ASSERT_GE(log.size(), 4);
    EXPECT_TRUE(log[1].startsWith("New match"));
    EXPECT_EQ(log[log.size() - 2], TMatchLog::EndLine(Game().Score[0], Game().Score[1], false));
    EXPECT_EQ(log.last(), TMatchLog::Invitation);

    // After the end a click deals again.
    Second += 9;
    Click({20, 370});
    EXPECT_TRUE(Game().InProgress);
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing);
}

TEST_F(AppMouseTest, ClicksThatMustDoNothingDoNothing) {
    Start();
    Click({256, 200});
    // While the cards are dealt.
    const TTurnState dealing(Game());
    Click(HandCard(1, 4));
    Click(SquareCentre(1, 1));
    Click({256, 200}, Qt::RightButton);
    EXPECT_TRUE(TTurnState(Game()) == dealing);
    RunFrames();

    // Blue moves: Red's hand and a hover over the board with nothing clicked
    // change nothing.
    ASSERT_EQ(Game().Turn, 1);
    const TTurnState resting(Game());
    Click(HandCard(0, 4));
    Click(HandCard(0, 0));
    Hover(SquareCentre(2, 2));
    EXPECT_TRUE(TTurnState(Game()) == resting);

    // While the played card flies, every click is dropped.
    Click(HandCard(1, 4));
    Click(SquareCentre(1, 1));
    ASSERT_EQ(Game().Phase, TGame::PhaseFlight);
    const TTurnState flying(Game());
    Click(HandCard(0, 4));
    Click(SquareCentre(0, 0));
    Click({256, 10});
    Drag(HandCard(0, 4), SquareCentre(2, 2));
    EXPECT_TRUE(TTurnState(Game()) == flying);
    RunFrames();

    // Red on the occupied middle square: the cursor may go there, the card may not.
    Click(HandCard(0, 4));
    Hover(SquareCentre(1, 1));
    const TTurnState onOccupied(Game());
    ASSERT_TRUE(onOccupied.BoardActive);
    Click(SquareCentre(1, 1));
    Drag(HandCard(0, 4), SquareCentre(1, 1));
    Key(Qt::Key_Return);
    EXPECT_EQ(Game().Phase, TGame::PhaseIdle);
    EXPECT_EQ(Game().Turn, 0);

    // A right click goes back to the hand, the same card chosen; so does a
    // click off the board and off the hands.
    Click(HandCard(0, 3));
    Hover(SquareCentre(0, 2));
    ASSERT_TRUE(Game().BoardCursorActive);
    Click({256, 200}, Qt::RightButton);
    EXPECT_FALSE(Game().BoardCursorActive);
    EXPECT_EQ(Game().HandCursor, 3);
    Key(Qt::Key_Return);
    ASSERT_TRUE(Game().BoardCursorActive);
    Click({256, 10});
    EXPECT_FALSE(Game().BoardCursorActive);
    EXPECT_EQ(Game().HandCursor, 3);

    // A seat the person at this computer may not play takes neither clicks nor keys.
    VantaroForm->Table().LocalPlayerMayMove = [] { return false; };
    const TTurnState blocked(Game());
    Click(HandCard(0, 4));
    Click(SquareCentre(2, 2));
    Drag(HandCard(0, 2), SquareCentre(2, 0));
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    EXPECT_TRUE(TTurnState(Game()) == blocked);
    VantaroForm->Table().LocalPlayerMayMove = [] { return true; };
    Click(SquareCentre(2, 2));
    EXPECT_EQ(Game().Phase, TGame::PhaseFlight);
}

TEST_F(AppMouseTest, ZoomEnlargesByWholePixelsAndClicksMapBack) {
    Start();
    Click({256, 200});
    RunFrames();
    for (const int zoom : {2, 3, 1}) {
        if (zoom == 2)
            Key(Qt::Key_2, Qt::ControlModifier);
        else
            VantaroForm->Geometry().SetZoom(zoom);
        ASSERT_EQ(VantaroForm->Geometry().Zoom(), zoom);
        EXPECT_EQ(Board()->size(), QSize(512, 384) * zoom);
        EXPECT_EQ(VantaroForm->size(), QSize(512 * zoom, 384 * zoom + VantaroForm->MainMenu1->height()));
        EXPECT_EQ(VantaroForm->minimumSize(), VantaroForm->maximumSize());
        EXPECT_EQ(Game().Graphics->BackBuffer->Image().size(), QSize(512, 384)) << "the drawing area stays";
        EXPECT_TRUE(VantaroForm->Menus().ViewZoom[zoom - 1]->isChecked());
        const QRect main = VantaroForm->frameGeometry();
        EXPECT_EQ(ChatForm->pos(), QPoint(main.x() + main.width(), main.y()));

        // What the window shows is the drawing area, each pixel a zoom x zoom block.
        Frame();
        const QImage& back = Game().Graphics->BackBuffer->Image();
        const QImage shown = Board()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), back.size() * zoom);
        int wrong = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != back.pixel(x / zoom, y / zoom)) ++wrong;
        EXPECT_EQ(wrong, 0) << "zoom " << zoom;
    }

    // Ctrl+minus and Ctrl+plus step through the factors and stop at the ends.
    Key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(VantaroForm->Geometry().Zoom(), 1);
    Key(Qt::Key_Plus, Qt::ControlModifier);
    Key(Qt::Key_Plus, Qt::ControlModifier);
    Key(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(VantaroForm->Geometry().Zoom(), 3);

    // The first and last panel pixels of a drawing pixel map to it, at 2x and 3x.
    for (const int zoom : {2, 3}) {
        VantaroForm->Geometry().SetZoom(zoom);
        {
            // A second watcher would take the clicks below; it lives only for this.
            const TBoardMouse mapping(Board(), Game(), {});
            for (const QPoint drawing : {QPoint(0, 0), QPoint(130, 29), QPoint(214, 138), QPoint(511, 383)}) {
                EXPECT_EQ(mapping.DrawingPoint(QPointF(drawing * zoom)), drawing);
                const QPointF last = QPointF(drawing * zoom) + QPointF(zoom - 0.01, zoom - 0.01);
                EXPECT_EQ(mapping.DrawingPoint(last), drawing);
            }
        }
        // A real play at this zoom: the corner pixels of the chosen card and square.
        const int32_t mover = Game().Turn;
        Click(QPoint(TGame::HandX[mover], 29 + 55 * 3));
        EXPECT_EQ(Game().HandCursor, 3);
        const int32_t card = Game().Hands[3][mover];
        const int x = zoom == 2 ? 2 : 0;
        Click(QPoint(130 + 85 * x + 84, 29 + 110 * 2 + 109));
        ASSERT_EQ(Game().Phase, TGame::PhaseFlight);
        RunFrames();
        EXPECT_EQ(Game().Board[2][x].Card, card) << "zoom " << zoom;
    }
}

TEST_F(AppMouseTest, RulesDialogChoosesTheGameTypeAndLevel) {
    Start();
    EXPECT_TRUE(RulesForm->SinglePlayerRadio->isEnabled());
    EXPECT_TRUE(RulesForm->MultiRadio->isEnabled());
    EXPECT_TRUE(RulesForm->HotSeatRadio->isChecked());
    EXPECT_FALSE(RulesForm->LevelCombo->isEnabled()) << "a level only for Single Player";
    EXPECT_EQ(RulesForm->LevelCombo->currentText(), "Normal");

    QTimer::singleShot(0, [] {
        RulesForm->SinglePlayerRadio->setChecked(true);
        EXPECT_TRUE(RulesForm->LevelCombo->isEnabled());
        RulesForm->LevelCombo->setCurrentIndex(2);
        RulesForm->CancelButton->click();
    });
    VantaroForm->FileRulesClick();
    EXPECT_EQ(RulesForm->GameType, TGameType::HotSeat) << "Cancel keeps the old choice";
    EXPECT_EQ(RulesForm->Level, TLevel::Normal);

    QTimer::singleShot(0, [] { RulesForm->OKButton->click(); });
    VantaroForm->FileRulesClick();
    EXPECT_EQ(RulesForm->GameType, TGameType::SinglePlayer);
    EXPECT_EQ(RulesForm->Level, TLevel::Perfect);
}

TEST_F(AppMouseTest, ChoicesAreRememberedBetweenRuns) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Vantaro.conf");
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue("Rules/Same", true);
        settings.setValue("Game/Type", "single-player");
        settings.setValue("Game/Level", "easy");
        settings.setValue("View/Zoom", 2);
        settings.setValue("Window/X", 30);
        settings.setValue("Window/Y", 40);
    }
    Start(file);
    EXPECT_EQ(VantaroForm->pos(), QPoint(30, 40));
    EXPECT_EQ(Board()->size(), QSize(1024, 768));
    EXPECT_EQ(Game().Graphics->BackBuffer->Image().size(), QSize(512, 384));
    EXPECT_TRUE(RulesForm->Rules.Same);
    EXPECT_TRUE(RulesForm->SameCheck->isChecked());
    EXPECT_TRUE(RulesForm->SinglePlayerRadio->isChecked());
    EXPECT_EQ(RulesForm->Level, TLevel::Easy);
    Key(Qt::Key_F2);
    EXPECT_TRUE(Game().Rules.Same);

    // A change of zoom and a closed window are written back.
    VantaroForm->Geometry().SetZoom(3);
    VantaroForm->move(60, 70);
    VantaroForm->close();
    DestroyWindows();
    Start(file);
    EXPECT_EQ(VantaroForm->Geometry().Zoom(), 3);
    EXPECT_EQ(VantaroForm->pos(), QPoint(60, 70));
    EXPECT_TRUE(RulesForm->Rules.Same);
    EXPECT_EQ(RulesForm->GameType, TGameType::SinglePlayer);
}

} // namespace
