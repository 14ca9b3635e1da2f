#include "GameFixture.h"

#include <climits>

namespace {

using TSquares = std::vector<std::pair<int32_t, int32_t>>;

class GameCaptures : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        // Banners only need to be told apart here.
        Game->Sprites->SameText = std::make_unique<TSprite>();
        Game->Sprites->PlusText = std::make_unique<TSprite>();
        Game->Sprites->ComboText = std::make_unique<TSprite>();
        Game->Score[0] = Game->Score[1] = 5;
    }

    // A clear board and fresh scores; the catalogue stays.
    void Reset() {
        for (auto& row : Game->Board)
            for (TOwnedCard& square : row) square = TOwnedCard();
        for (auto& row : Game->Elements)
            for (int32_t& element : row) element = 0;
        Game->Rules = TGameRules{};
        Game->Score[0] = Game->Score[1] = 5;
    }

    TSprite* Same() const { return Game->Sprites->SameText.get(); }
    TSprite* Plus() const { return Game->Sprites->PlusText.get(); }
    TSprite* Combo() const { return Game->Sprites->ComboText.get(); }

    int32_t OwnerAt(int32_t x, int32_t y) const { return Game->Board[y][x].Owner; }

    void ExpectScores(int32_t red, int32_t blue) const {
        EXPECT_EQ(Game->Score[0], red);
        EXPECT_EQ(Game->Score[1], blue);
    }

    static void ExpectGroup(const TShownGroup& group, const TSquares& squares, TSprite* banner,
                            int32_t owner) {
        EXPECT_EQ(Squares(group), squares);
        EXPECT_EQ(group.Banner, banner);
        for (const TOwnedCard& card : group.Cards) EXPECT_EQ(card.Owner, owner);
    }
};

TEST_F(GameCaptures, BasicRuleNeedsAStrictlyHigherRankAgainstAnOpponent) {
    const int32_t attacker = AddCard({5, 5, 5, 5});
    const int32_t equal = AddCard({1, 1, 5, 1});    // bottom 5 faces the attacker's top
    const int32_t weakLeft = AddCard({1, 1, 1, 4}); // left 4 faces the attacker's right
    const int32_t ownWeak = AddCard({1, 1, 1, 1});
    const int32_t weakRight = AddCard({1, 4, 1, 1});
    Put(1, 0, equal, 1);
    Put(2, 1, weakLeft, 1);
    Put(1, 2, ownWeak, 0);
    Put(0, 1, weakRight, 1);

    const auto shown = Place(1, 1, attacker, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{2, 1}, {0, 1}}, nullptr, 0);
    EXPECT_EQ(shown[0].Cards[0].Card, weakLeft);
    EXPECT_EQ(shown[0].Cards[1].Card, weakRight);
    EXPECT_EQ(Game->Board[1][1], TOwnedCard(attacker, 0));
    EXPECT_EQ(OwnerAt(1, 0), 1);
    EXPECT_EQ(OwnerAt(2, 1), 0);
    EXPECT_EQ(OwnerAt(0, 1), 0);
    EXPECT_EQ(OwnerAt(1, 2), 0);
    EXPECT_EQ(Game->Board[1][0].Card, weakRight);
    ExpectScores(7, 3);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_EQ(Game->PendingGroups, 0);

    // One more than equal captures, and the mover's own cards are never taken.
    const int32_t strong = AddCard({9, 9, 9, 9});
    Put(0, 2, ownWeak, 1);
    const auto more = Place(0, 0, strong, 1);
    ASSERT_EQ(more.size(), 1u);
    // (1, 0) is blue already and stays as it is; red (0, 1) falls.
    ExpectGroup(more[0], TSquares{{0, 1}}, nullptr, 1);
    ExpectScores(6, 4);
}

