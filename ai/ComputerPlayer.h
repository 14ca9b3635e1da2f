#pragma once

#include "ai/Position.h"
#include "rules/Level.h"
#include "rules/PlacementMove.h"

#include <atomic>
#include <cstdint>
#include <optional>

// The computer's move for the player to move at the given level; the same
// seed gives the same choice. nullopt when the match is over or the search
// was cancelled.
std::optional<TPlacementMove> ChooseMove(const TPosition& position, TLevel level, uint64_t seed,
                                         const std::atomic<bool>* cancel = nullptr);
