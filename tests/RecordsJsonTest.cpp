#include "RecordSupport.h"
#include "TestSupport.h"
#include "records/RecordCheck.h"
#include "records/RecordJson.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

TEST(RecordsJson, RandomRecordsComeBackUnchanged) {
    std::mt19937 random(18);
    for (int i = 0; i < 500; ++i) {
        const TMatchRecord record = RandomRecord(random);
        ASSERT_EQ(RecordProblem(record), "");
        const QByteArray json = WriteRecordJson(record);
        ASSERT_LE(json.size(), TMatchRecord::MaxBytes);
        const TRecordReading reading = ReadRecordJson(json, "match.json");
        ASSERT_EQ(reading.Problem, "") << json.toStdString();
        ASSERT_TRUE(reading.Record);
        EXPECT_TRUE(*reading.Record == record) << json.toStdString();
    }
}

// The longest match a server plays: every deal a draw, and the replay after
// the last one dealt before the server ended it.
TEST(RecordsJson, TheLongestRecordFitsTheBound) {
    std::mt19937 random(7);
    TMatchRecord record;
    record.Players[0] = record.Players[1] = std::string(TMatchRecord::MaxNameLength, 'W');
    record.Rules.SuddenDeath = true;
    record.Moves = RandomMoves(random, 1, TMatchRecord::MaxMoves);
    record.RedealSeeds.assign(TMatchRecord::MaxDeals, TMatchRecord::MaxSeed);
    record.Seed = TMatchRecord::MaxSeed;
    record.StartTime = record.EndTime = TMatchRecord::LatestTime;
    const QByteArray json = WriteRecordJson(record);
    EXPECT_LE(json.size(), TMatchRecord::MaxBytes);
    EXPECT_TRUE(ReadRecordJson(json, "long.json").Record);
}

