#include "net/TableCheck.h"

#include "net/MessageCodec.h"

namespace TableCheck {
namespace {

class TFnv1a {
public:
    void Add(int64_t value) {
        // Every field as eight little-endian bytes, so both ends hash the same
        // bytes whatever their integer widths.
        for (int i = 0; i < 8; ++i) {
            Hash ^= uint32_t(uint64_t(value) >> (8 * i)) & 0xFFu;
            Hash *= 16777619u;
        }
    }
    uint32_t Hash = 2166136261u;
};

} // namespace

QString MoveProblem(const TTableState& table, int32_t player, int32_t slot, int32_t x, int32_t y) {
    if (!table.InProgress) return QStringLiteral("no match is in progress");
    if (!table.Idle) return QStringLiteral("the table is still moving");
    if (player != 0 && player != 1) return QStringLiteral("there is no player %1").arg(player);
    if (table.Turn != player) return QStringLiteral("it is not that player's turn");
    if (slot < 0 || slot > 4) return QStringLiteral("hand slot %1 does not exist").arg(slot);
    if (table.Hands[slot][player] == -1) return QStringLiteral("hand slot %1 is empty").arg(slot);
    if (x < 0 || x > 2 || y < 0 || y > 2)
        return QStringLiteral("square (%1, %2) is off the board").arg(x).arg(y);
    if (table.Board[y][x].Card != -1) return QStringLiteral("square (%1, %2) is taken").arg(x).arg(y);
    return {};
}

QString DealProblem(const TNetMessage& deal) {
    if (deal.Kind != TNetMessage::TKind::Deal) return QStringLiteral("not a deal");
    if (deal.DealId < 1 || deal.DealId > MessageCodec::MaxDealId)
        return QStringLiteral("deal number out of range");
    if (deal.Seed < 0 || deal.Seed > MessageCodec::MaxSeed) return QStringLiteral("seed out of range");
    return {};
}

uint32_t Digest(const TTableState& table) {
    TFnv1a fnv;
    fnv.Add(table.InProgress);
    fnv.Add(table.Turn);
    fnv.Add(table.Score[0]);
    fnv.Add(table.Score[1]);
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            // An emptied square keeps the owner of the card it last held;
            // only the owner of a card on the board counts.
            const TOwnedCard& square = table.Board[row][column];
            fnv.Add(square.Card);
            fnv.Add(square.Card == -1 ? -1 : square.Owner);
            fnv.Add(table.Elements[row][column]);
        }
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) fnv.Add(table.Hands[slot][player]);
    return fnv.Hash;
}

} // namespace TableCheck
