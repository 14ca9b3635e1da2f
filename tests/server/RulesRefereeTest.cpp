#include "server/RulesReferee.h"
#include "server/StoredMatch.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(RulesReferee, TheBuiltInCatalogueIsTheGamesHundredAndTenCards) {
    const TCardList& cards = BuiltInCatalogue();
    ASSERT_EQ(cards.CardCount(), 110);
    EXPECT_EQ(cards.CardValues(0).Ranks, (std::array<int32_t, 4>{2, 3, 3, 3}));
    for (const TCardValues& card : cards.Cards) {
        EXPECT_GE(card.Element, 0);
        EXPECT_LE(card.Element, 8);
    }
}

// Random matches under every rule set the lobby offers: a match stored as its
// seed, rules and moves replays to the same end, Sudden Death replays
// included, and the core's own script of it replays the same way.
TEST(RulesReferee, AStoredMatchReplaysToTheSameEnd) {
    std::mt19937 random(17);
    int redealt = 0;
    for (int round = 0; round < 200; ++round) {
        int32_t rules = int32_t(random() % 32);
        int64_t seed = int64_t(random());
        TRulesReferee referee(BuiltInCatalogue(), seed, rules, 1);
        std::vector<TPlacementMove> moves;
        for (int guard = 0; !referee.Over() && guard < 500; ++guard) {
            int32_t seat = referee.ToMove();
            std::vector<TPlacementMove> legal;
            for (int32_t slot = 0; slot < 5; ++slot)
                for (int32_t square = 0; square < 9; ++square)
                    if (referee.MoveProblem(seat, {slot, square % 3, square / 3}).empty())
                        legal.push_back({slot, square % 3, square / 3});
            ASSERT_FALSE(legal.empty());
            EXPECT_FALSE(referee.MoveProblem(1 - seat, legal[0]).empty());
            auto move = legal[random() % legal.size()];
            referee.Play(move);
            moves.push_back(move);
        }
        ASSERT_TRUE(referee.Over());
        redealt += moves.size() > 9;
        TRulesReferee again(BuiltInCatalogue(), seed, rules, 1);
        for (auto move : moves) {
            ASSERT_EQ(again.MoveProblem(again.ToMove(), move), "");
            again.Play(move);
        }
        EXPECT_TRUE(again.Over());
        EXPECT_EQ(again.Score(0), referee.Score(0));
        EXPECT_EQ(again.Winner(), referee.Winner());
        EXPECT_EQ(referee.Score(0) + referee.Score(1), 10);
        TMatch replayed;
        std::string refusal;
        ASSERT_TRUE(ReplayScript(referee.State().Script, BuiltInCatalogue(), replayed, refusal)) << refusal;
        EXPECT_EQ(replayed.Score[0], referee.Score(0));
        for (size_t i = 0; i < referee.State().Script.RedealSeeds.size(); ++i)
            EXPECT_EQ(referee.State().Script.RedealSeeds[i], seed + int64_t(i) + 1);
    }
    EXPECT_GT(redealt, 0) << "no Sudden Death replay was played";
}

// What a hostile client's move meets, at each edge: the hand's slots are 0
// to 4, and once the match is over nothing more is played, whatever the
// board would allow.
TEST(RulesReferee, AMoveOutsideTheHandOrAfterTheEndIsRefused) {
    TRulesReferee referee(BuiltInCatalogue(), 99, 0, 1);
    const struct {
        int32_t Slot;
        bool Allowed;
    } edges[] = {{-1, false}, {0, true}, {4, true}, {5, false}, {INT32_MAX, false}, {INT32_MIN, false}};
    for (auto edge : edges)
        EXPECT_EQ(referee.MoveProblem(1, {edge.Slot, 1, 1}).empty(), edge.Allowed) << edge.Slot;
    for (int guard = 0; guard < 9 && !referee.Over(); ++guard)
        for (int32_t slot = 0, placed = 0; slot < 5 && !placed; ++slot)
            for (int32_t square = 0; square < 9 && !placed; ++square)
                if (referee.MoveProblem(referee.ToMove(), {slot, square % 3, square / 3}).empty()) {
                    referee.Play({slot, square % 3, square / 3});
                    placed = 1;
                }
    ASSERT_TRUE(referee.Over());
    for (int32_t seat = 0; seat < 2; ++seat)
        for (int32_t slot = 0; slot < 5; ++slot)
            EXPECT_EQ(referee.MoveProblem(seat, {slot, 0, 0}), Describe(TPlacementProblem::NoMatch))
                << seat << slot;
}

} // namespace
