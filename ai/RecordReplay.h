#pragma once

#include "ai/PositionSetup.h"
#include "records/MatchRecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One table of a replayed record, between placements.
struct TReplayedPosition {
    int32_t Deal = 0; // 0 for the first deal, 1 for the first Sudden Death replay ...
    TPositionSetup Setup; // the ten cards of the deal, in the order dealt
    std::array<int32_t, 10> Catalogue{}; // catalogue index of each card of Setup.Cards
};

struct TReplay {
    // Before each move, then the table after the last: one more than the moves.
    std::vector<TReplayedPosition> Positions;
    int32_t Score[2]{5, 5};
    std::string Problem; // empty when the record plays through
};

// Deals from the record's seed exactly as the match does (the cards drawn
// from the whole catalogue, then the element squares) and plays its moves
// with the search position's captures. Refuses a move the table does not
// allow, a Sudden Death replay after a deal that was not a draw, and a
// finished record whose score or last deal does not agree with the play.
TReplay ReplayRecord(const TMatchRecord& record, const std::vector<TPositionSetup::TCard>& catalogue);
