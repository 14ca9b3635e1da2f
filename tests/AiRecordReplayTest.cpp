#include "AiMatchFixture.h"
#include "RecordSupport.h"
#include "ai/Position.h"
#include "ai/RecordReplay.h"
#include "records/RecordJson.h"

#include <sstream>

namespace {

class AiRecordReplay : public TAiMatchFixture {
protected:
    void SetUp() override {
        TAiMatchFixture::SetUp();
        AddCatalogue(18);
        for (int32_t i = 0; i < Game->Cards->NumCards; ++i)
            Catalogue.push_back({Game->Cards->CardTable[i].Ranks, Game->Cards->CardTable[i].Element});
    }

    // Empty when the replayed table is the match's table.
    std::string Differences(const TReplayedPosition& at) const {
        std::ostringstream why;
        auto card = [&](int32_t setupIndex) { return setupIndex < 0 ? -1 : at.Catalogue[setupIndex]; };
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                const TOwnedCard& square = Game->Board[y][x];
                if (card(at.Setup.Board[y][x].Card) != square.Card ||
                    (square.Card >= 0 && at.Setup.Board[y][x].Owner != square.Owner))
                    why << "square " << x << "," << y << "; ";
                if (at.Setup.Elements[y][x] != Game->Elements[y][x])
                    why << "element " << x << "," << y << "; ";
            }
        for (int32_t slot = 0; slot < 5; ++slot)
            for (int32_t player = 0; player < 2; ++player)
                if (card(at.Setup.Hands[slot][player]) != Game->Hands[slot][player])
                    why << "hand " << player << " slot " << slot << "; ";
        const TPosition position(at.Setup);
        if (position.Owned(0) != Game->Score[0]) why << "score; ";
        if (at.Setup.Turn != Game->Turn) why << "turn; ";
        return why.str();
    }

    std::vector<TCardValues> Catalogue;
};

// Random matches played by keys, Sudden Death replays among them: the record
// made from the match's own script, written and read back after every
// placement, replays to the table the match shows.
TEST_F(AiRecordReplay, AReplayedRecordShowsTheMatchAfterEveryPlacement) {
    std::mt19937 random(1818);
    int32_t replays = 0, placements = 0;
    for (int32_t match = 0; match < 120; ++match) {
        StartRandomMatch(random);
        TGameRules rules = Game->Rules;
        rules.SuddenDeath = match % 4 != 0;
        const int64_t seed = Second;
        StartMatch(rules, int32_t(random() % 2));
        TMatchRecord record;
        record.Players[0] = "Red";
        record.Players[1] = "Blue";
        record.Rules = rules;
        record.Seed = seed;
        record.FirstPlayer = Game->Turn;
        record.Ending = TMatchEnding::Abandoned;
        for (int32_t deal = 0; Game->InProgress && deal < 6; ++deal) {
            Second = seed + deal + 1; // the seed of a Sudden Death replay
            for (int32_t turn = 0; turn < 9; ++turn) {
                std::vector<TPlacementMove> legal;
                for (int32_t slot = 0; slot < 5; ++slot)
                    for (int32_t square = 0; square < 9; ++square)
                        if (Game->Hands[slot][Game->Turn] >= 0 &&
                            Game->Board[square / 3][square % 3].Card < 0)
                            legal.push_back({slot, square % 3, square / 3});
                const TPlacementMove move = legal[random() % legal.size()];
                PlayByKeys(move);
                ++placements;
                record.Moves.push_back(move);
                record.RedealSeeds = Game->Match().Script.RedealSeeds;
                record.Score[0] = Game->Score[0];
                record.Score[1] = Game->Score[1];
                ASSERT_EQ(Game->Match().Script.Seed, record.Seed);
                ASSERT_EQ(ScriptOf(record), Game->Match().Script);
                const TRecordReading read = ReadRecordJson(WriteRecordJson(record), "m.json");
                ASSERT_TRUE(read.Record) << read.Problem;
                const TReplay replay = ReplayRecord(*read.Record, Catalogue);
                ASSERT_EQ(replay.Problem, "");
                ASSERT_EQ(replay.Positions.size(), record.Moves.size() + 1);
                const std::string differences = Differences(replay.Positions.back());
                ASSERT_EQ(differences, "") << "match " << match << " move " << record.Moves.size();
            }
            replays += Game->InProgress;
        }
        if (Game->InProgress) continue; // a long chain of draws, cut off
        record.Ending = TMatchEnding::Finished;
        record.Score[0] = Game->Score[0];
        record.Score[1] = Game->Score[1];
        record.Winner = record.Score[0] == 5 ? -1 : record.Score[0] > 5 ? 0 : 1;
        const TReplay replay = ReplayRecord(record, Catalogue);
        ASSERT_EQ(replay.Problem, "");
        EXPECT_EQ(replay.Score[0], Game->Score[0]);
    }
    EXPECT_GT(replays, 5);
    EXPECT_GE(placements, 1080);
}

