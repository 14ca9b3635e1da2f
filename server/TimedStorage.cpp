#include "server/TimedStorage.h"

#include "server/Histogram.h"

#include <chrono>

namespace {

// For the calls whose answer cannot tell a failure from "nothing there".
constexpr auto NeverFailed = [](const auto&) { return false; };

} // namespace

template <typename TCall, typename TFailed> auto TTimedStorage::Timed(TCall&& call, TFailed&& failed) {
    const auto start = std::chrono::steady_clock::now();
    auto result = call();
    Seconds.Observe(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (failed(result)) ++Errors;
    return result;
}

TStorage::TBinding TTimedStorage::BindName(const std::string& name, const std::string& fingerprint,
                                           int64_t nowMs) {
    return Timed([&] { return Inner.BindName(name, fingerprint, nowMs); },
                 [](const TBinding& binding) { return binding.Result == TBindResult::Failed; });
}

std::optional<TStorage::TPlayer> TTimedStorage::FindPlayer(const std::string& name) {
    return Timed([&] { return Inner.FindPlayer(name); }, NeverFailed);
}

std::optional<std::string> TTimedStorage::PlayerName(int64_t playerId) {
    return Timed([&] { return Inner.PlayerName(playerId); }, NeverFailed);
}

int64_t TTimedStorage::CreateMatch(const TStoredMatch& match) {
    return Timed([&] { return Inner.CreateMatch(match); }, [](int64_t id) { return id <= 0; });
}

TStorage::TMoveResult TTimedStorage::AddMove(int64_t matchId, int64_t epoch, const TStoredMove& move) {
    return Timed([&] { return Inner.AddMove(matchId, epoch, move); },
                 [](TMoveResult result) { return result == TMoveResult::Failed; });
}

TStorage::TMoveResult TTimedStorage::AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move,
                                                 int32_t winner, const int32_t score[2],
                                                 TRatingUpdate* ratings) {
    return Timed([&] { return Inner.AddLastMove(matchId, epoch, move, winner, score, ratings); },
                 [](TMoveResult result) { return result == TMoveResult::Failed; });
}

bool TTimedStorage::AddWrites(std::vector<TWrite>& writes) {
    // false also means "store them one by one", which the next calls count.
    return Timed([&] { return Inner.AddWrites(writes); }, NeverFailed);
}

TStorage::TMoveResult TTimedStorage::FinishMatch(int64_t matchId, int64_t epoch, TMatchStatus status,
                                                 int32_t winner, const int32_t score[2], int64_t endedMs,
                                                 TRatingUpdate* ratings) {
    return Timed([&] { return Inner.FinishMatch(matchId, epoch, status, winner, score, endedMs, ratings); },
                 [](TMoveResult result) { return result == TMoveResult::Failed; });
}

std::optional<TStoredMatch> TTimedStorage::LoadMatch(int64_t matchId) {
    return Timed([&] { return Inner.LoadMatch(matchId); }, NeverFailed);
}

std::vector<TStoredMatch> TTimedStorage::MatchesInPlay() {
    return Timed([&] { return Inner.MatchesInPlay(); }, NeverFailed);
}

bool TTimedStorage::RenewLeases(const std::vector<int64_t>& matchIds) {
    return Timed([&] { return Inner.RenewLeases(matchIds); }, [](bool renewed) { return !renewed; });
}

std::vector<TStoredMatch> TTimedStorage::TakeOverExpired(size_t most) {
    return Timed([&] { return Inner.TakeOverExpired(most); }, NeverFailed);
}

std::optional<TStorage::TStanding> TTimedStorage::Standing(int64_t playerId) {
    return Timed([&] { return Inner.Standing(playerId); }, NeverFailed);
}

std::vector<TStorage::TStanding> TTimedStorage::Leaderboard(int32_t minMatches, int32_t count) {
    return Timed([&] { return Inner.Leaderboard(minMatches, count); }, NeverFailed);
}

std::optional<TStorage::TProfile> TTimedStorage::Profile(const std::string& name, int32_t historyCount,
                                                         int32_t recentCount) {
    return Timed([&] { return Inner.Profile(name, historyCount, recentCount); }, NeverFailed);
}
