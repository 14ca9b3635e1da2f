#pragma once

#include "server/Storage.h"

#include <QString>

#include <memory>

class QSqlDatabase;
class QSqlQuery;

// The storage over Qt SQL: an SQLite file (WAL mode) or a PostgreSQL database
// with the same tables. Opening creates the tables, or upgrades those an
// older server made; a database a newer server has upgraded is refused. Use
// one object from one thread.
class TSqlStorage : public TStorage {
public:
    static constexpr int SchemaVersion = 1;

    ~TSqlStorage() override;

    // sqliteFile is used when databaseUrl is empty. Nothing on failure; the
    // error is one line naming what went wrong.
    static std::unique_ptr<TSqlStorage> Open(const std::string& sqliteFile, const std::string& databaseUrl,
                                             std::string& error);

    TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t nowMs) override;
    std::optional<TPlayer> FindPlayer(const std::string& name) override;
    std::optional<std::string> PlayerName(int64_t playerId) override;
    int64_t CreateMatch(const TMatchRecord& match) override;
    bool AddMove(int64_t matchId, const TMoveRecord& move) override;
    bool FinishMatch(int64_t matchId, TMatchStatus status, int32_t winner, const int32_t score[2],
                     int64_t endedMs) override;
    std::optional<TMatchRecord> LoadMatch(int64_t matchId) override;
    std::vector<TMatchRecord> MatchesInPlay() override;
    std::string LastError() const override { return Error; }

    bool IsPostgres() const { return Postgres; }

private:
    // The statements run for every move, match and sign-in, prepared once
    // for the connection and run again with new values.
    enum class TStatement { FindPlayer, CreateMatch, AddMove, FinishMatch, Count };

    TSqlStorage() = default;
    QSqlDatabase Database() const;
    QSqlQuery& Prepared(TStatement statement, const char* text);
    bool Upgrade();
    bool LoadMoves(TMatchRecord& match);

    QString ConnectionName;
    std::unique_ptr<QSqlQuery> Statements[size_t(TStatement::Count)];
    bool Postgres = false;
    std::string Error;
};
