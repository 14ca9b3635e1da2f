#pragma once

#include "game/Seats.h"
#include "rules/GameRules.h"
#include "rules/MatchScript.h"

#include <cstdint>

class TMatch;

// What happened at the table, told once by the table as it happens, so that
// nobody has to compare one frame's table with the last to find out.
struct TTableEvent {
    enum class TKind : int32_t {
        Dealt,      // a new match: Seed, Rules, Seats
        Placed,     // a played card has landed on its square: Move
        GroupShown, // a group of captured cards starts turning over: Group
        Redealt,    // a drawn match under Sudden Death is dealt again: Seed, Rules
        Ended,      // the match is over: How, Score
        Left,       // the match is given up unfinished (dealt over, or the program ends): Score
    };
    enum class THow : int32_t {
        Finished, // its ninth card
        Stopped,  // from outside, before its ninth card: the other player left or the server stopped it
    };
    // What the server that stopped a match decided; None when nobody decided
    // (the other player across the network left, the line to the server broke).
    enum class TDecision : int32_t { None, Time, Forfeit, Abandoned };

    TKind Kind = TKind::Dealt;
    TSeats Seats;
    int64_t Seed = 0;
    TGameRules Rules;
    TPlacementMove Move;
    int32_t Group = 0; // TMatch::GroupSame, GroupPlus, GroupCombo or GroupBasic
    THow How = THow::Finished;
    int32_t Score[2]{};
    // Stopped: the server's decision and its winner (-1 for none).
    TDecision Decision = TDecision::None;
    int32_t Winner = -1;
    // The match right after the change, for whoever needs more of it (its script).
    const TMatch* Match = nullptr;
};
