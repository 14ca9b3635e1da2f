// The storage, on SQLite always and on PostgreSQL when with_postgres.sh has
// started one (VANTARO_TEST_DATABASE_URL).
#include "server/SqlStorage.h"
#include "server/StorageJob.h"

#include "records/Glicko2.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace {

const char* PostgresUrl() {
    const char* url = std::getenv("VANTARO_TEST_DATABASE_URL");
    return url != nullptr && *url != '\0' ? url : nullptr;
}

using TMoveResult = TStorage::TMoveResult;

// Runs statements on the test database outside the storage, to set up what
// an older or newer server would have left.
void RunRaw(const std::string& sqliteFile, bool postgres, const std::vector<std::string>& statements) {
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", "raw");
        if (postgres) {
            QUrl url(PostgresUrl());
            database.setHostName(url.host());
            database.setPort(url.port(5432));
            database.setUserName(url.userName());
            database.setDatabaseName(url.path().mid(1));
        } else {
            database.setDatabaseName(QString::fromStdString(sqliteFile));
        }
        ASSERT_TRUE(database.open());
        QSqlQuery query(database);
        for (const std::string& statement : statements)
            ASSERT_TRUE(query.exec(QString::fromStdString(statement))) << statement;
    }
    QSqlDatabase::removeDatabase("raw");
}

// Every table a server makes, for a PostgreSQL database used again.
const char* const DropAll = "DROP TABLE IF EXISTS sanctions, reports, moderators, relations, moderation_log,"
                            " rating_changes, moves, matches, players, instances, schema_version CASCADE";

class StorageTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        Postgres = GetParam();
        if (Postgres && !PostgresUrl()) GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
        File = Folder.filePath("vantaro.sqlite").toStdString();
        if (Postgres) RunRaw(File, true, {DropAll});
    }

    std::unique_ptr<TSqlStorage> Open(const std::string& instance = {}) {
        std::string error;
        auto storage = TSqlStorage::Open(File, Postgres ? PostgresUrl() : "", error, instance);
        EXPECT_TRUE(storage) << error;
        return storage;
    }

    int64_t Player(TSqlStorage& storage, const std::string& name) {
        return storage.BindName(name, "fp-" + name, 1000).PlayerId;
    }

    TStoredMatch Match(int64_t red, int64_t blue) {
        TStoredMatch match;
        match.Players[0] = red;
        match.Players[1] = blue;
        match.Rules = RuleSame | RulePlus | RuleSuddenDeath;
        match.MoveSeconds = 30;
        match.Seed = (int64_t(1) << 53) - 7;
        match.FirstPlayer = 0;
        match.StartedMs = 1'700'000'000'123;
        return match;
    }

    bool Postgres = false;
    QTemporaryDir Folder;
    std::string File;
};

TEST_P(StorageTest, NamesBindToTheirFirstCertificateRegardlessOfCase) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    struct TCase {
        const char* Name;
        const char* Fingerprint;
        TStorage::TBindResult Result;
        const char* Stored;
    };
    const TCase cases[] = {
        {"Ann_1", "aa", TStorage::TBindResult::Created, "Ann_1"},
        {"Ann_1", "aa", TStorage::TBindResult::Known, "Ann_1"},
        {"aNN_1", "aa", TStorage::TBindResult::Known, "Ann_1"},
        {"ANN_1", "bb", TStorage::TBindResult::Taken, ""},
        {"bo-b", "aa", TStorage::TBindResult::Created, "bo-b"}, // one certificate, two names
        {"ab", "cc", TStorage::TBindResult::Invalid, ""},
        {"abcdefghijklmnopq", "cc", TStorage::TBindResult::Invalid, ""},
        {"abcdefghijklmnop", "cc", TStorage::TBindResult::Created, "abcdefghijklmnop"},
        {"Ann 1", "cc", TStorage::TBindResult::Invalid, ""},
        {"Ann'1", "cc", TStorage::TBindResult::Invalid, ""},
        {"\xc3\x84nn", "cc", TStorage::TBindResult::Invalid, ""},
        {"anna", "", TStorage::TBindResult::Invalid, ""},
    };
    int64_t annId = 0;
    for (const TCase& c : cases) {
        TStorage::TBinding binding = storage->BindName(c.Name, c.Fingerprint, 5);
        EXPECT_EQ(binding.Result, c.Result) << c.Name << " " << storage->LastError();
        EXPECT_EQ(binding.Name, c.Stored) << c.Name;
        if (std::string(c.Stored) == "Ann_1") {
            EXPECT_TRUE(annId == 0 || binding.PlayerId == annId);
            annId = binding.PlayerId;
        }
    }
    EXPECT_EQ(storage->PlayerName(annId), "Ann_1");
    EXPECT_EQ(storage->PlayerName(annId + 1000), std::nullopt);
    std::optional<TStorage::TPlayer> found = storage->FindPlayer("ANN_1");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Id, annId);
    EXPECT_EQ(found->Fingerprint, "aa");
    EXPECT_FALSE(storage->FindPlayer("nobody"));
}

TEST_P(StorageTest, MovesAreKeptInOrderWithoutGapsAndOnlyWhileTheMatchIsInPlay) {
    using TMoveResult = TStorage::TMoveResult;
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t id = storage->CreateMatch(Match(Player(*storage, "red"), Player(*storage, "blue")));
    ASSERT_GT(id, 0) << storage->LastError();
    EXPECT_EQ(storage->AddMove(id, 1, {0, 4, 1, 1, 10}), TMoveResult::Stored);
    EXPECT_EQ(storage->AddMove(id, 1, {0, 3, 0, 0, 11}), TMoveResult::NotNext) << "a second move 0";
    EXPECT_EQ(storage->AddMove(id, 1, {2, 3, 0, 0, 11}), TMoveResult::NotNext) << "a gap";
    EXPECT_EQ(storage->AddMove(id, 1, {1, 3, 2, 2, 12}), TMoveResult::Stored);
    EXPECT_EQ(storage->AddMove(id + 99, 1, {0, 0, 0, 0, 1}), TMoveResult::Ended) << "an unknown match";
    std::vector<TStoredMatch> playing = storage->MatchesInPlay();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].Moves.size(), 2u);
    const int64_t epoch = playing[0].Epoch;
    EXPECT_EQ(epoch, 2) << "resumed, as after a restart, at a new epoch";
    EXPECT_EQ(storage->AddMove(id, 1, {2, 0, 0, 0, 13}), TMoveResult::Fenced) << "at the epoch before";

    const int32_t score[2] = {4, 6};
    EXPECT_EQ(storage->FinishMatch(id, epoch, TMatchStatus::Time, 1, score, 2000), TMoveResult::Stored);
    EXPECT_EQ(storage->FinishMatch(id, epoch, TMatchStatus::Finished, 0, score, 3000), TMoveResult::Ended)
        << "ended twice";
    EXPECT_EQ(storage->AddMove(id, epoch, {2, 0, 0, 0, 13}), TMoveResult::Ended) << "a move after the end";
    EXPECT_EQ(storage->AddMove(id, epoch, {1, 0, 0, 0, 13}), TMoveResult::Ended) << "whatever its index";
    EXPECT_TRUE(storage->MatchesInPlay().empty());
}

