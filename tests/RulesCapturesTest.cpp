// Every capture rule forced on purpose, through the three that apply it: the
// rules core with nothing shown, the solver's precomputed position and the
// animated table. Each case that depends on a rule must change when that rule
// is switched off, so a case that silently stopped firing fails.
#include "GameFixture.h"
#include "ai/GamePosition.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr uint8_t Same = 1, Wall = 2, Plus = 4, Elemental = 8;

struct TPut {
    int32_t X, Y;
    std::array<int32_t, 4> Ranks;
    int32_t Element = 0;
    int32_t Owner = 1;
};

// Red places Mover on a board of Board cards. Shown lists the groups in the
// order they were turned over: S Same, P Plus, C Combo, B basic (no banner),
// each with its squares as column-row digits in list order. Fires names the
// rules the outcome depends on; ElementStep is what the square's element does
// to the mover's ranks.
struct TCaptureCase {
    const char* Name;
    uint8_t Rules;
    std::vector<TPut> Board;
    TPut Mover;
    const char* Shown;
    int32_t RedScore;
    std::vector<std::array<int32_t, 3>> Elements = {}; // column, row, element
    uint8_t Fires = 0;
    int32_t ElementStep = 0;
};

// clang-format off
const TCaptureCase Cases[] = {
    {"basic: equal never, one more does, own never", 0,
     {{1, 0, {1, 1, 5, 1}}, {2, 1, {1, 1, 1, 4}}, {1, 2, {1, 1, 1, 1}, 0, 0}, {0, 1, {1, 4, 1, 1}}},
     {1, 1, {5, 5, 5, 5}}, "B:21,01", 7},
    {"same: own and opponent side, only the opponent's taken", Same,
     {{1, 0, {0, 0, 3, 0}, 0, 0}, {2, 1, {0, 0, 0, 3}}, {0, 1, {0, 1, 0, 0}}},
     {1, 1, {3, 3, 3, 2}}, "S:21 B:01", 7, {}, Same},
    {"same: both equal sides own", Same | Wall,
     {{1, 0, {0, 0, 3, 0}, 0, 0}, {2, 1, {0, 0, 0, 3}, 0, 0}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same: both equal sides own, an opponent beside neither equal nor lower", Same | Wall,
     {{1, 0, {0, 0, 3, 0}, 0, 0}, {2, 1, {0, 0, 0, 3}, 0, 0}, {1, 2, {5, 0, 0, 0}}, {0, 1, {0, 4, 0, 0}}},
     {1, 1, {3, 3, 3, 3}}, "", 5},
    {"same: both equal sides own, a lower opponent is basic's and starts no combo", Same | Wall,
     {{1, 0, {0, 0, 3, 9}, 0, 0}, {2, 1, {0, 0, 0, 3}, 0, 0}, {0, 1, {9, 2, 0, 0}}, {0, 0, {0, 0, 1, 0}}},
     {1, 1, {3, 3, 3, 3}}, "B:01", 6},
    {"same wall: one own equal side with the wall takes nothing", Same | Wall,
     {{1, 0, {0, 9, 0, 4}, 0, 0}, {2, 0, {0, 0, 0, 1}}, {0, 1, {1, 0, 0, 0}}}, {0, 0, {10, 4, 0, 10}}, "", 5},
    {"same: one side only", Same, {{2, 1, {0, 0, 0, 3}}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same off", 0, {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {3, 3, 3, 2}}, "", 5},
    {"same wall: a 10 at the edge, Same itself off", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 4, 0, 10}}, "S:10", 6, {}, Wall},
    {"same wall: a 10 on its element is 11", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 3, 0, 10}, 2}, "", 5, {{0, 0, 2}}, 0, 1},
    {"same wall: a 9 on its element is 10", Wall,
     {{1, 0, {0, 0, 0, 4}}}, {0, 0, {9, 3, 0, 0}, 2}, "S:10", 6, {{0, 0, 2}}, Wall | Elemental, 1},
    {"same wall off", Same, {{1, 0, {0, 0, 0, 4}}}, {0, 0, {10, 4, 0, 10}}, "", 5},
    {"plus: two pairs, earlier side just before its match", Plus,
     {{1, 0, {0, 0, 4, 0}}, {2, 1, {0, 0, 0, 6}}, {1, 2, {6, 0, 0, 0}}, {0, 1, {0, 4, 0, 0}}},
     {1, 1, {1, 1, 1, 1}}, "P:21,12,10,01", 9, {}, Plus},
    {"plus: mixed owners", Plus,
     {{1, 0, {0, 0, 6, 0}}, {2, 1, {0, 0, 0, 5}, 0, 0}, {1, 2, {1, 0, 0, 0}}},
     {1, 1, {2, 3, 4, 0}}, "P:10 B:12", 7, {}, Plus},
    {"plus: three equal sums", Plus,
     {{1, 0, {0, 0, 5, 0}}, {2, 1, {0, 0, 0, 4}}, {1, 2, {3, 0, 0, 0}}},
     {1, 1, {1, 2, 3, 4}}, "P:10,21,12", 8, {}, Plus},
    {"plus: both own", Plus,
     {{1, 0, {0, 0, 4, 0}, 0, 0}, {0, 1, {0, 4, 0, 0}, 0, 0}}, {1, 1, {1, 1, 1, 1}}, "", 5},
    {"plus on hides its cards from basic", Plus,
     {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {5, 5, 1, 1}}, "P:10,21", 7, {}, Plus},
    {"plus off hides nothing", 0,
     {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {5, 5, 1, 1}}, "B:10,21", 7},
    {"plus off takes nothing", 0, {{1, 0, {0, 0, 3, 0}}, {2, 1, {0, 0, 0, 3}}}, {1, 1, {1, 1, 1, 1}}, "", 5},
    {"same and plus over one card: counted once, under same", Same | Plus,
     {{1, 0, {0, 0, 4, 0}}, {2, 1, {0, 0, 0, 4}}, {1, 2, {6, 0, 0, 0}}},
     {1, 1, {4, 4, 2, 0}}, "S:10,21 P:12", 8, {}, Same | Plus},
    {"combo chain of two steps", Same,
     {{1, 0, {0, 0, 3, 9}}, {1, 2, {3, 0, 0, 0}}, {0, 0, {0, 1, 9, 0}}, {0, 1, {1, 5, 0, 0}}},
     {1, 1, {3, 0, 3, 0}}, "S:10,12 C:00 C:01", 9, {}, Same},
    {"combo chain of three steps", Same,
     {{2, 0, {0, 0, 0, 3}}, {1, 1, {3, 0, 9, 0}}, {1, 2, {1, 0, 0, 9}}, {0, 2, {9, 1, 0, 0}}, {0, 1, {0, 0, 1, 0}}},
     {1, 0, {0, 3, 3, 0}}, "S:20,11 C:12 C:02 C:01", 10, {}, Same},
    {"combo after plus", Plus,
     {{1, 0, {0, 0, 4, 0}}, {2, 1, {9, 0, 0, 4}}, {2, 0, {0, 0, 1, 0}}},
     {1, 1, {1, 1, 1, 1}}, "P:10,21 C:20", 8, {}, Plus},
    {"element: +1 on its own element", 0,
     {{2, 1, {4, 4, 4, 4}}}, {1, 1, {4, 4, 4, 4}, 3}, "B:21", 6, {{1, 1, 3}}, Elemental, 1},
    {"element: -1 on another element", 0,
     {{2, 1, {0, 0, 0, 3}}}, {1, 1, {4, 4, 4, 4}, 5}, "", 5, {{1, 1, 3}}, Elemental, -1},
    {"element: -1 without an element", 0, {{2, 1, {0, 0, 0, 3}}}, {1, 1, {4, 4, 4, 4}}, "", 5, {{1, 1, 3}}, Elemental, -1},
    {"element: the defender's own square", 0, {{2, 1, {0, 0, 0, 4}, 6}, {1, 2, {4, 0, 0, 0}, 2}},
     {1, 1, {4, 4, 4, 4}}, "B:12", 6, {{2, 1, 6}, {1, 2, 6}}, Elemental},
    {"element: same by equal ranks only after the bonus", Same,
     {{1, 0, {0, 0, 5, 0}}, {2, 1, {0, 0, 0, 5}}}, {1, 1, {4, 4, 0, 0}, 7}, "S:10,21", 7, {{1, 1, 7}}, Same | Elemental, 1},
    {"INT32_MAX + 1 beats INT32_MAX", 0,
     {{2, 1, {0, 0, 0, INT32_MAX}}}, {1, 1, {0, INT32_MAX, 0, 0}, 1}, "B:21", 6, {{1, 1, 1}}, Elemental, 1},
    {"INT32_MIN - 1 is no wrapped maximum", 0,
     {{2, 1, {0, 0, 0, 0}}}, {1, 1, {0, INT32_MIN, 0, 0}, 2}, "", 5, {{1, 1, 1}}},
    {"plus sums 2^31 and -2^31 differ", Plus,
     {{1, 0, {0, 0, INT32_MAX, 0}}, {2, 1, {0, 0, 0, 0}}}, {1, 1, {1, INT32_MIN, 0, 0}}, "", 5},
    {"plus sums of maximal ranks", Plus, {{1, 0, {0, 0, INT32_MAX, 0}}, {2, 1, {0, 0, 0, INT32_MAX}}},
     {1, 1, {INT32_MAX, INT32_MAX, 0, 0}}, "P:10,21", 7, {}, Plus},
};
// clang-format on

