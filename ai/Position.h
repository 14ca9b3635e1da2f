#pragma once

#include "ai/PositionSetup.h"
#include "rules/PlacementMove.h"
#include "rules/Ranks.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// A match position for searching: the board as bit masks over the nine squares
// (bit 3 * Y + X), the hands as bit masks over the ten cards of the deal, and
// per deal every comparison a placement can make, worked out once, so that a
// placement costs a handful of mask operations. Copyable; Make and Unmake
// walk the tree without copying.
//
// The comparisons come from the rules core (rules/Ranks.h), which also decides
// whether equal sides make a Same capture. What a placement captures here
// agrees exactly with the core: the Same, Same
// Wall, Plus and basic groups of the placed card, then the Combo chain of the
// cards Same and Plus took. Since a card only ever changes hands to the mover
// during a placement and the ranks on each square never change, the order in
// which TGame shows the groups and their combos does not change which cards
// end up flipped: the chain reaches every opponent card that a flipped Same,
// Plus or Combo card beats, except those the basic group took (they flip but
// never attack).
class TPosition {
public:
    // Bit counts of the masks used here (up to ten bits), by table: the
    // baseline x86-64 target has no population count instruction.
    static int32_t Count(uint16_t mask) { return BitCounts[mask & 1023]; }

    static constexpr int32_t MaxCards = 10;
    static constexpr uint16_t AllSquares = 0x1FF;

    struct TUndo {
        int8_t Card = -1;
        int8_t Square = -1;
        uint16_t Flipped = 0;
    };

    TPosition() = default;
    explicit TPosition(const TPositionSetup& setup);

    // The position as a player sees it; cards are the setup's indices.
    int32_t Turn() const { return ToMove; }
    int32_t EmptySquares() const { return 9 - Count(Occupied); }
    bool Over() const { return Occupied == AllSquares || HandMask[ToMove] == 0; }
    // Cards the player owns: on the board and in hand.
    int32_t Owned(int32_t player) const {
        const uint16_t mine = player == 1 ? Owner1 : uint16_t(~Owner1);
        return Count(uint16_t(Occupied & mine)) + Count(HandMask[player]);
    }
    int32_t CardAt(int32_t x, int32_t y) const;
    int32_t OwnerAt(int32_t x, int32_t y) const;
    int32_t HandCard(int32_t slot, int32_t player) const;
    const TCardValues& CardInfo(int32_t setupIndex) const { return SetupCards[setupIndex]; }

    // Every hand slot holding a card, on every empty square.
    std::vector<TPlacementMove> LegalMoves() const;
    bool IsLegal(const TPlacementMove& move) const;
    TUndo Make(const TPlacementMove& move);
    void Unmake(const TUndo& undo);

    // The search's view: cards are deal ids 0..9.
    uint16_t Hand(int32_t player) const { return HandMask[player]; }
    // The hand without later copies of a card already in it.
    uint16_t Playable(int32_t player) const { return HasTwins ? PlayableTwins(player) : HandMask[player]; }
    uint16_t EmptyMask() const { return uint16_t(~Occupied & AllSquares); }
    // Squares the player to move would take by putting card `id` on `square`.
    inline uint16_t Captures(int32_t id, int32_t square) const;
    inline void Place(int32_t id, int32_t square, uint16_t flipped);
    // How promising a placement looks before searching it: cards taken first,
    // then sides left open to the opponent.
    int32_t MoveOrder(int32_t id, int32_t square, uint16_t flipped) const {
        const TPlacement& at = Placements[id][square];
        int32_t open = 0;
        for (int32_t i = 0; i < at.Count; ++i)
            open += !(Occupied >> at.Square[i] & 1) && (at.BeatenBy[i] & HandMask[ToMove ^ 1]);
        return 4 * Count(flipped) - open;
    }
    inline void Remove(int32_t id, int32_t square, uint16_t flipped);
    // Identifies the position among all positions reachable from one root
    // (the hands follow from the board there); equal copies of a card count
    // as one card.
    uint64_t Key() const { return PackedKey; }
    int32_t SlotOf(int32_t id) const;
    int32_t IdInSlot(int32_t slot, int32_t player) const;
    // The copy of this card that the search plays: the first equal card in hand.
    int32_t Representative(int32_t id) const {
        const uint16_t twins = HandMask[(HandIds[1] >> id) & 1] & LowerTwins[id];
        return twins ? std::countr_zero(twins) : id;
    }

private:
    // One placed card's neighbours and how it compares with each possible
    // neighbouring card.
    struct TPlacement {
        uint8_t Count = 0;
        // Past Count, the always empty square 9, so that a combo reads all
        // four sides without branching.
        uint8_t Square[4]{9, 9, 9, 9};
        uint8_t Side[4]{};
        uint16_t Beats[4]{};    // ids this card beats across that side
        uint16_t BeatenBy[4]{}; // ids that would beat it from that side
        // Per neighbouring id: bit 0 beats it, bit 1 equals it, above that
        // the Plus sum of the two sides, numbered per deal.
        uint16_t Versus[4][MaxCards]{};
        uint16_t Around = 0; // the neighbouring squares
        bool Wall = false;   // Same Wall: a side on the board's edge is exactly 10
    };

