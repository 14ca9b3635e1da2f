#include "RecordSupport.h"
#include "ai/MatchReview.h"
#include "ai/Position.h"
#include "ai/Solver.h"

#include <gtest/gtest.h>

namespace {

std::vector<TCardValues> RandomCatalogue(uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> rank(1, 10), few(4, 7), element(0, 8);
    std::vector<TCardValues> cards;
    for (int32_t i = 0; i < 110; ++i) {
        auto pick = [&] { return i % 3 == 0 ? rank(random) : few(random); };
        cards.push_back({{pick(), pick(), pick(), pick()}, element(random)});
    }
    return cards;
}

// Every move of random matches: the best score is the solver's for that
// position, the forced score is the solver's score for the move played, and
// the named best move forces the best score.
TEST(AiMatchReview, ScoresAreTheSolversScores) {
    const std::vector<TCardValues> catalogue = RandomCatalogue(5);
    std::mt19937 random(18);
    int32_t thrown = 0, reviewed = 0;
    for (int32_t match = 0; match < 6; ++match) {
        TMatchRecord record;
        record.Players[0] = "A";
        record.Players[1] = "B";
        record.Seed = int64_t(random());
        record.Rules.Same = record.Rules.Plus = record.Rules.Elemental = true;
        record.Rules.SameWall = match % 2;
        record.FirstPlayer = match % 2;
        record.Ending = TMatchEnding::Abandoned;
        record.Moves = RandomMoves(random, record.FirstPlayer, 9);
        ScoreFromMoves(record, catalogue);
        const TReplay replay = ReplayRecord(record, catalogue);
        ASSERT_EQ(replay.Problem, "");
        const std::optional<TMatchReview> review = ReviewMatch(record, replay);
        ASSERT_TRUE(review);
        ASSERT_EQ(review->Moves.size(), 9u);
        TSolver solver;
        for (size_t i = 0; i < 9; ++i) {
            const TReviewedMove& move = review->Moves[i];
            const TPosition position(replay.Positions[i].Setup);
            const std::optional<TSolution> all = solver.SolveAll(position);
            ASSERT_TRUE(all);
            EXPECT_EQ(move.Best, all->Score);
            EXPECT_EQ(move.Player, position.Turn());
            for (const TScoredMove& scored : all->Moves) {
                const TPlacementMove as = scored.Move;
                if (as == move.Move) {
                    EXPECT_EQ(move.Forced, scored.Score) << "move " << i + 1;
                }
                if (as == move.BestMove) {
                    EXPECT_EQ(scored.Score, all->Score) << "move " << i + 1;
                }
            }
            EXPECT_EQ(
                move.Card,
                replay.Positions[i].Catalogue[replay.Positions[i].Setup.Hands[move.Move.Slot][move.Player]]);
            EXPECT_LE(move.Forced, move.Best);
            thrown += move.ThrewAwayResult();
            ++reviewed;
        }
        // The last card decides the deal: what it forces is the final count.
        EXPECT_EQ(review->Moves.back().Forced, replay.Score[review->Moves.back().Player]);
    }
    EXPECT_GT(thrown, 0);
    EXPECT_EQ(reviewed, 54);
}

// Across a Sudden Death replay each deal is scored on its own.
TEST(AiMatchReview, ADrawnDealAndItsReplayAreBothReviewed) {
    const std::vector<TCardValues> catalogue = RandomCatalogue(6);
    std::mt19937 random(4);
    for (int32_t tries = 0; tries < 2000; ++tries) {
        TMatchRecord record;
        record.Players[0] = record.Players[1] = "P";
        record.Seed = int64_t(random());
        record.Rules.SuddenDeath = true;
        record.Ending = TMatchEnding::Abandoned;
        record.Moves = RandomMoves(random, 1, 9);
        ScoreFromMoves(record, catalogue);
        if (ReplayRecord(record, catalogue).Positions.back().Deal != 1) continue;
        const std::vector<TPlacementMove> more = RandomMoves(random, 0, 9);
        record.Moves.insert(record.Moves.end(), more.begin(), more.end());
        record.RedealSeeds = {int64_t(random())};
        ScoreFromMoves(record, catalogue);
        const TReplay replay = ReplayRecord(record, catalogue);
        ASSERT_EQ(replay.Problem, "");
        const std::optional<TMatchReview> review = ReviewMatch(record, replay);
        ASSERT_TRUE(review);
        ASSERT_EQ(review->Moves.size(), 18u);
        EXPECT_EQ(review->Moves[8].Forced, 5);
        EXPECT_EQ(review->Moves[8].Deal, 0);
        EXPECT_EQ(review->Moves[9].Deal, 1);
        EXPECT_EQ(review->Moves[9].Player, 0);
        // A second draw has been dealt again already.
        const bool over = replay.Positions.back().Deal == 1;
        EXPECT_EQ(review->Moves[17].Forced, over ? replay.Score[review->Moves[17].Player] : 5);
        return;
    }
    FAIL() << "no drawn deal came up";
}

TEST(AiMatchReview, LinesNameTheMoveWhatItAllowsAndWhatWasThrownAway) {
    const std::vector<std::string> names = {"Moss Puff", "Tallow Glob"};
    TReviewedMove move;
    move.Number = 5;
    move.Player = 1;
    move.Card = 0;
    move.Move = {4, 1, 1};
    move.BestCard = 1;
    move.BestMove = {3, 0, 0};
    move.Forced = 4;
    move.Best = 5;
    EXPECT_EQ(ReviewLine(move, names),
              "5. Blue, Moss Puff on the centre square: Red can now force 6–4; Tallow Glob "
              "on the top-left square kept 5–5 — a draw thrown away");
    move.Player = 0;
    move.Forced = 6;
    move.Best = 7;
    EXPECT_EQ(ReviewLine(move, names),
              "5. Red, Moss Puff on the centre square: Red can force 6–4; Tallow Glob on "
              "the top-left square kept 7–3");
    move.Forced = move.Best = 5;
    EXPECT_EQ(ReviewLine(move, names),
              "5. Red, Moss Puff on the centre square: either side can force a draw 5–5");
    move.Best = 6;
    move.Card = 9;
    EXPECT_EQ(ReviewLine(move, names),
              "5. Red, The card on the centre square: either side can force a draw 5–5; "
              "Tallow Glob on the top-left square kept 6–4 — a win thrown away");
}

} // namespace