TEST_P(StorageTest, AMatchReadsBackAsWrittenAfterReopening) {
    int64_t id = 0;
    TStoredMatch written;
    {
        auto storage = Open();
        ASSERT_TRUE(storage);
        written = Match(Player(*storage, "red"), Player(*storage, "blue"));
        id = storage->CreateMatch(written);
        ASSERT_GT(id, 0);
        for (int i = 0; i < 9; ++i)
            ASSERT_EQ(storage->AddMove(id, 1, {i, 4 - i / 2, i % 3, i / 3, 1'700'000'000'000 + i}),
                      TStorage::TMoveResult::Stored);
        const int32_t score[2] = {5, 5};
        ASSERT_EQ(storage->FinishMatch(id, 1, TMatchStatus::Forfeit, -1, score, 1'700'000'009'999),
                  TMoveResult::Stored);
    }
    auto storage = Open();
    ASSERT_TRUE(storage);
    std::optional<TStoredMatch> read = storage->LoadMatch(id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Players[0], written.Players[0]);
    EXPECT_EQ(read->Players[1], written.Players[1]);
    EXPECT_EQ(read->Rules, written.Rules);
    EXPECT_EQ(read->MoveSeconds, 30);
    EXPECT_EQ(read->Seed, written.Seed);
    EXPECT_EQ(read->FirstPlayer, 0);
    EXPECT_EQ(read->Status, TMatchStatus::Forfeit);
    EXPECT_EQ(read->Winner, -1);
    EXPECT_EQ(read->Score[0] + read->Score[1], 10);
    EXPECT_EQ(read->StartedMs, written.StartedMs);
    EXPECT_EQ(read->EndedMs, 1'700'000'009'999);
    ASSERT_EQ(read->Moves.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(read->Moves[i].Index, i);
        EXPECT_EQ(read->Moves[i].Move.Slot, 4 - i / 2);
        EXPECT_EQ(read->Moves[i].Move.X, i % 3);
        EXPECT_EQ(read->Moves[i].Move.Y, i / 3);
        EXPECT_EQ(read->Moves[i].TimeMs, 1'700'000'000'000 + i);
    }
    EXPECT_EQ(storage->BindName("RED", "fp-red", 1).Result, TStorage::TBindResult::Known);
}

TEST_P(StorageTest, TheSchemaIsCreatedOnceAndANewerOneIsRefused) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Open()) << "opening an up-to-date database again";
    RunRaw(File, Postgres, {"UPDATE schema_version SET version = 99"});
    std::string error;
    EXPECT_FALSE(TSqlStorage::Open(File, Postgres ? PostgresUrl() : "", error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

// Servers starting at once on a fresh database, as threads here so that they
// truly start together: each takes the schema's lock before touching it, so
// every one opens.
TEST_P(StorageTest, OpeningsAtOnceOnAFreshDatabaseAllSucceed) {
    constexpr int Openings = 6, Rounds = 5;
    for (int round = 0; round < Rounds; ++round) {
        const std::string file = Folder.filePath(QString("fresh%1.sqlite").arg(round)).toStdString();
        if (Postgres && round > 0) RunRaw(File, true, {DropAll});
        std::atomic<int> ready{0};
        std::string errors[Openings];
        std::vector<std::thread> threads;
        for (int i = 0; i < Openings; ++i)
            threads.emplace_back([&, i] {
                ++ready;
                for (int spins = 0; ready < Openings && spins < 10'000'000; ++spins)
                    std::this_thread::yield();
                if (TSqlStorage::Open(file, Postgres ? PostgresUrl() : "", errors[i])) errors[i].clear();
            });
        for (std::thread& thread : threads) thread.join();
        for (int i = 0; i < Openings; ++i) EXPECT_EQ(errors[i], "") << "round " << round << ", opening " << i;
    }
}

TEST_P(StorageTest, TheSqliteFileIsInWalMode) {
    if (Postgres) GTEST_SKIP() << "SQLite only";
    ASSERT_TRUE(Open());
    QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "wal");
    {
        database.setDatabaseName(QString::fromStdString(File));
        ASSERT_TRUE(database.open());
        QSqlQuery query(database);
        ASSERT_TRUE(query.exec("PRAGMA journal_mode") && query.next());
        EXPECT_EQ(query.value(0).toString(), "wal");
        query.finish();
    }
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase("wal");
}

// Each result against the same formula worked out here: a rated match with a
// result moves both players at once from their ratings before it; a casual or
// abandoned one moves nobody.
TEST_P(StorageTest, ARatedResultMovesBothRatingsAndNothingElseMovesAny) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    struct TCase {
        bool Rated;
        TMatchStatus Status;
        int32_t Winner;
        double BlueScore; // what Glicko-2 counts for Blue; -1 for no rating change
    };
    const TCase cases[] = {
        {true, TMatchStatus::Finished, 1, 1.0},  {true, TMatchStatus::Finished, -1, 0.5},
        {true, TMatchStatus::Forfeit, 0, 0.0},   {true, TMatchStatus::Time, 1, 1.0},
        {true, TMatchStatus::Abandoned, -1, -1}, {false, TMatchStatus::Finished, 1, -1},
    };
    const int32_t score[2] = {4, 6};
    int64_t ended = 1'700'000'100'000;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        const std::string which = "case " + std::to_string(i);
        int64_t red = Player(*storage, "red" + std::to_string(i)),
                blue = Player(*storage, "blue" + std::to_string(i));
        TStoredMatch match = Match(red, blue);
        match.Rated = c.Rated;
        int64_t id = storage->CreateMatch(match);
        TStorage::TRatingUpdate update;
        ASSERT_EQ(storage->FinishMatch(id, 1, c.Status, c.Winner, score, ++ended, &update),
                  TMoveResult::Stored)
            << storage->LastError();
        EXPECT_EQ(update.Rated, c.BlueScore >= 0) << which;
        std::optional<TStorage::TStanding> redNow = storage->Standing(red), blueNow = storage->Standing(blue);
        ASSERT_TRUE(redNow && blueNow);
        if (c.BlueScore < 0) {
            EXPECT_EQ(redNow->Rating, TRating()) << which;
            EXPECT_EQ(blueNow->RatedMatches, 0) << which;
            continue;
        }
        const TGlicko2 glicko(0.5);
        TRating blueAfter = glicko.Update(TRating(), {{TRating(), c.BlueScore}});
        TRating redAfter = glicko.Update(TRating(), {{TRating(), 1.0 - c.BlueScore}});
        EXPECT_EQ(update.Before[0], TRating()) << which;
        EXPECT_DOUBLE_EQ(update.After[1].Rating, blueAfter.Rating) << which;
        EXPECT_DOUBLE_EQ(blueNow->Rating.Rating, blueAfter.Rating) << which;
        EXPECT_DOUBLE_EQ(blueNow->Rating.Deviation, blueAfter.Deviation) << which;
        EXPECT_DOUBLE_EQ(blueNow->Rating.Volatility, blueAfter.Volatility) << which;
        EXPECT_DOUBLE_EQ(redNow->Rating.Rating, redAfter.Rating) << which;
        EXPECT_EQ(redNow->RatedMatches, 1) << which;
    }
    // A second match starts from where the first left both players.
    int64_t red = storage->FindPlayer("red0")->Id, blue = storage->FindPlayer("blue0")->Id;
    TStorage::TStanding redBefore = *storage->Standing(red);
    TStoredMatch match = Match(red, blue);
    match.Rated = true;
    TStorage::TRatingUpdate update;
    ASSERT_EQ(storage->FinishMatch(storage->CreateMatch(match), 1, TMatchStatus::Finished, 0, score, ++ended,
                                   &update),
              TMoveResult::Stored);
    EXPECT_DOUBLE_EQ(update.Before[0].Rating, redBefore.Rating.Rating);
    EXPECT_EQ(storage->Standing(red)->RatedMatches, 2);
}

