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

// A thread with a database connection of its own that does storage jobs from
// a queue, in order, and hands their completions to the submitter's loop.
// The writes waiting together (moves, new matches, ends) are stored in one
// transaction, so that a database which syncs every commit to disk costs one
// sync for them all.
class TStorageWorker : public TStorageRunner {
public:
    struct TLimits {
        size_t MaxBatch = 256;  // writes in one transaction
        size_t MaxQueue = 4096; // jobs waiting; more are refused
    };
    // Opens the worker's storage, on the worker's thread (a database
    // connection is used from the thread that made it); null and the error
    // when it cannot.
    using TOpen = std::function<std::unique_ptr<TStorage>(std::string& error)>;
    // Runs a completion on the submitter's loop, given the time there; called
    // from the worker's thread.
    using TPost = std::function<void(std::function<void(int64_t nowMs)> completion)>;

    TStorageWorker(TOpen open, TPost post, TLimits limits);
    // Does what is queued, without completions, then stops.
    ~TStorageWorker() override;

    // Waits until the storage is open: empty, or why it could not be.
    std::string Started();
    bool Submit(TStorageJob job) override;

private:
    void Run(TOpen open);

    const TPost Post;
    const TLimits Limits;
    std::promise<std::string> Opened;
    std::future<std::string> OpenResult;
    std::mutex Lock;
    std::condition_variable Woken;
    std::deque<TStorageJob> Queue; // under Lock
    bool Stopping = false;         // under Lock
    bool Failed = false;           // under Lock: the storage did not open
    std::thread Thread;            // last: it starts once the rest is made
};
