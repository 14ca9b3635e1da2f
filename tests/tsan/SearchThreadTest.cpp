// Starting and cancelling background searches; built without Qt so that it
// runs under ThreadSanitizer.
#include "ai/SearchThread.h"
#include "ai/ComputerPlayer.h"
#include "ai/MatchReview.h"
#include "ai/Solver.h"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace {

// An opening with every rule on: long enough to search that a cancel lands
// in the middle of it.
TPosition Opening(uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> rank(1, 10), element(0, 8);
    TPositionSetup setup;
    for (int32_t i = 0; i < 10; ++i)
        setup.Cards.push_back({{rank(random), rank(random), rank(random), rank(random)}, element(random)});
    setup.Rules.Same = setup.Rules.SameWall = setup.Rules.Plus = setup.Rules.Elemental = true;
    setup.Elements[0][0] = 3;
    setup.Elements[1][2] = 5;
    for (int32_t slot = 0; slot < 5; ++slot) {
        setup.Hands[slot][0] = slot;
        setup.Hands[slot][1] = 5 + slot;
    }
    setup.Turn = 1;
    return TPosition(setup);
}

TSearchJob FullAnalysis(const TPosition& position) {
    return [position](const std::atomic<bool>& cancel) {
        TSolver solver;
        return TSearchResult{std::nullopt, solver.SolveAll(position, &cancel)};
    };
}

std::optional<TSearchResult> WaitForResult(TSearchThread& thread) {
    while (thread.Busy()) std::this_thread::yield();
    return thread.TakeResult();
}

TEST(SearchThread, CancelledSearchesStopAndDeliverNothing) {
    TSearchThread thread;
    for (uint32_t round = 0; round < 40; ++round) {
        thread.Start(FullAnalysis(Opening(round)));
        if (round % 2) std::this_thread::yield();
        thread.Cancel();
        EXPECT_FALSE(thread.Busy());
        EXPECT_FALSE(thread.TakeResult());
    }
}

TEST(SearchThread, FinishedSearchDeliversItsResultOnce) {
    TSearchThread thread;
    const TPosition position = Opening(7);
    thread.Start([position](const std::atomic<bool>& cancel) {
        return TSearchResult{ChooseMove(position, TLevel::Normal, 3, &cancel), std::nullopt};
    });
    const std::optional<TSearchResult> result = WaitForResult(thread);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->Move);
    EXPECT_TRUE(position.IsLegal(*result->Move));
    EXPECT_FALSE(thread.TakeResult());
}

TEST(SearchThread, NewSearchReplacesTheRunningOne) {
    TSearchThread thread;
    const TPosition position = Opening(9);
    thread.Start(FullAnalysis(Opening(8)));
    thread.Start([position](const std::atomic<bool>&) {
        return TSearchResult{TPlacementMove{4, 1, 1}, std::nullopt};
    });
    const std::optional<TSearchResult> result = WaitForResult(thread);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->Solution);
    EXPECT_EQ(result->Move, (TPlacementMove{4, 1, 1}));
    EXPECT_FALSE(thread.TakeResult());
}

TEST(SearchThread, AFailingSearchOrAThreadThatCannotStartIsReportedNotFatal) {
    const struct {
        const char* Name;
        TThreadStarter Starter;
        TSearchJob Job;
        const char* Error;
    } cases[] = {
        {"a job that throws",
         {},
         [](const std::atomic<bool>&) -> TSearchResult { throw std::runtime_error("out of cards"); },
         "the search failed: out of cards"},
        {"a job that throws something odd",
         {},
         [](const std::atomic<bool>&) -> TSearchResult { throw 42; },
         "the search failed"},
        {"no thread to be had",
         [](std::function<void()>) -> std::thread {
             throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
         },
         [](const std::atomic<bool>&) {
             return TSearchResult{TPlacementMove{0, 0, 0}, std::nullopt};
         },
         "no thread could be started"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSearchThread thread(c.Starter);
        for (int round = 0; round < 3; ++round) { // and the next search still works the same
            thread.Start(c.Job);
            const std::optional<TSearchResult> result = WaitForResult(thread);
            ASSERT_TRUE(result) << "the failure is delivered, once";
            EXPECT_NE(result->Error.find(c.Error), std::string::npos) << result->Error;
            EXPECT_FALSE(result->Move);
            EXPECT_FALSE(thread.Busy());
            EXPECT_FALSE(thread.TakeResult());
        }
    }
}

// A whole match reviewed on the worker: cancelled, it delivers nothing;
// left to finish, every move is scored.
TEST(SearchThread, AMatchReviewRunsOnTheWorkerAndCancels) {
    std::vector<TCardValues> catalogue;
    std::mt19937 random(31);
    for (int32_t i = 0; i < 110; ++i)
        catalogue.push_back({{1 + int32_t(random() % 10), 4 + int32_t(random() % 4),
                              1 + int32_t(random() % 10), 4 + int32_t(random() % 4)},
                             int32_t(random() % 9)});
    TMatchRecord record;
    record.Players[0] = record.Players[1] = "P";
    record.Rules.Same = record.Rules.Plus = record.Rules.SameWall = true;
    record.Ending = TMatchEnding::Abandoned;
    record.Moves = {{0, 1, 1}, {0, 0, 0}, {1, 2, 2}, {1, 2, 0}, {2, 0, 2},
                    {2, 1, 0}, {3, 0, 1}, {3, 2, 1}, {4, 1, 2}};
    const TReplay replay = ReplayRecord(record, catalogue);
    ASSERT_EQ(replay.Problem, "");
    auto review = [record, replay](const std::atomic<bool>& cancel) {
        TSearchResult result;
        result.Review = ReviewMatch(record, replay, &cancel);
        return result;
    };
    TSearchThread thread;
    for (int32_t round = 0; round < 10; ++round) {
        thread.Start(review);
        if (round % 2) std::this_thread::yield();
        thread.Cancel();
        EXPECT_FALSE(thread.TakeResult());
    }
    thread.Start(review);
    const std::optional<TSearchResult> result = WaitForResult(thread);
    ASSERT_TRUE(result && result->Review);
    EXPECT_EQ(result->Review->Moves.size(), 9u);
}

TEST(SearchThread, DestroyingARunningSearchStopsIt) {
    for (uint32_t round = 0; round < 10; ++round) {
        TSearchThread thread;
        thread.Start(FullAnalysis(Opening(100 + round)));
    }
    SUCCEED();
}

} // namespace
