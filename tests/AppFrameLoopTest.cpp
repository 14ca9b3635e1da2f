#include "app/FrameLoop.h"

#include <QTest>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

TEST(AppFramePacer, PeriodFollowsTheDisplayRate) {
    EXPECT_EQ(TFramePacer::PeriodFor(60), 16667);
    EXPECT_EQ(TFramePacer::PeriodFor(59.95), 16681);
    EXPECT_EQ(TFramePacer::PeriodFor(144), 6944);
    // A screen that reports no rate, or one no screen has, is taken as 60 Hz.
    for (double odd : {0.0, -60.0, 5.0, 1e6, std::nan("")})
        EXPECT_EQ(TFramePacer::PeriodFor(odd), 16667) << odd;
}

TEST(AppFramePacer, KeepsFramesOnTheRefreshGrid) {
    TFramePacer pacer(16000);
    pacer.Restart(1000);
    EXPECT_EQ(pacer.Delay(1000), 0);
    pacer.FrameRan(1200);
    EXPECT_EQ(pacer.Delay(1200), 15800);
    // A frame 3 ms late does not push the ones after it back.
    pacer.FrameRan(20000);
    EXPECT_EQ(pacer.NextDeadline, 33000);
    EXPECT_EQ(pacer.Delay(33500), 0);
    // After a stall the missed frames are skipped, not run back to back.
    pacer.FrameRan(100000);
    EXPECT_EQ(pacer.NextDeadline, 113000);
    // A frame that ends exactly on a grid point waits for the next one.
    pacer.FrameRan(129000);
    EXPECT_EQ(pacer.NextDeadline, 145000);
    // One run early (a timer firing ahead) keeps the grid as well.
    pacer.FrameRan(144500);
    EXPECT_EQ(pacer.NextDeadline, 161000);
}

namespace {

// A frame loop over a plain window, counting its frames; whether the picture
// moves is the test's to say.
class AppFrameLoop : public testing::Test {
protected:
    void SetUp() override {
        Window.resize(64, 48);
        Window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
        Loop = std::make_unique<TFrameLoop>(
            &Window, [this] { ++Frames; }, [this] { return Moving; });
    }

    bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }

    // No frame runs for a while (the loop's period is far shorter).
    void ExpectNoFrames() {
        const int before = Frames;
        QTest::qWait(120);
        EXPECT_EQ(Frames, before);
        EXPECT_FALSE(Loop->Scheduled());
    }

    QWidget Window;
    bool Moving = true;
    int Frames = 0;
    std::unique_ptr<TFrameLoop> Loop;
};

} // namespace

TEST_F(AppFrameLoop, RunsWhileThePictureMovesAndRestsOtherwise) {
    Loop->Wake();
    ASSERT_TRUE(WaitFor([this] { return Frames >= 3; }));
    EXPECT_TRUE(Loop->Scheduled());
    EXPECT_EQ(Loop->FramesRun(), Frames);

    Moving = false;
    ASSERT_TRUE(WaitFor([this] { return !Loop->Scheduled(); }));
    ExpectNoFrames();

    // At rest a wake composes the still picture once.
    const int before = Frames;
    Loop->Wake();
    ASSERT_TRUE(WaitFor([&] { return Frames == before + 1; }));
    ExpectNoFrames();
}

TEST_F(AppFrameLoop, DrawsNothingWhileMinimisedOrHidden) {
    Loop->Wake();
    ASSERT_TRUE(WaitFor([this] { return Frames >= 1; }));

    Window.showMinimized();
    EXPECT_FALSE(Loop->CanBeSeen());
    ExpectNoFrames();
    Loop->Wake(); // a match started meanwhile waits for the window
    ExpectNoFrames();
    // Restored, it goes on by itself.
    Window.showNormal();
    int before = Frames;
    ASSERT_TRUE(WaitFor([&] { return Frames >= before + 2; }));

    Window.hide();
    ExpectNoFrames();
    Window.show();
    before = Frames;
    ASSERT_TRUE(WaitFor([&] { return Frames >= before + 2; }));
}
