#pragma once

#include "server/Histogram.h"

#include <array>
#include <cstdint>
#include <string>

// Why a request was refused, in the few words a dashboard groups by; a fixed
// set, so that no client can make up new series.
enum class TRefusal { BadLine, Limit, NotAllowed, Storage };
inline constexpr size_t RefusalKinds = 4;

// What the server counts as it runs, for an operator's dashboard. Plain data
// changed on the server's one thread; read when scraped.
struct TServerMetrics {
    uint64_t Moves = 0;         // moves accepted and stored
    THistogram MoveSeconds;     // from a move's line (its check, when stored aside) to its answer
    THistogram StorageSeconds;  // each call into the database
    uint64_t StorageErrors = 0; // calls the database failed
    std::array<uint64_t, RefusalKinds> Refusals{};
    // Leases: matches taken over from a server whose lease ran out, and
    // tables stopped here because another server took their match.
    uint64_t TakeOvers = 0;
    uint64_t TablesLost = 0;
    THistogram BusSeconds; // a round trip to the bus's Redis

    void Refused(TRefusal why) { ++Refusals[size_t(why)]; }
};

// What is read off the running server when scraped.
struct TServerGauges {
    uint64_t Connections = 0;
    uint64_t Players = 0; // signed in
    uint64_t Tables = 0;
    uint64_t MatchesInPlay = 0;
    // The lobby shared over the bus: messages from it dropped as malformed or
    // beyond the bounds, and messages this server could not publish.
    uint64_t BusDropped = 0;
    uint64_t BusUnsent = 0;
};

// Every figure in Prometheus's text exposition format.
std::string MetricsText(const TServerMetrics& metrics, const TServerGauges& gauges);