TEST_F(GameCaptures, SameTakesOnlyOpponentCardsAndNeedsTwoEqualSides) {
    Game->Rules.Same = true;
    const int32_t mover = AddCard({3, 3, 3, 2});
    const int32_t top = AddCard({0, 0, 3, 0});   // bottom 3 = mover's top
    const int32_t right = AddCard({0, 0, 0, 3}); // left 3 = mover's right
    const int32_t left = AddCard({0, 1, 0, 0});  // taken by the basic rule

    // One of the equal sides is the mover's own card: only the other is taken,
    // under the Same banner, and the basic group follows.
    Put(1, 0, top, 0);
    Put(2, 1, right, 1);
    Put(0, 1, left, 1);
    auto shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 2u);
    ExpectGroup(shown[0], TSquares{{2, 1}}, Same(), 0);
    ExpectGroup(shown[1], TSquares{{0, 1}}, nullptr, 0);
    ExpectScores(7, 3);
    EXPECT_EQ(OwnerAt(1, 0), 0);

    // Both equal sides the mover's own: nothing.
    Reset();
    Game->Rules.Same = true;
    Put(1, 0, top, 0);
    Put(2, 1, right, 0);
    EXPECT_TRUE(Place(1, 1, mover, 0).empty());
    ExpectScores(5, 5);

    // A single equal side: nothing.
    Reset();
    Game->Rules.Same = true;
    Put(2, 1, right, 1);
    EXPECT_TRUE(Place(1, 1, mover, 0).empty());
    EXPECT_EQ(OwnerAt(2, 1), 1);

    // Rule off: two equal opponent sides take nothing, and equality never
    // captures under the basic rule.
    Reset();
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    EXPECT_TRUE(Place(1, 1, mover, 0).empty());
    ExpectScores(5, 5);
}

TEST_F(GameCaptures, SameWallCountsOnlyAnEffectiveTenAgainstTheEdge) {
    Game->Rules.SameWall = true; // Same itself stays off
    const int32_t ten = AddCard({10, 4, 0, 10});
    const int32_t facing = AddCard({0, 0, 0, 4}); // left 4 = the corner card's right
    Put(1, 0, facing, 1);
    auto shown = Place(0, 0, ten, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}}, Same(), 0);
    ExpectScores(6, 4);

    // A 10 on its own element square is an 11 and hits no wall; its right side
    // becomes 5 against 4 though, so only the basic rule takes the card.
    Reset();
    Game->Rules.SameWall = true;
    const int32_t earthTen = AddCard({10, 3, 0, 10}, 2);
    Game->Elements[0][0] = 2;
    Put(1, 0, facing, 1);
    EXPECT_EQ(Game->EffectiveRank(0, 0, TOwnedCard(earthTen, 0), 0), 11);
    shown = Place(0, 0, earthTen, 0);
    EXPECT_TRUE(shown.empty()); // right 3 + 1 = 4 equals 4: no basic capture, and no wall

    // A 9 on its own element square is a 10 against the wall.
    Reset();
    Game->Rules.SameWall = true;
    const int32_t earthNine = AddCard({9, 3, 0, 0}, 2);
    Game->Elements[0][0] = 2;
    Put(1, 0, facing, 1);
    shown = Place(0, 0, earthNine, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}}, Same(), 0);

    // Without Same Wall the same placement takes nothing, even with Same on.
    Reset();
    Game->Rules.Same = true;
    Put(1, 0, facing, 1);
    EXPECT_TRUE(Place(0, 0, ten, 0).empty());
}

TEST_F(GameCaptures, PlusMatchesEqualSumsAndListsEarlierSidesBeforeTheirMatch) {
    Game->Rules.Plus = true;
    // Sums: top 1+4, right 1+6, bottom 1+6, left 1+4.
    const int32_t mover = AddCard({1, 1, 1, 1});
    const int32_t top = AddCard({0, 0, 4, 0});
    const int32_t right = AddCard({0, 0, 0, 6});
    const int32_t bottom = AddCard({6, 0, 0, 0});
    const int32_t left = AddCard({0, 4, 0, 0});
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    Put(1, 2, bottom, 1);
    Put(0, 1, left, 1);
    auto shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{2, 1}, {1, 2}, {1, 0}, {0, 1}}, Plus(), 0);
    ExpectScores(9, 1);

    // Mixed owners: the mover's own card drops out, the opponent's is taken.
    Reset();
    Game->Rules.Plus = true;
    const int32_t mixed = AddCard({2, 3, 4, 0});
    const int32_t opponentTop = AddCard({0, 0, 6, 0}); // 2 + 6
    const int32_t ownRight = AddCard({0, 0, 0, 5});    // 3 + 5
    const int32_t weakBottom = AddCard({1, 0, 0, 0});  // 4 + 1, lost to the basic rule
    Put(1, 0, opponentTop, 1);
    Put(2, 1, ownRight, 0);
    Put(1, 2, weakBottom, 1);
    shown = Place(1, 1, mixed, 0);
    ASSERT_EQ(shown.size(), 2u);
    ExpectGroup(shown[0], TSquares{{1, 0}}, Plus(), 0);
    ExpectGroup(shown[1], TSquares{{1, 2}}, nullptr, 0);
    ExpectScores(7, 3);

    // Three equal sums, all opponents: all three are taken.
    Reset();
    Game->Rules.Plus = true;
    const int32_t three = AddCard({1, 2, 3, 4});
    Put(1, 0, AddCard({0, 0, 5, 0}), 1);
    Put(2, 1, AddCard({0, 0, 0, 4}), 1);
    Put(1, 2, AddCard({3, 0, 0, 0}), 1);
    shown = Place(1, 1, three, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {2, 1}, {1, 2}}, Plus(), 0);
    ExpectScores(8, 2);

    // Both neighbours of a matching pair the mover's own: nothing.
    Reset();
    Game->Rules.Plus = true;
    Put(1, 0, top, 0);
    Put(0, 1, left, 0);
    EXPECT_TRUE(Place(1, 1, mover, 0).empty());
}

