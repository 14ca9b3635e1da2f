#include "ai/Solver.h"

#include <algorithm>
#include <bit>

namespace {

// A table entry: the position's key (45 bits), the bounds on its score, the
// best move found (card * 9 + square, or NoMove) and the number of empty
// squares, which is never 0 in a used entry. A key fixes the empty squares,
// so an entry matches when key and count both match.
constexpr uint64_t KeyBits = (uint64_t(1) << 45) - 1;
constexpr int32_t LowerShift = 45;
constexpr int32_t UpperShift = 49;
constexpr int32_t MoveShift = 53;
constexpr uint64_t NoMove = 127;
constexpr int32_t EmptiesShift = 60;
constexpr uint64_t CheckBits = KeyBits | uint64_t(15) << EmptiesShift;
// Below this many empty squares a position is cheaper to search than to look up.
constexpr int32_t TableMinEmpty = 4;
constexpr int32_t OrderMinEmpty = 5;
// Nodes between looks at the cancel flag.
constexpr uint64_t CancelCheckNodes = 1024;
constexpr int32_t MaxScore = 10;

struct TOrderedMove {
    int8_t Card;
    int8_t Square;
    uint16_t Flipped;
    int32_t Order;
};

} // namespace

TSolver::TSolver(int32_t tableBits) {
    tableBits = std::clamp(tableBits, 4, 28);
    Table.assign(size_t(1) << tableBits, 0);
    TableShift = 64 - tableBits;
}

void TSolver::Begin(const TPosition& position, const std::atomic<bool>* cancel) {
    std::fill(Table.begin(), Table.end(), 0);
    Position = position;
    Cancel = cancel;
    Stopped = false;
    NodeCount = 0;
    std::fill(&History[0][0], &History[0][0] + TPosition::MaxCards * 9, 0u);
    NextCancelCheck = CancelCheckNodes;
}

TPlacementMove TSolver::MoveOf(const TFound& found) const {
    return {Position.SlotOf(found.Card), found.Square % 3, found.Square / 3};
}

std::optional<TSolution> TSolver::SolveBest(const TPosition& position, const std::atomic<bool>* cancel) {
    Begin(position, cancel);
    TSolution solution;
    if (Position.Over()) {
        solution.Score = Position.Owned(Position.Turn());
        return solution;
    }
    TFound best;
    solution.Score = Solve(Position.Owned(Position.Turn()), &best);
    solution.Nodes = NodeCount;
    if (Stopped) return std::nullopt;
    solution.Moves.push_back({MoveOf(best), solution.Score});
    return solution;
}

std::optional<TSolution> TSolver::SolveAll(const TPosition& position, const std::atomic<bool>* cancel) {
    Begin(position, cancel);
    TSolution solution;
    solution.Score = Position.Owned(Position.Turn());
    if (Position.Over()) return solution;

    // Each distinct card on each square once; its copies score the same.
    // Each is searched from the score of the one before; the table and the
    // move history carry over from move to move.
    int32_t scores[TPosition::MaxCards][9];
    const uint16_t playable = Position.Playable(Position.Turn());
    int32_t guess = Position.Owned(Position.Turn());
    for (uint16_t cards = playable; cards; cards &= uint16_t(cards - 1)) {
        const int32_t id = std::countr_zero(cards);
        for (uint16_t empty = Position.EmptyMask(); empty; empty &= uint16_t(empty - 1)) {
            const int32_t square = std::countr_zero(empty);
            const uint16_t flipped = Position.Captures(id, square);
            Position.Place(id, square, flipped);
            const int32_t score = MaxScore - Solve(MaxScore - guess, nullptr);
            Position.Remove(id, square, flipped);
            if (Stopped) return std::nullopt;
            scores[id][square] = score;
            guess = score;
        }
    }

    for (const TPlacementMove& move : Position.LegalMoves()) {
        const int32_t id = Position.Representative(Position.IdInSlot(move.Slot, Position.Turn()));
        solution.Moves.push_back({move, scores[id][3 * move.Y + move.X]});
    }
    std::stable_sort(solution.Moves.begin(), solution.Moves.end(),
                     [](const TScoredMove& a, const TScoredMove& b) { return a.Score > b.Score; });
    solution.Score = solution.Moves.front().Score;
    solution.Nodes = NodeCount;
    return solution;
}

int32_t TSolver::Solve(int32_t guess, TFound* best) {
    int32_t lower = 0, upper = MaxScore, score = std::clamp(guess, 0, MaxScore);
    while (lower < upper && !Stopped) {
        const int32_t beta = std::max(score, lower + 1);
        TFound found;
        score = Search(beta - 1, beta, best ? &found : nullptr);
        if (score < beta) {
            upper = score;
            if (best && best->Card < 0) *best = found;
        } else {
            lower = score;
            if (best) *best = found;
        }
    }
    return lower;
}

