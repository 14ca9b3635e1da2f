#include "net/ReconnectPlan.h"

#include <algorithm>

namespace {

uint64_t WholeSecondsUntil(uint64_t atMs, uint64_t nowMs) {
    return atMs > nowMs ? (atMs - nowMs + 999) / 1000 : 0;
}

} // namespace

void TReconnectPlan::Start(uint64_t nowMs, uint64_t keptMs) {
    Running = true;
    GiveUpMs = nowMs + keptMs;
    DelayMs = FirstDelayMs;
    NextTryMs = nowMs + DelayMs;
    TriesMade = 0;
}

bool TReconnectPlan::TryNow(uint64_t nowMs) {
    if (!Running || nowMs < NextTryMs || GivenUp(nowMs)) return false;
    ++TriesMade;
    DelayMs = std::min(DelayMs * 2, LongestDelayMs);
    NextTryMs = nowMs + DelayMs;
    return true;
}

uint64_t TReconnectPlan::SecondsLeft(uint64_t nowMs) const {
    return WholeSecondsUntil(GiveUpMs, nowMs);
}

uint64_t TReconnectPlan::SecondsToNextTry(uint64_t nowMs) const {
    return WholeSecondsUntil(NextTryMs, nowMs);
}

QString TReconnectPlan::Text(uint64_t nowMs) const {
    if (!Running) return {};
    return QStringLiteral("Reconnecting\u2026 %1 s").arg(SecondsLeft(nowMs));
}
