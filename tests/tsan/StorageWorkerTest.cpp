// The storage worker's queue, batches and completions against a storage that
// records its transactions; built without Qt so that it runs under
// ThreadSanitizer.
#include "server/StorageWorker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <set>

namespace {

// Which moves went into which commit; written on the worker's thread only,
// and read once the worker is gone.
struct TRecords {
    std::vector<std::vector<std::pair<int64_t, int32_t>>> Commits; // (match, move index)
    std::set<int64_t> Refused;                                     // matches the database fails
    int Batches = 0;
};

class TRecordingStorage : public TStorage {
public:
    explicit TRecordingStorage(TRecords& records) : Records(records) {}

    TMoveResult AddMove(int64_t matchId, int64_t, const TStoredMove& move) override {
        if (Records.Refused.count(matchId)) return TMoveResult::Failed;
        Records.Commits.push_back({{matchId, move.Index}});
        return TMoveResult::Stored;
    }
    TMoveResult AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move, int32_t, const int32_t*,
                            TRatingUpdate* ratings) override {
        if (ratings) ratings->Rated = true;
        return AddMove(matchId, epoch, move);
    }
    bool AddWrites(std::vector<TWrite>& writes) override {
        ++Records.Batches;
        std::vector<std::pair<int64_t, int32_t>> commit;
        for (TWrite& write : writes) {
            if (Records.Refused.count(write.MatchId)) return false;
            commit.push_back({write.MatchId, write.Move.Index});
            if (write.Kind == TWrite::TKind::Create) write.Match.Id = 100;
            write.Result = TMoveResult::Stored;
            write.Ratings.Rated = write.Last;
        }
        Records.Commits.push_back(commit);
        return true;
    }
    std::string LastError() const override { return "refused"; }

    TBinding BindName(const std::string&, const std::string&, int64_t) override { return {}; }
    std::optional<TPlayer> FindPlayer(const std::string&) override { return {}; }
    std::optional<std::string> PlayerName(int64_t) override { return {}; }
    int64_t CreateMatch(const TStoredMatch&) override { return 0; }
    TMoveResult FinishMatch(int64_t, int64_t, TMatchStatus, int32_t, const int32_t*, int64_t,
                            TRatingUpdate*) override {
        return TMoveResult::Ended;
    }
    std::optional<TStoredMatch> LoadMatch(int64_t) override { return {}; }
    std::vector<TStoredMatch> MatchesInPlay() override { return {}; }
    std::optional<TStanding> Standing(int64_t) override { return {}; }
    std::vector<TStanding> Leaderboard(int32_t, int32_t) override { return {}; }
    std::optional<TProfile> Profile(const std::string&, int32_t, int32_t) override { return {}; }

private:
    TRecords& Records;
};

// A worker whose completions wait in a queue until the test's thread runs
// them, as the server's loop would.
class StorageWorkerTest : public ::testing::Test {
protected:
    static constexpr int64_t DoneMs = 777;

    void Start(TStorageWorker::TLimits limits) {
        Worker = std::make_unique<TStorageWorker>(
            [this](std::string&) {
                return std::unique_ptr<TStorage>(std::make_unique<TRecordingStorage>(Records));
            },
            [this](std::function<void(int64_t)> completion) {
                {
                    std::lock_guard<std::mutex> lock(Lock);
                    Posted.push_back(std::move(completion));
                }
                Woken.notify_one();
            },
            limits);
        ASSERT_EQ(Worker->Started(), "");
    }

    // The worker's thread posts into the members below: it stops first.
    void TearDown() override { Worker.reset(); }

    // Holds the worker in a job until Open, so that what comes next queues.
    void Hold() {
        TStorageJob job;
        job.Work = [this](TStorage&) {
            Entered.set_value();
            Gate.get_future().wait();
        };
        ASSERT_TRUE(Worker->Submit(std::move(job)));
        Entered.get_future().wait();
    }

    TStorageJob Move(int64_t match, int32_t index, bool last = false) {
        TStorageJob job;
        job.Write.MatchId = match;
        job.Write.Move.Index = index;
        job.Write.Last = last;
        job.Done = [this](TStorageJob& done, int64_t nowMs) {
            EXPECT_EQ(nowMs, DoneMs);
            Done.push_back(done);
        };
        return job;
    }

    // Runs completions until count have come, within a bound.
    void Drain(size_t count) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (size_t ran = 0; ran < count;) {
            std::function<void(int64_t)> completion;
            {
                std::unique_lock<std::mutex> lock(Lock);
                ASSERT_TRUE(Woken.wait_until(lock, until, [this] { return !Posted.empty(); }))
                    << "only " << ran << " of " << count << " completions came";
                completion = std::move(Posted.front());
                Posted.pop_front();
            }
            completion(DoneMs);
            ++ran;
        }
    }

    TRecords Records;
    std::unique_ptr<TStorageWorker> Worker;
    std::promise<void> Entered, Gate;
    std::mutex Lock;
    std::condition_variable Woken;
    std::deque<std::function<void(int64_t)>> Posted;
    std::vector<TStorageJob> Done;
};

