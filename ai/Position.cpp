#include "ai/Position.h"

#include "rules/Ranks.h"

#include <algorithm>

const std::array<uint8_t, 1024> TPosition::BitCounts = [] {
    std::array<uint8_t, 1024> counts{};
    for (size_t mask = 1; mask < counts.size(); ++mask)
        counts[mask] = uint8_t(counts[mask >> 1] + (mask & 1));
    return counts;
}();

TPosition::TPosition(const TPositionSetup& setup) : SetupCards(setup.Cards), Rules(setup.Rules) {
    ToMove = setup.Turn;
    // Deal ids: player 0's hand in slot order, player 1's, then the board in
    // reading order, so that a hand's slots follow from its mask.
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) {
            const int32_t index = setup.Hands[slot][player];
            if (!KnownCard(index) || CardCount >= MaxCards) continue;
            const int32_t id = CardCount++;
            SetupIndex[id] = index;
            Type[id] = uint8_t(id);
            for (int32_t twin = 0; twin < id; ++twin)
                if ((HandIds[player] >> twin & 1) &&
                    SetupCards[size_t(SetupIndex[twin])] == SetupCards[size_t(index)]) {
                    if (Type[id] == id) Type[id] = uint8_t(twin);
                    LowerTwins[id] |= uint16_t(1u << twin);
                    HasTwins = true;
                }
            HandIds[player] |= uint16_t(1u << id);
        }
    HandMask[0] = HandIds[0];
    HandMask[1] = HandIds[1];
    for (int32_t square = 0; square < 9; ++square) {
        const TPositionSetup::TSquare& at = setup.Board[square / 3][square % 3];
        if (!KnownCard(at.Card) || CardCount >= MaxCards) continue;
        const int32_t id = CardCount++;
        SetupIndex[id] = at.Card;
        Type[id] = uint8_t(id);
        Card[square] = int8_t(id);
        Occupied |= uint16_t(1u << square);
        if (at.Owner == 1) Owner1 |= uint16_t(1u << square);
        PackedKey += uint64_t(id + 1) << (4 * square);
    }
    PackedKey |= uint64_t(Owner1) << 36; // after nine four-bit card types

    // Every comparison below is the rules core's, worked out once per deal.
    int64_t effective[MaxCards][9][4];
    for (int32_t id = 0; id < CardCount; ++id)
        for (int32_t square = 0; square < 9; ++square)
            for (int32_t side = 0; side < 4; ++side)
                effective[id][square][side] = Ranks::EffectiveRank(
                    SetupCards[size_t(SetupIndex[id])], setup.Elements[square / 3][square % 3], side);

    // Plus compares sums; every sum this deal can make gets a small number.
    int64_t sum[MaxCards][9][4][MaxCards];
    std::vector<int64_t> sums;
    for (int32_t id = 0; id < CardCount; ++id)
        for (int32_t square = 0; square < 9; ++square) {
            TPlacement& at = Placements[id][square];
            const int32_t x = square % 3, y = square / 3;
            for (int32_t side = 0; side < 4; ++side) {
                const int32_t nx = x + Ranks::SideDx[side], ny = y + Ranks::SideDy[side];
                const int64_t mine = effective[id][square][side];
                if (!Ranks::OnBoard(nx, ny)) {
                    if (Ranks::WallCounts(mine, Rules)) at.Wall = true;
                    continue;
                }
                const int32_t neighbour = 3 * ny + nx, back = Ranks::FacingSide(side);
                const int32_t n = at.Count++;
                at.Around |= uint16_t(1u << neighbour);
                at.Square[n] = uint8_t(neighbour);
                at.Side[n] = uint8_t(side);
                for (int32_t other = 0; other < CardCount; ++other) {
                    const int64_t theirs = effective[other][neighbour][back];
                    if (Ranks::Beats(mine, theirs)) at.Beats[n] |= uint16_t(1u << other);
                    if (Ranks::Beats(theirs, mine)) at.BeatenBy[n] |= uint16_t(1u << other);
                    sum[id][square][n][other] = Ranks::PlusSum(mine, theirs);
                    sums.push_back(sum[id][square][n][other]);
                }
            }
        }
    std::sort(sums.begin(), sums.end());
    sums.erase(std::unique(sums.begin(), sums.end()), sums.end());
    for (int32_t id = 0; id < CardCount; ++id)
        for (int32_t square = 0; square < 9; ++square) {
            TPlacement& at = Placements[id][square];
            for (int32_t n = 0; n < at.Count; ++n)
                for (int32_t other = 0; other < CardCount; ++other) {
                    const int64_t rank =
                        std::lower_bound(sums.begin(), sums.end(), sum[id][square][n][other]) - sums.begin();
                    const int64_t mine = effective[id][square][at.Side[n]];
                    const int64_t theirs = effective[other][at.Square[n]][Ranks::FacingSide(at.Side[n])];
                    at.Versus[n][other] =
                        uint16_t(rank << 2 | Ranks::Equal(mine, theirs) << 1 | Ranks::Beats(mine, theirs));
                }
        }
}