int32_t TSolver::LastPlacement() {
    const int32_t mover = Position.Turn();
    const int32_t square = std::countr_zero(Position.EmptyMask());
    int32_t best = 0;
    // Copies of a card take the same; trying them again is cheaper than finding them.
    for (uint16_t cards = Position.Hand(mover); cards; cards &= uint16_t(cards - 1))
        best = std::max(best, TPosition::Count(Position.Captures(std::countr_zero(cards), square)));
    return Position.Owned(mover) + best;
}

int32_t TSolver::TwoLeft(int32_t alpha, int32_t beta) {
    const int32_t mover = Position.Turn();
    const int32_t owned = Position.Owned(mover);
    const uint16_t empty = Position.EmptyMask();
    const int32_t squares[2] = {std::countr_zero(empty), std::countr_zero(uint16_t(empty & (empty - 1)))};
    int32_t best = -1;
    for (uint16_t cards = Position.Playable(mover); cards; cards &= uint16_t(cards - 1)) {
        const int32_t id = std::countr_zero(cards);
        for (const int32_t square : squares) {
            const uint16_t flipped = Position.Captures(id, square);
            // The opponent's last placement can only take cards back, so what
            // the mover owns right after its own placement bounds the final
            // score: an option that cannot pass the window or the best so far
            // needs no search.
            const int32_t bound = owned + TPosition::Count(flipped);
            if (bound <= std::max(best, alpha)) {
                best = std::max(best, bound);
                continue;
            }
            Position.Place(id, square, flipped);
            ++NodeCount;
            const int32_t score = MaxScore - LastPlacement();
            Position.Remove(id, square, flipped);
            if (score > best) {
                best = score;
                if (best >= beta) return best;
            }
        }
    }
    return best;
}

int32_t TSolver::ThreeLeft(int32_t alpha, int32_t beta) {
    const int32_t mover = Position.Turn();
    const uint16_t empty = Position.EmptyMask();
    int32_t best = -1, floor = alpha;
    // True when the move settles the node.
    auto tryMove = [&](int32_t id, int32_t square, uint16_t flipped) {
        Position.Place(id, square, flipped);
        ++NodeCount;
        const int32_t score =
            MaxScore - (Position.Playable(mover ^ 1) ? TwoLeft(MaxScore - beta, MaxScore - floor)
                                                     : Position.Owned(mover ^ 1));
        Position.Remove(id, square, flipped);
        if (score > best) {
            best = score;
            if (best >= beta) return true;
            floor = std::max(floor, best);
        }
        return false;
    };
    // Captures as they are found, then the rest.
    int8_t quiet[TPosition::MaxCards * 3][2];
    int32_t quietCount = 0;
    for (uint16_t cards = Position.Playable(mover); cards; cards &= uint16_t(cards - 1)) {
        const int32_t id = std::countr_zero(cards);
        for (uint16_t squares = empty; squares; squares &= uint16_t(squares - 1)) {
            const int32_t square = std::countr_zero(squares);
            const uint16_t flipped = Position.Captures(id, square);
            if (!flipped) {
                quiet[quietCount][0] = int8_t(id);
                quiet[quietCount++][1] = int8_t(square);
            } else if (tryMove(id, square, flipped))
                return best;
        }
    }
    for (int32_t i = 0; i < quietCount; ++i)
        if (tryMove(quiet[i][0], quiet[i][1], 0)) break;
    return best;
}

int32_t TSolver::OrderOf(int32_t id, int32_t square, uint16_t flipped) const {
    // Captures and safe squares first; among equals, the moves that refuted
    // most (weighted by the size of what they refuted) elsewhere in the tree.
    constexpr uint32_t HistoryCap = (1u << 20) - 1;
    return (Position.MoveOrder(id, square, flipped) + 64) * int32_t(HistoryCap + 1) +
           int32_t(std::min(History[id][square], HistoryCap));
}

