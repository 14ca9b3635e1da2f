#pragma once

#include "server/Referee.h"

// Rules enough for a load test: turns alternate from the first player, each
// hand slot is played once onto an empty square, and nothing is captured,
// so the match ends in a draw after nine placements. It costs the server
// about what the real rules do per move (a few array reads), so the figures
// measure the transport, the lobby and the storage around it.
class TFreeSquaresReferee : public TReferee {
public:
    explicit TFreeSquaresReferee(int32_t first) : Turn(first) {}
    int32_t ToMove() const override { return Turn; }
    std::string MoveProblem(int32_t seat, int32_t slot, int32_t x, int32_t y) const override
    {
        if (Over())
            return "The match is over.";
        if (seat != Turn)
            return "It is not your turn.";
        if (Used[seat][slot])
            return "There is no card in that slot.";
        if (Taken[y][x])
            return "That square is taken.";
        return {};
    }
    void Play(int32_t slot, int32_t x, int32_t y) override
    {
        Used[Turn][slot] = true;
        Taken[y][x] = true;
        Turn = 1 - Turn;
        ++Placed;
    }
    bool Over() const override { return Placed == 9; }
    int32_t Winner() const override { return -1; }
    int32_t Score(int32_t) const override { return 5; }

private:
    int32_t Turn;
    bool Used[2][5] = {};
    bool Taken[3][3] = {};
    int Placed = 0;
};
