#include "app/MatchArchive.h"

#include "game/Game.h"

#include <algorithm>

void NameSeats(const TSeats& seats, TMatchRecord& record) {
    static const char* const levels[] = {"Easy", "Normal", "Perfect"};
    const int32_t person = seats.Person == 0 ? 0 : 1;
    switch (seats.Kind) {
    case TSeating::Computer:
        record.Mode = TMatchMode::SinglePlayer;
        record.Level = seats.Level;
        record.Players[person] = "You";
        record.Players[1 - person] =
            std::string("Computer (") + levels[std::clamp(int(seats.Level), 0, 2)] + ")";
        return;
    case TSeating::DirectPeer:
    case TSeating::ServerPlayer:
        record.Mode = TMatchMode::Network;
        record.Players[person] = "You";
        record.Players[1 - person] = "Other player";
        return;
    case TSeating::ServerWatcher:
        record.Mode = TMatchMode::Network;
        break;
    case TSeating::HotSeat:
    case TSeating::Replay:
        record.Mode = TMatchMode::HotSeat;
        break;
    }
    record.Players[0] = "Red";
    record.Players[1] = "Blue";
}

TMatchArchive::TMatchArchive(TKeep keep, std::function<int64_t()> clock)
    : Kept(std::move(keep)), Clock(std::move(clock)) {}

TMatchRecord TMatchArchive::Build(const TMatch& match, TMatchEnding ending, int32_t winner) const {
    const TMatchScript& script = match.Script;
    TMatchRecord record;
    NameSeats(Seats, record);
    record.Rules = script.Rules;
    record.Seed = script.Seed;
    record.RedealSeeds = script.RedealSeeds;
    record.FirstPlayer = script.FirstPlayer;
    record.Moves = script.Moves;
    // What the moves leave, as every reader checks: a match left while the
    // last card's captures were still turning over owns them already.
    TMatch replayed;
    std::string refusal;
    const bool played = match.Catalogue && ReplayScript(script, *match.Catalogue, replayed, refusal);
    record.Score[0] = played ? replayed.Score[0] : match.Score[0];
    record.Score[1] = played ? replayed.Score[1] : match.Score[1];
    record.Ending = ending;
    record.Winner = winner;
    const int64_t now = Clock ? Clock() : 0;
    record.StartTime = std::clamp(StartTime, TMatchRecord::EarliestTime, TMatchRecord::LatestTime);
    record.EndTime = std::clamp(now, record.StartTime, TMatchRecord::LatestTime);
    return record;
}

void TMatchArchive::Keep(const TTableEvent& event, TMatchEnding ending, int32_t winner) {
    Open = false;
    // A match without a placement, or one only looked at, is not kept.
    if (!event.Match || event.Match->Script.Moves.empty() || !Seats.Offers().Records) return;
    Last = Build(*event.Match, ending, winner);
    if (Kept) Kept(*Last);
}

void TMatchArchive::Take(const TTableEvent& event) {
    using TKind = TTableEvent::TKind;
    // A server keeps its own record of its matches, which the history takes
    // instead (KeepServerRecord): nothing of a server's table is kept from here.
    if (event.Seats.Kind == TSeating::ServerPlayer || event.Seats.Kind == TSeating::ServerWatcher) {
        if (event.Kind == TKind::Dealt) {
            Seats = event.Seats;
            StartTime = Clock ? Clock() : 0;
            Last.reset();
        }
        Open =
            event.Kind == TKind::Dealt || (Open && event.Kind != TKind::Ended && event.Kind != TKind::Left);
        return;
    }
    if (event.Kind == TKind::Dealt) {
        Seats = event.Seats;
        StartTime = Clock ? Clock() : 0;
        Open = true;
    }
    if (!Open) return;
    if (event.Kind == TKind::Left) Keep(event, TMatchEnding::Abandoned, -1);
    if (event.Kind != TKind::Ended) return;
    if (event.How == TTableEvent::THow::Finished) {
        const int32_t red = event.Score[0], blue = event.Score[1];
        Keep(event, TMatchEnding::Finished, red == blue ? -1 : red > blue ? 0 : 1);
    } else if (Seats.Kind == TSeating::DirectPeer) {
        // Stopped from outside across the network: the other player left,
        // and the one who stayed wins.
        Keep(event, TMatchEnding::Left, Seats.Person == 0 ? 0 : 1);
    } else {
        Keep(event, TMatchEnding::Abandoned, -1);
    }
}

void TMatchArchive::KeepServerRecord(const TMatchRecord& record) {
    // A match broken off before its first card is not kept, as here.
    if (record.Moves.empty()) return;
    Last = record;
    if (Kept) Kept(record);
}

std::optional<TMatchRecord> TMatchArchive::Current(const TGame& game) const {
    if (!Open) return Last;
    return Build(game.Match(), TMatchEnding::Abandoned, -1);
}
