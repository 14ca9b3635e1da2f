#pragma once

#include "rules/CardValues.h"
#include "rules/GameRules.h"

#include <cstdint>

// Every comparison of ranks the rules make, in one place: the match, the
// solver's precomputed tables and anything else that judges a placement call
// these. Ranks are compared in 64 bits, so that a rank at the end of the
// 32-bit range with its element bonus, or the sum of two such ranks, still
// compares exactly.
namespace Ranks {

// The neighbour across each side: 0 top, 1 right, 2 bottom, 3 left; the
// neighbour's side that faces back is (side + 2) % 4.
inline constexpr int32_t SideDx[4] = {0, 1, 0, -1};
inline constexpr int32_t SideDy[4] = {-1, 0, 1, 0};

constexpr bool OnBoard(int32_t x, int32_t y) {
    return x >= 0 && x < 3 && y >= 0 && y < 3;
}

constexpr int32_t FacingSide(int32_t side) {
    return (side + 2) % 4;
}

// What a square's element (0 a plain square) does to every rank of a card
// with `cardElement`: one more on its own element, one less on any other,
// a card without an element included.
constexpr int32_t ElementStep(int32_t cardElement, int32_t squareElement) {
    if (squareElement == 0) return 0;
    return squareElement == cardElement ? 1 : -1;
}

// A card's rank on one side as it stands on a square of the given element.
constexpr int64_t EffectiveRank(const TCardValues& card, int32_t squareElement, int32_t side) {
    return int64_t(card.Ranks[side]) + ElementStep(card.Element, squareElement);
}

// The basic rule: a strictly higher facing rank takes the card.
constexpr bool Beats(int64_t mine, int64_t theirs) {
    return mine > theirs;
}

// Same counts equal facing ranks.
constexpr bool Equal(int64_t mine, int64_t theirs) {
    return mine == theirs;
}

// Plus compares the sums of facing ranks.
constexpr int64_t PlusSum(int64_t mine, int64_t theirs) {
    return mine + theirs;
}

// Same Wall: a side facing the board's edge counts as an equal side when its
// effective rank is exactly 10.
constexpr bool WallCounts(int64_t mine, const TGameRules& rules) {
    return rules.SameWall && mine == 10;
}

// Whether the equal sides of one placement make a Same capture: an opponent
// card among them, and a second equal side or the wall; with the Same rule
// off only the wall makes it count.
constexpr bool SameTakes(int32_t equalSides, bool opponentAmongEqual, bool wallHit, const TGameRules& rules) {
    return opponentAmongEqual && (equalSides >= 2 || wallHit) && (rules.Same || wallHit);
}

} // namespace Ranks
