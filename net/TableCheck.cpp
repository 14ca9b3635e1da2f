#include "net/TableCheck.h"

#include "net/MessageCodec.h"
#include "rules/Match.h"

namespace TableCheck {

QString MoveProblem(const TTableState& table, int32_t player, int32_t slot, int32_t x, int32_t y) {
    // The rules core judges; the wording here names what the peer sent.
    switch (PlacementProblem(table, player, slot, x, y)) {
    case TPlacementProblem::None:
        return {};
    case TPlacementProblem::NoMatch:
        return QStringLiteral("no match is in progress");
    case TPlacementProblem::Moving:
        return QStringLiteral("the table is still moving");
    case TPlacementProblem::NoSuchPlayer:
        return QStringLiteral("there is no player %1").arg(player);
    case TPlacementProblem::NotTheirTurn:
        return QStringLiteral("it is not that player's turn");
    case TPlacementProblem::NoSuchSlot:
        return QStringLiteral("hand slot %1 does not exist").arg(slot);
    case TPlacementProblem::EmptySlot:
        return QStringLiteral("hand slot %1 is empty").arg(slot);
    case TPlacementProblem::OffBoard:
        return QStringLiteral("square (%1, %2) is off the board").arg(x).arg(y);
    case TPlacementProblem::Taken:
        return QStringLiteral("square (%1, %2) is taken").arg(x).arg(y);
    }
    return QStringLiteral("the move is refused");
}

QString DealProblem(const TNetMessage& deal) {
    if (deal.Kind != TNetMessage::TKind::Deal) return QStringLiteral("not a deal");
    if (deal.DealId < 1 || deal.DealId > MessageCodec::MaxDealId)
        return QStringLiteral("deal number out of range");
    if (deal.Seed < 0 || deal.Seed > MessageCodec::MaxSeed) return QStringLiteral("seed out of range");
    return {};
}

uint32_t Digest(const TTableState& table) {
    return TableDigest(table);
}

} // namespace TableCheck
