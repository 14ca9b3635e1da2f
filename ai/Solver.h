#pragma once

#include "ai/Position.h"
#include "rules/PlacementMove.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

struct TScoredMove {
    TPlacementMove Move;
    int32_t Score = 0; // cards the mover owns at the end after this move, under best play
};

struct TSolution {
    int32_t Score = 0;              // cards the player to move owns at the end under best play
    std::vector<TScoredMove> Moves; // best first; one move, or every legal move
    uint64_t Nodes = 0;
};

// Exact search to the end of the match: alpha-beta over null windows (MTD(f))
// with a transposition table of two-entry buckets (one keeps the position
// with more empty squares), captures first with a history of refuting moves
// to break ties, a look at the children's entries before searching them, and
// equal cards of a hand tried once. The last three placements are searched
// without the table, and with two left a move whose cards cannot reach the
// window is not searched at all. A final score counts the cards owned on the
// board and in hand, so a 5 to 5 draw is worth 5 whatever Sudden Death would
// do next.
class TSolver {
public:
    static constexpr int32_t DefaultTableBits = 16;

    explicit TSolver(int32_t tableBits = DefaultTableBits);

    // The best score and one move that forces it; nullopt if cancelled.
    std::optional<TSolution> SolveBest(const TPosition& position, const std::atomic<bool>* cancel = nullptr);
    // Every legal move with its exact score, best first (equal scores keep
    // slot then reading order); nullopt if cancelled.
    std::optional<TSolution> SolveAll(const TPosition& position, const std::atomic<bool>* cancel = nullptr);

    uint64_t Nodes() const { return NodeCount; }
    // 512 KiB by default.
    size_t TableBytes() const { return Table.size() * sizeof(uint64_t); }

private:
    struct TFound {
        int8_t Card = -1;
        int8_t Square = -1;
    };

    void Begin(const TPosition& position, const std::atomic<bool>* cancel);
    int32_t Solve(int32_t guess, TFound* best);
    int32_t Search(int32_t alpha, int32_t beta, TFound* best);
    int32_t LastPlacement();
    int32_t TwoLeft(int32_t alpha, int32_t beta);
    int32_t ThreeLeft(int32_t alpha, int32_t beta);
    int32_t OrderOf(int32_t id, int32_t square, uint16_t flipped) const;
    TPlacementMove MoveOf(const TFound& found) const;

    std::vector<uint64_t> Table;
    int32_t TableShift = 0;
    TPosition Position;
    const std::atomic<bool>* Cancel = nullptr;
    bool Stopped = false;
    uint64_t NodeCount = 0;
    uint64_t NextCancelCheck = 0;
    uint32_t History[TPosition::MaxCards][9]{};
};
