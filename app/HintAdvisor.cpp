#include "app/HintAdvisor.h"

#include "ai/GamePosition.h"
#include "ai/Solver.h"
#include "game/Game.h"
#include "game/KeyRoute.h"
#include "records/MoveWording.h"

namespace {

// At most this many moves are listed; more would push the match out of the log.
constexpr size_t ListedMoves = 3;

} // namespace

THintAdvisor::THintAdvisor(TGame& game, TLogSink log, TLogSink bestMoves)
    : Game(game), Log(std::move(log)), BestMoves(bestMoves ? std::move(bestMoves) : Log) {}

QString THintAdvisor::SquareName(int32_t x, int32_t y) {
    return QString::fromStdString(MoveWording::SquareName(x, y));
}

QString THintAdvisor::Outcome(int32_t score) {
    const QString result = QString::fromStdString(MoveWording::Result(score));
    if (score > 5) return "you can force " + result;
    if (score == 5) return "you can force a draw " + result;
    return "best play loses " + result;
}

bool THintAdvisor::Ask(bool point) {
    if (!Game.InProgress || Game.Phase != TGame::PhaseIdle) {
        Log("Hint: wait until the cards are still.");
        return false;
    }
    Cancel();
    const TPosition position = PositionFromGame(Game.Match());
    Search.Start([position](const std::atomic<bool>& cancel) {
        TSolver solver;
        TSearchResult result;
        result.Solution = solver.SolveAll(position, &cancel);
        return result;
    });
    Asked = true;
    Point = point;
    AskedAbout = About();
    return true;
}

THintAdvisor::TAskedAbout THintAdvisor::About() const {
    TAskedAbout about;
    about.Deal = Deals;
    about.Turn = Game.Turn;
    about.Placements = 0;
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            const TOwnedCard& square = Game.Board[row][column];
            about.Placements += square.Card != -1;
            about.Squares[row][column][0] = square.Card;
            about.Squares[row][column][1] = square.Owner;
            about.Elements[row][column] = Game.Elements[row][column];
        }
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player) about.Hands[slot][player] = Game.Hands[slot][player];
    return about;
}

void THintAdvisor::Dealt() {
    ++Deals;
    Cancel();
}

void THintAdvisor::Cancel() {
    Search.Cancel();
    Search.TakeResult();
    Asked = false;
}

void THintAdvisor::Step() {
    // A deal seen on the table, whoever made it.
    const bool dealing = Game.InProgress && Game.Phase == TGame::PhaseDealing;
    if (dealing && !WasDealing) Dealt();
    WasDealing = dealing;
    if (!Asked) return;
    std::optional<TSearchResult> result = Search.TakeResult();
    if (!result) return;
    Asked = false;
    if (!result->Error.empty()) {
        Log(QString("Hint: the analysis failed (%1).").arg(QString::fromStdString(result->Error)));
        return;
    }
    // A move or a deal made meanwhile makes the answer stale.
    if (!result->Solution || result->Solution->Moves.empty() || !Game.InProgress || !(About() == AskedAbout))
        return;

    const TSolution& solution = *result->Solution;
    const int32_t player = Game.Turn;
    for (size_t i = 0; i < solution.Moves.size() && i < ListedMoves; ++i) {
        const TScoredMove& scored = solution.Moves[i];
        // Only the moves that keep the best result; a worse one is no hint.
        if (i > 0 && scored.Score < solution.Score) break;
        const int32_t card = Game.Hands[scored.Move.Slot][player];
        const QString name = card >= 0 && card < Game.Cards->NumCards
                                 ? QString::fromStdString(Game.Cards->CardTable[card].Name)
                                 : QString("The card");
        BestMoves(QString("Hint: %1 on the %2 square: %3")
                      .arg(name, SquareName(scored.Move.X, scored.Move.Y), Outcome(scored.Score)));
    }
    // Point at the best move; Enter then plays it. Keys only while the table is still.
    if (!Point || Game.Phase != TGame::PhaseIdle) return;
    const TPlacementMove best = solution.Moves.front().Move;
    for (uint16_t key : KeysToSelectSlot(Game, best.Slot)) Game.KeyDown(key);
    for (uint16_t key : KeysToSquare(Game, best.X, best.Y)) Game.KeyDown(key);
}
