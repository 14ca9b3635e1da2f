#include "render/GameTimer.h"

#include <algorithm>
#include <chrono>

int32_t FrameCount = 0;
int32_t AccumulatedTime = 0;

uint64_t MonotonicMicroseconds() {
    using namespace std::chrono;
    const auto now = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint64_t>(now);
}

TGameTimer::TGameTimer(TMicrosecondClock clock) : Clock(std::move(clock)) {}

void TGameTimer::Start() {
    Running = true;
    LastTime = Clock();
}

void TGameTimer::Tick() {
    if (!Running) return;
    CurrentTime = Clock();
    // Unsigned subtraction gives the right small value across the clock's wrap.
    const int64_t delta = static_cast<int64_t>(CurrentTime - LastTime);
    // Clamped: a pause of weeks must not overflow the window's count.
    const int64_t accumulated = int64_t(AccumulatedTime) + delta;
    AccumulatedTime = int32_t(std::clamp<int64_t>(accumulated, INT32_MIN, INT32_MAX));
    FrameCount += 1;
    if (AccumulatedTime >= MicrosecondsPerSecond) {
        // Time beyond the second is dropped, not carried into the next window.
        FramesPerSecond = FrameCount;
        FrameCount = 0;
        AccumulatedTime = 0;
    }
    LastTime = CurrentTime;
    // A frame never counts as taking no time.
    Elapsed = float(double(delta == 0 ? 1 : delta) * 1e-6);
}