TEST_P(StorageTest, TheLeaderboardAndAProfileReadTheRatedMatchesBack) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t ann = Player(*storage, "Ann"), bob = Player(*storage, "Bob"), cid = Player(*storage, "Cid");
    const int32_t score[2] = {4, 6};
    struct TPlayed {
        int64_t Red, Blue;
        bool Rated;
    } played[] = {{ann, bob, true}, {bob, ann, true}, {cid, ann, false}, {ann, cid, true}};
    int64_t ended = 1'700'000'200'000, lastId = 0;
    for (const TPlayed& p : played) {
        TStoredMatch match = Match(p.Red, p.Blue);
        match.Rated = p.Rated;
        lastId = storage->CreateMatch(match);
        ASSERT_EQ(storage->FinishMatch(lastId, 1, TMatchStatus::Finished, 1, score, ended += 1000),
                  TMoveResult::Stored);
    }
    storage->CreateMatch(Match(ann, bob)); // in play: on no list

    std::vector<TStorage::TStanding> leaders = storage->Leaderboard(1, 50);
    ASSERT_EQ(leaders.size(), 3u);
    for (size_t i = 1; i < leaders.size(); ++i)
        EXPECT_GE(leaders[i - 1].Rating.Rating, leaders[i].Rating.Rating) << "best first";
    leaders = storage->Leaderboard(2, 50);
    ASSERT_EQ(leaders.size(), 2u) << "Cid has one rated match";
    EXPECT_EQ(storage->Leaderboard(1, 1).size(), 1u);

    std::optional<TStorage::TProfile> profile = storage->Profile("ANN", 200, 50);
    ASSERT_TRUE(profile) << storage->LastError();
    EXPECT_EQ(profile->Standing.Name, "Ann");
    EXPECT_EQ(profile->Standing.RatedMatches, 3);
    ASSERT_EQ(profile->History.size(), 3u);
    EXPECT_EQ(profile->History[0].first, 1'700'000'201'000) << "oldest first";
    EXPECT_EQ(profile->History[2].second, profile->Standing.Rating);
    ASSERT_EQ(profile->Recent.size(), 4u);
    const TStorage::TPlayedMatch& last = profile->Recent[0];
    EXPECT_EQ(last.Match.Id, lastId) << "newest first";
    EXPECT_EQ(last.Seat, 0);
    EXPECT_EQ(last.Opponent, "Cid");
    EXPECT_TRUE(last.RatingMoved);
    EXPECT_EQ(last.After, profile->Standing.Rating);
    EXPECT_EQ(last.Before, profile->History[1].second);
    EXPECT_FALSE(profile->Recent[1].RatingMoved) << "the casual match";
    EXPECT_EQ(profile->Recent[1].Seat, 1);
    EXPECT_EQ(storage->Profile("Ann", 2, 1)->History.size(), 2u);
    EXPECT_EQ(storage->Profile("Ann", 2, 1)->Recent.size(), 1u);
    EXPECT_FALSE(storage->Profile("Nobody", 200, 50));
}

// The rating write fails after the result and the players' rows were
// written: the transaction takes all of it back.
TEST_P(StorageTest, AFailedRatingWriteLeavesNeitherTheResultNorTheRatings) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t red = Player(*storage, "red"), blue = Player(*storage, "blue");
    TStoredMatch match = Match(red, blue);
    match.Rated = true;
    int64_t rated = storage->CreateMatch(match);
    match.Rated = false;
    int64_t casual = storage->CreateMatch(match);
    RunRaw(File, Postgres, {"DROP TABLE rating_changes"});
    const int32_t score[2] = {4, 6};
    TStorage::TRatingUpdate update;
    EXPECT_EQ(storage->FinishMatch(rated, 1, TMatchStatus::Finished, 1, score, 1'700'000'300'000, &update),
              TMoveResult::Failed);
    EXPECT_FALSE(update.Rated);
    EXPECT_EQ(storage->LoadMatch(rated)->Status, TMatchStatus::Playing);
    for (int64_t player : {red, blue}) {
        EXPECT_EQ(storage->Standing(player)->Rating, TRating());
        EXPECT_EQ(storage->Standing(player)->RatedMatches, 0);
    }
    EXPECT_EQ(storage->FinishMatch(casual, 1, TMatchStatus::Finished, 1, score, 1'700'000'300'000),
              TMoveResult::Stored)
        << "the storage goes on after the failure: " << storage->LastError();
}

