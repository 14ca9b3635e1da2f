#include "ai/ComputerPlayer.h"
#include "ai/Solver.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace {

// Plain minimax over every legal move of every slot: no pruning, no table,
// no merging of equal cards. Score: cards the player to move owns at the end.
int32_t Minimax(TPosition& position) {
    if (position.Over()) return position.Owned(position.Turn());
    int32_t best = -1;
    for (const TPlacementMove& move : position.LegalMoves()) {
        const uint64_t key = position.Key();
        const TPosition::TUndo undo = position.Make(move);
        best = std::max(best, 10 - Minimax(position));
        position.Unmake(undo);
        EXPECT_EQ(position.Key(), key);
    }
    return best;
}

int32_t MinimaxAfter(const TPosition& position, const TPlacementMove& move) {
    TPosition after = position;
    after.Make(move);
    return 10 - Minimax(after);
}

// A random deal from a few cards (so hands often hold equal cards and equal
// ranks are common), with element squares, played at random down to
// `empty` empty squares.
TPosition RandomPosition(std::mt19937& random, int32_t rules, int32_t empty) {
    TPositionSetup setup;
    std::uniform_int_distribution<int32_t> rank(1, 10), few(3, 7), element(0, 8);
    for (int32_t i = 0; i < 7; ++i) {
        auto pick = [&] { return i < 2 ? rank(random) : few(random); };
        setup.Cards.push_back({{pick(), pick(), pick(), pick()}, element(random)});
    }
    setup.Cards.push_back({{10, 10, 10, 10}, 3});
    setup.Rules.Same = rules & 1;
    setup.Rules.SameWall = rules & 2;
    setup.Rules.Plus = rules & 4;
    setup.Rules.Elemental = rules & 8;
    if (setup.Rules.Elemental)
        for (auto& row : setup.Elements)
            for (int32_t& square : row) square = random() % 3 == 0 ? element(random) : 0;
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player)
            setup.Hands[slot][player] = int32_t(random() % setup.Cards.size());
    setup.Turn = 1;
    TPosition position(setup);
    while (position.EmptySquares() > empty) {
        const std::vector<TPlacementMove> moves = position.LegalMoves();
        position.Make(moves[random() % moves.size()]);
    }
    return position;
}

TEST(AiSolver, AgreesWithPlainMinimaxUnderEveryRuleCombination) {
    std::mt19937 random(77);
    TSolver solver(10); // a small table, so that entries are overwritten often
    int32_t positions = 0;
    for (int32_t rules = 0; rules < 16; ++rules)
        for (int32_t round = 0; round < 20; ++round) {
            const int32_t empty = 1 + round % 6;
            const TPosition position = RandomPosition(random, rules, empty);
            TPosition scratch = position;
            const int32_t exact = Minimax(scratch);
            const std::string where = "rules " + std::to_string(rules) + " round " + std::to_string(round);

            const std::optional<TSolution> best = solver.SolveBest(position);
            ASSERT_TRUE(best) << where;
            ASSERT_EQ(best->Score, exact) << where;
            ASSERT_EQ(best->Moves.size(), 1u) << where;
            ASSERT_TRUE(position.IsLegal(best->Moves[0].Move)) << where;
            EXPECT_EQ(MinimaxAfter(position, best->Moves[0].Move), exact) << where;

            const std::optional<TSolution> all = solver.SolveAll(position);
            ASSERT_TRUE(all) << where;
            EXPECT_EQ(all->Score, exact) << where;
            ASSERT_EQ(all->Moves.size(), position.LegalMoves().size()) << where;
            for (size_t i = 0; i < all->Moves.size(); ++i) {
                const TScoredMove& scored = all->Moves[i];
                EXPECT_EQ(scored.Score, MinimaxAfter(position, scored.Move)) << where << " move " << i;
                if (i > 0) {
                    EXPECT_LE(scored.Score, all->Moves[i - 1].Score) << where;
                }
            }

            const std::optional<TPlacementMove> chosen =
                ChooseMove(position, TLevel::Perfect, uint64_t(round));
            ASSERT_TRUE(chosen) << where;
            EXPECT_EQ(MinimaxAfter(position, *chosen), exact) << where;
            ++positions;
        }
    EXPECT_EQ(positions, 320);
}

