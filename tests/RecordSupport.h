#pragma once

#include "ai/RecordReplay.h"
#include "records/MatchRecord.h"
#include "rules/CardSource.h"
#include "rules/Match.h"

#include <algorithm>
#include <random>
#include <vector>

// Legal moves at random: each deal's hands start full and stay packed toward
// slot 4, squares are taken once, turns alternate.
inline std::vector<TPlacementMove> RandomMoves(std::mt19937& random, int32_t firstPlayer, size_t count) {
    std::vector<TPlacementMove> moves;
    int32_t mover = firstPlayer;
    int32_t played[2] = {0, 0};
    std::vector<int32_t> empty;
    for (size_t i = 0; i < count; ++i) {
        if (i % 9 == 0) {
            empty = {0, 1, 2, 3, 4, 5, 6, 7, 8};
            played[0] = played[1] = 0;
        }
        const int32_t at = int32_t(random() % empty.size());
        const int32_t square = empty[at];
        empty.erase(empty.begin() + at);
        const int32_t slot = played[mover] + int32_t(random() % (5 - played[mover]));
        moves.push_back({slot, square % 3, square / 3});
        ++played[mover];
        mover = 1 - mover;
    }
    return moves;
}

// A record that passes every check that needs no cards.
inline TMatchRecord RandomRecord(std::mt19937& random) {
    static const char* const names[] = {"Red",
                                        "Blue",
                                        "Ada",
                                        "Zoë Ångström",
                                        "玩家",
                                        "a b c",
                                        "0123456789012345678901234567890123456789012345678901234567890123"};
    TMatchRecord record;
    record.Players[0] = names[random() % std::size(names)];
    record.Players[1] = names[random() % std::size(names)];
    record.Mode = TMatchMode(random() % 4);
    record.Level = TLevel(random() % 3);
    if (record.Mode != TMatchMode::SinglePlayer) record.Level = TLevel::Normal;
    record.Rated = record.Mode == TMatchMode::Server && random() % 2;
    record.Rules.Same = random() & 1;
    record.Rules.SameWall = random() & 1;
    record.Rules.Plus = random() & 1;
    record.Rules.Elemental = random() & 1;
    record.Rules.SuddenDeath = random() & 1;
    record.Seed = random() % 8 == 0 ? TMatchRecord::MaxSeed : int64_t(random()) << (random() % 21);
    record.FirstPlayer = int32_t(random() % 2);
    record.Ending = TMatchEnding(random() % 5);
    const size_t deals = record.Rules.SuddenDeath ? 1 + random() % 4 : 1;
    size_t count = 9 * deals;
    if (record.Ending != TMatchEnding::Finished) count = random() % (count + 1);
    record.Moves = RandomMoves(random, record.FirstPlayer, count);
    // A seed for every deal after the first, and now and then one for a
    // replay dealt after the last card.
    size_t redeals = (count + 8) / 9;
    redeals = redeals > 0 ? redeals - 1 : 0;
    if (count > 0 && count % 9 == 0 && record.Rules.SuddenDeath && record.Ending != TMatchEnding::Finished &&
        random() % 2)
        ++redeals;
    for (size_t i = 0; i < redeals; ++i) record.RedealSeeds.push_back(int64_t(random()));
    record.Score[0] = int32_t(random() % 11);
    record.Score[1] = 10 - record.Score[0];
    if (record.Ending == TMatchEnding::Finished)
        record.Winner = record.Score[0] == 5 ? -1 : record.Score[0] > 5 ? 0 : 1;
    else
        record.Winner = record.Ending == TMatchEnding::Abandoned ? -1 : int32_t(random() % 2);
    record.StartTime = TMatchRecord::EarliestTime + int64_t(random() % 2000000000);
    record.EndTime = record.StartTime + int64_t(random() % 7200);
    return record;
}

// A record of moves picked at random, broken off early, owns what its moves
// leave, not the 5–5 it was made with: the reader holds every ending to it.
inline void ScoreFromMoves(TMatchRecord& record, const std::vector<TCardValues>& catalogue) {
    const TCardList cards(catalogue);
    TMatch match;
    std::string refusal;
    if (!ReplayScript(ScriptOf(record), cards, match, refusal)) return;
    record.Score[0] = match.Score[0];
    record.Score[1] = match.Score[1];
}
