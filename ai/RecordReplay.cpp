#include "ai/RecordReplay.h"

#include "ai/GamePosition.h"
#include "records/RecordCheck.h"
#include "rules/Match.h"

namespace {

std::string ScoreText(int32_t red, int32_t blue) {
    return std::to_string(red) + "–" + std::to_string(blue);
}

// The table between placements, on the cards of the deal, each card also
// known by its catalogue index.
TReplayedPosition Snapshot(const TMatch& match, int32_t deal) {
    TReplayedPosition now;
    now.Deal = deal;
    now.Setup = SetupFromGame(match);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x)
            if (match.Board[y][x].Card >= 0)
                now.Catalogue[now.Setup.Board[y][x].Card] = match.Board[y][x].Card;
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player)
            if (match.Hands[slot][player] >= 0)
                now.Catalogue[now.Setup.Hands[slot][player]] = match.Hands[slot][player];
    return now;
}

} // namespace

TMatchScript ScriptOf(const TMatchRecord& record) {
    TMatchScript script;
    script.Seed = record.Seed;
    script.Rules = record.Rules;
    script.FirstPlayer = record.FirstPlayer;
    script.RedealSeeds = record.RedealSeeds;
    script.Moves = record.Moves;
    return script;
}

TReplay ReplayRecord(const TMatchRecord& record, const std::vector<TCardValues>& catalogue) {
    TReplay replay;
    replay.Problem = RecordProblem(record);
    if (!replay.Problem.empty()) return replay;
    if (catalogue.empty()) {
        replay.Problem = "no card catalogue to deal from";
        return replay;
    }

    // The match's own rules play the record, placement by placement, as
    // ReplayScript does, keeping the table before each.
    const TCardList cards(catalogue);
    TMatch match;
    match.Catalogue = &cards;
    match.StartMatch(record.Seed, record.FirstPlayer, record.Rules, false);
    int32_t deal = 0;
    for (size_t i = 0; i < record.Moves.size(); ++i) {
        const TPlacementMove& move = record.Moves[i];
        if (!match.InProgress()) {
            replay.Problem = "deal " + std::to_string(deal + 1) + " ended " +
                             ScoreText(match.Score[0], match.Score[1]) +
                             ", not a draw, yet the record plays on";
            return replay;
        }
        const TPlacementProblem problem = match.MoveProblem(match.Turn, move.Slot, move.X, move.Y);
        if (problem != TPlacementProblem::None) {
            replay.Problem = "move " + std::to_string(i + 1) + ": " + Describe(problem);
            return replay;
        }
        replay.Positions.push_back(Snapshot(match, deal));
        const size_t redeals = match.Script.RedealSeeds.size();
        match.PlayMove(move, redeals < record.RedealSeeds.size() ? record.RedealSeeds[redeals] : record.Seed);
        deal = int32_t(match.Script.RedealSeeds.size());
    }
    replay.Positions.push_back(Snapshot(match, deal));
    replay.Score[0] = match.Score[0];
    replay.Score[1] = match.Score[1];

    const bool finished = record.Ending == TMatchEnding::Finished;
    // A chain of drawn deals that reaches the bound ends there, a draw.
    if (finished && match.InProgress() && record.Moves.size() < size_t(TMatchRecord::MaxMoves)) {
        replay.Problem = "the last deal is a draw that Sudden Death deals again, yet the match is "
                         "recorded as finished";
    } else if (replay.Score[0] != record.Score[0] || replay.Score[1] != record.Score[1]) {
        // However it ended, the cards owned then are the ones the moves leave.
        replay.Problem = std::string(finished ? "the moves end " : "the moves leave ") +
                         ScoreText(replay.Score[0], replay.Score[1]) + ", the record says " +
                         ScoreText(record.Score[0], record.Score[1]);
    }
    if (!replay.Problem.empty()) replay.Positions.clear();
    return replay;
}
