#pragma once

#include <cstdint>
#include <functional>

// A millisecond clock held in 32-bit unsigned arithmetic (it wraps after
// about 49.7 days). Injectable so that tests can drive time.
using TMillisecondClock = std::function<uint32_t()>;
uint32_t MonotonicMilliseconds();

// Ticks and milliseconds of the measuring window that is still open. They
// belong to the module, not to a timer: there is only ever one timer.
extern int32_t FrameCount;
extern int32_t AccumulatedTime;

// Measures the time between frames and, once a second, the frames counted.
class TGameTimer {
public:
    explicit TGameTimer(TMillisecondClock clock = MonotonicMilliseconds);

    void Start();
    void Tick();

    float Elapsed = 0;
    int32_t FramesPerSecond = 0;
    bool Running = false;
    uint32_t LastTime = 0;
    uint32_t CurrentTime = 0;

private:
    TMillisecondClock Clock;
};