// The move that ends a match is kept with the end, its result and both
// ratings, or not at all: a server killed in between cannot leave nine
// moves with no end.
TEST_P(StorageTest, TheLastMoveIsKeptWithTheEndAndItsRatingsOrNotAtAll) {
    using TMoveResult = TStorage::TMoveResult;
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t red = Player(*storage, "red"), blue = Player(*storage, "blue");
    TStoredMatch match = Match(red, blue);
    match.Rated = true;
    int64_t id = storage->CreateMatch(match);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(storage->AddMove(id, 1, {i, i / 2, i % 3, i / 3, 100 + i}), TMoveResult::Stored);
    const int32_t score[2] = {4, 6};
    EXPECT_EQ(storage->AddLastMove(id, 1, {9, 4, 2, 2, 108}, 1, score), TMoveResult::NotNext);
    TStorage::TRatingUpdate update;
    ASSERT_EQ(storage->AddLastMove(id, 1, {8, 4, 2, 2, 108}, 1, score, &update), TMoveResult::Stored)
        << storage->LastError();
    EXPECT_TRUE(update.Rated);
    std::optional<TStoredMatch> ended = storage->LoadMatch(id);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->Status, TMatchStatus::Finished);
    EXPECT_EQ(ended->Winner, 1);
    EXPECT_EQ(ended->Score[1], 6);
    EXPECT_EQ(ended->EndedMs, 108) << "ended when its last move came";
    EXPECT_EQ(ended->Moves.size(), 9u);
    EXPECT_EQ(storage->Standing(red)->RatedMatches, 1);
    EXPECT_DOUBLE_EQ(storage->Standing(blue)->Rating.Rating, update.After[1].Rating);
    EXPECT_EQ(storage->AddLastMove(id, 1, {9, 0, 0, 0, 109}, 1, score), TMoveResult::Ended);

    // The rating write fails: the move goes with the end.
    int64_t second = storage->CreateMatch(match);
    RunRaw(File, Postgres, {"DROP TABLE rating_changes"});
    EXPECT_EQ(storage->AddLastMove(second, 1, {0, 0, 0, 0, 200}, 1, score), TMoveResult::Failed);
    std::optional<TStoredMatch> kept = storage->LoadMatch(second);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Status, TMatchStatus::Playing);
    EXPECT_TRUE(kept->Moves.empty()) << "the move without its end";
    EXPECT_EQ(storage->AddMove(second, 1, {0, 0, 0, 0, 201}), TMoveResult::Stored) << storage->LastError();
}

// Sanctions hold until lifted or run out; reports count per reporter and
// close once; blocks and follows are sets; every moderation action is logged
// in order, which is what other servers follow.
TEST_P(StorageTest, TheCommunityIsKeptAndEveryModerationActionLogged) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t ann = storage->BindName("Ann", "fp-a", 1).PlayerId,
            bob = storage->BindName("Bob", "fp-b", 1).PlayerId;
    using TKind = TCommunityStorage::TSanctionKind;
    const int64_t mute = storage->AddSanction({0, TKind::Mute, "Bob", bob, "spam", "Mod", 100, 1000});
    const int64_t ban = storage->AddSanction({0, TKind::AddressBan, "10.0.0.0/8", 0, "bots", "Mod", 100, 0});
    ASSERT_GT(mute, 0) << storage->LastError();
    ASSERT_GT(ban, mute);
    auto inForce = [&](int64_t nowMs) {
        std::vector<int64_t> ids;
        const auto sanctions = storage->Sanctions(nowMs);
        for (const auto& sanction : *sanctions) ids.push_back(sanction.Id);
        return ids;
    };
    EXPECT_EQ(inForce(999), (std::vector<int64_t>{mute, ban}));
    EXPECT_EQ(inForce(1000), (std::vector<int64_t>{ban})) << "a mute runs out";
    EXPECT_FALSE(storage->LiftSanction(mute, "Mod", "", 1000)) << "nothing to lift once run out";
    EXPECT_TRUE(storage->LiftSanction(ban, "Mod", "mistake", 200));
    EXPECT_FALSE(storage->LiftSanction(ban, "Mod", "", 200)) << "lifted once";
    EXPECT_TRUE(inForce(200) == std::vector<int64_t>{mute});
    const auto kept = storage->Sanctions(200)->front();
    EXPECT_EQ(
        std::tie(kept.Kind, kept.Target, kept.PlayerId, kept.Reason, kept.By, kept.CreatedMs, kept.UntilMs),
        std::tuple(TKind::Mute, std::string("Bob"), bob, std::string("spam"), std::string("Mod"),
                   int64_t(100), int64_t(1000)));

    ASSERT_TRUE(storage->SetModerator(ann, true, "root", 300));
    ASSERT_TRUE(storage->SetModerator(ann, true, "root", 300)) << "granted twice is granted";
    EXPECT_EQ(*storage->Moderators(), std::vector<std::string>{"Ann"});
    ASSERT_TRUE(storage->SetModerator(ann, false, "root", 310));
    EXPECT_TRUE(storage->Moderators()->empty());

    TCommunityStorage::TReport report{0, ann, bob, "", "", "abuse", "rude", "Bob: you fool\nBob: again",
                                      7, 400};
    const int64_t first = storage->AddReport(report);
    report.CreatedMs = 500;
    ASSERT_GT(storage->AddReport(report), first);
    EXPECT_EQ(storage->ReportsSince(ann, 450), 1);
    EXPECT_EQ(storage->ReportsSince(bob, 0), 0);
    auto open = *storage->OpenReports(10);
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(std::tie(open[0].Reporter, open[0].Reported, open[0].Evidence, open[0].MatchId),
              std::tie("Ann", "Bob", report.Evidence, report.MatchId));
    EXPECT_TRUE(storage->CloseReport(first, "Mod", "warned", 600));
    EXPECT_FALSE(storage->CloseReport(first, "Mod", "again", 600));
    EXPECT_EQ(storage->OpenReports(10)->size(), 1u);

    using TRelation = TCommunityStorage::TRelation;
    for (int twice = 0; twice < 2; ++twice)
        ASSERT_TRUE(storage->SetRelation(ann, bob, TRelation::Block, true, 1));
    EXPECT_EQ(storage->Related(ann, TRelation::Block)->size(), 1u);
    EXPECT_TRUE(storage->Related(ann, TRelation::Follow)->empty()) << "a block is no follow";
    EXPECT_TRUE(storage->Related(bob, TRelation::Block)->empty()) << "a block goes one way";
    ASSERT_TRUE(storage->SetRelation(ann, bob, TRelation::Block, false, 2));
    EXPECT_TRUE(storage->Related(ann, TRelation::Block)->empty());

    std::vector<std::string> actions;
    const auto logged = storage->ActionsAfter(0, 100);
    for (const auto& action : *logged) actions.push_back(action.By + " " + action.Action);
    EXPECT_EQ(actions,
              (std::vector<std::string>{"Mod mute", "Mod ban address", "Mod lift ban address", "root grant",
                                        "root grant", "root revoke", "Mod close report"}));
    const auto latest = *storage->LatestActions(1);
    ASSERT_EQ(latest.size(), 1u);
    EXPECT_TRUE(storage->ActionsAfter(latest[0].Id, 100)->empty());
}

