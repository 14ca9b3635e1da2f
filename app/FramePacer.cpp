#include "app/FramePacer.h"

#include <cmath>

int64_t TFramePacer::PeriodFor(double refreshRate) {
    if (!(refreshRate >= 20 && refreshRate <= 1000)) refreshRate = FallbackRate;
    return std::llround(1e6 / refreshRate);
}

void TFramePacer::FrameRan(int64_t now) {
    NextDeadline += Period;
    if (NextDeadline <= now) NextDeadline += ((now - NextDeadline) / Period + 1) * Period;
}
