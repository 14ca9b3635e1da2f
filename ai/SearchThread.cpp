#include "ai/SearchThread.h"

#include <exception>

TSearchThread::TSearchThread(TThreadStarter starter) : Starter(std::move(starter)) {}

TSearchThread::~TSearchThread() {
    Cancel();
}

void TSearchThread::Start(TSearchJob job) {
    Cancel();
    CancelFlag.store(false);
    Running.store(true);
    std::function<void()> body = [this, job = std::move(job)] {
        TSearchResult result;
        // Nothing thrown may leave the thread: that would end the program.
        try {
            result = job(CancelFlag);
        } catch (const std::exception& error) {
            result = TSearchResult{};
            result.Error = std::string("the search failed: ") + error.what();
        } catch (...) {
            result = TSearchResult{};
            result.Error = "the search failed";
        }
        if (!CancelFlag.load()) {
            std::lock_guard<std::mutex> guard(Lock);
            Result = std::move(result);
        }
        Running.store(false);
    };
    try {
        Worker = Starter ? Starter(std::move(body)) : std::thread(std::move(body));
    } catch (const std::exception& error) {
        // Nothing runs: the caller hears so at once rather than wait forever.
        TSearchResult failed;
        failed.Error = std::string("no thread could be started for the search: ") + error.what();
        std::lock_guard<std::mutex> guard(Lock);
        Result = std::move(failed);
        Running.store(false);
    }
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
