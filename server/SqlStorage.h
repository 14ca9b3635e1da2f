#pragma once

#include "server/CommunityStorage.h"
#include "server/Storage.h"

#include <QString>

#include <memory>

class QSqlDatabase;
class TPgWriteBatch;
class QSqlError;
class QSqlQuery;

// The storage over Qt SQL: an SQLite file (WAL mode) or a PostgreSQL database
// with the same tables. Opening creates the tables, or upgrades those an
// older server made; a database a newer server has upgraded is refused. Use
// one object from one thread. The matches it creates are marked as the given
// server instance's, so that servers sharing a database each resume only
// their own, and it writes for a match only while that instance holds the
// match's lease at the epoch the write names.
class TSqlStorage : public TStorage, public TCommunityStorage {
public:
    static constexpr int SchemaVersion = 6;

    ~TSqlStorage() override;

    // sqliteFile is used when databaseUrl is empty. Nothing on failure; the
    // error is one line naming what went wrong.
    static std::unique_ptr<TSqlStorage> Open(const std::string& sqliteFile, const std::string& databaseUrl,
                                             std::string& error, const std::string& instance = {});

    TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t nowMs) override;
    std::optional<TPlayer> FindPlayer(const std::string& name) override;
    std::optional<std::string> PlayerName(int64_t playerId) override;
    int64_t CreateMatch(const TStoredMatch& match) override;
    TMoveResult AddMove(int64_t matchId, int64_t epoch, const TStoredMove& move) override;
    TMoveResult AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move, int32_t winner,
                            const int32_t score[2], TRatingUpdate* ratings = nullptr) override;
    bool AddWrites(std::vector<TWrite>& writes) override;
    TMoveResult FinishMatch(int64_t matchId, int64_t epoch, TMatchStatus status, int32_t winner,
                            const int32_t score[2], int64_t endedMs,
                            TRatingUpdate* ratings = nullptr) override;
    std::optional<TStoredMatch> LoadMatch(int64_t matchId) override;
    std::vector<TStoredMatch> MatchesInPlay() override;
    bool RenewLeases(const std::vector<int64_t>& matchIds) override;
    std::vector<TStoredMatch> TakeOverExpired(size_t most) override;
    std::optional<TStanding> Standing(int64_t playerId) override;
    std::vector<TStanding> Leaderboard(int32_t minMatches, int32_t count) override;
    std::optional<TProfile> Profile(const std::string& name, int32_t historyCount,
                                    int32_t recentCount) override;
    TCommunityStorage* Community() override { return this; }
    std::string LastError() const override { return Error; }

    // The community (SqlCommunity.cpp).
    int64_t AddSanction(const TSanction& sanction) override;
    bool LiftSanction(int64_t id, const std::string& by, const std::string& reason, int64_t nowMs) override;
    std::optional<std::vector<TSanction>> Sanctions(int64_t nowMs) override;
    bool SetModerator(int64_t playerId, bool moderator, const std::string& by, int64_t nowMs) override;
    std::optional<std::vector<std::string>> Moderators() override;
    int64_t AddReport(const TReport& report) override;
    int32_t ReportsSince(int64_t reporterId, int64_t sinceMs) override;
    std::optional<std::vector<TReport>> OpenReports(int32_t count) override;
    bool CloseReport(int64_t id, const std::string& by, const std::string& outcome, int64_t nowMs) override;
    bool LogAction(const TAction& action) override;
    std::optional<std::vector<TAction>> ActionsAfter(int64_t id, int32_t count) override;
    std::optional<std::vector<TAction>> LatestActions(int32_t count) override;
    bool SetRelation(int64_t playerId, int64_t otherId, TRelation relation, bool on, int64_t nowMs) override;
    std::optional<std::vector<std::pair<int64_t, std::string>>> Related(int64_t playerId,
                                                                        TRelation relation) override;

private:
    // The statements run for every move, match and sign-in, prepared once
    // for the connection and run again with new values.
    enum class TStatement {
        FindPlayer,
        CreateMatch,
        AddMove,
        FinishMatch,
        ReadRatings,
        WriteRating,
        AddRatingChange,
        Count
    };

    TSqlStorage() = default;
    // The connection; made again first when the last use failed.
    QSqlDatabase Database();
    QSqlQuery& Prepared(TStatement statement, const char* text);
    // The statement in this database's words: "{now}" for the database's
    // own clock in milliseconds since 1970, "{share}" for a lock on the rows
    // read that holds off their update until the transaction ends, "{lock}"
    // for one that holds off other writers' locks too.
    QString Dialect(QString text) const;
    bool Upgrade();
    // After a failure on PostgreSQL: a new connection, the statements to be prepared again.
    void ReopenIfLost();
    // Keeps the error, after what, and has the connection made again at its next use.
    void Fail(const QSqlError& error, const std::string& what = {});
    bool LoadMoves(TStoredMatch& match);
    // The matches in play picked by condition (over the matches' columns,
    // its one value bound), each taken at the next epoch if still at the one
    // read: a compare-and-set, so that of servers taking a match at once one
    // gets it. Returns those taken, with their moves.
    std::vector<TStoredMatch> Take(const char* condition, size_t most);
    // A write transaction that holds the database from its start (SQLite's
    // IMMEDIATE), so that two servers never both read a rating and write it.
    bool Begin();
    bool Commit();
    void Rollback();
    // The move as the next of a match in play held at epoch; NotNext also
    // when the match is not in play or not held, which Refusal then tells apart.
    TMoveResult InsertMove(int64_t matchId, int64_t epoch, const TStoredMove& move);
    // AddWrites on PostgreSQL: the batch's statements sent together.
    bool AddBatch(std::vector<TWrite>& writes);
    // Why a write was refused: Ended, Fenced, or else NotNext for a move.
    TMoveResult Refusal(int64_t matchId, int64_t epoch, const TStoredMove* move);
    // Within a transaction: the end of a match in play held at epoch, with
    // what it does to ratings.
    TMoveResult EndInTransaction(int64_t matchId, int64_t epoch, TMatchStatus status, int32_t winner,
                                 const int32_t score[2], int64_t endedMs, TRatingUpdate& update);
    // Within a transaction: one line of the moderation log.
    bool InsertAction(QSqlQuery& query, const TAction& action);
    // A write of the community and its log line in one transaction.
    template <typename TSteps> bool InTransaction(TSteps&& write);
    bool RateMatch(int64_t matchId, const int64_t players[2], TMatchStatus status, int32_t winner,
                   int64_t endedMs, TRatingUpdate& update);

    QString ConnectionName;
    QString Instance;
    std::unique_ptr<QSqlQuery> Statements[size_t(TStatement::Count)];
    std::unique_ptr<TPgWriteBatch> Batch; // of this connection: its statements are prepared on it
    bool Postgres = false;
    bool Lost = false;
    std::string Error;
};
