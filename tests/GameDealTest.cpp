#include "GameFixture.h"
#include "rules/RandomSource.h"

#include <cstring>
#include <set>

namespace {

// An independent model of the generator, in 128-bit arithmetic.
struct TReferenceRandom {
    explicit TReferenceRandom(int64_t seconds)
        : State(((unsigned __int128)uint32_t(seconds) * 22695477u + 1u) % ((unsigned __int128)1 << 32)) {}
    int32_t Next() {
        State = (State * (((unsigned __int128)346 << 32) + 20021) + 1) % ((unsigned __int128)1 << 64);
        return int32_t((State >> 32) % (uint64_t(1) << 31));
    }
    unsigned __int128 State;
};

TEST(GameRandomSource, FollowsTheSeededSequence) {
    TRandomSource random;
    random.Seed(0);
    // The seeded low half is 1, so the first draw is the multiplier's high half.
    for (int32_t expected : {346, 13854878, 1621890440, 816282396}) EXPECT_EQ(random.Next(), expected);

    for (int64_t seconds : {int64_t(7), int64_t(1700000000), int64_t(4102444800), int64_t(-5)}) {
        TRandomSource ours;
        ours.Seed(seconds);
        TReferenceRandom reference(seconds);
        EXPECT_EQ(ours.Below(0), 0); // draws nothing
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(ours.Below(1000 - i), reference.Next() % (1000 - i)) << seconds;
    }
}

class GameDeal : public TGameFixture {
protected:
    int32_t ElementSquares() const {
        int32_t count = 0;
        for (const auto& row : Game->Elements)
            for (int32_t element : row) {
                EXPECT_TRUE(element >= 0 && element <= 8);
                count += element != 0;
            }
        return count;
    }
};

TEST_F(GameDeal, FreshDealDrawsRedsSlotsThenBluesThenTheElementSquares) {
    for (int i = 0; i < 7; ++i) AddCard({1, 1, 1, 1});
    Second = 1234587;
    TGameRules rules;
    rules.Elemental = true;
    Game->NewGame(1, rules, false);

    // Worked out from the generator: four squares, two of them drawn again
    // because the square was taken.
    const int32_t hands[5][2] = {{6, 0}, {6, 4}, {3, 1}, {2, 1}, {4, 1}};
    const int32_t elements[3][3] = {{0, 1, 5}, {1, 0, 0}, {0, 0, 3}};
    EXPECT_EQ(std::memcmp(Game->Hands, hands, sizeof hands), 0);
    EXPECT_EQ(std::memcmp(Game->Elements, elements, sizeof elements), 0);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_TRUE(Game->InProgress && !Game->GameOver && !Game->BoardCursorActive);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    EXPECT_EQ(Game->HandStep, 55);
}

TEST_F(GameDeal, ElementSquaresAreOneToFiveOnDistinctSquaresAndRepeatWithinASecond) {
    for (int i = 0; i < 110; ++i) AddCard({1, 1, 1, 1});
    TGameRules elemental;
    elemental.Elemental = true;
    std::set<int32_t> counts;
    for (int64_t seconds = 1000; seconds < 1300; ++seconds) {
        Second = seconds;
        Game->NewGame(1, elemental, false);
        // Ten deal draws come first; then the count, and each square drawn
        // must land on a square of its own.
        TReferenceRandom reference(seconds);
        for (int i = 0; i < 10; ++i) reference.Next();
        const int32_t wanted = reference.Next() % 5 + 1;
        EXPECT_EQ(ElementSquares(), wanted) << seconds;
        counts.insert(wanted);
        Settle();

        int32_t hands[5][2], elements[3][3];
        std::memcpy(hands, Game->Hands, sizeof hands);
        std::memcpy(elements, Game->Elements, sizeof elements);
        Game->NewGame(1, elemental, false);
        EXPECT_EQ(std::memcmp(hands, Game->Hands, sizeof hands), 0);
        EXPECT_EQ(std::memcmp(elements, Game->Elements, sizeof elements), 0);
        Settle();

        Game->NewGame(1, TGameRules{}, false);
        EXPECT_EQ(ElementSquares(), 0);
        Settle();
    }
    EXPECT_EQ(counts, (std::set<int32_t>{1, 2, 3, 4, 5}));
}

} // namespace
