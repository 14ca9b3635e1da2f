#pragma once

#include "game/Game.h"
#include "rules/Match.h"

#include <cstdint>
#include <sstream>
#include <string>

// What a still table shows: the match, the cursors and whether it goes on.
struct TTableStill {
    uint32_t Table = 0;
    int32_t HandCursor = 0;
    bool BoardCursorActive = false;
    int32_t BoardCursorX = 0;
    int32_t BoardCursorY = 0;
    TMatchScript Script;
    bool InProgress = false;
    bool GameOver = false;

    static TTableStill Of(const TGame& game) {
        return {TableDigest(game.Match().Table()),
                game.HandCursor,
                game.BoardCursorActive,
                game.BoardCursorX,
                game.BoardCursorY,
                game.Match().Script,
                game.InProgress,
                game.GameOver};
    }
    int32_t Moves() const { return int32_t(Script.Moves.size()); }
    // What differs from `other`, in words; empty when the two tables look alike.
    std::string Differences(const TTableStill& other) const {
        std::ostringstream why;
        if (Table != other.Table) why << "board, owners, elements, hands, scores or turn; ";
        if (HandCursor != other.HandCursor)
            why << "hand cursor " << HandCursor << " vs " << other.HandCursor << "; ";
        if (BoardCursorActive != other.BoardCursorActive || BoardCursorX != other.BoardCursorX ||
            BoardCursorY != other.BoardCursorY)
            why << "board cursor; ";
        if (Moves() != other.Moves())
            why << "placements " << Moves() << " vs " << other.Moves() << "; ";
        else if (!(Script == other.Script))
            why << "match script; ";
        if (InProgress != other.InProgress || GameOver != other.GameOver) why << "match state; ";
        return why.str();
    }
};