    static const std::array<uint8_t, 1024> BitCounts;

    bool KnownCard(int32_t index) const { return index >= 0 && std::size_t(index) < SetupCards.size(); }
    uint16_t PlayableTwins(int32_t player) const;
    uint16_t ComboSquares(uint16_t sources, uint16_t taken, uint16_t opponent) const;

    std::vector<TCardValues> SetupCards;
    TGameRules Rules;
    int32_t CardCount = 0;
    // Indices into SetupCards, as many as the setup holds.
    int32_t SetupIndex[MaxCards]{};
    uint8_t Type[MaxCards]{};
    uint16_t LowerTwins[MaxCards]{};
    bool HasTwins = false;
    uint16_t HandIds[2]{};
    std::array<std::array<TPlacement, 9>, MaxCards> Placements{};

    static constexpr int8_t NoCard = MaxCards;
    // Square 9 is off the board and always empty.
    int8_t Card[10]{NoCard, NoCard, NoCard, NoCard, NoCard, NoCard, NoCard, NoCard, NoCard, NoCard};
    uint16_t Occupied = 0;
    uint16_t Owner1 = 0; // squares owned by player 1
    uint16_t HandMask[2]{};
    int32_t ToMove = 0;
    uint64_t PackedKey = 0;
};

uint16_t TPosition::Captures(int32_t id, int32_t square) const {
    const TPlacement& at = Placements[id][square];
    const uint16_t opponentCards = Occupied & (ToMove == 1 ? uint16_t(~Owner1) : Owner1);
    const uint16_t opponent = opponentCards & at.Around;
    // Every rule takes only opponent cards, and combos start from those.
    if (!opponent) return 0;
    const uint16_t around = Occupied & at.Around;
    uint16_t beaten = 0, equal = 0, plus = 0;
    uint16_t sums[4];
    uint8_t seen[4];
    int32_t beside = 0;
    for (int32_t i = 0; i < at.Count; ++i) {
        const int32_t neighbour = at.Square[i];
        if (!(around >> neighbour & 1)) continue;
        const uint32_t versus = at.Versus[i][Card[neighbour]];
        beaten |= uint16_t((versus & 1) << neighbour);
        equal |= uint16_t((versus >> 1 & 1) << neighbour);
        // Plus: any two sides with the same sum.
        const uint16_t sum = uint16_t(versus >> 2);
        for (int32_t k = 0; k < beside; ++k)
            if (sums[k] == sum) plus |= uint16_t((1u << seen[k]) | (1u << neighbour));
        sums[beside] = sum;
        seen[beside++] = uint8_t(neighbour);
    }

    uint16_t chained = 0;
    if (Ranks::SameTakes(Count(equal), (equal & opponent) != 0, at.Wall, Rules)) chained = equal & opponent;
    if (Rules.Plus) chained |= plus & opponent;
    const uint16_t taken = chained | (beaten & opponent);
    return chained ? ComboSquares(chained, taken, opponentCards) : taken;
}

void TPosition::Place(int32_t id, int32_t square, uint16_t flipped) {
    const uint16_t bit = uint16_t(1u << square);
    HandMask[ToMove] &= uint16_t(~(1u << id));
    Card[square] = int8_t(id);
    Occupied |= bit;
    const uint16_t owners = uint16_t((ToMove == 1 ? bit : 0) ^ flipped);
    Owner1 ^= owners;
    PackedKey += uint64_t(Type[id] + 1) << (4 * square);
    PackedKey ^= uint64_t(owners) << 36;
    ToMove ^= 1;
}

void TPosition::Remove(int32_t id, int32_t square, uint16_t flipped) {
    ToMove ^= 1;
    const uint16_t bit = uint16_t(1u << square);
    const uint16_t owners = uint16_t((ToMove == 1 ? bit : 0) ^ flipped);
    Owner1 ^= owners;
    PackedKey ^= uint64_t(owners) << 36;
    PackedKey -= uint64_t(Type[id] + 1) << (4 * square);
    Occupied &= uint16_t(~bit);
    Card[square] = NoCard;
    HandMask[ToMove] |= uint16_t(1u << id);
}