int32_t TSolver::Search(int32_t alpha, int32_t beta, TFound* best) {
    if (++NodeCount >= NextCancelCheck) {
        NextCancelCheck = NodeCount + CancelCheckNodes;
        if (Cancel && Cancel->load(std::memory_order_relaxed)) Stopped = true;
    }
    if (Stopped) return 0;

    const int32_t mover = Position.Turn();
    const int32_t empties = Position.EmptySquares();
    const uint16_t playable = Position.Playable(mover);
    if (empties == 0 || playable == 0) return Position.Owned(mover);
    if (empties == 1 && !best) return LastPlacement();
    if (empties == 2 && !best) return TwoLeft(alpha, beta);
    if (empties == 3 && !best) return ThreeLeft(alpha, beta);

    // Each key has two places: the first keeps whichever position has more
    // empty squares (its search cost more), the second takes the rest.
    uint64_t* entry = nullptr;
    int32_t known = -1;
    int32_t tableLower = 0, tableUpper = MaxScore;
    const uint64_t check = Position.Key() | uint64_t(empties) << EmptiesShift;
    if (empties >= TableMinEmpty) {
        uint64_t* const bucket =
            &Table[((Position.Key() * 0x9E3779B97F4A7C15ull) >> TableShift) & ~size_t(1)];
        entry = (bucket[0] & CheckBits) == check   ? &bucket[0]
                : (bucket[1] & CheckBits) == check ? &bucket[1]
                                                   : nullptr;
        if (entry) {
            tableLower = int32_t(*entry >> LowerShift & 15);
            tableUpper = int32_t(*entry >> UpperShift & 15);
            if (!best) {
                if (tableLower >= beta) return tableLower;
                if (tableUpper <= alpha) return tableUpper;
            }
            const int32_t move = int32_t(*entry >> MoveShift & NoMove);
            if (move != int32_t(NoMove)) known = move / 9 * 16 + move % 9;
        } else {
            entry = int32_t(bucket[0] >> EmptiesShift) <= empties ? &bucket[0] : &bucket[1];
            // Read below as no bounds known.
            tableLower = -1;
        }
    }

    int32_t bestScore = -1;
    TFound bestMove;
    int32_t floor = alpha;
    const uint16_t emptyMask = Position.EmptyMask();
    // Tries one move; true when it settles the node.
    auto tryMove = [&](int32_t id, int32_t square, uint16_t flipped) {
        Position.Place(id, square, flipped);
        const int32_t score = MaxScore - Search(MaxScore - beta, MaxScore - floor, nullptr);
        Position.Remove(id, square, flipped);
        if (Stopped) return true;
        if (score > bestScore) {
            bestScore = score;
            bestMove = {int8_t(id), int8_t(square)};
            if (score > floor) floor = score;
            if (score >= beta) {
                if (empties >= OrderMinEmpty) History[id][square] += uint32_t(1) << empties;
                return true;
            }
        }
        return false;
    };

    if (empties < OrderMinEmpty) {
        // Near the end sorting costs more than it saves: the known move, then
        // captures as they are found, then the rest.
        bool done = false;
        if (known >= 0) done = tryMove(known >> 4, known & 15, Position.Captures(known >> 4, known & 15));
        int8_t quiet[TPosition::MaxCards * 9][2];
        int32_t quietCount = 0;
        for (uint16_t cards = playable; cards && !done; cards &= uint16_t(cards - 1)) {
            const int32_t id = std::countr_zero(cards);
            for (uint16_t empty = emptyMask; empty && !done; empty &= uint16_t(empty - 1)) {
                const int32_t square = std::countr_zero(empty);
                if (id * 16 + square == known) continue;
                const uint16_t flipped = Position.Captures(id, square);
                if (flipped)
                    done = tryMove(id, square, flipped);
                else {
                    quiet[quietCount][0] = int8_t(id);
                    quiet[quietCount++][1] = int8_t(square);
                }
            }
        }
        for (int32_t i = 0; i < quietCount && !done; ++i) done = tryMove(quiet[i][0], quiet[i][1], 0);
    } else {
        TOrderedMove moves[TPosition::MaxCards * 9];
        int32_t count = 0;
        for (uint16_t cards = playable; cards; cards &= uint16_t(cards - 1)) {
            const int32_t id = std::countr_zero(cards);
            for (uint16_t empty = emptyMask; empty; empty &= uint16_t(empty - 1)) {
                const int32_t square = std::countr_zero(empty);
                const uint16_t flipped = Position.Captures(id, square);
                if (!best) {
                    // A child the table already scores low enough for the
                    // opponent settles this node before any search.
                    Position.Place(id, square, flipped);
                    const uint64_t childCheck = Position.Key() | uint64_t(empties - 1) << EmptiesShift;
                    const uint64_t* const bucket =
                        &Table[((Position.Key() * 0x9E3779B97F4A7C15ull) >> TableShift) & ~size_t(1)];
                    Position.Remove(id, square, flipped);
                    for (int32_t k = 0; k < 2; ++k)
                        if ((bucket[k] & CheckBits) == childCheck) {
                            const int32_t score = MaxScore - int32_t(bucket[k] >> UpperShift & 15);
                            if (score >= beta) return score;
                        }
                }
                const int32_t order = id * 16 + square == known ? 1 << 30 : OrderOf(id, square, flipped);
                TOrderedMove move{int8_t(id), int8_t(square), flipped, order};
                // Insertion by order, most promising first; equal orders keep generation order.
                int32_t at = count++;
                while (at > 0 && moves[at - 1].Order < order) {
                    moves[at] = moves[at - 1];
                    --at;
                }
                moves[at] = move;
            }
        }
        for (int32_t i = 0; i < count; ++i)
            if (tryMove(moves[i].Card, moves[i].Square, moves[i].Flipped)) break;
    }
    if (Stopped) return 0;
    if (best) *best = bestMove;

    if (entry) {
        int32_t lower = 0, upper = MaxScore;
        if (tableLower >= 0 && (*entry & CheckBits) == check) {
            lower = tableLower;
            upper = tableUpper;
        }
        if (bestScore <= alpha)
            upper = bestScore;
        else if (bestScore >= beta)
            lower = bestScore;
        else
            lower = upper = bestScore;
        *entry = check | uint64_t(lower) << LowerShift | uint64_t(upper) << UpperShift |
                 uint64_t(bestMove.Card * 9 + bestMove.Square) << MoveShift;
    }
    return bestScore;
}
