#pragma once

#include <cstdint>

// The clocks of one match: the time per move of the player to move, and each
// player's allowance of time away from the match, spent across every drop.
// While either player is away the move clock stands still. Fed the time, it
// tells when it next needs to be looked at.
class TTableClock {
public:
    static constexpr int64_t Never = INT64_MAX;

    TTableClock(int32_t moveSeconds, int64_t awayMs);

    int32_t MoveSeconds() const { return Seconds; }

    // A new turn with the whole time per move; no clock when there is none.
    void StartTurn(int64_t nowMs);
    // Keeps what is left of the turn until it runs again.
    void Stop(int64_t nowMs);
    // The player's line dropped: their allowance runs, the move clock stops.
    void Dropped(int32_t seat, int64_t nowMs);
    // The player came back: their allowance stops, and with both present the
    // move clock goes on from where it stopped.
    void Returned(int32_t seat, int64_t nowMs);
    // After a restart both players are away, each with a whole allowance.
    void BothAway(int64_t nowMs);

    bool Away(int32_t seat) const { return AwayDeadlineMs[seat] != Never; }
    bool AwayRunOut(int32_t seat, int64_t nowMs) const { return AwayDeadlineMs[seat] <= nowMs; }
    int64_t AwayLeftMs(int32_t seat) const { return AwayLeft[seat]; }
    // Each player's whole allowance for the match.
    int64_t AllowanceMs() const { return Allowance; }
    // The time per move left to the player to move; -1 with no clock.
    int64_t TurnLeftMs(int64_t nowMs) const;
    // The earliest deadline: a turn's end or an allowance's.
    int64_t NextMs() const;

private:
    int32_t Seconds;
    int64_t TurnDeadlineMs = Never;
    int64_t TurnLeft = 0; // of a clock stopped while a player is away
    int64_t AwayDeadlineMs[2] = {Never, Never};
    int64_t Allowance;
    int64_t AwayLeft[2];
};
