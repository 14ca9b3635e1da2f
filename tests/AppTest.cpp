// The program's windows, created for real (offscreen) and driven through key
// events, loading the generated data from the build folder.
#include "AppWindowsFixture.h"
#include "TestSupport.h"
#include "app/ChatForm.h"
#include "app/LogCap.h"
#include "app/ProgressForm.h"
#include "app/RulesForm.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

// Counts the presses of one key that were delivered to a window as ordinary keys.
class TKeyPressCounter : public QObject {
public:
    explicit TKeyPressCounter(int key) : Key(key) {}
    int Key;
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Key) ++Count;
        return false;
    }
};

class AppTest : public TAppWindowsFixture {
protected:
    // Creates the four windows and shows the main one, which loads everything.
    void Start() { ShowWindowsActive(); }
};

TEST_F(AppTest, MainWindowHasItsLayoutAndMenu) {
    Start();
    EXPECT_EQ(VantaroForm->windowTitle(), "Vantaro");
    EXPECT_EQ(VantaroForm->GameBoard->size(), QSize(512, 384));
    EXPECT_EQ(VantaroForm->GameBoard->mapTo(VantaroForm, QPoint(0, 0)).y(), VantaroForm->MainMenu1->height());
    // Fixed size, no maximise button.
    EXPECT_EQ(VantaroForm->minimumSize(), VantaroForm->maximumSize());
    EXPECT_FALSE(VantaroForm->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(VantaroForm->pos(), QPoint(197, 120));
    EXPECT_EQ(VantaroForm->FileNewGame->text(), "&New Game");
    EXPECT_EQ(VantaroForm->FileNewGame->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(VantaroForm->FileRules->text(), "&Rules");
    EXPECT_EQ(VantaroForm->FileExit->text(), "E&xit");
    EXPECT_EQ(VantaroForm->FileExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(VantaroForm->HelpMenu->title(), "&Help");
}

TEST_F(AppTest, StartUpLoadsEverythingBehindTheProgressWindow) {
    Start();
    EXPECT_TRUE(Messages.Lines.empty()) << Messages.Lines.front();
    EXPECT_FALSE(VantaroForm->TerminationRequested());
    EXPECT_EQ(ProgressForm->Progress->value(), 112);
    EXPECT_EQ(ProgressForm->TaskLabel->text(), "Loading cards (110 of 110)...");
    EXPECT_FALSE(ProgressForm->isVisible());
    // The splash picture is the generated one, kept inside the program.
    const QImage splash = ProgressForm->SplashImage->pixmap().toImage();
    ASSERT_EQ(splash.size(), QSize(320, 240));
    EXPECT_NE(splash.pixel(160, 120), splash.pixel(5, 5)) << "a hand of cards on the grey, not grey alone";
    EXPECT_TRUE(VantaroForm->IdleHookInstalled());
    EXPECT_EQ(Game().Cards->NumCards, 110);
    // The chat window stands against the main window's right edge, shown.
    EXPECT_TRUE(ChatForm->isVisible());
    const QRect main = VantaroForm->frameGeometry();
    EXPECT_EQ(ChatForm->pos(), QPoint(main.x() + main.width(), main.y())) << ChatForm->frameGeometry().x();
    // Moving the main window later takes it along.
    VantaroForm->move(50, 60);
    EXPECT_EQ(ChatForm->pos(),
              QPoint(VantaroForm->frameGeometry().right() + 1, VantaroForm->frameGeometry().top()));
}

TEST_F(AppTest, BeforeTheFirstMatchOnlyTheBoardIsShown) {
    Start();
    // The frame loop composes the still picture once by itself, then rests.
    ASSERT_TRUE(QTest::qWaitFor([] { return VantaroForm->Frames()->FramesRun() > 0; }));
    ASSERT_TRUE(QTest::qWaitFor([] { return !VantaroForm->Frames()->Scheduled(); }));
    const QImage& frame = Game().Graphics->BackBuffer->Image();
    const QImage& board = Game().Sprites->BoardImage->GetSurface()->Image();
    EXPECT_EQ(frame.convertToFormat(QImage::Format_RGB32), board.convertToFormat(QImage::Format_RGB32));
    // What the window shows is that frame.
    const QImage shown = VantaroForm->GameBoard->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(200, 100), frame.pixel(200, 100));
}

TEST_F(AppTest, WholeMatchPlayedWithKeys) {
    Start();
    TKeyPressCounter f2(Qt::Key_F2), enter(Qt::Key_Return);
    VantaroForm->installEventFilter(&f2);
    VantaroForm->installEventFilter(&enter);
    ASSERT_TRUE(QTest::qWaitFor([] { return !VantaroForm->Frames()->Scheduled(); }));
    Key(Qt::Key_F2);
    EXPECT_EQ(f2.Count, 0) << "F2 is the menu's, not the game's";
    EXPECT_TRUE(VantaroForm->Frames()->Scheduled()) << "a new match sets the frames running";
    ASSERT_TRUE(Game().InProgress);
    ASSERT_EQ(Game().Phase, TGame::PhaseDealing);
    EXPECT_EQ(Game().Turn, 1) << "blue moves first";

    // F2 while the cards are dealt changes nothing.
    int32_t hands[5][2];
    std::memcpy(hands, Game().Hands, sizeof hands);
    Second += 5;
    Key(Qt::Key_F2);
    EXPECT_EQ(std::memcmp(hands, Game().Hands, sizeof hands), 0);
    RunFrames();

    for (int play = 0; play < 9; ++play) {
        ASSERT_TRUE(Game().InProgress);
        ASSERT_EQ(Game().Phase, TGame::PhaseIdle);
        const int32_t mover = Game().Turn;
        Key(Qt::Key_Down);
        Key(Qt::Key_Return);
        ASSERT_TRUE(Game().BoardCursorActive);
        Key(Qt::Key_Enter); // the keypad's Enter plays too
        ASSERT_EQ(Game().Phase, TGame::PhaseFlight);
        EXPECT_EQ(Game().Turn, 1 - mover);
        // F2 during the flight is refused.
        Key(Qt::Key_F2);
        EXPECT_EQ(Game().Phase, TGame::PhaseFlight);
        RunFrames();
        EXPECT_EQ(Game().Score[0] + Game().Score[1], 10);
    }
    EXPECT_FALSE(Game().InProgress);
    EXPECT_TRUE(Game().GameOver);
    EXPECT_EQ(f2.Count, 0);
    EXPECT_EQ(enter.Count, 9) << "Enter reaches the game";

    // Keys do nothing after the end; the last picture stays.
    const QImage last = Game().Graphics->BackBuffer->Image().copy();
    Key(Qt::Key_Return);
    Frame();
    Frame();
    EXPECT_EQ(Game().Graphics->BackBuffer->Image(), last);
    EXPECT_TRUE(QTest::qWaitFor([] { return !VantaroForm->Frames()->Scheduled(); }))
        << "no frames once the match is over";

    // F2 between matches deals a fresh one.
    Key(Qt::Key_F2);
    EXPECT_TRUE(VantaroForm->Frames()->Scheduled());
    EXPECT_TRUE(Game().InProgress);
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing);
}

TEST_F(AppTest, CtrlXClosesTheProgramWithoutReachingTheGame) {
    Start();
    TKeyPressCounter counter(Qt::Key_X);
    VantaroForm->installEventFilter(&counter);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(counter.Count, 0);
    EXPECT_FALSE(VantaroForm->isVisible());
}

TEST_F(AppTest, RulesDialogTakesEffectAtTheNextNewGame) {
    Start();
    EXPECT_EQ(RulesForm->windowTitle(), "Rules");
    EXPECT_TRUE(RulesForm->SinglePlayerRadio->isEnabled());
    EXPECT_TRUE(RulesForm->MultiRadio->isEnabled());
    EXPECT_FALSE(RulesForm->OpenCheck->isEnabled());
    EXPECT_TRUE(RulesForm->OpenCheck->isChecked());
    EXPECT_EQ(RulesForm->SameWallCheck->text(), "Same &Wall");
    EXPECT_EQ(RulesForm->SuddenDeathCheck->text(), "S&udden Death");

    Key(Qt::Key_F2);
    RunFrames();
    EXPECT_FALSE(Game().Rules.Same);

    // Tick Same and Plus, confirm with Enter (OK is the default button).
    QTimer::singleShot(0, [] {
        RulesForm->SameCheck->setChecked(true);
        RulesForm->PlusCheck->setChecked(true);
        QTest::keyClick(RulesForm, Qt::Key_Return);
    });
    VantaroForm->FileRulesClick();
    EXPECT_TRUE(RulesForm->Rules.Same);
    EXPECT_TRUE(RulesForm->Rules.Plus);
    EXPECT_FALSE(Game().Rules.Same) << "the running match keeps its rules";

    // Tick Elemental and leave with Esc: the record keeps its old value, the tick stays.
    QTimer::singleShot(0, [] {
        RulesForm->ElementalCheck->setChecked(true);
        QTest::keyClick(RulesForm, Qt::Key_Escape);
    });
    VantaroForm->FileRulesClick();
    EXPECT_FALSE(RulesForm->Rules.Elemental);
    EXPECT_TRUE(RulesForm->ElementalCheck->isChecked());

    // Cancel does the same as Esc.
    QTimer::singleShot(0, [] {
        RulesForm->SuddenDeathCheck->setChecked(true);
        RulesForm->CancelButton->click();
    });
    VantaroForm->FileRulesClick();
    EXPECT_FALSE(RulesForm->Rules.SuddenDeath);

    Key(Qt::Key_F2);
    EXPECT_TRUE(Game().Rules.Same);
    EXPECT_TRUE(Game().Rules.Plus);
    EXPECT_FALSE(Game().Rules.Elemental);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) EXPECT_EQ(Game().Elements[row][column], 0);
}

