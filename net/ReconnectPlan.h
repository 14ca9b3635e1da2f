#pragma once

#include <QString>
#include <cstdint>

// When to try a dropped server line again while the server keeps this
// player's seat: after 1 s, then twice as long each time up to 8 s, until
// the seat is given up. It only counts; whoever holds the line tries.
class TReconnectPlan {
public:
    static constexpr uint64_t FirstDelayMs = 1000;
    static constexpr uint64_t LongestDelayMs = 8000;

    void Start(uint64_t nowMs, uint64_t keptMs);
    void Stop() { Running = false; }
    bool Active() const { return Running; }
    // True once for each try that is due; the one after it is planned then.
    bool TryNow(uint64_t nowMs);
    // The seat is no longer kept: time to give up.
    bool GivenUp(uint64_t nowMs) const { return Running && nowMs >= GiveUpMs; }
    int32_t Tries() const { return TriesMade; }
    uint64_t SecondsLeft(uint64_t nowMs) const;
    uint64_t SecondsToNextTry(uint64_t nowMs) const;
    // What the turn line says meanwhile: "Reconnecting… 57 s", the time the seat is still kept.
    QString Text(uint64_t nowMs) const;

private:
    bool Running = false;
    uint64_t GiveUpMs = 0;
    uint64_t NextTryMs = 0;
    uint64_t DelayMs = FirstDelayMs;
    int32_t TriesMade = 0;
};
