#pragma once

#include "net/NetMessage.h"
#include "rules/TableState.h"

#include <QString>
#include <cstdint>

// Judgements on what a peer sends, against the local table. They touch
// nothing but their arguments.
namespace TableCheck {

// Empty when player may play the card in hand slot on square (x, y) now:
// a match in progress with nothing moving, that player to move, a card in
// the slot and the square on the board and empty. Otherwise the reason.
QString MoveProblem(const TTableState& table, int32_t player, int32_t slot, int32_t x, int32_t y);

// Empty when the values of a deal can be dealt from, otherwise the reason.
QString DealProblem(const TNetMessage& deal);

// A short digest of the cards on the board with their owners, element squares, scores, hands, turn and
// whether the match runs (FNV-1a over the fields in a fixed order).
uint32_t Digest(const TTableState& table);

} // namespace TableCheck
