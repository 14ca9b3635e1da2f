#include "server/StorageWorker.h"

#include <algorithm>

TStorageWorker::TStorageWorker(TOpen open, TPost post, TLimits limits)
    : Post(std::move(post)), Limits(limits), Opened(std::max<size_t>(limits.Connections, 1)),
      Open(std::move(open)) {
    Threads.reserve(Opened.size());
    for (std::promise<std::string>& opened : Opened)
        Threads.emplace_back([this, &opened] { Run(Open, opened); });
}

TStorageWorker::~TStorageWorker() {
    {
        std::lock_guard<std::mutex> lock(Lock);
        Stopping = true;
    }
    Woken.notify_all();
    for (std::thread& thread : Threads) thread.join();
}

std::string TStorageWorker::Started() {
    std::string error;
    for (std::promise<std::string>& opened : Opened)
        if (std::string why = opened.get_future().get(); error.empty()) error = why;
    Opened.clear();
    return error;
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

void TStorageWorker::Run(const TOpen& open, std::promise<std::string>& opened) {
    std::string error;
    std::unique_ptr<TStorage> storage = open(error);
    if (!storage) {
        {
            std::lock_guard<std::mutex> lock(Lock);
            Failed = true;
            Queue.clear();
        }
        opened.set_value(error.empty() ? std::string("the storage did not open") : error);
        return;
    }
    opened.set_value({});
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