TEST_F(AppTest, ChatWindowIsInertAndClosingOnlyHidesIt) {
    Start();
    EXPECT_EQ(ChatForm->windowTitle(), "Vantaro Chat");
    EXPECT_EQ(ChatForm->centralWidget()->size(), QSize(242, 384));
    EXPECT_EQ(ChatForm->ChatLog->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "ChatEdit");
    EXPECT_EQ(ChatForm->SendButton->text(), "Send");
    ChatForm->ChatEdit->setFocus();
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Return);
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "ChatEdit") << "Enter alone adds no line";
    ChatForm->close();
    EXPECT_FALSE(ChatForm->isVisible());
    EXPECT_TRUE(VantaroForm->isVisible());
}

// The side window's log scrolls back to its early lines, keeps the reader's
// place as lines come and the oldest go, and follows new lines only from the
// bottom; it looks exactly as the inert log always did.
TEST_F(AppTest, TheLogScrollsKeepsItsPlaceAndLooksAsItAlwaysDid) {
    Start();
    QTextEdit& log = *ChatForm->ChatLog;
    ChatForm->ClearLog();
    ChatForm->Cap = TLogCap(60);
    for (int i = 0; i < 40; ++i) ChatForm->AppendLine(QString("Line %1").arg(i));
    QScrollBar& bar = *log.verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0);
    EXPECT_EQ(bar.value(), bar.maximum()) << "new lines are followed from the bottom";

    // The same lines in the log as it was: disabled, with its text colours kept.
    QTextEdit inert;
    inert.setGeometry(log.geometry());
    inert.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    inert.setReadOnly(true);
    inert.setEnabled(false);
    QPalette legible = inert.palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base})
        legible.setColor(QPalette::Disabled, role, legible.color(QPalette::Active, role));
    inert.setPalette(legible);
    inert.setPlainText(log.toPlainText());
    bar.setValue(0);
    const auto picture = [](QWidget& widget) {
        return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(picture(log), picture(inert));

    const auto topLine = [&] { return log.cursorForPosition(QPoint(4, 4)).block().text(); };
    QWheelEvent up(QPointF(20, 20), log.mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    bar.setValue(bar.maximum());
    for (int turn = 0; turn < 100 && bar.value() > 0; ++turn) QApplication::sendEvent(log.viewport(), &up);
    EXPECT_EQ(bar.value(), 0) << "the wheel reaches the first lines";
    EXPECT_EQ(topLine(), "Line 0");
    bar.setValue(bar.maximum() / 2);
    const QString reading = topLine();
    // Lines come and, past the bound, the oldest go: the line read stays on top.
    for (int i = 40; i < 70; ++i) ChatForm->AppendLine(QString("Line %1").arg(i));
    EXPECT_EQ(topLine(), reading);
    EXPECT_LT(bar.value(), bar.maximum());
    bar.setValue(bar.maximum());
    ChatForm->AppendLine("Line 70");
    EXPECT_EQ(bar.value(), bar.maximum());
    EXPECT_EQ(log.document()->lastBlock().text(), "Line 70");
}

// A copy of the generated data tree in a temporary folder, less one file.
class AppLoadFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        FlightLeg = 1;
        FlipStep = 1;
    }
    void TearDown() override { DestroyWindows(); }

    // Into the working directory unless another folder is given.
    void CopyDataWithout(const QString& left, const QString& into = {}) {
        QDirIterator files(TAppWindowsFixture::DataDir(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString from = files.next();
            const QString relative = QDir(TAppWindowsFixture::DataDir()).relativeFilePath(from);
            if (relative == left) continue;
            const QString to = (into.isEmpty() ? Work.Path() : into) + "/Data/" + relative;
            QDir().mkpath(QFileInfo(to).path());
            ASSERT_TRUE(QFile::copy(from, to));
        }
    }

    void CreateWindowsRecordingMessages(const QString& applicationDir = {}) {
        TShellEnvironment environment;
        environment.Message = Messages.Sink();
        environment.ApplicationDir = applicationDir;
        CreateWindows(environment);
    }

    TScopedWorkDir Work;
    TRecorder Messages;
};

