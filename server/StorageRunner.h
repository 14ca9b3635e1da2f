#pragma once

#include "server/StorageJob.h"

// Where the lobby hands its storage jobs: each job's Done comes back on the
// lobby's own thread, and the jobs of one submitter are done in the order
// given.
class TStorageRunner {
public:
    virtual ~TStorageRunner() = default;
    // false, the job dropped, when the runner holds as many as it may.
    virtual bool Submit(TStorageJob job) = 0;
};