// What only the cards' ranks reveal: a record must play out as it claims.
TEST_F(AiRecordReplay, RecordsTheCardsContradictAreRefused) {
    std::mt19937 random(99);
    int32_t checked[3] = {0, 0, 0};
    for (int32_t i = 0; i < 400; ++i) {
        TMatchRecord record;
        record.Players[0] = "A";
        record.Players[1] = "B";
        record.Seed = int64_t(random());
        record.Rules.Same = random() & 1;
        record.Rules.Plus = random() & 1;
        record.Rules.SuddenDeath = true;
        record.Ending = TMatchEnding::Abandoned;
        record.Moves = RandomMoves(random, 1, 9);
        ScoreFromMoves(record, Catalogue);
        const TReplay one = ReplayRecord(record, Catalogue);
        ASSERT_EQ(one.Problem, "");
        // After a drawn ninth card the replay is dealt at once, as in the match.
        const int32_t red = one.Positions.back().Deal == 1 ? 5 : one.Score[0];
        EXPECT_EQ(one.Positions.back().Deal == 1, red == 5);

        // A second deal follows only a draw.
        TMatchRecord longer = record;
        longer.Moves = RandomMoves(random, 1, 18);
        longer.RedealSeeds = {17};
        std::copy(record.Moves.begin(), record.Moves.end(), longer.Moves.begin());
        if (red != 5) {
            EXPECT_NE(ReplayRecord(longer, Catalogue).Problem.find("not a draw, yet the record plays on"),
                      std::string::npos);
            ++checked[0];
        }
        // A finished record must carry the score its moves make.
        TMatchRecord finished = record;
        finished.Ending = TMatchEnding::Finished;
        finished.Score[0] = red == 10 ? 9 : red + 1;
        finished.Score[1] = 10 - finished.Score[0];
        finished.Winner = finished.Score[0] == 5 ? -1 : finished.Score[0] > 5 ? 0 : 1;
        const std::string wrong = ReplayRecord(finished, Catalogue).Problem;
        if (red == 5)
            EXPECT_NE(wrong.find("Sudden Death deals again"), std::string::npos) << wrong;
        else
            EXPECT_NE(wrong.find("the moves end"), std::string::npos) << wrong;
        ++checked[red == 5 ? 1 : 2];
        finished.Score[0] = red;
        finished.Score[1] = 10 - red;
        finished.Winner = red == 5 ? -1 : red > 5 ? 0 : 1;
        finished.Rules.SuddenDeath = false;
        EXPECT_EQ(ReplayRecord(finished, Catalogue).Problem, "");
    }
    EXPECT_GT(checked[0], 0);
    EXPECT_GT(checked[1], 0);
    EXPECT_GT(checked[2], 0);

    // However a match ended, its score is the one its moves leave: broken off
    // after four placements, no record may claim 9–1.
    for (const TMatchEnding ending :
         {TMatchEnding::Time, TMatchEnding::Forfeit, TMatchEnding::Abandoned, TMatchEnding::Left}) {
        for (int32_t i = 0; i < 20; ++i) {
            TMatchRecord early;
            early.Players[0] = early.Players[1] = "A";
            early.Seed = int64_t(random());
            early.Rules.Same = early.Rules.Plus = true;
            early.Ending = ending;
            early.Winner = ending == TMatchEnding::Abandoned ? -1 : int32_t(random() % 2);
            early.Moves = RandomMoves(random, 1, 4);
            ScoreFromMoves(early, Catalogue);
            ASSERT_EQ(ReplayRecord(early, Catalogue).Problem, "");
            const int32_t red = early.Score[0], blue = early.Score[1];
            early.Score[0] = red == 9 ? 8 : 9;
            early.Score[1] = 10 - early.Score[0];
            const std::string expected =
                "the moves leave " + std::to_string(red) + "–" + std::to_string(blue) + ", the record says " +
                std::to_string(early.Score[0]) + "–" + std::to_string(early.Score[1]);
            EXPECT_EQ(ReplayRecord(early, Catalogue).Problem, expected);
        }
    }
    TMatchRecord record;
    record.Players[0] = record.Players[1] = "A";
    record.Ending = TMatchEnding::Abandoned;
    EXPECT_EQ(ReplayRecord(record, {}).Problem, "no card catalogue to deal from");
}

} // namespace
