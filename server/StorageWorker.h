#pragma once

#include "server/StorageRunner.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Threads, each with a database connection of its own, that do storage jobs
// from one queue, in order, and hand their completions to the submitter's
// loop. The writes waiting together (moves, new matches, ends) are stored in
// one transaction, so that a database which syncs every commit to disk costs
// one sync for them all. With more than one connection a batch gathers and is
// stored while another's commit is being synced, and batches may complete out
// of order: jobs that must follow one another wait for each other's completion
// (as the lobby's moves of one match do).
class TStorageWorker : public TStorageRunner {
public:
    struct TLimits {
        size_t MaxBatch = 256;  // writes in one transaction
        size_t MaxQueue = 4096; // jobs waiting; more are refused
        size_t Connections = 1;
    };
    // Opens a storage, on the thread that uses it (a database connection is
    // used from the thread that made it); null and the error when it cannot.
    using TOpen = std::function<std::unique_ptr<TStorage>(std::string& error)>;
    // Runs a completion on the submitter's loop, given the time there; called
    // from the worker's thread.
    using TPost = std::function<void(std::function<void(int64_t nowMs)> completion)>;

    TStorageWorker(TOpen open, TPost post, TLimits limits);
    // Does what is queued, without completions, then stops.
    ~TStorageWorker() override;

    // Waits until every storage is open: empty, or why one could not be.
    std::string Started();
    bool Submit(TStorageJob job) override;

private:
    void Run(const TOpen& open, std::promise<std::string>& opened);

    const TPost Post;
    const TLimits Limits;
    std::vector<std::promise<std::string>> Opened; // one for each connection
    std::mutex Lock;
    std::condition_variable Woken;
    std::deque<TStorageJob> Queue; // under Lock
    bool Stopping = false;         // under Lock
    bool Failed = false;           // under Lock: the storage did not open
    const TOpen Open;
    std::vector<std::thread> Threads; // last: they start once the rest is made
};
