#include "tools/solve/SolveCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace {

struct TAnswer {
    int Status = -1;
    QJsonObject Json;
    std::string Error;
};

TAnswer Solve(const QJsonObject& position, std::vector<std::string> arguments = {}) {
    TAnswer answer;
    QByteArray output;
    answer.Status = RunSolveCommand(arguments, QJsonDocument(position).toJson(), output, answer.Error);
    if (answer.Status == 0) answer.Json = QJsonDocument::fromJson(output).object();
    return answer;
}

QJsonArray Row(QJsonValue a, QJsonValue b, QJsonValue c) {
    return QJsonArray{a, b, c};
}

QJsonObject Square(int card, int owner) {
    return QJsonObject{{"card", card}, {"owner", owner}};
}

// Worked out by hand: Blue's last card, 9 on every side, goes to the centre
// and beats the four 5s around it, all Red's; Blue then owns its two corners,
// the four edges and the centre card: 7, Red the two other corners and the
// card in hand: 3.
QJsonObject LastCardPosition() {
    const QJsonValue none;
    return QJsonObject{
        {"cards", QJsonArray{QJsonArray{5, 5, 5, 5, 0}, QJsonArray{9, 9, 9, 9, 0}}},
        {"rules", QJsonObject{{"same", false}, {"same_wall", false}, {"plus", false}, {"elemental", false}}},
        {"board",
         QJsonArray{Row(Square(0, 0), Square(0, 0), Square(0, 1)), Row(Square(0, 0), none, Square(0, 0)),
                    Row(Square(0, 1), Square(0, 0), Square(0, 0))}},
        {"hands", QJsonArray{QJsonArray{-1, -1, -1, -1, 0}, QJsonArray{-1, -1, -1, -1, 1}}},
        {"turn", 1}};
}

// Blue to open with five strong cards against five weak ones, every rule on.
QJsonObject OpeningPosition() {
    const QJsonValue none;
    return QJsonObject{
        {"cards", QJsonArray{QJsonArray{2, 3, 2, 1, 0}, QJsonArray{8, 9, 7, 8, 4}}},
        {"rules", QJsonObject{{"same", true}, {"same_wall", true}, {"plus", true}, {"elemental", true}}},
        {"elements", QJsonArray{Row(4, 0, 0), Row(0, 0, 0), Row(0, 0, 1)}},
        {"board", QJsonArray{Row(none, none, none), Row(none, none, none), Row(none, none, none)}},
        {"hands", QJsonArray{QJsonArray{0, 0, 0, 0, 0}, QJsonArray{1, 1, 1, 1, 1}}},
        {"turn", 1}};
}

TEST(SolveCommand, AnswersAPositionWorkedOutByHand) {
    for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"--best"}}) {
        const TAnswer answer = Solve(LastCardPosition(), arguments);
        ASSERT_EQ(answer.Status, 0) << answer.Error;
        EXPECT_EQ(answer.Json["score"].toInt(), 7);
        const QJsonArray moves = answer.Json["moves"].toArray();
        ASSERT_EQ(moves.size(), 1);
        EXPECT_EQ(moves[0].toObject(), (QJsonObject{{"slot", 4}, {"x", 1}, {"y", 1}, {"score", 7}}));
        EXPECT_GE(answer.Json["nodes"].toInteger(), 1);
        EXPECT_TRUE(answer.Json["ms"].isDouble());
    }
}

TEST(SolveCommand, ScoresEveryMoveOrOnlyTheBest) {
    const TAnswer all = Solve(OpeningPosition());
    ASSERT_EQ(all.Status, 0) << all.Error;
    const QJsonArray moves = all.Json["moves"].toArray();
    ASSERT_EQ(moves.size(), 45); // five slots (equal cards included) on nine squares
    EXPECT_EQ(all.Json["score"].toInt(), moves[0].toObject()["score"].toInt());
    for (qsizetype i = 1; i < moves.size(); ++i)
        EXPECT_LE(moves[i].toObject()["score"].toInt(), moves[i - 1].toObject()["score"].toInt());

    const TAnswer best = Solve(OpeningPosition(), {"--best"});
    ASSERT_EQ(best.Status, 0) << best.Error;
    ASSERT_EQ(best.Json["moves"].toArray().size(), 1);
    EXPECT_EQ(best.Json["score"].toInt(), all.Json["score"].toInt());
    EXPECT_EQ(best.Json["moves"].toArray()[0].toObject()["score"].toInt(), all.Json["score"].toInt());
}

