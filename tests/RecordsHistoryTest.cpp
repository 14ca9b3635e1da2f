#include "RecordSupport.h"
#include "records/MatchHistory.h"
#include "records/RecordJson.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RecordsHistory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Home.isValid()); }

    TMatchRecord Numbered(int32_t n) {
        TMatchRecord record = RandomRecord(Random);
        record.Seed = n;
        return record;
    }

    QTemporaryDir Home;
    std::mt19937 Random{500};
};

// Kept newest first, at most the limit, the oldest dropped first, and the
// numbering carries on in a new session over the same folder.
TEST_F(RecordsHistory, KeepsTheLastRecordsAndDropsTheOldestFirst) {
    const QString folder = Home.filePath("config/Vantaro/History");
    std::string problem;
    for (int32_t n = 1; n <= 12; ++n) {
        TMatchHistory history(folder, 5);
        ASSERT_TRUE(history.Add(Numbered(n), problem)) << problem;
        const std::vector<TMatchHistory::TEntry> entries = history.List();
        ASSERT_EQ(entries.size(), size_t(std::min(n, 5)));
        for (size_t i = 0; i < entries.size(); ++i) {
            ASSERT_TRUE(entries[i].Record) << entries[i].Problem;
            EXPECT_EQ(entries[i].Record->Seed, n - int32_t(i));
        }
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 5);
    EXPECT_EQ(TMatchHistory::DefaultLimit, 500);
}

// A damaged record is listed with its problem and dropped in its turn;
// files of other names stay as they are and are never listed.
TEST_F(RecordsHistory, DamagedAndForeignFilesDoNotStopTheList) {
    const QString folder = Home.filePath("History");
    TMatchHistory history(folder, 3);
    std::string problem;
    ASSERT_TRUE(history.Add(Numbered(1), problem));
    ASSERT_TRUE(history.Add(Numbered(2), problem));
    const QString older = history.List()[1].Path;
    {
        QFile damaged(older);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("not json");
        QFile foreign(QDir(folder).filePath("notes.txt"));
        ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    }
    std::vector<TMatchHistory::TEntry> entries = history.List();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Record->Seed, 2);
    EXPECT_FALSE(entries[1].Record);
    EXPECT_EQ(entries[1].Problem.rfind(older.toStdString() + ": not JSON", 0), 0u) << entries[1].Problem;

    for (int32_t n = 3; n <= 4; ++n) ASSERT_TRUE(history.Add(Numbered(n), problem));
    entries = history.List();
    ASSERT_EQ(entries.size(), 3u);
    for (const TMatchHistory::TEntry& entry : entries) EXPECT_TRUE(entry.Record) << entry.Problem;
    EXPECT_FALSE(QFile::exists(older));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("notes.txt")));
}

TEST_F(RecordsHistory, AFolderThatCannotBeMadeIsReported) {
    QFile blocker(Home.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TMatchHistory history(Home.filePath("file/History"));
    std::string problem;
    EXPECT_FALSE(history.Add(Numbered(1), problem));
    EXPECT_NE(problem.find("file/History: the history folder cannot be made"), std::string::npos) << problem;
    EXPECT_TRUE(history.List().empty());
}

} // namespace
