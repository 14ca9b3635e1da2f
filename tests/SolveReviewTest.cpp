#include "RecordSupport.h"
#include "ai/MatchReview.h"
#include "cards/CardInfo.h"
#include "cards/CardRecordReader.h"
#include "records/RecordJson.h"
#include "tools/solve/SolveCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SolveReview : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        QFile file(VANTARO_CARDS_SOURCE);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        TCardRecordReader reader(file.readAll().toStdString());
        for (int32_t i = 1; i <= 110; ++i) {
            TCardInfo info;
            std::string error;
            ASSERT_TRUE(reader.ReadRecord(i, info, error)) << error;
            Catalogue.push_back({info.Ranks, info.Element});
            Names.push_back(info.Name);
        }
    }

    std::string Write(const char* name, const QByteArray& bytes) {
        const QString path = Folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path.toStdString();
    }

    int Run(std::vector<std::string> arguments, QJsonObject& answer, std::string& error) {
        QByteArray output;
        const int status = RunSolveCommand(arguments, QByteArray(), output, error);
        if (status == 0) answer = QJsonDocument::fromJson(output).object();
        return status;
    }

    QTemporaryDir Folder;
    std::vector<TCardValues> Catalogue;
    std::vector<std::string> Names;
};

// The JSON carries exactly the review the side window words, move by move.
TEST_F(SolveReview, PrintsEveryMoveOfARecordWithItsScores) {
    std::mt19937 random(77);
    TMatchRecord record;
    record.Players[0] = "Ann";
    record.Players[1] = "Bo";
    record.Seed = 1765206391;
    record.Rules.Same = record.Rules.Plus = record.Rules.Elemental = true;
    record.Ending = TMatchEnding::Left;
    record.Winner = 0;
    record.Moves = RandomMoves(random, 1, 7);
    ScoreFromMoves(record, Catalogue);
    const std::string file = Write("match.json", WriteRecordJson(record));
    const TReplay replay = ReplayRecord(record, Catalogue);
    const std::optional<TMatchReview> review = ReviewMatch(record, replay);
    ASSERT_TRUE(review);

    QJsonObject answer;
    std::string error;
    ASSERT_EQ(Run({"--review", file, "--catalogue", VANTARO_CARDS_SOURCE}, answer, error), 0) << error;
    const QJsonArray moves = answer["moves"].toArray();
    ASSERT_EQ(moves.size(), 7);
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const QJsonObject move = moves[i].toObject();
        const TReviewedMove& expected = review->Moves[size_t(i)];
        EXPECT_EQ(move["number"].toInt(), i + 1);
        EXPECT_EQ(move["player"].toInt(), expected.Player);
        EXPECT_EQ(move["slot"].toInt(), expected.Move.Slot);
        EXPECT_EQ(move["x"].toInt(), expected.Move.X);
        EXPECT_EQ(move["y"].toInt(), expected.Move.Y);
        EXPECT_EQ(move["card"].toInt(), expected.Card);
        EXPECT_EQ(move["name"].toString().toStdString(), Names[size_t(expected.Card)]);
        EXPECT_EQ(move["forced"].toInt(), expected.Forced);
        EXPECT_EQ(move["best"].toInt(), expected.Best);
        EXPECT_EQ(move["best_move"].toObject()["card"].toInt(), expected.BestCard);
        EXPECT_EQ(move["threw_away_result"].toBool(), expected.ThrewAwayResult());
        EXPECT_EQ(move["text"].toString().toStdString(), ReviewLine(expected, Names));
    }
    EXPECT_EQ(answer["score"].toArray()[0].toInt(), replay.Score[0]);
}

TEST_F(SolveReview, RefusesWhatItCannotReview) {
    TMatchRecord finished;
    finished.Players[0] = finished.Players[1] = "P";
    std::mt19937 random(5);
    finished.Moves = RandomMoves(random, 1, 9);
    const TReplay replay = ReplayRecord(finished, Catalogue);
    // The right moves with a score they do not make.
    finished.Score[0] = replay.Score[0] == 10 ? 9 : replay.Score[0] + 1;
    finished.Score[1] = 10 - finished.Score[0];
    finished.Winner = finished.Score[0] == 5 ? -1 : finished.Score[0] > 5 ? 0 : 1;
    const std::string wrongScore = Write("wrong.json", WriteRecordJson(finished));
    const std::string broken = Write("broken.json", "{\"format\": \"vantaro-match\"");
    const struct {
        std::vector<std::string> Arguments;
        std::string Reason;
    } cases[] = {
        {{"--review"}, "--review needs a match record"},
        {{"--review", broken, "--catalogue", VANTARO_CARDS_SOURCE}, broken + ": not JSON"},
        {{"--review", wrongScore, "--catalogue", VANTARO_CARDS_SOURCE}, wrongScore + ": the moves end"},
        {{"--review", wrongScore, "--best", "--catalogue", VANTARO_CARDS_SOURCE},
         "--best does not go with --review"},
        {{"--review", wrongScore, "--catalogue", broken}, "the catalogue " + broken},
        {{"--review", Folder.filePath("none.json").toStdString()}, "none.json: cannot be read"},
    };
    for (const auto& c : cases) {
        QJsonObject answer;
        std::string error;
        EXPECT_EQ(Run(c.Arguments, answer, error), 2) << c.Reason;
        EXPECT_NE(error.find(c.Reason), std::string::npos) << error;
    }
}

// The program reviews without waiting for standard input.
TEST_F(SolveReview, ProgramReviewsAFileItIsGiven) {
    std::mt19937 random(8);
    TMatchRecord record;
    record.Players[0] = record.Players[1] = "P";
    record.Ending = TMatchEnding::Abandoned;
    record.Moves = RandomMoves(random, 1, 4);
    ScoreFromMoves(record, Catalogue);
    const std::string file = Write("m.json", WriteRecordJson(record));
    QProcess solve;
    solve.start(VANTARO_SOLVE_PROGRAM,
                {"--review", QString::fromStdString(file), "--catalogue", VANTARO_CARDS_SOURCE});
    ASSERT_TRUE(solve.waitForFinished(60000));
    EXPECT_EQ(solve.exitCode(), 0) << solve.readAllStandardError().toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(solve.readAllStandardOutput()).object()["moves"].toArray().size(), 4);
}

} // namespace
