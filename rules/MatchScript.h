#pragma once

#include "rules/GameRules.h"
#include "rules/PlacementMove.h"

#include <cstdint>
#include <vector>

// Everything that decides a match, Sudden Death replays included: the seed of
// the deal (calendar seconds), the rules, the player who moves first and every
// placement in order. Each Sudden Death replay is dealt from a seed of its
// own, taken when it is dealt; a replay without one listed here deals from
// Seed.
struct TMatchScript {
    int64_t Seed = 0;
    TGameRules Rules;
    int32_t FirstPlayer = 1;
    std::vector<TPlacementMove> Moves;
    std::vector<int64_t> RedealSeeds;

    friend bool operator==(const TMatchScript&, const TMatchScript&) = default;
};
