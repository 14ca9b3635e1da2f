#include "render/GameTimer.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t Ms = 1000; // clock readings are microseconds

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

    uint64_t Now = 0;
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

    Now = 5000 * Ms;
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
    EXPECT_EQ(Timer.LastTime, 5000 * Ms);
    Now = 5020 * Ms;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 0.02f);
    EXPECT_EQ(Timer.CurrentTime, 5020 * Ms);
    EXPECT_EQ(Timer.LastTime, 5020 * Ms);
}

TEST_F(RenderGameTimer, TicksInTheSameMicrosecondCountOneMicrosecond) {
    Now = 700;
    Timer.Start();
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 1e-6f);
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 1e-6f);
    // The frames are counted, though no time passed.
    EXPECT_EQ(FrameCount, 2);
    EXPECT_EQ(AccumulatedTime, 0);
}

TEST_F(RenderGameTimer, SubMillisecondFramesAddUpToTheTimeThatPassed) {
    Timer.Start();
    double sum = 0;
    // 0.2 ms frames: a millisecond clock would have counted each as 1 ms.
    for (int tick = 1; tick <= 4999; ++tick) {
        Now += 200;
        Timer.Tick();
        sum += Timer.Elapsed;
        ASSERT_EQ(Timer.FramesPerSecond, 0) << tick;
    }
    Now += 200;
    Timer.Tick();
    sum += Timer.Elapsed;
    EXPECT_EQ(Timer.FramesPerSecond, 5000);
    EXPECT_NEAR(sum, 1.0, 1e-5);
    // Uneven lengths too, fractions of a millisecond included.
    sum = 0;
    for (uint64_t length : {1u, 999u, 1001u, 333u, 16667u, 4u}) {
        Now += length;
        Timer.Tick();
        sum += Timer.Elapsed;
    }
    EXPECT_NEAR(sum, 0.019005, 1e-7);
}

TEST_F(RenderGameTimer, CountsFramesPerSecondAndDropsTheOverhang) {
    Timer.Start();
    for (int tick = 1; tick <= 62; ++tick) {
        Now += 16 * Ms;
        Timer.Tick();
        ASSERT_EQ(Timer.FramesPerSecond, 0) << tick;
        ASSERT_EQ(FrameCount, tick);
        ASSERT_EQ(AccumulatedTime, int32_t(16 * Ms) * tick);
    }
    Now += 16 * Ms;
    Timer.Tick(); // 1008 ms
    EXPECT_EQ(Timer.FramesPerSecond, 63);
    EXPECT_EQ(FrameCount, 0);
    EXPECT_EQ(AccumulatedTime, 0);
    EXPECT_EQ(Timer.Elapsed, 0.016f);

    // The 8 ms beyond the second are not carried over: the next window again
    // needs 63 ticks (62 would reach the second if they were).
    for (int tick = 1; tick <= 62; ++tick) {
        Now += 16 * Ms;
        Timer.Tick();
    }
    EXPECT_EQ(AccumulatedTime, int32_t(992 * Ms));
    EXPECT_EQ(FrameCount, 62);
    Now += 16 * Ms;
    Timer.Tick();
    EXPECT_EQ(Timer.FramesPerSecond, 63);
    EXPECT_EQ(FrameCount, 0);

    // A slower second replaces the count.
    for (int tick = 0; tick < 20; ++tick) {
        Now += 50 * Ms;
        Timer.Tick();
    }
    EXPECT_EQ(Timer.FramesPerSecond, 20);
}

TEST_F(RenderGameTimer, ALongFirstFrameClosesTheWindowAtOnce) {
    Now = 10000 * Ms;
    Timer.Start();
    Now = 11500 * Ms;
    Timer.Tick();
    EXPECT_EQ(Timer.FramesPerSecond, 1);
    EXPECT_EQ(Timer.Elapsed, 1.5f);
    EXPECT_EQ(FrameCount, 0);
    EXPECT_EQ(AccumulatedTime, 0);

    // There is no upper limit on a frame's length, not even past the range
    // the window's counter holds.
    Now += 600000 * Ms;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 600.0f);
    EXPECT_EQ(Timer.FramesPerSecond, 1);
    Now += uint64_t(40) * 24 * 3600 * 1000 * Ms;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 3456000.0f);
    EXPECT_EQ(AccumulatedTime, 0);
}

TEST_F(RenderGameTimer, TicksAcrossTheClocksWrapAround) {
    Now = UINT64_MAX - 5;
    Timer.Start();
    Now = 4;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 10e-6f);
    EXPECT_EQ(AccumulatedTime, 10);
    EXPECT_EQ(FrameCount, 1);
    EXPECT_EQ(Timer.LastTime, 4u);
    EXPECT_EQ(Timer.CurrentTime, 4u);
    Now = 24;
    Timer.Tick();
    EXPECT_EQ(Timer.Elapsed, 20e-6f);
    EXPECT_EQ(AccumulatedTime, 30);
}
