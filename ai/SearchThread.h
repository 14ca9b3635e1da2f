#pragma once

#include "ai/MatchReview.h"
#include "ai/Move.h"
#include "ai/Solver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// What a background search hands back to the window thread.
struct TSearchResult {
    std::optional<TMove> Move;
    std::optional<TSolution> Solution;
    std::optional<TMatchReview> Review{};
};

// The work of one search; it should return soon after `cancel` turns true.
using TSearchJob = std::function<TSearchResult(const std::atomic<bool>& cancel)>;

// Runs one search at a time on a worker thread so the window keeps drawing.
// The window thread starts it, polls for the result and may cancel it; a
// cancelled search never delivers a result.
class TSearchThread {
public:
    TSearchThread() = default;
    ~TSearchThread();
    TSearchThread(const TSearchThread&) = delete;
    TSearchThread& operator=(const TSearchThread&) = delete;

    // Cancels any search still running, then starts this one.
    void Start(TSearchJob job);
    // Stops the running search and waits for its thread; returns once it has ended.
    void Cancel();
    // True from Start until the job has returned (or been cancelled).
    bool Busy() const;
    // The finished search's result, once; nullopt before that and afterwards.
    std::optional<TSearchResult> TakeResult();

private:
    std::thread Worker;
    std::atomic<bool> CancelFlag{false};
    std::atomic<bool> Running{false};
    mutable std::mutex Lock;
    std::optional<TSearchResult> Result;
};