int32_t TPosition::CardAt(int32_t x, int32_t y) const {
    const int32_t id = Card[3 * y + x];
    return id == NoCard ? -1 : SetupIndex[id];
}

int32_t TPosition::OwnerAt(int32_t x, int32_t y) const {
    const int32_t square = 3 * y + x;
    if (!(Occupied >> square & 1)) return -1;
    return Owner1 >> square & 1;
}

int32_t TPosition::SlotOf(int32_t id) const {
    const int32_t player = (HandIds[1] >> id) & 1;
    // The hand stays packed toward slot 4 in its dealt order.
    return 5 - Count(uint16_t(HandMask[player] >> id));
}

int32_t TPosition::IdInSlot(int32_t slot, int32_t player) const {
    if (slot < 0 || slot > 4 || (player != 0 && player != 1)) return -1;
    uint16_t hand = HandMask[player];
    int32_t skip = slot - (5 - Count(hand));
    if (skip < 0) return -1;
    while (skip-- > 0) hand &= uint16_t(hand - 1);
    return std::countr_zero(hand);
}

int32_t TPosition::HandCard(int32_t slot, int32_t player) const {
    const int32_t id = IdInSlot(slot, player);
    return id < 0 ? -1 : SetupIndex[id];
}

uint16_t TPosition::PlayableTwins(int32_t player) const {
    uint16_t playable = 0;
    for (uint16_t hand = HandMask[player]; hand; hand &= uint16_t(hand - 1)) {
        const int32_t id = std::countr_zero(hand);
        if (!(HandMask[player] & LowerTwins[id])) playable |= uint16_t(1u << id);
    }
    return playable;
}

std::vector<TPlacementMove> TPosition::LegalMoves() const {
    std::vector<TPlacementMove> moves;
    if (Over()) return moves;
    for (int32_t slot = 0; slot < 5; ++slot) {
        if (IdInSlot(slot, ToMove) < 0) continue;
        for (uint16_t empty = EmptyMask(); empty; empty &= uint16_t(empty - 1)) {
            const int32_t square = std::countr_zero(empty);
            moves.push_back({slot, square % 3, square / 3});
        }
    }
    return moves;
}

bool TPosition::IsLegal(const TPlacementMove& move) const {
    if (move.X < 0 || move.X > 2 || move.Y < 0 || move.Y > 2) return false;
    return IdInSlot(move.Slot, ToMove) >= 0 && (EmptyMask() >> (3 * move.Y + move.X) & 1);
}

TPosition::TUndo TPosition::Make(const TPlacementMove& move) {
    const int32_t id = IdInSlot(move.Slot, ToMove);
    const int32_t square = 3 * move.Y + move.X;
    const uint16_t flipped = Captures(id, square);
    Place(id, square, flipped);
    return {int8_t(id), int8_t(square), flipped};
}

void TPosition::Unmake(const TUndo& undo) {
    Remove(undo.Card, undo.Square, undo.Flipped);
}

uint16_t TPosition::ComboSquares(uint16_t sources, uint16_t taken, uint16_t opponent) const {
    while (sources) {
        const int32_t from = std::countr_zero(sources);
        sources &= uint16_t(sources - 1);
        const TPlacement& at = Placements[Card[from]][from];
        // Empty and off-board sides hold NoCard, which nothing beats.
        uint16_t beaten = 0;
        for (int32_t i = 0; i < 4; ++i)
            beaten |= uint16_t((at.Beats[i] >> Card[at.Square[i]] & 1) << at.Square[i]);
        beaten &= uint16_t(opponent & ~taken);
        taken |= beaten;
        sources |= beaten;
    }
    return taken;
}