// Matches whose leases ran out, taken over by two servers at once: each goes
// to exactly one, at the next epoch, with its moves. The server that lost a
// match stores nothing more for it: no move, no end, no rating. A lease
// renewed, even after it ran out, is left alone; one the server holds but
// does not renew (it no longer runs the match) is taken.
// New matches, moves and ends queued together share one transaction (on
// PostgreSQL the plain moves one statement); when one of them cannot be
// stored, it alone is refused, with its reason, and every other is kept.
TEST_P(StorageTest, ABatchLosesOnlyTheUnitThatCannotBeStored) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    const int64_t red = Player(*storage, "red"), blue = Player(*storage, "blue");
    using TKind = TStorage::TWrite::TKind;
    struct TCase {
        int Spoilt; // of the batch's units: a new match, two moves, a rated match's last move, an end
        TMoveResult Refused;
    };
    const TCase cases[] = {{-1, TMoveResult::Stored}, {0, TMoveResult::Failed}, {1, TMoveResult::NotNext},
                           {2, TMoveResult::Fenced},  {3, TMoveResult::Ended},  {4, TMoveResult::Fenced}};
    const int32_t score[2] = {6, 4};
    for (const TCase& c : cases) {
        TStoredMatch rated = Match(red, blue);
        rated.Rated = true;
        const int64_t played = storage->CreateMatch(Match(red, blue)),
                      other = storage->CreateMatch(Match(red, blue)), last = storage->CreateMatch(rated),
                      ended = storage->CreateMatch(Match(red, blue));
        for (int64_t id : {played, other, last}) {
            ASSERT_EQ(storage->AddMove(id, 1, {0, 4, 1, 1, 10}), TMoveResult::Stored);
        }
        if (c.Spoilt == 3) {
            ASSERT_EQ(storage->FinishMatch(last, 1, TMatchStatus::Abandoned, -1, score, 11),
                      TMoveResult::Stored);
        }
        std::vector<TStorageJob> jobs(5);
        jobs[0].Write.Kind = TKind::Create;
        jobs[0].Write.Match = Match(c.Spoilt == 0 ? blue + 1000 : red, blue);
        jobs[1].Write.MatchId = played;
        jobs[1].Write.Move = {c.Spoilt == 1 ? 2 : 1, 3, 0, 0, 12};
        jobs[2].Write.MatchId = other;
        jobs[2].Write.Move = {1, 2, 2, 2, 12};
        jobs[3].Write.MatchId = last;
        jobs[3].Write.Move = {1, 3, 0, 0, 12};
        jobs[3].Write.Last = true;
        jobs[3].Write.Winner = 0;
        jobs[4].Write.Kind = TKind::Finish;
        jobs[4].Write.MatchId = ended;
        jobs[4].Write.Status = TMatchStatus::Resigned;
        jobs[4].Write.Winner = 1;
        for (TStorageJob& job : jobs) job.Write.Epoch = TStoredMatch::FirstEpoch;
        if (c.Spoilt == 2 || c.Spoilt == 4) jobs[size_t(c.Spoilt)].Write.Epoch = TStoredMatch::FirstEpoch + 1;
        const TRating before = storage->Standing(red)->Rating;
        if (c.Spoilt < 0) {
            // Whole, the batch is one transaction, not its units one by one.
            std::vector<TStorage::TWrite> writes;
            for (const TStorageJob& job : jobs) writes.push_back(job.Write);
            ASSERT_TRUE(storage->AddWrites(writes)) << storage->LastError();
            for (size_t unit = 0; unit < writes.size(); ++unit) jobs[unit].Write = writes[unit];
        } else {
            RunStorageJobs(*storage, jobs, false);
        }
        for (int unit = 0; unit < 5; ++unit)
            EXPECT_EQ(jobs[unit].Write.Result, unit == c.Spoilt ? c.Refused : TMoveResult::Stored)
                << "unit " << unit << ", unit " << c.Spoilt << " spoilt: " << jobs[unit].Error;
        // The database holds exactly what each was told.
        const int64_t created = jobs[0].Write.Match.Id;
        EXPECT_EQ(created > 0 && storage->LoadMatch(created)->Status == TMatchStatus::Playing, c.Spoilt != 0);
        EXPECT_EQ(storage->LoadMatch(played)->Moves.size(), c.Spoilt == 1 ? 1u : 2u);
        EXPECT_EQ(storage->LoadMatch(other)->Moves.size(), c.Spoilt == 2 ? 1u : 2u);
        ASSERT_EQ(storage->LoadMatch(other)->Moves.back().Move.X, c.Spoilt == 2 ? 1 : 2);
        EXPECT_EQ(storage->LoadMatch(last)->Moves.size(), c.Spoilt == 3 ? 1u : 2u);
        EXPECT_EQ(jobs[3].Write.Ratings.Rated, c.Spoilt != 3);
        if (c.Spoilt != 3) {
            EXPECT_EQ(jobs[3].Write.Ratings.Before[0], before);
            EXPECT_EQ(jobs[3].Write.Ratings.After[0], storage->Standing(red)->Rating);
        }
        EXPECT_EQ(storage->LoadMatch(ended)->Status,
                  c.Spoilt == 4 ? TMatchStatus::Playing : TMatchStatus::Resigned);
    }
}

