#include "GameFixture.h"

#include <climits>

namespace {

constexpr uint8_t Same = 1, Wall = 2, Plus = 4;

struct TPut {
    int32_t X, Y;
    std::array<int32_t, 4> Ranks;
    int32_t Element = 0;
    int32_t Owner = 1;
};

// Red places Mover on a board of Board cards. Shown lists the groups in the
// order they were turned over: S Same, P Plus, C Combo, B basic (no banner),
// each with its squares as column-row digits in list order.
struct TCaptureCase {
    const char* Name;
    uint8_t Rules;
    std::vector<TPut> Board;
    TPut Mover;
    const char* Shown;
    int32_t RedScore;
    std::vector<std::array<int32_t, 3>> Elements = {}; // column, row, element
};

// clang-format off
const TCaptureCase Cases[] = {
    {"basic: equal never, one more does, own never", 0,
     {{1, 0, {1, 1, 5, 1}}, {2, 1, {1, 1, 1, 4}}, {1, 2, {1, 1, 1, 1}, 0, 0}, {0, 1, {1, 4, 1, 1}}},
     {1, 1, {5, 5, 5, 5}}, "B:21,01", 7},
    {"same: own and opponent side, only the opponent's taken", Same,
     {{1, 0, {0, 0, 3, 0}, 0, 0}, {2, 1, {0, 0, 0, 3}}, {0, 1, {0, 1, 0, 0}}},
     {1, 1, {3, 3, 3, 2}}, "S:21 B:01", 7},
    {"same: both sides own", Same,
     {{1, 0, {0, 0, 3, 0}, 0, 0}, {2, 1, {0, 0, 0, 3}, 0, 0}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same: one side only", Same, {{2, 1, {0, 0, 0, 3}}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same off", 0, {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same wall: a 10 at the edge, Same itself off", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 4, 0, 10}}, "S:10", 6},
    {"same wall: a 10 on its element is 11", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 3, 0, 10}, 2}, "", 5, {{0, 0, 2}}},
    {"same wall: a 9 on its element is 10", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {9, 3, 0, 0}, 2}, "S:10", 6, {{0, 0, 2}}},
    {"same wall off", Same, {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 4, 0, 10}}, "", 5},
    {"plus: two pairs, earlier side just before its match", Plus,
     {{1, 0, {0, 0, 4, 0}}, {2, 1, {0, 0, 0, 6}}, {1, 2, {6, 0, 0, 0}}, {0, 1, {0, 4, 0, 0}}},
     {1, 1, {1, 1, 1, 1}}, "P:21,12,10,01", 9},
    {"plus: mixed owners", Plus,
     {{1, 0, {0, 0, 6, 0}}, {2, 1, {0, 0, 0, 5}, 0, 0}, {1, 2, {1, 0, 0, 0}}},
     {1, 1, {2, 3, 4, 0}}, "P:10 B:12", 7},
    {"plus: three equal sums", Plus,
     {{1, 0, {0, 0, 5, 0}}, {2, 1, {0, 0, 0, 4}}, {1, 2, {3, 0, 0, 0}}},
     {1, 1, {1, 2, 3, 4}}, "P:10,21,12", 8},
    {"plus: both own", Plus,
     {{1, 0, {0, 0, 4, 0}, 0, 0}, {0, 1, {0, 4, 0, 0}, 0, 0}}, {1, 1, {1, 1, 1, 1}}, "", 5},
    {"plus on hides its cards from basic", Plus,
     {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {5, 5, 1, 1}}, "P:10,21", 7},
    {"plus off hides nothing", 0,
     {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {5, 5, 1, 1}}, "B:10,21", 7},
    {"plus off takes nothing", 0, {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {1, 1, 1, 1}}, "", 5},
    {"same and plus over one card: counted once, under same", Same | Plus,
     {{1, 0, {0, 0, 4, 0}}, {2, 1, {0, 0, 0, 4}}, {1, 2, {6, 0, 0, 0}}},
     {1, 1, {4, 4, 2, 0}}, "S:10,21 P:12", 8},
    {"combo chain of two steps", Same,
     {{1, 0, {0, 0, 3, 9}}, {1, 2, {3, 0, 0, 0}}, {0, 0, {0, 1, 9, 0}}, {0, 1, {1, 5, 0, 0}}},
     {1, 1, {3, 0, 3, 0}}, "S:10,12 C:00 C:01", 9},
    {"element: +1 on its own element", 0,
     {{2, 1, {4, 4, 4, 4}}}, {1, 1, {4, 4, 4, 4}, 3}, "B:21", 6, {{1, 1, 3}}},
    {"element: -1 on another element", 0,
     {{2, 1, {0, 0, 0, 3}}}, {1, 1, {4, 4, 4, 4}, 5}, "", 5, {{1, 1, 3}}},
    {"element: -1 without an element", 0, {{2, 1, {0, 0, 0, 3}}}, {1, 1, {4, 4, 4, 4}}, "", 5, {{1, 1, 3}}},
    {"element: the defender's own square", 0, {{2, 1, {0, 0, 0, 4}, 6}, {1, 2, {4, 0, 0, 0}, 2}},
     {1, 1, {4, 4, 4, 4}}, "B:12", 6, {{2, 1, 6}, {1, 2, 6}}},
    {"INT32_MAX + 1 beats INT32_MAX", 0,
     {{2, 1, {0, 0, 0, INT32_MAX}}}, {1, 1, {0, INT32_MAX, 0, 0}, 1}, "B:21", 6, {{1, 1, 1}}},
    {"INT32_MIN - 1 is no wrapped maximum", 0,
     {{2, 1, {0, 0, 0, 0}}}, {1, 1, {0, INT32_MIN, 0, 0}, 2}, "", 5, {{1, 1, 1}}},
    {"plus sums 2^31 and -2^31 differ", Plus,
     {{1, 0, {0, 0, INT32_MAX, 0}}, {2, 1, {0, 0, 0, 0}}}, {1, 1, {1, INT32_MIN, 0, 0}}, "", 5},
    {"plus sums of maximal ranks", Plus, {{1, 0, {0, 0, INT32_MAX, 0}}, {2, 1, {0, 0, 0, INT32_MAX}}},
     {1, 1, {INT32_MAX, INT32_MAX, 0, 0}}, "P:10,21", 7},
};
// clang-format on