TEST(SolveCommand, ReadsCardsFromTheCatalogue) {
    QJsonObject position = LastCardPosition();
    position.remove("cards");
    // Record 0 is 2 3 3 3 (top, right, bottom, left) on every square.
    position["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, 0}, QJsonArray{-1, -1, -1, -1, 0}};
    const TAnswer answer = Solve(position, {"--catalogue", VANTARO_CARDS_SOURCE});
    ASSERT_EQ(answer.Status, 0) << answer.Error;
    // In the centre only its bottom 3 beats a top rank (the 2 below); equal
    // ranks take nothing. Blue: two corners, the centre and the card below.
    EXPECT_EQ(answer.Json["score"].toInt(), 4);

    EXPECT_EQ(Solve(LastCardPosition(), {"--catalogue", VANTARO_CARDS_SOURCE}).Status, 2); // cards twice
    EXPECT_EQ(Solve(position, {"--catalogue", "/nonexistent/Cards.dat"}).Status, 2);
    position["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, 0}, QJsonArray{-1, -1, -1, -1, 110}};
    EXPECT_EQ(Solve(position, {"--catalogue", VANTARO_CARDS_SOURCE}).Status, 2);
}

// A catalogue of any size: card indices past 127 (once narrowed to a byte)
// reach the right cards, and the answer is the one for the same two cards
// given inline.
TEST(SolveCommand, ReadsCardsFromCataloguesOfAnySize) {
    QTemporaryDir dir;
    for (int32_t size : {128, 129, 300, 70000}) {
        SCOPED_TRACE(size);
        const std::string path = dir.filePath(QString::number(size)).toStdString();
        {
            std::ofstream file(path);
            for (int32_t i = 0; i < size; ++i)
                file << "Filler "
                     << (i == size - 2   ? "5 5 5 5 0"
                         : i == size - 1 ? "9 9 9 9 0"
                                         : "1 1 1 1 0")
                     << "\n";
        }
        QJsonObject position = LastCardPosition();
        position.remove("cards");
        const int32_t weak = size - 2, strong = size - 1;
        const QJsonValue none;
        position["board"] = QJsonArray{Row(Square(weak, 0), Square(weak, 0), Square(weak, 1)),
                                       Row(Square(weak, 0), none, Square(weak, 0)),
                                       Row(Square(weak, 1), Square(weak, 0), Square(weak, 0))};
        position["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, weak}, QJsonArray{-1, -1, -1, -1, strong}};
        const TAnswer answer = Solve(position, {"--catalogue", path});
        ASSERT_EQ(answer.Status, 0) << answer.Error;
        EXPECT_EQ(answer.Json["score"].toInt(), 7);
        EXPECT_EQ(answer.Json["moves"].toArray()[0].toObject(),
                  (QJsonObject{{"slot", 4}, {"x", 1}, {"y", 1}, {"score", 7}}));
        position["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, weak}, QJsonArray{-1, -1, -1, -1, size}};
        EXPECT_EQ(Solve(position, {"--catalogue", path}).Status, 2);
    }
}

// Each kind of malformed or impossible position is refused with a reason
// that names the trouble.
TEST(SolveCommand, RefusesMalformedAndImpossiblePositions) {
    struct TCase {
        const char* What;
        std::function<void(QJsonObject&)> Spoil;
        const char* Named;
    };
    const QJsonValue none;
    const TCase cases[] = {
        {"missing field", [](QJsonObject& p) { p.remove("turn"); }, "turn"},
        {"missing rule",
         [](QJsonObject& p) {
             p["rules"] = QJsonObject{{"same", true}};
         },
         "same_wall"},
        {"rank too high",
         [](QJsonObject& p) {
             p["cards"] = QJsonArray{QJsonArray{5, 5, 11, 5, 0}, QJsonArray{9, 9, 9, 9, 0}};
         },
         "rank"},
        {"rank too low",
         [](QJsonObject& p) {
             p["cards"] = QJsonArray{QJsonArray{0, 5, 5, 5, 0}, QJsonArray{9, 9, 9, 9, 0}};
         },
         "rank"},
        {"element",
         [](QJsonObject& p) {
             p["cards"] = QJsonArray{QJsonArray{5, 5, 5, 5, 9}, QJsonArray{9, 9, 9, 9, 0}};
         },
         "element"},
        {"fraction", [](QJsonObject& p) { p["turn"] = 0.5; }, "turn"},
        {"owner",
         [](QJsonObject& p) {
             QJsonArray b = p["board"].toArray();
             QJsonArray r = b[0].toArray();
             r[0] = Square(0, 2);
             b[0] = r;
             p["board"] = b;
         },
         "owner"},
        {"card index",
         [](QJsonObject& p) {
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, 2}, QJsonArray{-1, -1, -1, -1, 1}};
         },
         "hands[0][4]"},
        {"board shape",
         [](QJsonObject& p) {
             p["board"] = QJsonArray{1, 2};
         },
         "board"},
        {"hand gap",
         [](QJsonObject& p) {
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, 0, -1}, QJsonArray{-1, -1, -1, -1, 1}};
         },
         "packed"},
        {"full board",
         [none](QJsonObject& p) {
             QJsonArray b = p["board"].toArray();
             QJsonArray r = b[1].toArray();
             r[1] = Square(1, 1);
             b[1] = r;
             p["board"] = b;
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, 0}, QJsonArray{-1, -1, -1, -1, -1}};
         },
         "full"},
        {"eleven cards",
         [](QJsonObject& p) {
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, 0, 0}, QJsonArray{-1, -1, -1, -1, 1}};
         },
         "11 cards"},
        {"mover short",
         [](QJsonObject& p) {
             p["turn"] = 0;
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, -1}, QJsonArray{-1, -1, -1, 1, 1}};
         },
         "player to move"},
        {"mover two ahead",
         [](QJsonObject& p) {
             p["hands"] = QJsonArray{QJsonArray{-1, -1, -1, -1, -1}, QJsonArray{-1, -1, -1, 1, 1}};
         },
         "player to move"},
        {"elements shape", [](QJsonObject& p) { p["elements"] = QJsonArray{Row(0, 0, 0)}; }, "elements"},
    };
    for (const TCase& test : cases) {
        QJsonObject position = LastCardPosition();
        test.Spoil(position);
        const TAnswer answer = Solve(position);
        EXPECT_EQ(answer.Status, 2) << test.What;
        EXPECT_NE(answer.Error.find(test.Named), std::string::npos) << test.What << ": " << answer.Error;
        EXPECT_EQ(answer.Error.find('\n'), std::string::npos) << test.What;
    }

    QByteArray output;
    std::string error;
    EXPECT_EQ(RunSolveCommand({}, "{\"cards\": [", output, error), 2);
    EXPECT_NE(error.find("not JSON"), std::string::npos) << error;
    EXPECT_EQ(RunSolveCommand({}, "[1, 2]", output, error), 2);
    EXPECT_EQ(RunSolveCommand({"--fast"}, "{}", output, error), 2);
    EXPECT_NE(error.find("--fast"), std::string::npos) << error;
}

