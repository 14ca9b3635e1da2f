#include "ai/SearchThread.h"

TSearchThread::~TSearchThread() {
    Cancel();
}

void TSearchThread::Start(TSearchJob job) {
    Cancel();
    CancelFlag.store(false);
    Running.store(true);
    Worker = std::thread([this, job = std::move(job)] {
        TSearchResult result = job(CancelFlag);
        if (!CancelFlag.load()) {
            std::lock_guard<std::mutex> guard(Lock);
            Result = std::move(result);
        }
        Running.store(false);
    });
}

void TSearchThread::Cancel() {
    CancelFlag.store(true);
    if (Worker.joinable()) Worker.join();
    std::lock_guard<std::mutex> guard(Lock);
    Result.reset();
}

bool TSearchThread::Busy() const {
    return Running.load();
}

std::optional<TSearchResult> TSearchThread::TakeResult() {
    std::lock_guard<std::mutex> guard(Lock);
    std::optional<TSearchResult> taken = std::move(Result);
    Result.reset();
    return taken;
}
