#pragma once

#include "ai/Position.h"
#include "rules/Match.h"

// The match as it stands between placements (nothing flying or flipping),
// with the cards of the deal copied from the match's catalogue. A TGame is
// such a match.
TPositionSetup SetupFromGame(const TMatch& game);
TPosition PositionFromGame(const TMatch& game);
