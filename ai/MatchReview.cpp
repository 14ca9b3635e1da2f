#include "ai/MatchReview.h"

#include "ai/Position.h"
#include "ai/Solver.h"
#include "records/MoveWording.h"

std::optional<TMatchReview> ReviewMatch(const TMatchRecord& record, const TReplay& replay,
                                        const std::atomic<bool>* cancel) {
    TMatchReview review;
    if (!replay.Problem.empty() || replay.Positions.size() != record.Moves.size() + 1) return review;
    TSolver solver;
    // What the player to move can force in each position, and how.
    std::vector<TSolution> solved;
    for (size_t i = 0; i < replay.Positions.size(); ++i) {
        const TReplayedPosition& at = replay.Positions[i];
        // A replay dealt after the last card has no move of the record to score.
        if (i == record.Moves.size() && i > 0 && at.Deal != replay.Positions[i - 1].Deal) break;
        std::optional<TSolution> solution = solver.SolveBest(TPosition(at.Setup), cancel);
        if (!solution) return std::nullopt;
        solved.push_back(std::move(*solution));
    }
    for (size_t i = 0; i < record.Moves.size(); ++i) {
        const TReplayedPosition& before = replay.Positions[i];
        const TPosition position(before.Setup);
        TReviewedMove reviewed;
        reviewed.Number = int32_t(i + 1);
        reviewed.Deal = before.Deal;
        reviewed.Player = position.Turn();
        reviewed.Move = record.Moves[i];
        reviewed.Card = before.Catalogue[before.Setup.Hands[reviewed.Move.Slot][reviewed.Player]];
        reviewed.Best = solved[i].Score;
        reviewed.BestMove = solved[i].Moves.front().Move;
        reviewed.BestCard = before.Catalogue[before.Setup.Hands[reviewed.BestMove.Slot][reviewed.Player]];
        if (replay.Positions[i + 1].Deal == before.Deal) {
            // The next position belongs to the opponent.
            reviewed.Forced = 10 - solved[i + 1].Score;
        } else {
            // The ninth card of a drawn deal: the next table is already the replay's.
            TPosition last = position;
            last.Make(reviewed.Move);
            reviewed.Forced = last.Owned(reviewed.Player);
        }
        review.Moves.push_back(reviewed);
    }
    return review;
}

std::string ReviewLine(const TReviewedMove& move, const std::vector<std::string>& names) {
    using namespace MoveWording;
    auto name = [&](int32_t card) {
        return card >= 0 && size_t(card) < names.size() ? names[card] : std::string("The card");
    };
    const std::string mover = PlayerName(move.Player), other = PlayerName(1 - move.Player);
    std::string line = std::to_string(move.Number) + ". " + mover + ", " + name(move.Card) + " on the " +
                       SquareName(move.Move.X, move.Move.Y) + " square: ";
    if (move.Forced > 5)
        line += mover + " can force " + Result(move.Forced);
    else if (move.Forced == 5)
        line += "either side can force a draw 5–5";
    else
        line += other + " can now force " + Result(10 - move.Forced);
    if (move.Forced < move.Best) {
        line += "; " + name(move.BestCard) + " on the " + SquareName(move.BestMove.X, move.BestMove.Y) +
                " square kept " + Result(move.Best);
        if (move.ThrewAwayResult())
            line += TReviewedMove::Outcome(move.Best) > 0 ? " — a win thrown away" : " — a draw thrown away";
    }
    return line;
}
