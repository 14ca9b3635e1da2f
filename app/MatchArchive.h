#pragma once

#include "game/TableEvent.h"
#include "records/MatchRecord.h"
#include "rules/MatchScript.h"

#include <cstdint>
#include <functional>
#include <optional>

class TGame;
class TMatch;

// Who sits at a table, in a match record's words: "Red" and "Blue" at one
// keyboard, "You" and "Computer (Perfect)" against the computer, "You" and
// "Other player" across the network.
void NameSeats(const TSeats& seats, TMatchRecord& record);

// Writes every match played on this table into a record. A match ends with
// its last card, when it is stopped from outside (across the network the
// other player left: a win for the one who stayed), or when it is left
// unfinished (abandoned); a match without a placement is not kept. A
// server's matches are kept as the server recorded them.
class TMatchArchive {
public:
    using TKeep = std::function<void(const TMatchRecord&)>;

    TMatchArchive(TKeep keep, std::function<int64_t()> clock);

    void Take(const TTableEvent& event);
    // The record a server keeps of a match this player sat in, as it sent it:
    // what the history keeps of that match (names, ending, result, rating).
    void KeepServerRecord(const TMatchRecord& record);
    // The record of the match on the table now, or of the last one, as it
    // would be kept if it ended here; nothing before a first deal.
    std::optional<TMatchRecord> Current(const TGame& game) const;

private:
    TMatchRecord Build(const TMatch& match, TMatchEnding ending, int32_t winner) const;
    void Keep(const TTableEvent& event, TMatchEnding ending, int32_t winner);

    TKeep Kept;
    std::function<int64_t()> Clock;
    TSeats Seats;
    int64_t StartTime = 0;
    bool Open = false;
    // The last record kept, for Save Match Record after the match.
    std::optional<TMatchRecord> Last;
};
