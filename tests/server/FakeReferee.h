#pragma once

#include "server/Referee.h"

// A stand-in for the rules: turns alternate from the first player, a card
// is played once from its slot onto an empty square, Blue wins 6-4.
class TFakeReferee : public TReferee {
public:
    explicit TFakeReferee(int32_t first) : Turn(first) {}
    int32_t ToMove() const override { return Turn; }
    std::string MoveProblem(int32_t seat, const TPlacementMove& move) const override {
        if (Over()) return "The match is over.";
        if (seat != Turn) return "It is not your turn.";
        if (Used[seat][move.Slot]) return "There is no card in that slot.";
        if (Board[move.Y][move.X]) return "That square is taken.";
        return {};
    }
    void Play(const TPlacementMove& move) override {
        Used[Turn][move.Slot] = true;
        Board[move.Y][move.X] = true;
        Turn = 1 - Turn;
        ++Placed;
    }
    bool Over() const override { return Placed == 9; }
    int32_t Winner() const override { return 1; }
    int32_t Score(int32_t seat) const override { return seat == 1 ? 6 : 4; }

private:
    int32_t Turn;
    bool Used[2][5] = {};
    bool Board[3][3] = {};
    int Placed = 0;
};
