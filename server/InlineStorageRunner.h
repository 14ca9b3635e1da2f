#pragma once

#include "server/StorageRunner.h"

// Does each job at once, on the caller's thread, its Done before Submit
// returns: the lobby as it runs without a worker (and in its tests), one
// synchronous call after another.
class TInlineStorageRunner : public TStorageRunner {
public:
    explicit TInlineStorageRunner(TStorage& storage) : Storage(storage) {}

    bool Submit(TStorageJob job) override {
        std::vector<TStorageJob> jobs;
        jobs.push_back(std::move(job));
        RunStorageJobs(Storage, jobs, false);
        if (jobs.front().Done) jobs.front().Done(jobs.front(), jobs.front().SubmittedMs);
        return true;
    }

private:
    TStorage& Storage;
};
