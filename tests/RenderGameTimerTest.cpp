#include "render/GameTimer.h"

#include <gtest/gtest.h>

namespace {

// A timer on a clock the test sets by hand; the module's window counters are
// reset so that no other test's ticks leak in.
class RenderGameTimer : public testing::Test {
protected:
    void SetUp() override {
        FrameCount = 0;
        AccumulatedTime = 0;
    }
    void TearDown() override {
        FrameCount = 0;
        AccumulatedTime = 0;
    }

    uint32_t Now = 0;
    int Readings = 0;
    TGameTimer Timer{[this] {
        ++Readings;
        return Now;
    }};
};

} // namespace

TEST_F(RenderGameTimer, StartsStoppedAndIgnoresTicksUntilStarted) {
    EXPECT_EQ(Timer.Elapsed, 0.0f);
    EXPECT_EQ(Timer.FramesPerSecond, 0);
    EXPECT_FALSE(Timer.Running);

    Now = 5000;
    Timer.Tick();
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.0f);
    EXPECT_EQ(Timer.FramesPerSecond, 0);
    EXPECT_EQ(Timer.LastTime, 0u);
    EXPECT_EQ(Timer.CurrentTime, 0u);
    EXPECT_EQ(FrameCount, 0);
    EXPECT_EQ(AccumulatedTime, 0);
    EXPECT_EQ(Readings, 0);

    Timer.Start();
    EXPECT_TRUE(Timer.Running);
    EXPECT_EQ(Timer.LastTime, 5000u);
    Now = 5020;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.02f);
    EXPECT_EQ(Timer.CurrentTime, 5020u);
    EXPECT_EQ(Timer.LastTime, 5020u);
}

TEST_F(RenderGameTimer, TicksInTheSameMillisecondCountOneMillisecond) {
    Now = 700;
    Timer.Start();
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.001f);
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.001f);
    // The frames are counted, though no time passed.
    EXPECT_EQ(FrameCount, 2);
    EXPECT_EQ(AccumulatedTime, 0);
}

TEST_F(RenderGameTimer, CountsFramesPerSecondAndDropsTheOverhang) {
    Timer.Start();
    for (int tick = 1; tick <= 62; ++tick) {
        Now += 16;
        Timer.Tick();
        ASSERT_EQ(Timer.FramesPerSecond, 0) << tick;
        ASSERT_EQ(FrameCount, tick);
        ASSERT_EQ(AccumulatedTime, 16 * tick);
    }
    Now += 16;
    Timer.Tick(); // 1008 ms
    EXPECT_EQ(Timer.FramesPerSecond, 63);
    EXPECT_EQ(FrameCount, 0);
    EXPECT_EQ(AccumulatedTime, 0);
    EXPECT_EQ(Timer.Elapsed, 0.016f);

    // The 8 ms beyond the second are not carried over: the next window again
    // needs 63 ticks (62 would reach 1000 if they were).
    for (int tick = 1; tick <= 62; ++tick) {
        Now += 16;
        Timer.Tick();
    }
    EXPECT_EQ(AccumulatedTime, 992);
    EXPECT_EQ(FrameCount, 62);
    Now += 16;
    Timer.Tick();
    EXPECT_EQ(Timer.FramesPerSecond, 63);
    EXPECT_EQ(FrameCount, 0);

    // A slower second replaces the count.
    for (int tick = 0; tick < 20; ++tick) {
        Now += 50;
        Timer.Tick();
    }
    EXPECT_EQ(Timer.FramesPerSecond, 20);
}

TEST_F(RenderGameTimer, ALongFirstFrameClosesTheWindowAtOnce) {
    Now = 10000;
    Timer.Start();
    Now = 11500;
    Timer.Tick();
    EXPECT_EQ(Timer.FramesPerSecond, 1);
    EXPECT_EQ(Timer.Elapsed, 1.5f);
    EXPECT_EQ(FrameCount, 0);
    EXPECT_EQ(AccumulatedTime, 0);

    // There is no upper limit on a frame's length.
    Now += 600000;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 600.0f);
    EXPECT_EQ(Timer.FramesPerSecond, 1);
}

TEST_F(RenderGameTimer, TicksAcrossTheClocksWrapAround) {
    Now = 4294967290u;
    Timer.Start();
    Now = 4;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.01f);
    EXPECT_EQ(AccumulatedTime, 10);
    EXPECT_EQ(FrameCount, 1);
    EXPECT_EQ(Timer.LastTime, 4u);
    EXPECT_EQ(Timer.CurrentTime, 4u);
    Now = 24;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.02f);
    EXPECT_EQ(AccumulatedTime, 30);
}
