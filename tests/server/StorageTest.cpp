// The storage, on SQLite always and on PostgreSQL when with_postgres.sh has
// started one (VANTARO_TEST_DATABASE_URL).
#include "server/SqlStorage.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char* PostgresUrl()
{
    const char* url = std::getenv("VANTARO_TEST_DATABASE_URL");
    return url != nullptr && *url != '\0' ? url : nullptr;
}

// Runs statements on the test database outside the storage, to set up what
// an older or newer server would have left.
void RunRaw(const std::string& sqliteFile, bool postgres, const std::vector<std::string>& statements)
{
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

class StorageTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        Postgres = GetParam();
        if (Postgres && !PostgresUrl())
            GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
        File = Folder.filePath("vantaro.sqlite").toStdString();
        if (Postgres)
            RunRaw(File, true, {"DROP TABLE IF EXISTS rating_changes, moves, matches, players, schema_version CASCADE"});
    }

    std::unique_ptr<TSqlStorage> Open()
    {
        std::string error;
        auto storage = TSqlStorage::Open(File, Postgres ? PostgresUrl() : "", error);
        EXPECT_TRUE(storage) << error;
        return storage;
    }

    int64_t Player(TSqlStorage& storage, const std::string& name)
    {
        return storage.BindName(name, "fp-" + name, 1000).PlayerId;
    }

    TStoredMatch Match(int64_t red, int64_t blue)
    {
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

TEST_P(StorageTest, NamesBindToTheirFirstCertificateRegardlessOfCase)
{
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

TEST_P(StorageTest, MovesAreKeptInOrderWithoutGapsAndOnlyWhileTheMatchIsInPlay)
{
    auto storage = Open();
    ASSERT_TRUE(storage);
    int64_t id = storage->CreateMatch(Match(Player(*storage, "red"), Player(*storage, "blue")));
    ASSERT_GT(id, 0) << storage->LastError();
    EXPECT_TRUE(storage->AddMove(id, {0, 4, 1, 1, 10}));
    EXPECT_FALSE(storage->AddMove(id, {0, 3, 0, 0, 11})) << "a second move 0";
    EXPECT_FALSE(storage->AddMove(id, {2, 3, 0, 0, 11})) << "a gap";
    EXPECT_TRUE(storage->AddMove(id, {1, 3, 2, 2, 12}));
    EXPECT_FALSE(storage->AddMove(id + 99, {0, 0, 0, 0, 1})) << "an unknown match";
    std::vector<TStoredMatch> playing = storage->MatchesInPlay();
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_EQ(playing[0].Moves.size(), 2u);

    const int32_t score[2] = {4, 6};
    EXPECT_TRUE(storage->FinishMatch(id, TMatchStatus::Time, 1, score, 2000));
    EXPECT_FALSE(storage->FinishMatch(id, TMatchStatus::Finished, 0, score, 3000)) << "ended twice";
    EXPECT_FALSE(storage->AddMove(id, {2, 0, 0, 0, 13})) << "a move after the end";
    EXPECT_TRUE(storage->MatchesInPlay().empty());
}

TEST_P(StorageTest, AMatchReadsBackAsWrittenAfterReopening)
{
    int64_t id = 0;
    TStoredMatch written;
    {
        auto storage = Open();
        ASSERT_TRUE(storage);
        written = Match(Player(*storage, "red"), Player(*storage, "blue"));
        id = storage->CreateMatch(written);
        ASSERT_GT(id, 0);
        for (int i = 0; i < 9; ++i)
            ASSERT_TRUE(storage->AddMove(id, {i, 4 - i / 2, i % 3, i / 3, 1'700'000'000'000 + i}));
        const int32_t score[2] = {5, 5};
        ASSERT_TRUE(storage->FinishMatch(id, TMatchStatus::Forfeit, -1, score, 1'700'000'009'999));
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
        EXPECT_EQ(read->Moves[i].Slot, 4 - i / 2);
        EXPECT_EQ(read->Moves[i].X, i % 3);
        EXPECT_EQ(read->Moves[i].Y, i / 3);
        EXPECT_EQ(read->Moves[i].TimeMs, 1'700'000'000'000 + i);
    }
    EXPECT_EQ(storage->BindName("RED", "fp-red", 1).Result, TStorage::TBindResult::Known);
}

TEST_P(StorageTest, TheSchemaIsCreatedOnceAndANewerOneIsRefused)
{
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Open()) << "opening an up-to-date database again";
    RunRaw(File, Postgres, {"UPDATE schema_version SET version = 99"});
    std::string error;
    EXPECT_FALSE(TSqlStorage::Open(File, Postgres ? PostgresUrl() : "", error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

TEST_P(StorageTest, TheSqliteFileIsInWalMode)
{
    if (Postgres)
        GTEST_SKIP() << "SQLite only";
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

INSTANTIATE_TEST_SUITE_P(Backends, StorageTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

TEST(StorageOpen, ABadUrlOrAnUnwritableFileIsOneLineOfError)
{
    std::string error;
    EXPECT_FALSE(TSqlStorage::Open("", "postgresql://", error));
    EXPECT_NE(error.find("URL"), std::string::npos) << error;
    EXPECT_FALSE(TSqlStorage::Open("/proc/vantaro/none.sqlite", "", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

} // namespace
