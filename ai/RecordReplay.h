#pragma once

#include "ai/PositionSetup.h"
#include "records/MatchRecord.h"
#include "rules/MatchScript.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One table of a replayed record, between placements.
struct TReplayedPosition {
    int32_t Deal = 0;                    // 0 for the first deal, 1 for the first Sudden Death replay ...
    TPositionSetup Setup;                // the ten cards of the deal, in the order dealt
    std::array<int32_t, 10> Catalogue{}; // catalogue index of each card of Setup.Cards
};

struct TReplay {
    // Before each move, then the table after the last: one more than the
    // moves. After the ninth card of a drawn deal the table has already
    // dealt the Sudden Death replay, as the match does.
    std::vector<TReplayedPosition> Positions;
    int32_t Score[2]{5, 5};
    std::string Problem; // empty when the record plays through
};

// What the rules core replays of a record.
TMatchScript ScriptOf(const TMatchRecord& record);

// Deals from the record's seeds and plays its moves with the match's own
// rules. Refuses a move the rules refuse, a move after a deal that ended
// other than in a Sudden Death draw, a record whose score is not the one its
// moves leave (however it ended), and a finished record whose last deal is a
// draw that Sudden Death deals again.
TReplay ReplayRecord(const TMatchRecord& record, const std::vector<TCardValues>& catalogue);
