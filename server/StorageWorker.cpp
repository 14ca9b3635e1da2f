#include "server/StorageWorker.h"

TStorageWorker::TStorageWorker(TOpen open, TPost post, TLimits limits)
    : Post(std::move(post)), Limits(limits), OpenResult(Opened.get_future()),
      Thread([this, open = std::move(open)]() mutable { Run(std::move(open)); }) {}

TStorageWorker::~TStorageWorker() {
    {
        std::lock_guard<std::mutex> lock(Lock);
        Stopping = true;
    }
    Woken.notify_one();
    Thread.join();
}

std::string TStorageWorker::Started() {
    return OpenResult.valid() ? OpenResult.get() : std::string();
}

bool TStorageWorker::Submit(TStorageJob job) {
    {
        std::lock_guard<std::mutex> lock(Lock);
        if (Failed || Stopping || Queue.size() >= Limits.MaxQueue) return false;
        Queue.push_back(std::move(job));
    }
    Woken.notify_one();
    return true;
}

void TStorageWorker::Run(TOpen open) {
    std::string error;
    std::unique_ptr<TStorage> storage = open(error);
    if (!storage) {
        {
            std::lock_guard<std::mutex> lock(Lock);
            Failed = true;
            Queue.clear();
        }
        Opened.set_value(error.empty() ? std::string("the storage did not open") : error);
        return;
    }
    Opened.set_value({});
    for (;;) {
        auto jobs = std::make_shared<std::vector<TStorageJob>>();
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(Lock);
            Woken.wait(lock, [this] { return Stopping || !Queue.empty(); });
            if (Queue.empty()) break;
            stopping = Stopping;
            // A job alone, or every write waiting in a row behind it, up to
            // the bound: the order stays the queue's.
            do {
                jobs->push_back(std::move(Queue.front()));
                Queue.pop_front();
            } while (jobs->front().IsWrite() && jobs->size() < Limits.MaxBatch && !Queue.empty() &&
                     Queue.front().IsWrite());
        }
        RunStorageJobs(*storage, *jobs, true);
        if (!stopping)
            Post([jobs](int64_t nowMs) {
                for (TStorageJob& job : *jobs)
                    if (job.Done) job.Done(job, nowMs);
            });
    }
    // Its connection belongs to this thread: it closes here.
    storage.reset();
}