TEST_F(AppLoadFailureTest, MissingCardPictureEndsStartUpWithItsMessage) {
    CopyDataWithout("Red/57.bmp");
    CreateWindowsRecordingMessages();
    VantaroForm->show();
    ASSERT_EQ(Messages.Lines.size(), 1u);
    EXPECT_EQ(Messages.Lines[0], "Could not load file Data/Red/57.bmp");
    EXPECT_EQ(ProgressForm->TaskLabel->text(), "Loading cards (57 of 110)...");
    EXPECT_TRUE(VantaroForm->TerminationRequested());
    EXPECT_TRUE(ChatForm->isVisible());
    // The message loop ends by itself, with exit code 0.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(AppLoadFailureTest, MissingImageStillLoadsTheCardsThenEnds) {
    CopyDataWithout("Numbers/+.bmp");
    CreateWindowsRecordingMessages();
    VantaroForm->show();
    ASSERT_EQ(Messages.Lines.size(), 1u);
    EXPECT_EQ(Messages.Lines[0], "Could not load image Data/Numbers/+.bmp");
    EXPECT_FALSE(VantaroForm->IdleHookInstalled());
    EXPECT_EQ(VantaroForm->Game->Cards->NumCards, 110);
    EXPECT_EQ(ProgressForm->Progress->value(), 112);
    EXPECT_TRUE(VantaroForm->TerminationRequested());
}

} // namespace

