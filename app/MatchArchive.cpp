#include "app/MatchArchive.h"

#include "game/Game.h"

#include <algorithm>

void NameSeats(const TMatchSeat& seat, TMatchRecord& record) {
    static const char* const levels[] = {"Easy", "Normal", "Perfect"};
    const int32_t person = seat.Person == 0 ? 0 : 1;
    switch (seat.Type) {
    case TGameType::HotSeat:
        record.Mode = TMatchMode::HotSeat;
        record.Players[0] = "Red";
        record.Players[1] = "Blue";
        return;
    case TGameType::SinglePlayer:
        record.Mode = TMatchMode::SinglePlayer;
        record.Level = seat.Level;
        record.Players[person] = "You";
        record.Players[1 - person] = std::string("Computer (") + levels[std::clamp(int(seat.Level), 0, 2)] + ")";
        return;
    case TGameType::Network:
        record.Mode = TMatchMode::Network;
        record.Players[person] = "You";
        record.Players[1 - person] = "Other player";
        return;
    }
}

TMatchArchive::TMatchArchive(TSeatOf seatOf, TKeep keep, std::function<int64_t()> clock)
    : SeatOf(std::move(seatOf)), Keep(std::move(keep)), Clock(std::move(clock)) {}

TMatchRecord TMatchArchive::Build(const TMatchScript& script, const int32_t score[2], TMatchEnding ending,
                                  int32_t winner) const {
    TMatchRecord record;
    NameSeats(Seat, record);
    record.Rules = script.Rules;
    record.Seed = script.Seed;
    record.RedealSeeds = script.RedealSeeds;
    record.FirstPlayer = script.FirstPlayer;
    for (const TPlacementMove& move : script.Moves) record.Moves.push_back({move.Slot, move.X, move.Y});
    record.Score[0] = score[0];
    record.Score[1] = score[1];
    record.Ending = ending;
    record.Winner = winner;
    const int64_t now = Clock ? Clock() : 0;
    record.StartTime = std::clamp(StartTime, TMatchRecord::EarliestTime, TMatchRecord::LatestTime);
    record.EndTime = std::clamp(now, record.StartTime, TMatchRecord::LatestTime);
    return record;
}

void TMatchArchive::Observe(const TGame& game) {
    const bool dealing = game.InProgress && game.Phase == TGame::PhaseDealing;
    const bool wasDealing = WasInProgress && LastPhase == TGame::PhaseDealing;
    // New Game is refused while a card moves, so a deal straight after a
    // flight or a flip is the Sudden Death replay of the same match.
    const bool redeal = WasInProgress && (LastPhase == TGame::PhaseFlight || LastPhase == TGame::PhaseFlipping);
    if (dealing && !wasDealing && !redeal) {
        Close();
        Seat = SeatOf ? SeatOf() : TMatchSeat{};
        StartTime = Clock ? Clock() : 0;
        Open = true;
    }
    if (Open && game.InProgress) {
        if (!(Running == game.Script)) Running = game.Script;
        RunningScore[0] = game.Score[0];
        RunningScore[1] = game.Score[1];
    }
    if (Open && game.GameOver && !game.InProgress && !WasOver) {
        Open = false;
        bool full = true;
        for (const auto& row : game.Board)
            for (const TOwnedCard& square : row) full = full && square.Card != -1;
        const int32_t score[2] = {game.Score[0], game.Score[1]};
        if (full) {
            const int32_t winner = score[0] == score[1] ? -1 : score[0] > score[1] ? 0 : 1;
            Last = Build(game.Script, score, TMatchEnding::Finished, winner);
            if (Keep) Keep(*Last);
        } else if (!game.Script.Moves.empty()) {
            // Stopped from outside: across the network, the other player
            // left and the one who stayed wins; otherwise it was broken off.
            const bool left = Seat.Type == TGameType::Network;
            Last = Build(game.Script, score, left ? TMatchEnding::Left : TMatchEnding::Abandoned,
                         left ? (Seat.Person == 0 ? 0 : 1) : -1);
            if (Keep) Keep(*Last);
        }
    }
    WasInProgress = game.InProgress;
    WasOver = game.GameOver;
    LastPhase = game.Phase;
}

void TMatchArchive::Close() {
    if (!Open || Running.Moves.empty()) return;
    Open = false;
    Last = Build(Running, RunningScore, TMatchEnding::Abandoned, -1);
    if (Keep) Keep(*Last);
}

std::optional<TMatchRecord> TMatchArchive::Current(const TGame& game) const {
    if (!Open) return Last;
    TMatchRecord record = Build(game.Script, RunningScore, TMatchEnding::Abandoned, -1);
    return record;
}