// Random batches of every kind of write (new matches, moves, last moves with
// any result, ends of every kind, rated or casual) leave PostgreSQL, which
// sends each batch's statements together, as each write stored alone leaves
// SQLite: the same results, ratings, matches and standings.
TEST_P(StorageTest, ABatchStoresWhatItsWritesStoredAloneWould) {
    if (!Postgres) GTEST_SKIP() << "PostgreSQL's batches against SQLite's writes one by one";
    std::string error;
    std::unique_ptr<TSqlStorage> storages[2] = {Open(), TSqlStorage::Open(File, "", error)};
    ASSERT_TRUE(storages[0] && storages[1]) << error;
    std::vector<int64_t> players[2];
    for (int i = 0; i < 4; ++i)
        for (int side = 0; side < 2; ++side)
            players[side].push_back(Player(*storages[side], "player" + std::to_string(i)));
    struct TLive {
        int64_t Ids[2];
        int32_t Moves = 0;
    };
    std::vector<TLive> live;
    std::vector<int64_t> all[2];
    std::mt19937 random(2026);
    auto pick = [&random](int count) {
        return int(std::uniform_int_distribution<int>(0, count - 1)(random));
    };
    const TMatchStatus ends[] = {TMatchStatus::Time, TMatchStatus::Forfeit, TMatchStatus::Abandoned,
                                 TMatchStatus::Resigned};
    for (int round = 0; round < 40; ++round) {
        std::vector<TStorage::TWrite> writes;
        std::vector<size_t> of; // the live match of each write; live.size() for a new one
        for (int created = 0; created < 2; ++created) {
            TStorage::TWrite write;
            write.Kind = TStorage::TWrite::TKind::Create;
            const int red = pick(4), blue = (red + 1 + pick(3)) % 4;
            write.Match = Match(players[0][size_t(red)], players[0][size_t(blue)]);
            write.Match.Rated = pick(3) != 0;
            writes.push_back(write);
            of.push_back(live.size());
        }
        for (size_t i = 0; i < live.size(); ++i) {
            if (pick(3) == 0) continue;
            TStorage::TWrite write;
            write.Epoch = TStoredMatch::FirstEpoch;
            write.Winner = pick(3) - 1;
            write.Score[0] = pick(10);
            write.Score[1] = 10 - write.Score[0];
            if (pick(12) == 0) {
                write.Kind = TStorage::TWrite::TKind::Finish;
                write.Status = ends[pick(4)];
                write.EndedMs = 2'000 + round;
            } else {
                write.Move = {live[i].Moves, pick(5), pick(3), pick(3), 1'000 + round};
                write.Last = live[i].Moves == 8;
            }
            writes.push_back(write);
            of.push_back(i);
        }
        std::vector<TStorage::TWrite> stored[2] = {writes, writes};
        for (int side = 0; side < 2; ++side)
            for (size_t w = 0; w < writes.size(); ++w)
                if (of[w] < live.size()) {
                    stored[side][w].MatchId = live[of[w]].Ids[side];
                } else {
                    for (int seat = 0; seat < 2; ++seat)
                        for (size_t p = 0; p < 4; ++p)
                            if (writes[w].Match.Players[seat] == players[0][p])
                                stored[side][w].Match.Players[seat] = players[side][p];
                }
        ASSERT_TRUE(storages[0]->AddWrites(stored[0]))
            << "round " << round << ": " << storages[0]->LastError();
        for (TStorage::TWrite& write : stored[1]) storages[1]->AddOne(write);
        std::vector<TLive> next;
        for (size_t w = 0; w < writes.size(); ++w) {
            const TStorage::TWrite &batched = stored[0][w], &alone = stored[1][w];
            ASSERT_EQ(alone.Result, TStorage::TMoveResult::Stored) << storages[1]->LastError();
            EXPECT_EQ(batched.Ratings.Rated, alone.Ratings.Rated) << "round " << round << ", write " << w;
            if (alone.Ratings.Rated) {
                for (int seat = 0; seat < 2; ++seat) {
                    EXPECT_EQ(batched.Ratings.Before[seat], alone.Ratings.Before[seat]);
                    EXPECT_EQ(batched.Ratings.After[seat], alone.Ratings.After[seat]);
                }
            }
            if (writes[w].Kind == TStorage::TWrite::TKind::Create) {
                next.push_back({{batched.Match.Id, alone.Match.Id}});
                for (int side = 0; side < 2; ++side) all[side].push_back(stored[side][w].Match.Id);
            } else if (writes[w].Kind == TStorage::TWrite::TKind::Move && !writes[w].Last) {
                next.push_back(live[of[w]]);
                ++next.back().Moves;
            }
        }
        for (size_t i = 0; i < live.size(); ++i)
            if (std::find(of.begin(), of.end(), i) == of.end()) next.push_back(live[i]);
        live = std::move(next);
    }
    for (size_t m = 0; m < all[0].size(); ++m) {
        const std::optional<TStoredMatch> batched = storages[0]->LoadMatch(all[0][m]),
                                          alone = storages[1]->LoadMatch(all[1][m]);
        ASSERT_TRUE(batched && alone);
        EXPECT_EQ(batched->Status, alone->Status);
        EXPECT_EQ(batched->Winner, alone->Winner);
        EXPECT_EQ(batched->Moves.size(), alone->Moves.size());
    }
    for (size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(storages[0]->Standing(players[0][p])->Rating, storages[1]->Standing(players[1][p])->Rating);
        EXPECT_EQ(storages[0]->Standing(players[0][p])->RatedMatches,
                  storages[1]->Standing(players[1][p])->RatedMatches);
    }
}

// A batch longer than the statements a storage keeps unanswered: one spoilt
// unit anywhere in it, even past the part already answered, keeps all of it
// out, and alone each of the others is stored.
TEST_P(StorageTest, ALongBatchIsStoredWholeOrItsUnitsAlone) {
    auto storage = Open();
    ASSERT_TRUE(storage);
    const int64_t red = Player(*storage, "red"), blue = Player(*storage, "blue");
    constexpr int Units = 150;
    for (int spoilt : {-1, Units - 1}) {
        std::vector<TStorage::TWrite> writes(Units);
        for (int unit = 0; unit < Units; ++unit) {
            TStorage::TWrite& write = writes[size_t(unit)];
            write.MatchId = storage->CreateMatch(Match(red, blue));
            write.Epoch = TStoredMatch::FirstEpoch;
            write.Move = {unit == spoilt ? 1 : 0, 4, 1, 1, 10};
        }
        EXPECT_EQ(storage->AddWrites(writes), spoilt < 0) << storage->LastError();
        for (const TStorage::TWrite& write : writes)
            EXPECT_EQ(storage->LoadMatch(write.MatchId)->Moves.size(), spoilt < 0 ? 1u : 0u);
        std::vector<TStorageJob> jobs(Units);
        for (size_t unit = 0; unit < Units; ++unit) jobs[unit].Write = writes[unit];
        RunStorageJobs(*storage, jobs, false);
        for (int unit = 0; unit < Units; ++unit)
            EXPECT_EQ(storage->LoadMatch(writes[size_t(unit)].MatchId)->Moves.size(),
                      unit == spoilt ? 0u : 1u);
    }
}

TEST_P(StorageTest, AnExpiredMatchGoesToOneServerAndTheOneThatLostItStoresNothing) {
    constexpr int Matches = 12;
    auto first = Open("first");
    ASSERT_TRUE(first);
    const int64_t red = Player(*first, "red"), blue = Player(*first, "blue");
    std::vector<int64_t> ids;
    for (int i = 0; i < Matches; ++i) {
        TStoredMatch match = Match(red, blue);
        match.Rated = true;
        ids.push_back(first->CreateMatch(match));
        ASSERT_EQ(first->AddMove(ids.back(), TStoredMatch::FirstEpoch, {0, 4, 1, 1, 10}),
                  TMoveResult::Stored);
    }
    EXPECT_TRUE(Open("second")->TakeOverExpired(size_t(Matches)).empty()) << "held";
    RunRaw(File, Postgres, {"UPDATE matches SET lease_until = 0"});

    const std::string names[2] = {"second", "third"};
    std::vector<TStoredMatch> taken[2];
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            std::string error;
            auto storage = TSqlStorage::Open(File, Postgres ? PostgresUrl() : "", error, names[i]);
            ++ready;
            for (int spins = 0; ready < 2 && spins < 10'000'000; ++spins) std::this_thread::yield();
            if (storage) taken[i] = storage->TakeOverExpired(size_t(Matches));
        });
    for (std::thread& thread : threads) thread.join();
    std::map<int64_t, int> takers;
    int winner = -1;
    for (int i = 0; i < 2; ++i)
        for (const TStoredMatch& match : taken[i]) {
            takers[match.Id] += 1;
            EXPECT_EQ(match.Epoch, 2);
            EXPECT_EQ(match.Moves.size(), 1u);
            if (match.Id == ids[0]) winner = i;
        }
    EXPECT_EQ(takers.size(), size_t(Matches));
    for (const auto& [id, count] : takers) EXPECT_EQ(count, 1) << "match " << id;
    ASSERT_GE(winner, 0);

    const int32_t score[2] = {6, 4};
    TStorage::TRatingUpdate update;
    EXPECT_EQ(first->AddMove(ids[0], 1, {1, 3, 0, 0, 11}), TMoveResult::Fenced);
    EXPECT_EQ(first->AddLastMove(ids[0], 1, {1, 3, 0, 0, 11}, 0, score, &update), TMoveResult::Fenced);
    EXPECT_EQ(first->FinishMatch(ids[0], 1, TMatchStatus::Time, 0, score, 12, &update), TMoveResult::Fenced);
    EXPECT_TRUE(first->MatchesInPlay().empty()) << "nothing of its own left to resume";
    std::optional<TStoredMatch> kept = first->LoadMatch(ids[0]);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Status, TMatchStatus::Playing);
    EXPECT_EQ(kept->Moves.size(), 1u);
    EXPECT_EQ(first->Standing(red)->RatedMatches, 0);

    // The winner's lease holds what it runs, once each match's own while is
    // over; of the rest, what the loser took and what the winner let go.
    auto taker = Open(names[winner]);
    RunRaw(File, Postgres, {"UPDATE matches SET lease_until = 1"});
    std::vector<int64_t> runs;
    for (const TStoredMatch& match : taken[winner]) runs.push_back(match.Id);
    const int64_t dropped = runs.size() > 1 ? runs.back() : 0; // never ids[0], played on below
    if (dropped != 0) runs.pop_back();
    ASSERT_TRUE(taker->RenewLeases(runs)) << taker->LastError();
    std::set<int64_t> rest;
    for (const TStoredMatch& match : first->TakeOverExpired(size_t(Matches))) rest.insert(match.Id);
    EXPECT_EQ(rest.size(), size_t(Matches) - runs.size());
    if (dropped != 0) {
        EXPECT_EQ(rest.count(dropped), 1u);
    }
    for (int64_t id : runs) EXPECT_EQ(rest.count(id), 0u) << "held by the lease of the server running it";
    EXPECT_EQ(taker->AddLastMove(ids[0], 2, {1, 3, 0, 0, 11}, 0, score, &update), TMoveResult::Stored)
        << taker->LastError();
    EXPECT_TRUE(update.Rated);
    EXPECT_EQ(first->Standing(red)->RatedMatches, 1);
}

