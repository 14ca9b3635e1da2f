#pragma once

#include "TestSupport.h"
#include "app/DirectPlay.h"
#include "app/MainMenu.h"
#include "app/OnlinePlay.h"
#include "app/ReplayControl.h"
#include "app/Sound.h"
#include "app/TableDriver.h"
#include "app/TableListeners.h"
#include "app/WindowGeometry.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

// The program's four windows, created for real (offscreen) in the folder that
// holds the generated data tree, with both clocks and the message box in the
// test's hands: Second is the calendar, Now the frame clock in microseconds,
// and whatever would be shown in a message box lands in Messages.
class TAppWindowsFixture : public ::testing::Test {
    struct TSilence : TSoundPlayer {
        void Play(TSound) override {}
    };

public:
    // The data tree the build writes.
    static QString DataDir() { return QStringLiteral(VANTARO_DATA_DIR); }

protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(DataDir()).exists())
            << "the build writes the data tree to " << DataDir().toStdString();
        Previous = QDir::currentPath();
        QDir::setCurrent(QFileInfo(DataDir()).path());
        FlightLeg = 1;
        FlipStep = 1;
    }
    void TearDown() override {
        DestroyWindows();
        QDir::setCurrent(Previous);
        EndQuit();
    }
    // A closed or failed main window asks the application to quit. Taken with
    // no application loop running, that request would end every later test's
    // dialogs the moment they open: a loop of the application's own takes it
    // and clears it.
    static void EndQuit() {
        QTimer end;
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, [] { QCoreApplication::exit(0); });
        end.start(0);
        QCoreApplication::exec();
    }

    // Creates the windows with this fixture's clocks and message sink (the
    // rest of the environment as given) and shows the main one, which loads
    // everything.
    void ShowWindows(TShellEnvironment environment = {}) {
        environment.Message = Messages.Sink();
        environment.CalendarClock = [this] { return Second; };
        environment.FrameClock = [this] { return Now; };
        // Room for every zoom, unless the test brings its own screen.
        if (!environment.ScreenArea) environment.ScreenArea = [] { return QRect(0, 0, 3840, 2160); };
        // A question is answered with Answer, and kept, unless the test answers itself.
        if (!environment.Confirm)
            environment.Confirm = [this](const QString&, const QString& question) {
                Questions << question;
                return Answer;
            };
        // The machine's sound device is not the test's: silence unless a test listens.
        if (!environment.MakeSoundPlayer)
            environment.MakeSoundPlayer = [](const TDataFolder&) { return std::make_unique<TSilence>(); };
        CreateWindows(environment);
        VantaroForm->show();
    }
    // As ShowWindows, and waits until the main window is the active one, as
    // menu short cuts need.
    void ShowWindowsActive(TShellEnvironment environment = {}) {
        ShowWindows(std::move(environment));
        VantaroForm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(VantaroForm));
    }

    TGame& Game() { return *VantaroForm->Game; }

    // One frame of 16 ms.
    void Frame() {
        Now += 16000;
        VantaroForm->ApplicationIdle();
    }
    // Frames of 16 ms until nothing moves.
    void RunFrames(int atMost = 2000) {
        for (int i = 0; i < atMost && Game().Phase != TGame::PhaseIdle; ++i) Frame();
        Frame();
    }
    // A key as the table's own key handler takes it.
    void Press(uint16_t key) { VantaroForm->FormKeyDown(key); }
    // The player to move plays a random card on a random empty square with
    // the keys, and the table runs until nothing moves.
    void PlayRandom(std::mt19937& random) {
        std::vector<int32_t> held;
        for (int32_t slot = 0; slot < 5; ++slot)
            if (Game().Hands[slot][Game().Turn] >= 0) held.push_back(slot);
        std::vector<std::pair<int32_t, int32_t>> squares;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x)
                if (Game().Board[y][x].Card < 0) squares.push_back({x, y});
        ASSERT_FALSE(held.empty());
        ASSERT_FALSE(squares.empty());
        const int32_t slot = held[random() % held.size()];
        const auto [x, y] = squares[random() % squares.size()];
        while (Game().HandCursor > slot) Press(VK_UP);
        while (Game().HandCursor < slot) Press(VK_DOWN);
        Press(VK_RETURN);
        while (Game().BoardCursorX > x) Press(VK_LEFT);
        while (Game().BoardCursorX < x) Press(VK_RIGHT);
        while (Game().BoardCursorY > y) Press(VK_UP);
        while (Game().BoardCursorY < y) Press(VK_DOWN);
        Press(VK_RETURN);
        ASSERT_EQ(Game().Phase, TGame::PhaseFlight);
        RunFrames();
    }
    // A key typed into the main window, as a person types it.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        // Menu short cuts answer only in the active window, which a closed dialog hands back late.
        if (QApplication::activeWindow() != VantaroForm) {
            VantaroForm->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(VantaroForm));
        }
        QTest::keyClick(VantaroForm, key, modifiers);
    }

    TRecorder Messages;
    QStringList Questions;
    bool Answer = true;
    int64_t Second = 1700000000;
    uint64_t Now = 1000000;
    QString Previous;
};
