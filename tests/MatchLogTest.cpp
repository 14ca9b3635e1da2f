// The log writes starts and endings of matches from what the table tells.
#include "app/MatchLog.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

class MatchLogTest : public ::testing::Test {
protected:
    MatchLogTest() : Log([this](const QString& line) { Lines << line; }) {}

    void Tell(TTableEvent::TKind kind) {
        TTableEvent event;
        event.Kind = kind;
        event.Rules = Rules;
        event.How = How;
        event.Score[0] = Score[0];
        event.Score[1] = Score[1];
        Log.Take(event);
    }
    void Deal() { Tell(TTableEvent::TKind::Dealt); }
    void Redeal() { Tell(TTableEvent::TKind::Redealt); }
    void PlayUntilTheLastFlip() {
        for (int i = 0; i < 2; ++i) Tell(TTableEvent::TKind::Placed);
        Tell(TTableEvent::TKind::GroupShown);
    }
    void End(int32_t red, int32_t blue, bool fullBoard = true) {
        How = fullBoard ? TTableEvent::THow::Finished : TTableEvent::THow::Stopped;
        Score[0] = red;
        Score[1] = blue;
        Tell(TTableEvent::TKind::Ended);
    }

    TGameRules Rules;
    TTableEvent::THow How = TTableEvent::THow::Finished;
    int32_t Score[2]{5, 5};
    QStringList Lines;
    TMatchLog Log;
};

TEST_F(MatchLogTest, OpensWithTheInvitation) {
    Log.Open();
    EXPECT_EQ(Lines, QStringList{"Press F2 or click the table to deal a new match."});
}

TEST_F(MatchLogTest, WinsNameTheWinnerWithTheWinnersCountFirst) {
    Rules.Same = Rules.Plus = true;
    Deal();
    PlayUntilTheLastFlip();
    End(4, 6);
    ASSERT_EQ(Lines.size(), 3);
    EXPECT_EQ(Lines[0], "New match \u2014 rules: Open, Random, Same, Plus");
    EXPECT_EQ(Lines[1], "Blue wins 6\u20134");
    EXPECT_EQ(Lines[2], "Press F2 or click the table to deal a new match.");

    Lines.clear();
    Rules = {};
    Deal();
    PlayUntilTheLastFlip();
    End(7, 3);
    EXPECT_EQ(Lines[0], "New match \u2014 rules: Open, Random");
    EXPECT_EQ(Lines[1], "Red wins 7\u20133");
}

TEST_F(MatchLogTest, AMatchStoppedBeforeItsNinthCardHasNoResult) {
    Deal();
    PlayUntilTheLastFlip();
    End(5, 5, false);
    EXPECT_EQ(Lines[1], "Match abandoned");
}

TEST_F(MatchLogTest, DrawAndSuddenDeathReplay) {
    Deal();
    PlayUntilTheLastFlip();
    End(5, 5);
    EXPECT_EQ(Lines[1], "Draw 5\u20135");

    // Under Sudden Death the drawn match is dealt again at once, never ended.
    Lines.clear();
    Rules.SuddenDeath = true;
    Deal();
    PlayUntilTheLastFlip();
    Redeal();
    ASSERT_EQ(Lines.size(), 3);
    EXPECT_EQ(Lines[1], "Draw 5\u20135 \u2014 Sudden Death");
    EXPECT_EQ(Lines[2], "Sudden Death replay \u2014 rules: Open, Random, Sudden Death");
    // The last card may land with nothing to flip: the replay follows the placement.
    Lines.clear();
    Tell(TTableEvent::TKind::Placed);
    Redeal();
    EXPECT_EQ(Lines, (QStringList{"Draw 5\u20135 \u2014 Sudden Death",
                                  "Sudden Death replay \u2014 rules: Open, Random, Sudden Death"}));
}

TEST_F(MatchLogTest, NewGameInTheMiddleOfAMatchIsANewMatchNotAnEnding) {
    Deal();
    PlayUntilTheLastFlip();
    Tell(TTableEvent::TKind::Left);
    Deal(); // F2 while the players choose
    ASSERT_EQ(Lines.size(), 2);
    EXPECT_TRUE(Lines[1].startsWith("New match"));
}

} // namespace

#include "app/ChatForm.h"
#include "app/LogCap.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <random>

namespace {

TEST(LogCap, NeverHoldsMoreThanItsBoundWhateverTheLinesAndKeepsTheNewest) {
    std::mt19937 dice(3);
    const struct {
        int32_t Lines;
        qsizetype Characters, LineCharacters;
    } caps[] = {{1, 10, 10},
                {5, 1000, 100},
                {100, 500, 50},
                {TLogCap::DefaultLines, TLogCap::DefaultCharacters, TLogCap::DefaultLineCharacters}};
    for (const auto& c : caps) {
        TLogCap cap(c.Lines, c.Characters, c.LineCharacters);
        std::deque<qsizetype> kept; // a slow model of the log
        for (int i = 0; i < 20000; ++i) {
            const QString line(std::uniform_int_distribution<int>(0, 3 * int(c.LineCharacters))(dice), 'x');
            const QString clipped = cap.Clip(line);
            ASSERT_LE(clipped.size(), c.LineCharacters);
            EXPECT_EQ(clipped.size() == line.size(), line.size() <= c.LineCharacters);
            kept.push_back(clipped.size());
            qsizetype lastGone = -1;
            for (int32_t drop = cap.Add(clipped.size()); drop > 0; --drop) {
                lastGone = kept.front();
                kept.pop_front();
            }
            ASSERT_FALSE(kept.empty()) << "the newest line always stays";
            ASSERT_EQ(cap.Lines(), qsizetype(kept.size()));
            ASSERT_LE(cap.Lines(), c.Lines);
            ASSERT_LE(cap.Characters(), c.Characters);
            // Only as much went as had to: the last line to go would not have fitted.
            if (lastGone >= 0) {
                ASSERT_TRUE(cap.Lines() + 1 > c.Lines || cap.Characters() + lastGone > c.Characters);
            }
        }
    }
}

TEST(LogCap, TheSideWindowsLogStaysWithinItsBoundUnderAFloodOfChat) {
    TChatForm form;
    const QString chat = QString(500, QChar(0x4e2d));
    for (int i = 0; i < 3 * TLogCap::DefaultLines; ++i)
        form.AppendLine(QString("%1 Red: %2").arg(i).arg(i % 7 ? chat : chat + chat + chat));
    QTextDocument* document = form.ChatLog->document();
    EXPECT_LE(document->blockCount(), TLogCap::DefaultLines);
    EXPECT_LE(document->characterCount(), TLogCap::DefaultCharacters + TLogCap::DefaultLines);
    EXPECT_EQ(document->blockCount(), form.Cap.Lines()) << "the count and the widget agree";
    EXPECT_TRUE(document->lastBlock().text().startsWith(QString::number(3 * TLogCap::DefaultLines - 1)));
    EXPECT_FALSE(document->firstBlock().text().startsWith("0 Red")) << "the oldest lines went";
    EXPECT_TRUE(document->lastBlock().text().endsWith(QChar(0x2026))) << "an overlong line is cut";
}

} // namespace
