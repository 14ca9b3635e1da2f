#include "server/TableClock.h"

#include <algorithm>

TTableClock::TTableClock(int32_t moveSeconds, int64_t awayMs)
    : Seconds(moveSeconds), Allowance(awayMs), AwayLeft{awayMs, awayMs} {}

void TTableClock::StartTurn(int64_t nowMs) {
    TurnLeft = int64_t(Seconds) * 1000;
    TurnDeadlineMs = Seconds > 0 ? nowMs + TurnLeft : Never;
}

void TTableClock::Stop(int64_t nowMs) {
    if (TurnDeadlineMs != Never) TurnLeft = std::max<int64_t>(0, TurnDeadlineMs - nowMs);
    TurnDeadlineMs = Never;
}

void TTableClock::Dropped(int32_t seat, int64_t nowMs) {
    AwayDeadlineMs[seat] = nowMs + AwayLeft[seat];
    Stop(nowMs);
}

void TTableClock::Returned(int32_t seat, int64_t nowMs) {
    if (AwayDeadlineMs[seat] != Never) AwayLeft[seat] = std::max<int64_t>(0, AwayDeadlineMs[seat] - nowMs);
    AwayDeadlineMs[seat] = Never;
    if (AwayDeadlineMs[1 - seat] == Never && TurnDeadlineMs == Never && Seconds > 0)
        TurnDeadlineMs = nowMs + TurnLeft;
}

void TTableClock::BothAway(int64_t nowMs) {
    for (int32_t seat = 0; seat < 2; ++seat) AwayDeadlineMs[seat] = nowMs + AwayLeft[seat];
    TurnLeft = int64_t(Seconds) * 1000;
}

int64_t TTableClock::TurnLeftMs(int64_t nowMs) const {
    if (Seconds <= 0) return -1;
    return TurnDeadlineMs != Never ? std::max<int64_t>(0, TurnDeadlineMs - nowMs) : TurnLeft;
}

int64_t TTableClock::NextMs() const {
    return std::min({TurnDeadlineMs, AwayDeadlineMs[0], AwayDeadlineMs[1]});
}
