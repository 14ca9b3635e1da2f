#pragma once

#include <cstdint>
#include <functional>

// A monotonic clock in microseconds. Frames come far faster than a millisecond
// apart on a fast machine, so a coarser clock would round every frame up and
// make the animations race. Injectable so that tests can drive time.
using TMicrosecondClock = std::function<uint64_t()>;
uint64_t MonotonicMicroseconds();

// Ticks and microseconds of the measuring window that is still open. They
// belong to the module, not to a timer: there is only ever one timer. The
// window is counted in microseconds so that frames shorter than a millisecond
// fill the second they really take.
extern int32_t FrameCount;
extern int32_t AccumulatedTime;

// Measures the time between frames and, once a second, the frames counted.
class TGameTimer {
public:
    static constexpr int32_t MicrosecondsPerSecond = 1000000;

    explicit TGameTimer(TMicrosecondClock clock = MonotonicMicroseconds);

    void Start();
    void Tick();

    float Elapsed = 0;
    int32_t FramesPerSecond = 0;
    bool Running = false;
    uint64_t LastTime = 0;
    uint64_t CurrentTime = 0;

private:
    TMicrosecondClock Clock;
};