// The tables the first server version made, at the given version.
std::vector<std::string> VersionOneTables(bool postgres, int version) {
    const std::string id = postgres ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"
                                    : "INTEGER PRIMARY KEY AUTOINCREMENT";
    return {
        "CREATE TABLE schema_version (version INTEGER NOT NULL)",
        "INSERT INTO schema_version (version) VALUES (" + std::to_string(version) + ")",
        "CREATE TABLE players (id " + id +
            ", name TEXT NOT NULL, name_key TEXT NOT NULL UNIQUE, fingerprint TEXT NOT NULL,"
            " created_ms BIGINT NOT NULL)",
        "CREATE TABLE matches (id " + id +
            ", red_player BIGINT NOT NULL REFERENCES players (id),"
            " blue_player BIGINT NOT NULL REFERENCES players (id), rules INTEGER NOT NULL,"
            " move_seconds INTEGER NOT NULL, seed BIGINT NOT NULL, first_player INTEGER NOT NULL,"
            " status TEXT NOT NULL, winner INTEGER NOT NULL DEFAULT -1, score_red INTEGER NOT NULL DEFAULT "
            "0,"
            " score_blue INTEGER NOT NULL DEFAULT 0, started_ms BIGINT NOT NULL,"
            " ended_ms BIGINT NOT NULL DEFAULT 0, rated INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE moves (match_id BIGINT NOT NULL REFERENCES matches (id), idx INTEGER NOT NULL,"
        " slot INTEGER NOT NULL, x INTEGER NOT NULL, y INTEGER NOT NULL, time_ms BIGINT NOT NULL,"
        " PRIMARY KEY (match_id, idx))"};
}