std::string Squares(const int32_t* xs, const int32_t* ys, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(xs[i]) + std::to_string(ys[i]);
    return text;
}

std::string DescribeReport(const std::vector<TShownCaptures>& shown) {
    std::string text;
    for (const TShownCaptures& captures : shown) {
        text += text.empty() ? "" : " ";
        text += captures.Kind == TMatch::GroupSame    ? "S:"
                : captures.Kind == TMatch::GroupPlus  ? "P:"
                : captures.Kind == TMatch::GroupCombo ? "C:"
                                                      : "B:";
        text += Squares(captures.Group.Xs, captures.Group.Ys, size_t(captures.Group.Count));
    }
    return text;
}

class RulesCaptures : public TGameFixture {
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
            text += Squares(group.Xs.data(), group.Ys.data(), group.Xs.size());
        }
        return text;
    }

    // Lays out the case on the table, under `rules` and with or without its element squares.
    void SetTable(const TCaptureCase& c, uint8_t rules, bool elements) {
        Game->Cards->NumCards = 0;
        TMatch& match = Game->Arrange();
        match.Rules = TGameRules{};
        match.Rules.Same = rules & Same;
        match.Rules.SameWall = rules & Wall;
        match.Rules.Plus = rules & Plus;
        match.Score[0] = match.Score[1] = 5;
        match.PendingGroups = 0;
        match.Resume();
        for (auto& row : match.Board)
            for (TOwnedCard& square : row) square = TOwnedCard();
        for (auto& row : match.Elements)
            for (int32_t& element : row) element = 0;
        if (elements)
            for (auto [x, y, element] : c.Elements) match.Elements[y][x] = element;
        for (auto& slot : match.Hands) slot[0] = slot[1] = -1;
        for (const TPut& put : c.Board) Put(put.X, put.Y, AddCard(put.Ranks, put.Element), put.Owner);
        match.Hands[4][0] = AddCard(c.Mover.Ranks, c.Mover.Element);
        match.Turn = 0;
    }

    // The core alone: the case's placement with nothing shown.
    std::string CoreShows(const TCaptureCase& c, uint8_t rules, bool elements, TMatch* after = nullptr) {
        SetTable(c, rules, elements);
        TMatch core = Game->Match();
        const std::string shown = DescribeReport(core.PlayMove({4, c.Mover.X, c.Mover.Y}, 0));
        if (after) *after = core;
        return shown;
    }
};