TEST_F(GameCaptures, PlusHidesItsCardsFromTheBasicRuleOnlyWhenOn) {
    const int32_t mover = AddCard({5, 5, 1, 1});
    const int32_t top = AddCard({0, 0, 3, 0});   // 5 + 3
    const int32_t right = AddCard({0, 0, 0, 3}); // 5 + 3
    Game->Rules.Plus = true;
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    auto shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {2, 1}}, Plus(), 0);
    ExpectScores(7, 3);

    Reset();
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {2, 1}}, nullptr, 0);
    ExpectScores(7, 3);

    // A Plus pattern the basic rule cannot take: nothing at all with Plus off.
    Reset();
    const int32_t weak = AddCard({1, 1, 1, 1});
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    Put(1, 2, AddCard({7, 0, 0, 0}), 1); // 1 + 7 matches neither pair
    EXPECT_TRUE(Place(1, 1, weak, 0).empty());
    ExpectScores(5, 5);
}

TEST_F(GameCaptures, SameAndPlusOverOneNeighbourCountItOnceUnderSame) {
    Game->Rules.Same = true;
    Game->Rules.Plus = true;
    const int32_t mover = AddCard({4, 4, 2, 0});
    const int32_t top = AddCard({0, 0, 4, 0});    // equal, sum 8
    const int32_t right = AddCard({0, 0, 0, 4});  // equal, sum 8
    const int32_t bottom = AddCard({6, 0, 0, 0}); // sum 8
    Put(1, 0, top, 1);
    Put(2, 1, right, 1);
    Put(1, 2, bottom, 1);
    const auto shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 2u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {2, 1}}, Same(), 0);
    ExpectGroup(shown[1], TSquares{{1, 2}}, Plus(), 0);
    ExpectScores(8, 2);
    EXPECT_EQ(OwnerAt(1, 0), 0);
    EXPECT_EQ(OwnerAt(2, 1), 0);
    EXPECT_EQ(OwnerAt(1, 2), 0);
}

TEST_F(GameCaptures, CardsTakenBySameAttackAgainInComboSteps) {
    Game->Rules.Same = true;
    const int32_t mover = AddCard({3, 0, 3, 0});
    const int32_t top = AddCard({0, 0, 3, 9}); // left 9 beats the corner's right 1
    const int32_t bottom = AddCard({3, 0, 0, 0});
    const int32_t corner = AddCard({0, 1, 9, 0}); // bottom 9 beats the card below it
    const int32_t left = AddCard({1, 5, 0, 0});   // right 5: the mover's left 0 cannot take it
    Put(1, 0, top, 1);
    Put(1, 2, bottom, 1);
    Put(0, 0, corner, 1);
    Put(0, 1, left, 1);

    const auto shown = Place(1, 1, mover, 0);
    ASSERT_EQ(shown.size(), 3u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {1, 2}}, Same(), 0);
    ExpectGroup(shown[1], TSquares{{0, 0}}, Combo(), 0);
    ExpectGroup(shown[2], TSquares{{0, 1}}, Combo(), 0);
    // Same's cards lie in the placed card's column and turn over top to
    // bottom; the combo cards are judged against that column too.
    EXPECT_EQ(shown[0].Sideways, (std::vector<bool>{false, false}));
    EXPECT_EQ(shown[1].Sideways, (std::vector<bool>{true}));
    ExpectScores(9, 1);
    for (auto [x, y] : TSquares{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {1, 2}}) EXPECT_EQ(OwnerAt(x, y), 0);
    EXPECT_EQ(Game->Board[0][0].Card, corner);
}

