#pragma once

#include "rules/OwnedCard.h"

#include <cstdint>

// What the two tables must agree on, copied out of a match: enough to judge
// a move and to compare the tables after every placement.
struct TTableState {
    bool InProgress = false;
    bool Idle = true; // nothing is moving on the table
    int32_t Turn = 0;
    int32_t Score[2]{};
    TOwnedCard Board[3][3];
    int32_t Elements[3][3]{};
    int32_t Hands[5][2]{};
};