namespace {

TEST_F(AppLoadFailureTest, DataBesideTheProgramServesWhenTheWorkingDirectoryHasNone) {
    // The working directory (Work) has no Data/; the program's folder has.
    QTemporaryDir program;
    CopyDataWithout("", program.path());
    CreateWindowsRecordingMessages(program.path());
    VantaroForm->show();
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{});
    EXPECT_FALSE(VantaroForm->TerminationRequested());
    EXPECT_TRUE(VantaroForm->IdleHookInstalled());
    EXPECT_EQ(VantaroForm->Game->Cards->NumCards, 110);
    EXPECT_EQ(ProgressForm->Progress->value(), 112);
}

TEST_F(AppLoadFailureTest, WithoutDataAnywhereTheFoldersSearchedAreNamedOnce) {
    QTemporaryDir program;
    CreateWindowsRecordingMessages(program.path());
    VantaroForm->show();
    EXPECT_EQ(Messages.Lines,
              std::vector<std::string>{TDataFolder::NotFoundMessage(Work.Path(), program.path())});
    EXPECT_NE(Messages.Lines[0].find(QDir(program.path()).absolutePath().toStdString()), std::string::npos);
    EXPECT_TRUE(VantaroForm->TerminationRequested());
    EXPECT_FALSE(VantaroForm->IdleHookInstalled());
    EXPECT_FALSE(VantaroForm->Game->Sprites->BoardImage);
    EXPECT_EQ(VantaroForm->Game->Cards->NumCards, 0);
}

TEST_F(AppLoadFailureTest, DeviceThatCannotOpenIsReportedAndEndsTheProgram) {
    CopyDataWithout("");
    CreateWindowsRecordingMessages();
    // A board with no pixels leaves the device nothing to draw into.
    VantaroForm->GameBoard->setFixedSize(0, 0);
    VantaroForm->show();
    ASSERT_EQ(Messages.Lines.size(), 1u);
    EXPECT_EQ(Messages.Lines[0], "Could not open the drawing device.");
    EXPECT_TRUE(VantaroForm->TerminationRequested());
    EXPECT_FALSE(VantaroForm->IdleHookInstalled());
    // Nothing draws, so nothing crashes either when a frame is asked for.
    VantaroForm->ApplicationIdle();
}

} // namespace
