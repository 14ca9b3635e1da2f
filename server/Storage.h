#pragma once

#include "server/StoredMatch.h"

#include "records/Rating.h"

#include <optional>
#include <string>
#include <vector>

// What the server keeps: players bound to certificates, and every match with
// its moves. One implementation over SQL serves SQLite and PostgreSQL; the
// server sees only this.
class TCommunityStorage;

class TStorage {
public:
    virtual ~TStorage() = default;

    enum class TBindResult {
        Known,   // the name was already this certificate's
        Created, // the name was free and is now bound to this certificate
        Taken,   // the name (in any case) belongs to another certificate
        Invalid, // not a valid name
        Failed,  // the database failed; see LastError
    };
    struct TBinding {
        TBindResult Result = TBindResult::Failed;
        int64_t PlayerId = 0;
        std::string Name; // as first registered, when Known or Created
    };
    // Binds name to the certificate fingerprint the first time it is used.
    virtual TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t nowMs) = 0;
    struct TPlayer {
        int64_t Id = 0;
        std::string Name;
        std::string Fingerprint;
    };
    // The player holding a name (in any case), or nothing.
    virtual std::optional<TPlayer> FindPlayer(const std::string& name) = 0;
    // The name of a player id, or nothing.
    virtual std::optional<std::string> PlayerName(int64_t playerId) = 0;

    // A match in play is run by one server at a time: the one holding its
    // lease, which it renews while it runs the match (one lease for all its
    // matches). Each server that takes
    // a match (creating it, resuming it after a restart, taking it over once
    // its lease ran out) takes it at a new epoch, and every write for the
    // match says the epoch it was taken at: a server that lost the lease, to
    // another that now runs the match, stores nothing more for it.
    static constexpr int64_t LeaseMs = 6'000;

    // Stores a new match (its Moves ignored) as this server's, its lease held
    // at FirstEpoch, and returns its id, or 0.
    virtual int64_t CreateMatch(const TStoredMatch& match) = 0;
    enum class TMoveResult {
        Stored,
        NotNext, // the index is not the next one of the match
        Ended,   // the match is no longer in play (or unknown)
        Failed,  // the database failed; see LastError
        Fenced,  // another server has taken the match over: this one no longer holds its lease
    };
    // Stores one accepted move of a match in play, held at epoch.
    virtual TMoveResult AddMove(int64_t matchId, int64_t epoch, const TStoredMove& move) = 0;
    // What the end of a match did to its players' ratings, seat by seat.
    struct TRatingUpdate {
        bool Rated = false; // false for a casual match and for one abandoned
        TRating Before[2];
        TRating After[2];
    };
    // The move that ends a match and the match's end (finished, with its
    // result and, if rated, both ratings) in one transaction: a server killed
    // at any moment leaves either both or neither.
    virtual TMoveResult AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move, int32_t winner,
                                    const int32_t score[2], TRatingUpdate* ratings = nullptr) = 0;
    // One unit to store: a new match, a move (and with it the match's end
    // when it is the last), or the end of a match without a move. Each is
    // whole or absent.
    struct TWrite {
        enum class TKind { Move, Create, Finish };
        TKind Kind = TKind::Move;
        int64_t MatchId = 0; // a Move's or a Finish's
        int64_t Epoch = 0;
        TStoredMove Move;
        bool Last = false;
        TMatchStatus Status = TMatchStatus::Finished; // a Finish's
        int32_t Winner = -1;                          // when Last, or a Finish's
        int32_t Score[2] = {0, 0};                    // when Last, or a Finish's
        int64_t EndedMs = 0;                          // a Finish's
        TStoredMatch Match;                           // a Create's, its Id set once stored
        TMoveResult Result = TMoveResult::Failed;
        TRatingUpdate Ratings; // of the end, once stored
    };
    // Every write in one transaction, so that many matches' moves, starts
    // and ends cost one commit: true when all were stored (each Result, and
    // Ratings or the new match's Id, set); false, nothing stored, and each is
    // for storing alone. A storage without transactions has nothing to gain
    // and stores none.
    virtual bool AddWrites(std::vector<TWrite>& writes) {
        (void)writes;
        return false;
    }
    // One write alone: its Result, and Ratings or the new match's Id when stored.
    void AddOne(TWrite& write) {
        switch (write.Kind) {
        case TWrite::TKind::Create:
            write.Match.Id = CreateMatch(write.Match);
            write.Result = write.Match.Id > 0 ? TMoveResult::Stored : TMoveResult::Failed;
            break;
        case TWrite::TKind::Finish:
            write.Result = FinishMatch(write.MatchId, write.Epoch, write.Status, write.Winner, write.Score,
                                       write.EndedMs, &write.Ratings);
            break;
        case TWrite::TKind::Move:
            write.Result = write.Last ? AddLastMove(write.MatchId, write.Epoch, write.Move, write.Winner,
                                                    write.Score, &write.Ratings)
                                      : AddMove(write.MatchId, write.Epoch, write.Move);
            break;
        }
    }
    // Ends a match still in play, held at epoch: Stored, or Ended when it
    // had already ended or is unknown. The end of a rated match with a
    // result moves both players' ratings in the same transaction, so that
    // neither is ever kept without the other; ratings (when given) says how.
    virtual TMoveResult FinishMatch(int64_t matchId, int64_t epoch, TMatchStatus status, int32_t winner,
                                    const int32_t score[2], int64_t endedMs,
                                    TRatingUpdate* ratings = nullptr) = 0;
    virtual std::optional<TStoredMatch> LoadMatch(int64_t matchId) = 0;
    // Every match still in play that this server ran, with its moves, oldest
    // first, each taken again at a new epoch (a server restarted holds none
    // of the leases it took before). Matches in play that no server owns
    // (kept before matches had owners) become this server's; other servers'
    // are left to them.
    virtual std::vector<TStoredMatch> MatchesInPlay() = 0;
    // Renews this server's lease over the matches it runs, given their ids:
    // one it holds and does not run (say one whose takeover failed halfway)
    // is let go for another to take. False when the database failed. A
    // storage only one server uses has none to renew.
    virtual bool RenewLeases(const std::vector<int64_t>& matchIds) {
        (void)matchIds;
        return true;
    }
    // Takes over, at most `most`, matches in play whose lease ran out on
    // another server, and returns them with their moves: of servers trying
    // at once, each match goes to one.
    virtual std::vector<TStoredMatch> TakeOverExpired(size_t most) {
        (void)most;
        return {};
    }

    // A player's rating and the number of rated matches behind it.
    struct TStanding {
        std::string Name;
        TRating Rating;
        int32_t RatedMatches = 0;
    };
    virtual std::optional<TStanding> Standing(int64_t playerId) = 0;
    // The count best-rated players with at least minMatches rated matches, best first.
    virtual std::vector<TStanding> Leaderboard(int32_t minMatches, int32_t count) = 0;

    // One ended match as one of its players saw it.
    struct TPlayedMatch {
        TStoredMatch Match; // without its moves
        int32_t Seat = 0;
        std::string Opponent;
        bool RatingMoved = false;
        TRating Before, After; // when RatingMoved
    };
    struct TProfile {
        int64_t PlayerId = 0;
        TStanding Standing;
        std::vector<std::pair<int64_t, TRating>> History; // end (ms) and rating after, oldest first
        std::vector<TPlayedMatch> Recent;                 // newest first
    };
    // The player holding a name (in any case), the ratings after their last
    // historyCount rated matches and their last recentCount ended ones.
    virtual std::optional<TProfile> Profile(const std::string& name, int32_t historyCount,
                                            int32_t recentCount) = 0;

    // The players' own lists and the moderators' records, where this
    // storage keeps them too.
    virtual TCommunityStorage* Community() { return nullptr; }

    virtual std::string LastError() const = 0;
};
