#pragma once

#include "records/Rating.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A client as the process holding its connection vouches for it to another
// process, which may seat it as one of its own: that process, the connection
// there, and who it is.
struct TClusterSeat {
    std::string Origin;
    uint64_t Connection = 0;
    int64_t Player = 0;
    QString Name;
    std::string Fingerprint, Address, LimitKey;
    // What that process knows of the player, so that the one seating it asks
    // the database nothing on its loop: the rating (none from a process that
    // does not say), and whom the player blocks.
    std::optional<TRating> Rating;
    std::vector<int64_t> Blocks;
    // For a pair Play Now made: the player was told it waits, and is to be
    // told it waits no more.
    bool Waited = false;
};
