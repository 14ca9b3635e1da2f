#pragma once

#include "rules/GameRules.h"
#include "rules/Level.h"
#include "rules/MatchLimits.h"
#include "rules/MatchScript.h"

#include <cstdint>
#include <string>
#include <vector>

// How a match was played.
enum class TMatchMode { HotSeat, SinglePlayer, Network, Server };

// How it ended: the last card placed, a clock ran out, a player gave up,
// it was broken off without a result, or a player left the table.
enum class TMatchEnding { Finished, Time, Forfeit, Abandoned, Left };

// Everything needed to play a match again exactly: the deal follows from the
// seed and the rules, each Sudden Death replay from its own seed, and the
// table from the moves, nine per deal, in the order they were placed. Player 0
// is Red (left), player 1 Blue (right).
struct TMatchRecord {
    static constexpr int32_t Version = 1;
    // Bounds the reader holds every record to.
    static constexpr int64_t MaxBytes = 64 * 1024;
    // A Sudden Death chain longer than this is not kept.
    static constexpr int32_t MaxDeals = MatchLimits::MaxDeals;
    static constexpr int32_t MaxMoves = MatchLimits::MaxMoves;
    static constexpr int32_t MaxNameLength = 64;
    static constexpr int64_t MaxSeed = (int64_t(1) << 53) - 1;
    // Calendar seconds (UTC) from 2000-01-01 to the end of 9999.
    static constexpr int64_t EarliestTime = 946684800;
    static constexpr int64_t LatestTime = 253402300799;

    std::string Players[2];
    TMatchMode Mode = TMatchMode::HotSeat;
    TLevel Level = TLevel::Normal; // the computer's, in Single Player only
    bool Rated = false;            // only a server match can be rated
    TGameRules Rules;
    int64_t Seed = 0;
    std::vector<int64_t> RedealSeeds; // one per Sudden Death replay dealt
    int32_t FirstPlayer = 1;
    std::vector<TPlacementMove>
        Moves; // the hand slot (0 top to 4 bottom, hands packed toward 4) and the square
    // The result: the winner (-1 for none: a draw, or a match broken off) and
    // the cards each side owned when it ended.
    int32_t Winner = -1;
    int32_t Score[2]{5, 5};
    TMatchEnding Ending = TMatchEnding::Finished;
    int64_t StartTime = EarliestTime; // calendar seconds, UTC
    int64_t EndTime = EarliestTime;

    friend bool operator==(const TMatchRecord& a, const TMatchRecord& b) {
        const TGameRules &r = a.Rules, &q = b.Rules;
        return a.Players[0] == b.Players[0] && a.Players[1] == b.Players[1] && a.Mode == b.Mode &&
               a.Level == b.Level && a.Rated == b.Rated && r.Open == q.Open && r.Random == q.Random &&
               r.Same == q.Same && r.SameWall == q.SameWall && r.Plus == q.Plus &&
               r.Elemental == q.Elemental && r.SuddenDeath == q.SuddenDeath && a.Seed == b.Seed &&
               a.RedealSeeds == b.RedealSeeds && a.FirstPlayer == b.FirstPlayer && a.Moves == b.Moves &&
               a.Winner == b.Winner && a.Score[0] == b.Score[0] && a.Score[1] == b.Score[1] &&
               a.Ending == b.Ending && a.StartTime == b.StartTime && a.EndTime == b.EndTime;
    }
};