TEST_F(RulesCaptures, EveryRuleFiresInTheCoreThePositionAndOnTheTable) {
    uint8_t proven = 0;
    int32_t longestChain = 0;
    bool elementUp = false, elementDown = false;
    for (const TCaptureCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        TMatch core;
        EXPECT_EQ(CoreShows(c, c.Rules, true, &core), c.Shown);
        EXPECT_EQ(core.Score[0], c.RedScore);
        EXPECT_EQ(core.Score[0] + core.Score[1], 10);
        EXPECT_EQ(core.Turn, 1);
        EXPECT_EQ(core.Board[c.Mover.Y][c.Mover.X].Owner, 0);

        // Each rule the case depends on changes the outcome when it is off.
        for (uint8_t rule : {Same, Wall, Plus, Elemental}) {
            if (!(c.Fires & rule)) continue;
            const bool elements = rule != Elemental;
            EXPECT_NE(CoreShows(c, uint8_t(c.Rules & ~rule), elements), c.Shown) << "rule " << int(rule);
            proven |= rule;
        }
        int32_t chain = 0;
        for (const char* at = c.Shown; (at = std::strstr(at, "C:")); ++at) ++chain;
        longestChain = std::max(longestChain, chain);

        // The solver's position takes the same cards.
        SetTable(c, c.Rules, true);
        if (c.ElementStep != 0) {
            const TOwnedCard mover(Game->Hands[4][0], 0);
            const int32_t side = c.Mover.Ranks[0] != 0 ? 0 : 1;
            EXPECT_EQ(Game->EffectiveRank(c.Mover.X, c.Mover.Y, mover, side),
                      int64_t(c.Mover.Ranks[size_t(side)]) + c.ElementStep);
            (c.ElementStep > 0 ? elementUp : elementDown) = true;
        }
        TPosition position = PositionFromGame(Game->Match());
        position.Make({4, c.Mover.X, c.Mover.Y});
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x)
                if (core.Board[y][x].Card >= 0) {
                    EXPECT_EQ(position.OwnerAt(x, y), core.Board[y][x].Owner) << x << y;
                }

        // The table shows the core's groups, one after another, and ends as it does.
        const int32_t mover = Game->Hands[4][0];
        Game->Arrange().Hands[4][0] = -1;
        const auto shown = Place(c.Mover.X, c.Mover.Y, mover, 0);
        EXPECT_EQ(Describe(shown), c.Shown);
        EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(Game->Board[y][x], core.Board[y][x]) << x << y;
        EXPECT_EQ(Game->Score[0], c.RedScore);
    }
    EXPECT_EQ(proven, Same | Wall | Plus | Elemental);
    EXPECT_GE(longestChain, 3);
    EXPECT_TRUE(elementUp && elementDown);
}

} // namespace
