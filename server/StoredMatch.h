#pragma once

#include "rules/PlacementMove.h"
#include "rules/RuleBits.h"

#include <cstdint>
#include <string>
#include <vector>

// How a stored match stands or ended.
enum class TMatchStatus {
    Playing,   // in progress (or waiting for its players after a restart)
    Finished,  // the ninth card went down (after any Sudden Death replays)
    Time,      // a player ran out of time per move and lost
    Forfeit,   // a player left for good or gave up, and lost
    Abandoned, // ended without a result (both gone, or the server gave up on it)
    Resigned,  // a player resigned at the table, and lost
};

const char* StatusName(TMatchStatus status);
bool StatusFromName(const std::string& name, TMatchStatus& status);

// One accepted placement, numbered and dated.
struct TStoredMove {
    int32_t Index = 0; // 0, 1, … in the order they were accepted, across Sudden Death replays
    TPlacementMove Move;
    int64_t TimeMs = 0; // when it was accepted, milliseconds since 1970
};

// A match as the server keeps it: enough to replay it from the seed. (The
// portable record a player saves or replays is records/MatchRecord.h's.)
struct TStoredMatch {
    int64_t Id = 0;
    int64_t Players[2] = {0, 0}; // player ids; seat 0 is Red, seat 1 Blue
    int32_t Rules = 0;           // TRuleBits
    int32_t MoveSeconds = 60;    // time per move; 0 unlimited
    int64_t Seed = 0;
    int32_t FirstPlayer = 1;
    TMatchStatus Status = TMatchStatus::Playing;
    int32_t Winner = -1;       // seat, or -1 for a draw or no result
    int32_t Score[2] = {0, 0}; // cards owned at the end
    int64_t StartedMs = 0;
    int64_t EndedMs = 0; // 0 while playing
    bool Rated = false;
    // The lease this server holds it at: its writes carry it. 0 for none.
    int64_t Epoch = 0;
    std::vector<TStoredMove> Moves;

    // The epoch of the server that creates a match.
    static constexpr int64_t FirstEpoch = 1;
};

// A player name: 3 to 16 ASCII letters, digits, '-' and '_'.
bool IsValidPlayerName(const std::string& name);
// The form names are compared in, so that "Ann" and "ann" are one name.
std::string NameKey(const std::string& name);
