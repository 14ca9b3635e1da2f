#pragma once

#include "app/MatchRecorder.h"
#include "records/MatchRecord.h"
#include "rules/MatchScript.h"

#include <cstdint>
#include <functional>
#include <optional>

class TGame;

// Who sits at a table, in a match record's words: "Red" and "Blue" at one
// keyboard, "You" and "Computer (Perfect)" against the computer, "You" and
// "Other player" across the network.
void NameSeats(const TMatchSeat& seat, TMatchRecord& record);

// Writes every match played on this table into a record, the way the
// statistics learn of it: by looking at the game after every frame and
// command. A match ends with its last card, when it is stopped from outside
// (the other player left: a win for the one who stayed), or when a new match
// is dealt over it (abandoned); a match without a placement is not kept.
class TMatchArchive {
public:
    using TSeatOf = std::function<TMatchSeat()>;
    using TKeep = std::function<void(const TMatchRecord&)>;

    TMatchArchive(TSeatOf seatOf, TKeep keep, std::function<int64_t()> clock);

    void Observe(const TGame& game);
    // The program ends: a match still running with a placement is kept as abandoned.
    void Close();
    // The record of the match on the table now, or of the last one, as it
    // would be kept if it ended here; nothing before a first deal.
    std::optional<TMatchRecord> Current(const TGame& game) const;

private:
    TMatchRecord Build(const TMatchScript& script, const int32_t score[2], TMatchEnding ending, int32_t winner) const;

    TSeatOf SeatOf;
    TKeep Keep;
    std::function<int64_t()> Clock;
    TMatchSeat Seat;
    int64_t StartTime = 0;
    // The running match as last seen, kept because a new deal replaces it.
    TMatchScript Running;
    int32_t RunningScore[2]{5, 5};
    bool Open = false;
    // The last record kept, for Save Match Record after the match.
    std::optional<TMatchRecord> Last;
    bool WasInProgress = false;
    bool WasOver = false;
    uint8_t LastPhase = 0;
};
