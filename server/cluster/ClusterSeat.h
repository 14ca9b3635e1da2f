#pragma once

#include <QString>

#include <cstdint>
#include <string>

// A client as the process holding its connection vouches for it to another
// process, which may seat it as one of its own: that process, the connection
// there, and who it is.
struct TClusterSeat {
    std::string Origin;
    uint64_t Connection = 0;
    int64_t Player = 0;
    QString Name;
    std::string Fingerprint, Address, LimitKey;
    // For a pair Play Now made: the player was told it waits, and is to be
    // told it waits no more.
    bool Waited = false;
};
