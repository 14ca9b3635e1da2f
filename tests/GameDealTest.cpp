#include "GameFixture.h"
#include "game/RandomSource.h"

#include <cstring>
#include <set>

namespace {

// An independent model of the generator, in 128-bit arithmetic.
struct TReferenceRandom {
    explicit TReferenceRandom(int64_t seconds) {
        const unsigned __int128 low = (unsigned __int128)(uint32_t(seconds)) * 22695477u + 1u;
        State = uint64_t(low % ((unsigned __int128)1 << 32));
    }
    int32_t Next() {
        const unsigned __int128 multiplier = ((unsigned __int128)346 << 32) + 20021;
        State = uint64_t((State * multiplier + 1) % ((unsigned __int128)1 << 64));
        return int32_t((State >> 32) % (uint64_t(1) << 31));
    }
    unsigned __int128 State;
};

class GameDeal : public TGameFixture {
protected:
    void AddPlainCards(int32_t count) {
        for (int32_t i = 0; i < count; ++i) AddCard({1, 1, 1, 1});
    }

    int32_t ElementSquares() const {
        int32_t count = 0;
        for (const auto& row : Game->Elements)
            for (int32_t element : row) {
                EXPECT_GE(element, 0);
                EXPECT_LE(element, 8);
                if (element != 0) ++count;
            }
        return count;
    }
};

TEST(GameRandomSource, KnownSequences) {
    TRandomSource random;
    random.Seed(0);
    // Seeded low half 1, so the first draw is the multiplier's high half.
    EXPECT_EQ(random.Next(), 346);
    EXPECT_EQ(random.Next(), 13854878);
    EXPECT_EQ(random.Next(), 1621890440);
    EXPECT_EQ(random.Next(), 816282396);

    random.Seed(1700000000);
    EXPECT_EQ(random.Next(), 228694345);
    EXPECT_EQ(random.Next(), 396287962);

    for (int64_t seconds : {int64_t(7), int64_t(86400), int64_t(4102444800), int64_t(-5)}) {
        TRandomSource ours;
        ours.Seed(seconds);
        TReferenceRandom reference(seconds);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(ours.Next(), reference.Next()) << seconds << " draw " << i;
    }
}

TEST(GameRandomSource, BelowZeroDoesNotDraw) {
    TRandomSource random, twin;
    random.Seed(99);
    twin.Seed(99);
    EXPECT_EQ(random.Below(0), 0);
    EXPECT_EQ(random.Below(1000), twin.Next() % 1000);
    for (int i = 0; i < 200; ++i) {
        const int32_t value = random.Below(3);
        EXPECT_EQ(value, twin.Next() % 3);
        EXPECT_GE(value, 0);
        EXPECT_LT(value, 3);
    }
}

TEST_F(GameDeal, FreshDealDrawsPlayerZeroFirstThenElementSquares) {
    AddPlainCards(7);
    Second = 1234567;
    TGameRules rules;
    rules.Elemental = true;
    Game->NewGame(1, rules, false);

    const int32_t hands[5][2] = {{3, 3}, {6, 0}, {2, 2}, {3, 3}, {5, 1}};
    for (int slot = 0; slot < 5; ++slot)
        for (int player = 0; player < 2; ++player)
            EXPECT_EQ(Game->Hands[slot][player], hands[slot][player]) << slot << "," << player;
    const int32_t elements[3][3] = {{0, 4, 4}, {0, 4, 0}, {7, 3, 0}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(Game->Elements[row][column], elements[row][column]) << row << "," << column;

    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_TRUE(Game->InProgress);
    EXPECT_FALSE(Game->GameOver);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    for (const auto& row : Game->Board)
        for (const TOwnedCard& square : row) EXPECT_EQ(square.Card, -1);
}

TEST_F(GameDeal, ElementSquaresAreOneToFiveDistinctOrAbsent) {
    AddPlainCards(110);
    TGameRules elemental;
    elemental.Elemental = true;
    std::set<int32_t> counts;
    for (int64_t seconds = 1000; seconds < 1300; ++seconds) {
        Second = seconds;
        Game->NewGame(1, elemental, false);
        Settle();
        // Ten deal draws, then the number of squares: every one of them must
        // land on its own square.
        TReferenceRandom reference(seconds);
        for (int i = 0; i < 10; ++i) reference.Next();
        const int32_t wanted = reference.Next() % 5 + 1;
        EXPECT_EQ(ElementSquares(), wanted) << seconds;
        counts.insert(wanted);

        Game->NewGame(1, TGameRules{}, false);
        Settle();
        EXPECT_EQ(ElementSquares(), 0);
    }
    EXPECT_EQ(counts, (std::set<int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(GameDeal, SameSecondGivesTheSameDeal) {
    AddPlainCards(110);
    TGameRules rules;
    rules.Elemental = true;
    Second = 1600000000;
    Game->NewGame(1, rules, false);
    Settle();
    int32_t hands[5][2], elements[3][3];
    std::memcpy(hands, Game->Hands, sizeof hands);
    std::memcpy(elements, Game->Elements, sizeof elements);

    Game->NewGame(1, rules, false);
    EXPECT_EQ(std::memcmp(hands, Game->Hands, sizeof hands), 0);
    EXPECT_EQ(std::memcmp(elements, Game->Elements, sizeof elements), 0);
    Settle();

    Second += 1;
    Game->NewGame(1, rules, false);
    EXPECT_NE(std::memcmp(hands, Game->Hands, sizeof hands), 0);
}

TEST_F(GameDeal, NewGameIsRefusedWithoutCardsOrWhileSomethingMoves) {
    TGameRules rules;
    Game->NewGame(1, rules, false);
    EXPECT_FALSE(Game->InProgress);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_TRUE(Game->AnimSprites.empty());

    AddPlainCards(5);
    Game->NewGame(1, rules, false);
    ASSERT_EQ(Game->Phase, TGame::PhaseDealing);
    int32_t hands[5][2];
    std::memcpy(hands, Game->Hands, sizeof hands);
    // Refused while dealing: a different second and different rules change nothing.
    Second += 50;
    TGameRules other;
    other.Same = true;
    Game->NewGame(0, other, false);
    EXPECT_EQ(std::memcmp(hands, Game->Hands, sizeof hands), 0);
    EXPECT_FALSE(Game->Rules.Same);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->AnimSprites.size(), 10u);
}

TEST(GameConstruction, StartsEmptyAndIdle) {
    TGame game([] { return int64_t(0); }, [] { return uint32_t(0); });
    EXPECT_EQ(game.Phase, TGame::PhaseIdle);
    EXPECT_FALSE(game.InProgress);
    EXPECT_FALSE(game.GameOver);
    ASSERT_TRUE(game.Cards && game.Sprites && game.Graphics);
    EXPECT_EQ(game.Cards->NumCards, 0);
    EXPECT_TRUE(game.Timer.Running);
    EXPECT_EQ(game.CardWidth, 85);
    EXPECT_EQ(game.CardHeight, 110);
    EXPECT_EQ(game.CardSourceRect, (TRect{0, 0, 100, 127}));
    EXPECT_EQ(game.FlyingCard, TOwnedCard());
    for (const auto& row : game.Board)
        for (const TOwnedCard& square : row) EXPECT_EQ(square, TOwnedCard(-1, -1));
    for (const TCaptureGroup* group : {&game.PlusGroup, &game.SameGroup, &game.BasicGroup, &game.ComboGroup})
        for (const TOwnedCard& taken : group->Taken) EXPECT_EQ(taken, TOwnedCard(-1, -1));

    const TGameRules rules;
    EXPECT_TRUE(rules.Open && rules.Random);
    EXPECT_FALSE(rules.Same || rules.SameWall || rules.Plus || rules.Elemental || rules.SuddenDeath);
}

} // namespace
