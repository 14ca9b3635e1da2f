#pragma once

#include "rules/CardValues.h"
#include "rules/GameRules.h"

#include <array>
#include <cstdint>
#include <vector>

// A position written out the way the match keeps it: the cards that occur,
// the board and hands as indices into them (any number of cards; an index
// outside them counts as no card), the element squares, the rules
// and the player to move. The board and the hands together hold ten cards,
// and each hand is packed toward slot 4 as TGame keeps it.
struct TPositionSetup {
    struct TSquare {
        int32_t Card = -1; // index into Cards, -1 for an empty square
        int32_t Owner = -1;
    };

    std::vector<TCardValues> Cards;
    TGameRules Rules;
    int32_t Elements[3][3]{};
    TSquare Board[3][3];
    int32_t Hands[5][2]{{-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}, {-1, -1}};
    int32_t Turn = 0;
};
