#pragma once

#include "ai/RecordReplay.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One move of a match scored exactly. Scores count the cards the mover owns
// when the deal ends, under best play by both sides from there on.
struct TReviewedMove {
    int32_t Number = 0; // 1, 2, ... across the whole match
    int32_t Deal = 0;
    int32_t Player = 0;
    TPlacementMove Move;
    int32_t Card = -1;       // catalogue index of the card played
    int32_t Forced = 0;      // what the move played leaves the mover
    int32_t Best = 0;        // what the mover could have forced
    TPlacementMove BestMove; // one move that forces Best
    int32_t BestCard = -1;

    // Best play would have won where this move draws or loses, or drawn where it loses.
    bool ThrewAwayResult() const { return Outcome(Forced) < Outcome(Best); }
    static int32_t Outcome(int32_t score) { return score > 5 ? 1 : score == 5 ? 0 : -1; }
};

struct TMatchReview {
    std::vector<TReviewedMove> Moves;
};

// Scores every move of a record, replayed by ReplayRecord without a problem;
// each position is solved once. nullopt if cancelled.
std::optional<TMatchReview> ReviewMatch(const TMatchRecord& record, const TReplay& replay,
                                        const std::atomic<bool>* cancel = nullptr);

// "5. Blue, Moss Puff on the centre square: Red can now force 6–4; Tallow
// Glob on the top-left square kept 5–5 — a draw thrown away". `names` are the
// catalogue's card names.
std::string ReviewLine(const TReviewedMove& move, const std::vector<std::string>& names);
