#pragma once

#include "server/Storage.h"

class THistogram;

// The storage as the lobby uses it, with every call timed and every failure
// counted for the metrics; what it stores and answers is the inner storage's.
class TTimedStorage : public TStorage {
public:
    TTimedStorage(TStorage& inner, THistogram& seconds, uint64_t& errors)
        : Inner(inner), Seconds(seconds), Errors(errors) {}

    TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t nowMs) override;
    std::optional<TPlayer> FindPlayer(const std::string& name) override;
    std::optional<std::string> PlayerName(int64_t playerId) override;
    int64_t CreateMatch(const TStoredMatch& match) override;
    TMoveResult AddMove(int64_t matchId, int64_t epoch, const TStoredMove& move) override;
    TMoveResult AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move, int32_t winner,
                            const int32_t score[2], TRatingUpdate* ratings) override;
    bool AddWrites(std::vector<TWrite>& writes) override;
    TMoveResult FinishMatch(int64_t matchId, int64_t epoch, TMatchStatus status, int32_t winner,
                            const int32_t score[2], int64_t endedMs, TRatingUpdate* ratings) override;
    std::optional<TStoredMatch> LoadMatch(int64_t matchId) override;
    std::vector<TStoredMatch> MatchesInPlay() override;
    bool RenewLeases(const std::vector<int64_t>& matchIds) override;
    std::vector<TStoredMatch> TakeOverExpired(size_t most) override;
    std::optional<TStanding> Standing(int64_t playerId) override;
    std::vector<TStanding> Leaderboard(int32_t minMatches, int32_t count) override;
    std::optional<TProfile> Profile(const std::string& name, int32_t historyCount,
                                    int32_t recentCount) override;
    TCommunityStorage* Community() override { return Inner.Community(); }
    std::string LastError() const override { return Inner.LastError(); }

private:
    // Runs one call, timed; failed tells from its result whether the database failed.
    template <typename TCall, typename TFailed> auto Timed(TCall&& call, TFailed&& failed);

    TStorage& Inner;
    THistogram& Seconds;
    uint64_t& Errors;
};
