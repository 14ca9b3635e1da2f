#pragma once

#include "ai/SearchThread.h"
#include "game/PacedKeys.h"
#include "rules/Level.h"

#include <QString>
#include <cstdint>
#include <functional>

class TGame;

// The computer at the table: when its player is to move and the table is
// still, it thinks on a worker thread, then makes its move through the keys a
// person would press, a quarter of a second a step, so the player can follow.
class TComputerSeat {
public:
    static constexpr uint32_t StepMs = 250;

    using TLogSink = std::function<void(const QString&)>;

    // log: where a search that failed is reported; starter: how its worker
    // thread is started (the default unless a test says otherwise).
    explicit TComputerSeat(TGame& game, TLogSink log = {}, TThreadStarter starter = {});

    // The player the computer holds (-1: nobody) and how well it plays; takes
    // effect at once and drops any search or walk under way.
    void Seat(int32_t player, TLevel level);
    int32_t Player() const { return SeatedPlayer; }
    // True while the computer's player is to move: the person's input waits.
    bool HoldsTurn() const;
    // Stops a running search (returns once its thread has ended) and any walk.
    void Cancel();
    // Once per frame: starts the search, collects its answer, walks the keys.
    void Step(uint64_t nowMs);
    bool Thinking() const { return Search.Busy(); }

private:
    // A move made here when no search could: an easy one, or the first legal.
    std::optional<TPlacementMove> FallbackMove(uint64_t seed) const;

    TGame& Game;
    TLogSink Log;
    int32_t SeatedPlayer = -1;
    TLevel Level = TLevel::Perfect;
    TSearchThread Search;
    TPacedKeys Walk;
    // Whether the search now running (or finished) belongs to this turn.
    bool Searching = false;
    bool FailureReported = false;
};
