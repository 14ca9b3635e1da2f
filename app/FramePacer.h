#pragma once

#include <cstdint>

// When the next frame is due, in microseconds of a monotonic clock. Frames are
// due one display refresh apart on a fixed grid: a frame that runs late does
// not delay the ones after it, and after a stall the missed frames are skipped
// rather than run back to back.
class TFramePacer {
public:
    static constexpr int64_t FallbackRate = 60;

    // The refresh period of a display of the given rate, in microseconds;
    // rates a screen cannot really have (unknown, zero, absurd) count as 60 Hz.
    static int64_t PeriodFor(double refreshRate);

    explicit TFramePacer(int64_t period = PeriodFor(FallbackRate)) : Period(period) {}

    // The next frame is due at once.
    void Restart(int64_t now) { NextDeadline = now; }
    // A frame has just run: the next is due on the first grid point after now.
    void FrameRan(int64_t now);
    // Microseconds until the next frame is due; 0 when it is due already.
    int64_t Delay(int64_t now) const { return NextDeadline > now ? NextDeadline - now : 0; }

    int64_t Period;
    int64_t NextDeadline = 0;
};