// What the first server version left: its tables, a player and a finished match.
TEST_P(StorageTest, AVersionOneDatabaseIsUpgradedInPlace) {
    std::vector<std::string> statements = VersionOneTables(Postgres, 1);
    statements.insert(
        statements.end(),
        {"INSERT INTO players (name, name_key, fingerprint, created_ms) VALUES ('Old', 'old', 'fp-Old', 1)",
         "INSERT INTO players (name, name_key, fingerprint, created_ms) VALUES ('Older', 'older', "
         "'fp-Older', 1)",
         "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status, "
         "winner,"
         " score_red, score_blue, started_ms, ended_ms) VALUES (1, 2, 1, 60, 77, 1, 'finished', 1, 4, 6, 10, "
         "20)",
         "INSERT INTO moves (match_id, idx, slot, x, y, time_ms) VALUES (1, 0, 4, 1, 1, 15)",
         "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
         " started_ms) VALUES (2, 1, 1, 60, 78, 1, 'playing', 30)"});
    RunRaw(File, Postgres, statements);
    {
        auto storage = Open("after-upgrade");
        ASSERT_TRUE(storage);
        std::vector<TStoredMatch> playing = storage->MatchesInPlay();
        ASSERT_EQ(playing.size(), 1u) << "a match in play from before owners is anyone's";
        EXPECT_EQ(playing[0].Seed, 78);
        EXPECT_EQ(playing[0].Epoch, 1) << "from before leases: taken at the first epoch";
        std::optional<TStorage::TStanding> old = storage->Standing(1);
        ASSERT_TRUE(old);
        EXPECT_EQ(old->Name, "Old");
        EXPECT_EQ(old->Rating, TRating()) << "1500 ± 350 for everyone who played before ratings";
        EXPECT_EQ(old->RatedMatches, 0);
        std::optional<TStoredMatch> kept = storage->LoadMatch(1);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->Status, TMatchStatus::Finished);
        EXPECT_FALSE(kept->Rated);
        EXPECT_EQ(kept->Moves.size(), 1u);
        TStoredMatch match = Match(1, 2);
        match.Rated = true;
        const int32_t score[2] = {6, 4};
        TStorage::TRatingUpdate update;
        ASSERT_EQ(storage->FinishMatch(storage->CreateMatch(match), 1, TMatchStatus::Finished, 0, score, 30,
                                       &update),
                  TMoveResult::Stored)
            << storage->LastError();
        EXPECT_TRUE(update.Rated);
        TCommunityStorage::TReport report;
        report.ReporterId = 1;
        report.ReportedId = 2;
        report.Reason = "abuse";
        EXPECT_GT(storage->AddReport(report), 0) << "the community's tables come with the upgrade";
    }
    auto again = Open("another");
    ASSERT_TRUE(again) << "the upgrade is done once";
    EXPECT_EQ(again->Standing(1)->RatedMatches, 1);
    EXPECT_TRUE(again->MatchesInPlay().empty()) << "taken by the first to resume it";
}

// What the rating server version left: ratings, a rated result with what it
// did to both ratings, and a match in play from before matches had owners.
TEST_P(StorageTest, AVersionTwoDatabaseKeepsItsRatingsThroughTheUpgrade) {
    std::vector<std::string> statements = VersionOneTables(Postgres, 2);
    statements.insert(
        statements.end(),
        {"ALTER TABLE players ADD COLUMN rating DOUBLE PRECISION NOT NULL DEFAULT 1500",
         "ALTER TABLE players ADD COLUMN deviation DOUBLE PRECISION NOT NULL DEFAULT 350",
         "ALTER TABLE players ADD COLUMN volatility DOUBLE PRECISION NOT NULL DEFAULT 0.06",
         "ALTER TABLE players ADD COLUMN rated_matches INTEGER NOT NULL DEFAULT 0",
         "CREATE INDEX players_rating ON players (rated_matches, rating)",
         "CREATE TABLE rating_changes (match_id BIGINT NOT NULL REFERENCES matches (id),"
         " player_id BIGINT NOT NULL REFERENCES players (id), ended_ms BIGINT NOT NULL,"
         " rating_before DOUBLE PRECISION NOT NULL, deviation_before DOUBLE PRECISION NOT NULL,"
         " volatility_before DOUBLE PRECISION NOT NULL, rating_after DOUBLE PRECISION NOT NULL,"
         " deviation_after DOUBLE PRECISION NOT NULL, volatility_after DOUBLE PRECISION NOT NULL,"
         " PRIMARY KEY (match_id, player_id))",
         "INSERT INTO players (name, name_key, fingerprint, created_ms, rating, deviation, volatility,"
         " rated_matches) VALUES ('Ann', 'ann', 'fp-Ann', 1, 1700, 60, 0.05, 12)",
         "INSERT INTO players (name, name_key, fingerprint, created_ms, rating, deviation, volatility,"
         " rated_matches) VALUES ('Bob', 'bob', 'fp-Bob', 1, 1400, 70, 0.06, 12)",
         "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
         " winner, score_red, score_blue, started_ms, ended_ms, rated) VALUES (1, 2, 1, 60, 77, 1,"
         " 'finished', 0, 6, 4, 10, 20, 1)",
         "INSERT INTO rating_changes VALUES (1, 1, 20, 1680, 65, 0.05, 1700, 60, 0.05)",
         "INSERT INTO rating_changes VALUES (1, 2, 20, 1420, 75, 0.06, 1400, 70, 0.06)",
         "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
         " started_ms) VALUES (2, 1, 1, 60, 78, 1, 'playing', 30)"});
    RunRaw(File, Postgres, statements);
    for (const char* instance : {"after-upgrade", "another"}) {
        SCOPED_TRACE(instance);
        auto storage = Open(instance);
        ASSERT_TRUE(storage);
        const std::vector<TStorage::TStanding> leaders = storage->Leaderboard(10, 10);
        ASSERT_EQ(leaders.size(), 2u);
        EXPECT_EQ(std::tie(leaders[0].Name, leaders[0].Rating, leaders[0].RatedMatches),
                  std::tuple("Ann", TRating{1700, 60, 0.05}, 12));
        std::optional<TStorage::TProfile> profile = storage->Profile("bob", 10, 10);
        ASSERT_TRUE(profile);
        ASSERT_EQ(profile->Recent.size(), 1u);
        EXPECT_TRUE(profile->Recent[0].RatingMoved);
        EXPECT_EQ(profile->Recent[0].Before, (TRating{1420, 75, 0.06}));
        EXPECT_EQ(profile->Recent[0].After, (TRating{1400, 70, 0.06}));
        ASSERT_EQ(profile->History.size(), 1u);
        EXPECT_EQ(profile->History[0].first, 20);
    }
    auto storage = Open("after-upgrade");
    std::vector<TStoredMatch> playing = storage->MatchesInPlay();
    ASSERT_EQ(playing.size(), 1u) << "a match in play from before owners is anyone's";
    EXPECT_EQ(playing[0].Seed, 78);
    TCommunityStorage::TSanction mute{0, TCommunityStorage::TSanctionKind::Mute, "Bob", 2, "spam", "Ann", 40,
                                      0};
    EXPECT_GT(storage->AddSanction(mute), 0) << storage->LastError();
    ASSERT_TRUE(storage->SetRelation(1, 2, TCommunityStorage::TRelation::Follow, true, 40));
    EXPECT_EQ(storage->Related(1, TCommunityStorage::TRelation::Follow)->size(), 1u);
    EXPECT_EQ(storage->ActionsAfter(0, 10)->size(), 1u) << "the sanction is logged";
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

TEST(StorageOpen, ABadUrlOrAnUnwritableFileIsOneLineOfError) {
    std::string error;
    EXPECT_FALSE(TSqlStorage::Open("", "postgresql://", error));
    EXPECT_NE(error.find("URL"), std::string::npos) << error;
    EXPECT_FALSE(TSqlStorage::Open("/proc/vantaro/none.sqlite", "", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

} // namespace