// Positions a match never reaches but the analysis command accepts: the
// cards left split any way between the hands, so that a hand runs out
// before the board fills or holds more cards than there are squares.
TEST(AiSolver, AgreesWithPlainMinimaxWhateverTheHandsHold) {
    std::mt19937 random(91);
    TSolver solver(10);
    std::uniform_int_distribution<int32_t> rank(1, 10), element(0, 8);
    for (int32_t round = 0; round < 160; ++round) {
        TPositionSetup setup;
        for (int32_t i = 0; i < 6; ++i)
            setup.Cards.push_back(
                {{rank(random), rank(random), rank(random), rank(random)}, element(random)});
        setup.Rules.Same = round & 1;
        setup.Rules.SameWall = round & 2;
        setup.Rules.Plus = round & 4;
        setup.Rules.Elemental = round & 8;
        for (auto& row : setup.Elements)
            for (int32_t& square : row) square = random() % 3 == 0 ? element(random) : 0;
        const int32_t empty = 1 + round % 6;
        int32_t squares[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
        std::shuffle(squares, squares + 9, random);
        for (int32_t i = empty; i < 9; ++i)
            setup.Board[squares[i] / 3][squares[i] % 3] = {int32_t(random() % 6), int32_t(random() % 2)};
        // The ten cards less those on the board, at most five a hand.
        const int32_t held = empty + 1;
        const int32_t first =
            std::max(0, held - 5) + int32_t(random() % (std::min(5, held) - std::max(0, held - 5) + 1));
        for (int32_t n = 0; n < first; ++n) setup.Hands[4 - n][0] = int32_t(random() % 6);
        for (int32_t n = 0; n < held - first; ++n) setup.Hands[4 - n][1] = int32_t(random() % 6);
        setup.Turn = int32_t(random() % 2);
        const TPosition position(setup);
        const std::string where = "round " + std::to_string(round);
        if (position.Over()) continue;

        TPosition scratch = position;
        const int32_t exact = Minimax(scratch);
        const std::optional<TSolution> best = solver.SolveBest(position);
        ASSERT_TRUE(best) << where;
        EXPECT_EQ(best->Score, exact) << where;
        ASSERT_EQ(best->Moves.size(), 1u) << where;
        EXPECT_EQ(MinimaxAfter(position, best->Moves[0].Move), exact) << where;
        const std::optional<TSolution> all = solver.SolveAll(position);
        ASSERT_TRUE(all) << where;
        for (const TScoredMove& scored : all->Moves)
            EXPECT_EQ(scored.Score, MinimaxAfter(position, scored.Move)) << where;
    }
}

TEST(AiSolver, FinishedMatchHasNoMoveAndCancelledSearchNoAnswer) {
    std::mt19937 random(5);
    const TPosition over = RandomPosition(random, 15, 0);
    const std::optional<TSolution> solution = TSolver().SolveBest(over);
    ASSERT_TRUE(solution);
    EXPECT_TRUE(solution->Moves.empty());
    EXPECT_EQ(solution->Score, over.Owned(over.Turn()));
    EXPECT_FALSE(ChooseMove(over, TLevel::Perfect, 1));

    const std::atomic<bool> cancelled{true};
    const TPosition opening = RandomPosition(random, 15, 9);
    EXPECT_FALSE(TSolver().SolveAll(opening, &cancelled));
    EXPECT_FALSE(ChooseMove(opening, TLevel::Perfect, 1, &cancelled));
}

// The levels play visibly differently: over many positions the exact value
// of the moves they choose ranks Perfect above Normal above Easy.
TEST(AiSolver, LevelsRankByTheValueOfTheirMoves) {
    std::mt19937 random(31);
    TSolver solver;
    int32_t total[3] = {0, 0, 0};
    for (int32_t round = 0; round < 60; ++round) {
        const TPosition position = RandomPosition(random, round % 16, 5 + round % 3);
        const std::optional<TSolution> all = solver.SolveAll(position);
        ASSERT_TRUE(all);
        for (int32_t level = 0; level < 3; ++level) {
            const std::optional<TPlacementMove> move = ChooseMove(position, TLevel(level), uint64_t(round));
            ASSERT_TRUE(move);
            ASSERT_TRUE(position.IsLegal(*move));
            for (const TScoredMove& scored : all->Moves)
                if (scored.Move == *move) {
                    total[level] += scored.Score;
                }
        }
    }
    EXPECT_LT(total[0], total[1]);
    EXPECT_LT(total[1], total[2]);
}

} // namespace

// A card index the setup's cards do not hold is no card, whatever its size;
// indices past a byte's range reach their own cards.
TEST(AiSolverPosition, CardIndicesAreCheckedAgainstTheSetupsCards) {
    TPositionSetup setup;
    setup.Cards.assign(300, TCardValues{{1, 1, 1, 1}, 0});
    setup.Cards[299] = {{9, 9, 9, 9}, 0};
    setup.Hands[4][0] = 299;
    setup.Hands[3][0] = 300;
    setup.Hands[4][1] = -7;
    setup.Board[1][1] = {1 << 30, 0};
    setup.Board[0][1] = {200, 1};
    const TPosition position(setup);
    EXPECT_EQ(position.HandCard(4, 0), 299);
    EXPECT_EQ(position.HandCard(3, 0), -1);
    EXPECT_EQ(position.HandCard(4, 1), -1);
    EXPECT_EQ(position.CardAt(1, 1), -1);
    EXPECT_EQ(position.CardAt(1, 0), 200);
    EXPECT_EQ(position.CardInfo(position.HandCard(4, 0)).Ranks[0], 9);
}
