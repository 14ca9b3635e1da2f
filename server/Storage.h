#pragma once

#include "server/StoredMatch.h"

#include <optional>
#include <string>
#include <vector>

// What the server keeps: players bound to certificates, and every match with
// its moves. One implementation over SQL serves SQLite and PostgreSQL; the
// server sees only this.
class TStorage {
public:
    virtual ~TStorage() = default;

    enum class TBindResult {
        Known,     // the name was already this certificate's
        Created,   // the name was free and is now bound to this certificate
        Taken,     // the name (in any case) belongs to another certificate
        Invalid,   // not a valid name
        Failed,    // the database failed; see LastError
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

    // Stores a new match (its Moves ignored) and returns its id, or 0.
    virtual int64_t CreateMatch(const TStoredMatch& match) = 0;
    // Stores one accepted move; refused (false) when the index is not the next one.
    virtual bool AddMove(int64_t matchId, const TStoredMove& move) = 0;
    // Ends a match still in play; false when it had already ended or is unknown.
    virtual bool FinishMatch(int64_t matchId, TMatchStatus status, int32_t winner, const int32_t score[2],
                             int64_t endedMs) = 0;
    virtual std::optional<TStoredMatch> LoadMatch(int64_t matchId) = 0;
    // Every match still in play, with its moves, oldest first.
    virtual std::vector<TStoredMatch> MatchesInPlay() = 0;

    virtual std::string LastError() const = 0;
};
