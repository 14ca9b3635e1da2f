#pragma once

#include "ai/SearchThread.h"

#include <QString>
#include <cstdint>
#include <functional>

class TGame;

// Help › Hint: asks the solver about the position of the player to move, lists
// the best moves in the log with the result each forces, and moves the hand
// and board cursors onto the best one, so that Enter plays it.
class THintAdvisor {
public:
    using TLogSink = std::function<void(const QString&)>;

    // log: refusals and failures; bestMoves: the list of best moves, one
    // line each (into `log` when unset).
    THintAdvisor(TGame& game, TLogSink log, TLogSink bestMoves = {});

    // Starts the analysis; false (with a line in the log) when there is no
    // position to study: no match, or cards still moving. Unless `point`,
    // the answer is only listed and the cursors stay put.
    bool Ask(bool point = true);
    void Cancel();
    // A new deal is on the table (any deal, also one made for the other
    // player across the network): a hint still being worked out is dropped.
    void Dealt();
    bool Busy() const { return Asked; }
    // Once per frame: hands the answer over once the search has it.
    void Step();

    // "top-left", "centre", "bottom" ...: how the log names a square.
    static QString SquareName(int32_t x, int32_t y);
    // "you can force 6–4", "you can force a draw 5–5", "best play loses 4–6".
    static QString Outcome(int32_t score);

private:
    TGame& Game;
    TLogSink Log;
    TLogSink BestMoves;
    TSearchThread Search;
    bool Asked = false;
    bool Point = true; // the answer moves the cursors onto the best move
    // Which deal and which placement of it the answer belongs to: any
    // difference makes it stale.
    struct TAskedAbout {
        uint32_t Deal = 0;
        int32_t Turn = -1;
        int32_t Placements = -1;
        int32_t Squares[3][3][2]{};
        int32_t Elements[3][3]{};
        int32_t Hands[5][2]{};
        bool operator==(const TAskedAbout&) const = default;
    };
    TAskedAbout About() const;
    uint32_t Deals = 0; // deals seen since this advisor was made
    bool WasDealing = false;
    TAskedAbout AskedAbout;
};
