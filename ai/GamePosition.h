#pragma once

#include "ai/Position.h"

class TGame;

// The match as it stands between placements (nothing flying or flipping),
// with the cards of the deal copied from the game's catalogue.
TPositionSetup SetupFromGame(const TGame& game);
TPosition PositionFromGame(const TGame& game);
