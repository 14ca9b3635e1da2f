#pragma once

#include "ai/MatchReview.h"
#include "ai/Solver.h"
#include "rules/PlacementMove.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// What a background search hands back to the window thread.
struct TSearchResult {
    std::optional<TPlacementMove> Move;
    std::optional<TSolution> Solution;
    // Set when the search could not be made (its job threw, or no thread
    // could be started): why, in words; then Move and Solution are empty.
    std::string Error = {};
    std::optional<TMatchReview> Review{};
};

// The work of one search; it should return soon after `cancel` turns true.
using TSearchJob = std::function<TSearchResult(const std::atomic<bool>& cancel)>;
// Starts a thread running the body; may throw as std::thread does when the
// system has none to give. Replaceable so that the failure can be tested.
using TThreadStarter = std::function<std::thread(std::function<void()> body)>;

// Runs one search at a time on a worker thread so the window keeps drawing.
// The window thread starts it, polls for the result and may cancel it; a
// cancelled search never delivers a result. A job that throws, or a thread
// that cannot be started, delivers a result that says so instead of ending
// the program.
class TSearchThread {
public:
    explicit TSearchThread(TThreadStarter starter = {});
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
    TThreadStarter Starter;
    std::thread Worker;
    std::atomic<bool> CancelFlag{false};
    std::atomic<bool> Running{false};
    mutable std::mutex Lock;
    std::optional<TSearchResult> Result;
};
