#pragma once

#include "server/Storage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One piece of work for the storage, done off the server's loop, and what the
// loop does once it is done.
struct TStorageJob {
    // A write (a move, a new match, an end); those queued beside it share
    // its transaction. Ignored when Work is set.
    TStorage::TWrite Write;
    // Anything else, done alone.
    std::function<void(TStorage& storage)> Work;
    // Back on the loop, with the time then.
    std::function<void(TStorageJob& job, int64_t nowMs)> Done;
    // When it was handed over; a runner that stores at once is done then.
    int64_t SubmittedMs = 0;
    // How long its transaction took, when the runner timed it.
    std::optional<double> Seconds;
    // Why a write was not stored, as the storage said.
    std::string Error;

    bool IsWrite() const { return !Work; }
};

// Does the jobs in order on one storage: each Work job alone, the writes
// between them together in one transaction or, when that fails, each alone,
// so that one write the database refuses never costs the others theirs.
// Times each when timed.
void RunStorageJobs(TStorage& storage, std::vector<TStorageJob>& jobs, bool timed);