TEST_F(GameCaptures, ElementSquaresRaiseOrLowerEveryRank) {
    Game->Elements[1][1] = 3;
    const int32_t fire = AddCard({4, 4, 4, 4}, 3);
    const int32_t water = AddCard({4, 4, 4, 4}, 5);
    const int32_t plain = AddCard({4, 4, 4, 4}, 0);
    for (int side = 0; side < 4; ++side) {
        EXPECT_EQ(Game->EffectiveRank(1, 1, TOwnedCard(fire, 0), side), 5);
        EXPECT_EQ(Game->EffectiveRank(1, 1, TOwnedCard(water, 0), side), 3);
        EXPECT_EQ(Game->EffectiveRank(1, 1, TOwnedCard(plain, 0), side), 3);
        EXPECT_EQ(Game->EffectiveRank(0, 0, TOwnedCard(plain, 0), side), 4);
    }

    // A matching card beats an equal neighbour on a plain square.
    Put(2, 1, plain, 1);
    auto shown = Place(1, 1, fire, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{2, 1}}, nullptr, 0);

    // A card of another element, or none, loses one and takes nothing.
    for (int32_t card : {water, plain}) {
        Reset();
        Game->Elements[1][1] = 3;
        Put(2, 1, AddCard({0, 0, 0, 3}), 1);
        EXPECT_TRUE(Place(1, 1, card, 0).empty());
    }

    // The defender's own square counts for the defender: raised it holds,
    // lowered it falls.
    Reset();
    Game->Elements[1][2] = 6;
    Put(2, 1, AddCard({0, 0, 0, 4}, 6), 1);
    Put(1, 2, AddCard({4, 0, 0, 0}, 2), 1);
    Game->Elements[2][1] = 6;
    shown = Place(1, 1, AddCard({4, 4, 4, 4}), 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 2}}, nullptr, 0);
    EXPECT_EQ(OwnerAt(2, 1), 1);
}

TEST_F(GameCaptures, RanksAtTheEndsOfTheIntegerRangeCompareExactly) {
    // INT32_MAX + 1 on its own element must still beat INT32_MAX.
    Game->Elements[1][1] = 1;
    const int32_t huge = AddCard({INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, 1);
    Put(2, 1, AddCard({0, 0, 0, INT32_MAX}), 1);
    EXPECT_EQ(Game->EffectiveRank(1, 1, TOwnedCard(huge, 0), 1), int64_t(INT32_MAX) + 1);
    auto shown = Place(1, 1, huge, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{2, 1}}, nullptr, 0);

    // INT32_MIN - 1 on a foreign element is lower still, not a wrapped maximum.
    Reset();
    Game->Elements[1][1] = 1;
    const int32_t tiny = AddCard({INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN}, 2);
    Put(2, 1, AddCard({0, 0, 0, 0}), 1);
    EXPECT_TRUE(Place(1, 1, tiny, 0).empty());

    // Sums 1 + INT32_MAX and INT32_MIN + 0 differ by 2^32: no Plus.
    Reset();
    Game->Rules.Plus = true;
    const int32_t mover = AddCard({1, INT32_MIN, 0, 0});
    Put(1, 0, AddCard({0, 0, INT32_MAX, 0}), 1);
    Put(2, 1, AddCard({0, 0, 0, 0}), 1);
    EXPECT_TRUE(Place(1, 1, mover, 0).empty());

    // Two maximal sums are equal and take both cards.
    Reset();
    Game->Rules.Plus = true;
    const int32_t maximal = AddCard({INT32_MAX, INT32_MAX, 0, 0});
    Put(1, 0, AddCard({0, 0, INT32_MAX, 0}), 1);
    Put(2, 1, AddCard({0, 0, 0, INT32_MAX}), 1);
    shown = Place(1, 1, maximal, 0);
    ASSERT_EQ(shown.size(), 1u);
    ExpectGroup(shown[0], TSquares{{1, 0}, {2, 1}}, Plus(), 0);
}

TEST_F(GameCaptures, DropOwnCardsKeepsOrderAndSkipsCardsAlreadyTaken) {
    const int32_t card = AddCard({1, 1, 1, 1});
    Put(0, 0, card, 1);
    Put(1, 0, card, 0);
    Put(2, 0, card, 1);
    Game->Board[0][2].Card = -1; // taken earlier in this placement
    Put(0, 1, card, 1);
    TCaptureGroup group;
    for (int32_t x : {0, 1, 2}) group.Append(x, 0, TOwnedCard(card, 0));
    group.Append(0, 1, TOwnedCard(card, 0));
    EXPECT_FALSE(group.Append(1, 1, TOwnedCard(card, 0)));
    Game->DropOwnCards(group);
    ASSERT_EQ(group.Count, 2);
    EXPECT_EQ(group.Xs[0], 0);
    EXPECT_EQ(group.Ys[0], 0);
    EXPECT_EQ(group.Xs[1], 0);
    EXPECT_EQ(group.Ys[1], 1);
}

} // namespace