// A valid record, then one change that must make the reader refuse it with
// the file's name and words naming the problem.
TEST(RecordsJson, EveryBadRecordIsRefusedWithItsReason) {
    TMatchRecord base;
    base.Players[0] = "Red";
    base.Players[1] = "Blue";
    base.StartTime = 1765206391;
    base.EndTime = 1765206500;
    base.Score[0] = 4;
    base.Score[1] = 6;
    base.Winner = 1;
    std::mt19937 random(3);
    base.Moves = RandomMoves(random, base.FirstPlayer, 9);
    const QJsonObject valid = QJsonDocument::fromJson(WriteRecordJson(base)).object();
    ASSERT_TRUE(ReadRecordJson(WriteRecordJson(base), "x").Record);

    using TEdit = std::function<void(QJsonObject&)>;
    auto set = [](const char* key, QJsonValue value) -> TEdit {
        return [key, value](QJsonObject& o) { o[QLatin1String(key)] = value; };
    };
    auto drop = [](const char* key) -> TEdit {
        return [key](QJsonObject& o) { o.remove(QLatin1String(key)); };
    };
    auto inResult = [](const char* key, QJsonValue value) -> TEdit {
        return [key, value](QJsonObject& o) {
            QJsonObject result = o[QLatin1String("result")].toObject();
            result[QLatin1String(key)] = value;
            o[QLatin1String("result")] = result;
        };
    };
    auto move = [](int index, QJsonArray value) -> TEdit {
        return [index, value](QJsonObject& o) {
            QJsonArray moves = o[QLatin1String("moves")].toArray();
            moves[index] = value;
            o[QLatin1String("moves")] = moves;
        };
    };
    auto movesOf = [&](int32_t first, size_t count, bool suddenDeath) -> TEdit {
        return [=, &random](QJsonObject& o) {
            QJsonArray moves;
            for (const TPlacementMove& m : RandomMoves(random, first, count))
                moves.append(QJsonArray{m.Slot, m.X, m.Y});
            o[QLatin1String("moves")] = moves;
            QJsonArray seeds;
            for (size_t deal = 9; deal < count; deal += 9) seeds.append(qint64(deal));
            o[QLatin1String("redeal_seeds")] = seeds;
            QJsonObject rules = o[QLatin1String("rules")].toObject();
            rules[QLatin1String("sudden_death")] = suddenDeath;
            o[QLatin1String("rules")] = rules;
            o[QLatin1String("ended")] = QStringLiteral("abandoned");
            QJsonObject result = o[QLatin1String("result")].toObject();
            result[QLatin1String("winner")] = -1;
            o[QLatin1String("result")] = result;
        };
    };
    const QJsonArray firstMove = valid[QLatin1String("moves")].toArray()[0].toArray();
    // The second move names the first move's square; and a slot emptied by then.
    QJsonArray sameSquare{4, firstMove[1], firstMove[2]};

    struct TCase {
        const char* Name;
        TEdit Edit;
        const char* Reason;
    };
    const TCase cases[] = {
        {"other version", set("version", 2), "record version 2; this program reads version 1"},
        {"version as text", set("version", "1"), "version must be a number"},
        {"no version", drop("version"), "missing field version"},
        {"another format", set("format", "chess"), "not a match record"},
        {"one player", set("players", QJsonArray{"Red"}), "players must hold 2 values"},
        {"empty name", set("players", QJsonArray{"", "Blue"}), "Red's name must be 1 to 64 characters"},
        {"long name", set("players", QJsonArray{"Red", QString(65, QLatin1Char('x'))}), "Blue's name"},
        {"control in a name", set("players", QJsonArray{"Re\nd", "Blue"}), "without control characters"},
        {"unknown mode", set("mode", "online"), "mode must be one of hot-seat, single-player"},
        {"single player without a level", set("mode", "single-player"), "missing field level"},
        {"rated hot-seat", set("rated", true), "only a server match can be rated"},
        {"rules not an object", set("rules", 3), "rules must be an object"},
        {"rule as a number",
         [](QJsonObject& o) {
             QJsonObject r = o["rules"].toObject();
             r["plus"] = 1;
             o["rules"] = r;
         },
         "rules.plus must be true or false"},
        {"negative seed", set("seed", -1), "seed is outside 0 to"},
        {"seed past 2^53", set("seed", 9007199254740992.0), "seed is outside"},
        {"fractional seed", set("seed", 1.5), "seed must be a whole number"},
        {"first player 2", set("first_player", 2), "first_player is outside 0 to 1"},
        {"no Sudden Death seeds", drop("redeal_seeds"), "missing field redeal_seeds"},
        {"a negative Sudden Death seed", set("redeal_seeds", QJsonArray{-5}),
         "a Sudden Death seed is outside"},
        {"a Sudden Death seed too many", set("redeal_seeds", QJsonArray{1, 2}),
         "the moves make 1 deals, but the record holds 2 Sudden Death seeds"},
        {"a Sudden Death seed missing",
         [&](QJsonObject& o) {
             movesOf(1, 19, true)(o);
             o["redeal_seeds"] = QJsonArray{1};
         },
         "the moves make 3 deals, but the record holds 1 Sudden Death seeds"},
        {"moves not an array", set("moves", QJsonObject()), "moves must be an array"},
        {"slot 5", move(0, {5, 0, 0}), "move 1 slot is outside 0 to 4"},
        {"column 3", move(0, {4, 3, 0}), "move 1 column is outside 0 to 2"},
        {"row -1", move(0, {4, 0, -1}), "move 1 row is outside 0 to 2"},
        {"short move", move(0, {4, 0}), "move 1 must hold 3 values"},
        {"occupied square", move(2, sameSquare), "move 3 puts a card on the occupied"},
        {"emptied slot", move(2, QJsonArray{0, 0, 0}), "move 3 plays hand slot 0, which is empty by then"},
        {"tenth card without Sudden Death", movesOf(1, 10, false), "move 10 comes after the ninth card"},
        {"too many moves", movesOf(1, TMatchRecord::MaxMoves + 1, true), "more than 576 moves"},
        {"finished with a board not full",
         [&](QJsonObject& o) {
             movesOf(1, 8, false)(o);
             o["ended"] = "finished";
         },
         "must end with a full board"},
        {"winner against the score", inResult("winner", 0), "the winner does not agree with the score"},
        {"score not adding up", inResult("score", QJsonArray{4, 5}), "add up to 10"},
        {"score 11", inResult("score", QJsonArray{11, -1}), "result.score is outside 0 to 10"},
        {"winner 2", inResult("winner", 2), "result.winner is outside -1 to 1"},
        {"abandoned with a winner", set("ended", "abandoned"), "an abandoned match has no winner"},
        {"forfeit without a winner",
         [&](QJsonObject& o) {
             inResult("winner", -1)(o);
             o["ended"] = "forfeit";
         },
         "needs a winner"},
        {"unknown ending", set("ended", "crashed"), "ended must be one of finished, time"},
        {"end before start", set("end", "2025-12-08T15:06:30Z"), "ends before it starts"},
        {"local time", set("start", "2025-12-08T16:06:31+01:00"), "start must be a UTC time"},
        {"not a time", set("end", "yesterday"), "end must be a UTC time"},
        {"before 2000", set("start", "1999-12-31T23:59:59Z"), "between the years 2000 and 9999"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QJsonObject edited = valid;
        c.Edit(edited);
        const TRecordReading reading =
            ReadRecordJson(QJsonDocument(edited).toJson(QJsonDocument::Compact), "games/match.json");
        if (std::string(c.Reason).empty()) {
            EXPECT_TRUE(reading.Record) << reading.Problem;
            continue;
        }
        EXPECT_FALSE(reading.Record);
        EXPECT_EQ(reading.Problem.rfind("games/match.json: ", 0), 0u) << reading.Problem;
        EXPECT_NE(reading.Problem.find(c.Reason), std::string::npos) << reading.Problem;
    }

    const QByteArray json = WriteRecordJson(base);
    const struct {
        const char* Name;
        QByteArray Bytes;
        const char* Reason;
    } raw[] = {
        {"empty", QByteArray(), "not JSON"},
        {"cut short", json.left(json.size() / 2), "not JSON"},
        {"an array", "[1, 2]", "not a match record: the JSON is not an object"},
        {"binary", QByteArray("\x00\xff\xfe{", 4), "not JSON"},
        {"padded past 64 KiB", json + QByteArray(TMatchRecord::MaxBytes, ' '), "larger than 64 KiB"},
    };
    for (const auto& c : raw) {
        SCOPED_TRACE(c.Name);
        const TRecordReading reading = ReadRecordJson(c.Bytes, "m.json");
        EXPECT_FALSE(reading.Record);
        EXPECT_NE(reading.Problem.find(std::string("m.json: ") + c.Reason), std::string::npos)
            << reading.Problem;
    }
}

TEST(RecordsJson, FilesAreReadWithinTheBound) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TMatchRecord record;
    record.Players[0] = "A";
    record.Players[1] = "B";
    record.Ending = TMatchEnding::Abandoned;
    const QString good = folder.filePath("good.json"), big = folder.filePath("big.json");
    {
        QFile file(good);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(WriteRecordJson(record));
        QFile large(big);
        ASSERT_TRUE(large.open(QIODevice::WriteOnly));
        large.write(WriteRecordJson(record) + QByteArray(4 * TMatchRecord::MaxBytes, ' '));
    }
    const TRecordReading read = ReadRecordFile(good);
    ASSERT_TRUE(read.Record) << read.Problem;
    EXPECT_TRUE(*read.Record == record);
    EXPECT_EQ(ReadRecordFile(big).Problem, big.toStdString() + ": larger than 64 KiB");
    EXPECT_NE(ReadRecordFile(folder.path()).Problem.find("a folder"), std::string::npos);
    EXPECT_NE(ReadRecordFile(folder.filePath("none.json")).Problem.find("none.json: cannot be read"),
              std::string::npos);
}

} // namespace