// Moves of many matches waiting together are one commit, up to the bound, and
// never across a job of another kind; every match's moves are stored and
// completed in the order they were given.
TEST_F(StorageWorkerTest, QueuedMovesShareCommitsInOrder) {
    Start({4, 100});
    Hold();
    std::vector<std::pair<int64_t, int32_t>> given;
    bool workRan = false;
    for (int i = 0; i < 15; ++i) {
        if (i == 7) {
            TStorageJob work;
            work.Work = [&](TStorage&) {
                workRan = true;
                EXPECT_EQ(Records.Commits.size(), 2u);
            };
            ASSERT_TRUE(Worker->Submit(std::move(work)));
        }
        given.push_back({1 + i % 5, i / 5});
        ASSERT_TRUE(Worker->Submit(Move(given.back().first, given.back().second, i >= 10)));
    }
    Gate.set_value();
    // One completion for each batch: the hold, [0, 4), [4, 7), the work, [7, 11), [11, 15).
    Drain(6);
    Worker.reset();
    EXPECT_TRUE(workRan);
    std::vector<size_t> sizes;
    std::vector<std::pair<int64_t, int32_t>> stored, completed;
    for (const auto& commit : Records.Commits) {
        sizes.push_back(commit.size());
        stored.insert(stored.end(), commit.begin(), commit.end());
    }
    for (const TStorageJob& job : Done) {
        EXPECT_EQ(job.Write.Result, TStorage::TMoveResult::Stored);
        EXPECT_EQ(job.Write.Ratings.Rated, job.Write.Last);
        EXPECT_TRUE(job.Seconds.has_value());
        completed.push_back({job.Write.MatchId, job.Write.Move.Index});
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{4, 3, 4, 4}));
    EXPECT_EQ(stored, given);
    EXPECT_EQ(completed, given);
}

// With two connections one stores while the other is busy: nothing waits
// behind a slow commit.
TEST_F(StorageWorkerTest, ASecondConnectionStoresWhileTheFirstIsBusy) {
    Start({.Connections = 2});
    Hold();
    for (int64_t match = 1; match <= 3; ++match) ASSERT_TRUE(Worker->Submit(Move(match, 0)));
    for (int round = 0; round < 3 && Done.size() < 3; ++round) Drain(1);
    EXPECT_EQ(Done.size(), 3u) << "stored while the other connection is held";
    Gate.set_value();
    Drain(1);
    Worker.reset();
    size_t stored = 0;
    for (const auto& commit : Records.Commits) stored += commit.size();
    EXPECT_EQ(stored, 3u);
}

// A batch the database fails is stored move by move: the one it refuses
// fails with the reason, the others are stored.
TEST_F(StorageWorkerTest, AFailedBatchFallsBackToOneByOne) {
    Records.Refused = {3};
    Start({});
    Hold();
    for (int64_t match = 1; match <= 5; ++match) ASSERT_TRUE(Worker->Submit(Move(match, 0)));
    Gate.set_value();
    Drain(2);
    Worker.reset();
    EXPECT_EQ(Records.Batches, 1);
    EXPECT_EQ(Records.Commits.size(), 4u);
    ASSERT_EQ(Done.size(), 5u);
    for (const TStorageJob& job : Done) {
        const bool refused = job.Write.MatchId == 3;
        EXPECT_EQ(job.Write.Result, refused ? TStorage::TMoveResult::Failed : TStorage::TMoveResult::Stored);
        EXPECT_EQ(job.Error, refused ? "refused" : "");
    }
}

// New matches and ends join the moves waiting beside them in one commit, and
// a new match comes back with the id it was stored under.
TEST_F(StorageWorkerTest, NewMatchesAndEndsShareTheMovesCommit) {
    Start({});
    Hold();
    std::vector<TStorageJob> jobs = {Move(0, 0), Move(1, 3), Move(2, 0), Move(3, 5)};
    jobs[0].Write.Kind = TStorage::TWrite::TKind::Create;
    jobs[2].Write.Kind = TStorage::TWrite::TKind::Finish;
    for (TStorageJob& job : jobs) ASSERT_TRUE(Worker->Submit(job));
    Gate.set_value();
    Drain(2);
    Worker.reset();
    ASSERT_EQ(Records.Commits.size(), 1u);
    EXPECT_EQ(Records.Commits[0].size(), 4u);
    ASSERT_EQ(Done.size(), 4u);
    EXPECT_EQ(Done[0].Write.Match.Id, 100);
    for (const TStorageJob& job : Done) EXPECT_EQ(job.Write.Result, TStorage::TMoveResult::Stored);
}

// A full queue refuses the next job at once; what was queued is still done.
TEST_F(StorageWorkerTest, AFullQueueRefuses) {
    Start({8, 3});
    Hold();
    for (int32_t index = 0; index < 3; ++index) EXPECT_TRUE(Worker->Submit(Move(1, index)));
    EXPECT_FALSE(Worker->Submit(Move(2, 0)));
    Gate.set_value();
    Drain(2);
    ASSERT_EQ(Done.size(), 3u);
    EXPECT_TRUE(Worker->Submit(Move(2, 0)));
    Drain(1);
    EXPECT_EQ(Done.size(), 4u);
}

} // namespace
