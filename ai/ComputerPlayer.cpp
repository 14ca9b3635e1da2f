#include "ai/ComputerPlayer.h"

#include "ai/Solver.h"

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr int32_t NormalDepth = 2;

// Cards the mover owns after looking `depth` placements ahead with both
// sides taking the most they can see.
int32_t LookAhead(TPosition& position, int32_t depth) {
    const int32_t mover = position.Turn();
    if (depth == 0 || position.Over()) return position.Owned(mover);
    int32_t best = -1;
    for (const TPlacementMove& move : position.LegalMoves()) {
        const TPosition::TUndo undo = position.Make(move);
        best = std::max(best, 10 - LookAhead(position, depth - 1));
        position.Unmake(undo);
    }
    return best;
}

TPlacementMove EasyMove(const TPosition& position, std::mt19937_64& random) {
    const std::vector<TPlacementMove> moves = position.LegalMoves();
    std::vector<TPlacementMove> capturing;
    for (const TPlacementMove& move : moves) {
        TPosition after = position;
        after.Make(move);
        if (after.Owned(position.Turn()) > position.Owned(position.Turn())) capturing.push_back(move);
    }
    // A capture when one is there about half the time; otherwise any move.
    const std::vector<TPlacementMove>& pool = !capturing.empty() && random() % 2 == 0 ? capturing : moves;
    return pool[random() % pool.size()];
}

TPlacementMove NormalMove(const TPosition& position, std::mt19937_64& random) {
    TPosition scratch = position;
    std::vector<std::pair<int32_t, TPlacementMove>> scored;
    for (const TPlacementMove& move : position.LegalMoves()) {
        const TPosition::TUndo undo = scratch.Make(move);
        scored.emplace_back(10 - LookAhead(scratch, NormalDepth - 1), move);
        scratch.Unmake(undo);
    }
    const int32_t top = std::max_element(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
                            return a.first < b.first;
                        })->first;
    // Mostly one of the best moves it sees; now and then one a card worse.
    const int32_t wanted = random() % 5 == 0 ? top - 1 : top;
    std::vector<TPlacementMove> pool;
    for (const auto& [score, move] : scored)
        if (score == wanted) pool.push_back(move);
    if (pool.empty())
        for (const auto& [score, move] : scored)
            if (score == top) pool.push_back(move);
    return pool[random() % pool.size()];
}

} // namespace

std::optional<TPlacementMove> ChooseMove(const TPosition& position, TLevel level, uint64_t seed,
                                         const std::atomic<bool>* cancel) {
    if (position.Over()) return std::nullopt;
    std::mt19937_64 random(seed);
    switch (level) {
    case TLevel::Easy:
        return EasyMove(position, random);
    case TLevel::Normal:
        return NormalMove(position, random);
    case TLevel::Perfect:
        break;
    }
    TSolver solver;
    const std::optional<TSolution> solution = solver.SolveBest(position, cancel);
    if (!solution || solution->Moves.empty()) return std::nullopt;
    return solution->Moves.front().Move;
}