class GameCaptures : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        Game->Sprites->SameText = std::make_unique<TSprite>();
        Game->Sprites->PlusText = std::make_unique<TSprite>();
        Game->Sprites->ComboText = std::make_unique<TSprite>();
    }

    std::string Describe(const std::vector<TShownGroup>& shown) const {
        std::string text;
        for (const TShownGroup& group : shown) {
            const TGameSprites& s = *Game->Sprites;
            text += text.empty() ? "" : " ";
            text += group.Banner == s.SameText.get()    ? "S:"
                    : group.Banner == s.PlusText.get()  ? "P:"
                    : group.Banner == s.ComboText.get() ? "C:"
                    : group.Banner == nullptr           ? "B:"
                                                        : "?:";
            for (size_t i = 0; i < group.Xs.size(); ++i)
                text += (i ? "," : "") + std::to_string(group.Xs[i]) + std::to_string(group.Ys[i]);
        }
        return text;
    }
};

TEST_F(GameCaptures, EveryRuleTakesItsGroupsInOrder) {
    for (const TCaptureCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        Game->Cards->NumCards = 0;
        Game->Rules = TGameRules{};
        Game->Rules.Same = c.Rules & Same;
        Game->Rules.SameWall = c.Rules & Wall;
        Game->Rules.Plus = c.Rules & Plus;
        Game->Score[0] = Game->Score[1] = 5;
        for (auto& row : Game->Board)
            for (TOwnedCard& square : row) square = TOwnedCard();
        for (auto& row : Game->Elements)
            for (int32_t& element : row) element = 0;
        for (auto [x, y, element] : c.Elements) Game->Elements[y][x] = element;
        std::vector<int32_t> cards;
        for (const TPut& put : c.Board) {
            cards.push_back(AddCard(put.Ranks, put.Element));
            Put(put.X, put.Y, cards.back(), put.Owner);
        }
        const int32_t mover = AddCard(c.Mover.Ranks, c.Mover.Element);

        const auto shown = Place(c.Mover.X, c.Mover.Y, mover, 0);
        EXPECT_EQ(Describe(shown), c.Shown);
        EXPECT_EQ(Game->Score[0], c.RedScore);
        EXPECT_EQ(Game->Score[1], 10 - c.RedScore);
        EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
        EXPECT_EQ(Game->Board[c.Mover.Y][c.Mover.X], TOwnedCard(mover, 0));
        // Every card listed turned red; every other card kept its owner.
        for (size_t i = 0; i < c.Board.size(); ++i) {
            const TPut& put = c.Board[i];
            bool taken = false;
            for (const TShownGroup& group : shown)
                for (size_t k = 0; k < group.Xs.size(); ++k)
                    if (group.Xs[k] == put.X && group.Ys[k] == put.Y) {
                        EXPECT_EQ(group.Cards[k], TOwnedCard(cards[i], 0));
                        taken = true;
                    }
            EXPECT_EQ(Game->Board[put.Y][put.X], TOwnedCard(cards[i], taken ? 0 : put.Owner))
                << put.X << put.Y;
        }
    }
}

} // namespace