// The installed program: JSON on standard output, or one line on standard
// error and exit status 2.
TEST(SolveCommand, ProgramAnswersOnStandardOutputAndRefusesWithStatusTwo) {
    QProcess solve;
    solve.start(VANTARO_SOLVE_PROGRAM, {"--best"});
    ASSERT_TRUE(solve.waitForStarted());
    solve.write(QJsonDocument(LastCardPosition()).toJson());
    solve.closeWriteChannel();
    ASSERT_TRUE(solve.waitForFinished(60000));
    EXPECT_EQ(solve.exitCode(), 0);
    EXPECT_EQ(QJsonDocument::fromJson(solve.readAllStandardOutput()).object()["score"].toInt(), 7);

    solve.start(VANTARO_SOLVE_PROGRAM, {});
    ASSERT_TRUE(solve.waitForStarted());
    solve.write("not a position");
    solve.closeWriteChannel();
    ASSERT_TRUE(solve.waitForFinished(60000));
    EXPECT_EQ(solve.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(solve.exitCode(), 2);
    EXPECT_TRUE(solve.readAllStandardOutput().isEmpty());
    const QByteArray error = solve.readAllStandardError();
    EXPECT_TRUE(error.startsWith("vantaro-solve: not JSON")) << error.toStdString();
    EXPECT_EQ(error.count('\n'), 1);
}

} // namespace
