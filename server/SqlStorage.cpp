#include "server/SqlStorage.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

// Each step takes the schema from the version before it to its own; a step
// is never changed once released, only followed by another. "{id}" stands
// for the dialect's generated key.
struct TSchemaStep {
    int Version;
    std::vector<const char*> Statements;
};

const std::vector<TSchemaStep>& SchemaSteps()
{
    static const std::vector<TSchemaStep> Steps = {
        {1,
         {"CREATE TABLE players ("
          " id {id},"
          " name TEXT NOT NULL,"
          " name_key TEXT NOT NULL UNIQUE,"
          " fingerprint TEXT NOT NULL,"
          " created_ms BIGINT NOT NULL)",
          "CREATE INDEX players_fingerprint ON players (fingerprint)",
          "CREATE TABLE matches ("
          " id {id},"
          " red_player BIGINT NOT NULL REFERENCES players (id),"
          " blue_player BIGINT NOT NULL REFERENCES players (id),"
          " rules INTEGER NOT NULL,"
          " move_seconds INTEGER NOT NULL,"
          " seed BIGINT NOT NULL,"
          " first_player INTEGER NOT NULL,"
          " status TEXT NOT NULL,"
          " winner INTEGER NOT NULL DEFAULT -1,"
          " score_red INTEGER NOT NULL DEFAULT 0,"
          " score_blue INTEGER NOT NULL DEFAULT 0,"
          " started_ms BIGINT NOT NULL,"
          " ended_ms BIGINT NOT NULL DEFAULT 0,"
          " rated INTEGER NOT NULL DEFAULT 0)",
          "CREATE INDEX matches_status ON matches (status)",
          "CREATE TABLE moves ("
          " match_id BIGINT NOT NULL REFERENCES matches (id),"
          " idx INTEGER NOT NULL,"
          " slot INTEGER NOT NULL,"
          " x INTEGER NOT NULL,"
          " y INTEGER NOT NULL,"
          " time_ms BIGINT NOT NULL,"
          " PRIMARY KEY (match_id, idx))"}},
    };
    return Steps;
}

std::string Text(const QSqlError& error)
{
    QString text = error.text().simplified();
    return text.isEmpty() ? std::string("unknown database error") : text.toStdString();
}

constexpr const char* MatchColumns =
    "id, red_player, blue_player, rules, move_seconds, seed, first_player, status, winner,"
    " score_red, score_blue, started_ms, ended_ms, rated";

bool ReadMatch(const QSqlQuery& query, TMatchRecord& match)
{
    match.Id = query.value(0).toLongLong();
    match.Players[0] = query.value(1).toLongLong();
    match.Players[1] = query.value(2).toLongLong();
    match.Rules = query.value(3).toInt();
    match.MoveSeconds = query.value(4).toInt();
    match.Seed = query.value(5).toLongLong();
    match.FirstPlayer = query.value(6).toInt();
    match.Winner = query.value(8).toInt();
    match.Score[0] = query.value(9).toInt();
    match.Score[1] = query.value(10).toInt();
    match.StartedMs = query.value(11).toLongLong();
    match.EndedMs = query.value(12).toLongLong();
    match.Rated = query.value(13).toInt() != 0;
    return StatusFromName(query.value(7).toString().toStdString(), match.Status);
}

} // namespace

TSqlStorage::~TSqlStorage()
{
    // A statement must not outlive its connection.
    for (std::unique_ptr<QSqlQuery>& statement : Statements)
        statement.reset();
    if (QSqlDatabase::contains(ConnectionName)) {
        QSqlDatabase::database(ConnectionName, false).close();
        QSqlDatabase::removeDatabase(ConnectionName);
    }
}

QSqlDatabase TSqlStorage::Database() const
{
    return QSqlDatabase::database(ConnectionName, false);
}

// A statement that failed to prepare is prepared again next time, so that a
// database that comes back is used again.
QSqlQuery& TSqlStorage::Prepared(TStatement statement, const char* text)
{
    std::unique_ptr<QSqlQuery>& query = Statements[size_t(statement)];
    if (!query || query->lastQuery().isEmpty()) {
        query = std::make_unique<QSqlQuery>(Database());
        if (!query->prepare(QString::fromLatin1(text)))
            query->clear();
    }
    return *query;
}

std::unique_ptr<TSqlStorage> TSqlStorage::Open(const std::string& sqliteFile, const std::string& databaseUrl,
                                               std::string& error)
{
    std::unique_ptr<TSqlStorage> storage(new TSqlStorage());
    storage->ConnectionName = QStringLiteral("vantaro-storage-%1").arg(quintptr(storage.get()), 0, 16);
    storage->Postgres = !databaseUrl.empty();
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(storage->Postgres ? "QPSQL" : "QSQLITE", storage->ConnectionName);
        if (!database.isValid()) {
            error = std::string("the Qt SQL driver for ") + (storage->Postgres ? "PostgreSQL" : "SQLite") +
                    " is not installed";
            return nullptr;
        }
        if (storage->Postgres) {
            QUrl url(QString::fromStdString(databaseUrl), QUrl::StrictMode);
            QString name = url.path().mid(1);
            if (!url.isValid() || url.host().isEmpty() || name.isEmpty() || name.contains('/')) {
                error = "cannot read the database URL; write postgresql://USER@HOST[:PORT]/DATABASE";
                return nullptr;
            }
            database.setHostName(url.host());
            database.setPort(url.port(5432));
            database.setUserName(url.userName());
            database.setPassword(url.password());
            database.setDatabaseName(name);
            // Notices ("already exists, skipping") would reach standard error as stray lines.
            database.setConnectOptions("connect_timeout=10;options='-c client_min_messages=warning'");
        } else {
            database.setDatabaseName(QString::fromStdString(sqliteFile));
            database.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
        }
        if (!database.open()) {
            error = "cannot open the database: " + Text(database.lastError());
            return nullptr;
        }
        if (!storage->Postgres) {
            // WAL keeps readers and the writer apart; NORMAL makes a commit
            // survive the process being killed, and only a power cut can take
            // back the last commits, never leaving a half-written one.
            QSqlQuery query(database);
            for (const char* statement :
                 {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL", "PRAGMA foreign_keys = ON"})
                if (!query.exec(statement)) {
                    error = "cannot set up the SQLite file: " + Text(query.lastError());
                    return nullptr;
                }
            query.exec("PRAGMA journal_mode");
            if (!query.next() || query.value(0).toString().toLower() != "wal") {
                error = "the SQLite file cannot be put in WAL mode";
                return nullptr;
            }
        }
    }
    if (!storage->Upgrade()) {
        error = storage->Error;
        return nullptr;
    }
    return storage;
}

bool TSqlStorage::Upgrade()
{
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    if (!query.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)")) {
        Error = "cannot create the schema's version table: " + Text(query.lastError());
        return false;
    }
    // Several servers may start on one database at once: the first to lock
    // the version upgrades, the others then find it done.
    bool begun = Postgres ? database.transaction() : query.exec("BEGIN IMMEDIATE");
    if (!begun || (Postgres && !query.exec("LOCK TABLE schema_version IN EXCLUSIVE MODE"))) {
        Error = "cannot lock the schema: " + Text(Postgres ? database.lastError() : query.lastError());
        return false;
    }
    auto fail = [&](const std::string& what) {
        Error = what;
        if (Postgres)
            database.rollback();
        else
            query.exec("ROLLBACK");
        return false;
    };
    if (!query.exec("SELECT version FROM schema_version"))
        return fail("cannot read the schema's version: " + Text(query.lastError()));
    int version = 0;
    bool haveRow = query.next();
    if (haveRow)
        version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion)
        return fail("the database has schema version " + std::to_string(version) + ", newer than this server's " +
                    std::to_string(SchemaVersion) + "; run a newer vantaro-server");
    const char* id = Postgres ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"
                              : "INTEGER PRIMARY KEY AUTOINCREMENT";
    for (const TSchemaStep& step : SchemaSteps()) {
        if (step.Version <= version)
            continue;
        for (const char* statement : step.Statements) {
            QString text = QString::fromLatin1(statement).replace("{id}", id);
            if (!query.exec(text))
                return fail("cannot upgrade the schema to version " + std::to_string(step.Version) + ": " +
                            Text(query.lastError()));
        }
        version = step.Version;
    }
    bool written = haveRow ? query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version))
                           : query.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version));
    if (!written)
        return fail("cannot write the schema's version: " + Text(query.lastError()));
    bool committed = Postgres ? database.commit() : query.exec("COMMIT");
    if (!committed)
        return fail("cannot commit the schema: " + Text(Postgres ? database.lastError() : query.lastError()));
    return true;
}

TStorage::TBinding TSqlStorage::BindName(const std::string& name, const std::string& fingerprint, int64_t nowMs)
{
    TBinding binding;
    if (!IsValidPlayerName(name) || fingerprint.empty()) {
        binding.Result = TBindResult::Invalid;
        return binding;
    }
    QSqlQuery query(Database());
    // Two servers binding one name at once: the unique key lets only one
    // insert, and both then read the same row.
    query.prepare("INSERT INTO players (name, name_key, fingerprint, created_ms) VALUES (?, ?, ?, ?)"
                  " ON CONFLICT (name_key) DO NOTHING");
    query.addBindValue(QString::fromStdString(name));
    query.addBindValue(QString::fromStdString(NameKey(name)));
    query.addBindValue(QString::fromStdString(fingerprint));
    query.addBindValue(qint64(nowMs));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return binding;
    }
    bool inserted = query.numRowsAffected() == 1;
    query.prepare("SELECT id, name, fingerprint FROM players WHERE name_key = ?");
    query.addBindValue(QString::fromStdString(NameKey(name)));
    if (!query.exec() || !query.next()) {
        Error = query.lastError().isValid() ? Text(query.lastError()) : "a player row went missing";
        return binding;
    }
    if (query.value(2).toString().toStdString() != fingerprint) {
        binding.Result = TBindResult::Taken;
        return binding;
    }
    binding.Result = inserted ? TBindResult::Created : TBindResult::Known;
    binding.PlayerId = query.value(0).toLongLong();
    binding.Name = query.value(1).toString().toStdString();
    return binding;
}

std::optional<TStorage::TPlayer> TSqlStorage::FindPlayer(const std::string& name)
{
    QSqlQuery& query = Prepared(TStatement::FindPlayer, "SELECT id, name, fingerprint FROM players WHERE name_key = ?");
    query.bindValue(0, QString::fromStdString(NameKey(name)));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return std::nullopt;
    }
    std::optional<TPlayer> player;
    if (query.next())
        player = TPlayer{query.value(0).toLongLong(), query.value(1).toString().toStdString(),
                         query.value(2).toString().toStdString()};
    // A kept statement left open would hold SQLite's read snapshot.
    query.finish();
    return player;
}

std::optional<std::string> TSqlStorage::PlayerName(int64_t playerId)
{
    QSqlQuery query(Database());
    query.prepare("SELECT name FROM players WHERE id = ?");
    query.addBindValue(qint64(playerId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    return query.value(0).toString().toStdString();
}

int64_t TSqlStorage::CreateMatch(const TMatchRecord& match)
{
    QSqlQuery& query =
        Prepared(TStatement::CreateMatch,
                 "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
                 " started_ms, rated) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
    const QVariant values[] = {qint64(match.Players[0]), qint64(match.Players[1]), int(match.Rules),
                               int(match.MoveSeconds),   qint64(match.Seed),       int(match.FirstPlayer),
                               QString::fromLatin1(StatusName(TMatchStatus::Playing)), qint64(match.StartedMs),
                               int(match.Rated ? 1 : 0)};
    for (int i = 0; i < int(std::size(values)); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec() || !query.next()) {
        Error = query.lastError().isValid() ? Text(query.lastError()) : "no id for the new match";
        query.finish();
        return 0;
    }
    int64_t id = query.value(0).toLongLong();
    query.finish();
    return id;
}

bool TSqlStorage::AddMove(int64_t matchId, const TMoveRecord& move)
{
    // One statement, so that it is whole or absent; the count keeps the
    // moves without gaps and the key keeps two servers from both adding one.
    QSqlQuery& query =
        Prepared(TStatement::AddMove, "INSERT INTO moves (match_id, idx, slot, x, y, time_ms) SELECT ?, ?, ?, ?, ?, ?"
                                      " WHERE (SELECT COUNT(*) FROM moves WHERE match_id = ?) = ?"
                                      " AND EXISTS (SELECT 1 FROM matches WHERE id = ? AND status = 'playing')");
    const QVariant values[] = {qint64(matchId), int(move.Index),  int(move.Slot), int(move.X),     int(move.Y),
                               qint64(move.TimeMs), qint64(matchId), int(move.Index), qint64(matchId)};
    for (int i = 0; i < int(std::size(values)); ++i)
        query.bindValue(i, values[i]);
    const bool run = query.exec();
    const int rows = run ? query.numRowsAffected() : 0;
    if (!run)
        Error = Text(query.lastError());
    query.finish();
    if (!run)
        return false;
    if (rows != 1) {
        Error = "move " + std::to_string(move.Index) + " is not the next of match " + std::to_string(matchId);
        return false;
    }
    return true;
}

bool TSqlStorage::FinishMatch(int64_t matchId, TMatchStatus status, int32_t winner, const int32_t score[2],
                              int64_t endedMs)
{
    QSqlQuery& query =
        Prepared(TStatement::FinishMatch, "UPDATE matches SET status = ?, winner = ?, score_red = ?, score_blue = ?,"
                                          " ended_ms = ? WHERE id = ? AND status = 'playing'");
    const QVariant values[] = {QString::fromLatin1(StatusName(status)), int(winner), int(score[0]), int(score[1]),
                               qint64(endedMs), qint64(matchId)};
    for (int i = 0; i < int(std::size(values)); ++i)
        query.bindValue(i, values[i]);
    const bool run = query.exec();
    const int rows = run ? query.numRowsAffected() : 0;
    if (!run)
        Error = Text(query.lastError());
    query.finish();
    return run && rows == 1;
}

bool TSqlStorage::LoadMoves(TMatchRecord& match)
{
    QSqlQuery query(Database());
    query.prepare("SELECT idx, slot, x, y, time_ms FROM moves WHERE match_id = ? ORDER BY idx");
    query.addBindValue(qint64(match.Id));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return false;
    }
    match.Moves.clear();
    while (query.next())
        match.Moves.push_back({query.value(0).toInt(), query.value(1).toInt(), query.value(2).toInt(),
                               query.value(3).toInt(), query.value(4).toLongLong()});
    return true;
}

std::optional<TMatchRecord> TSqlStorage::LoadMatch(int64_t matchId)
{
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT %1 FROM matches WHERE id = ?").arg(MatchColumns));
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return std::nullopt;
    }
    TMatchRecord match;
    if (!query.next() || !ReadMatch(query, match) || !LoadMoves(match))
        return std::nullopt;
    return match;
}

std::vector<TMatchRecord> TSqlStorage::MatchesInPlay()
{
    std::vector<TMatchRecord> matches;
    QSqlQuery query(Database());
    if (!query.exec(QStringLiteral("SELECT %1 FROM matches WHERE status = 'playing' ORDER BY id").arg(MatchColumns))) {
        Error = Text(query.lastError());
        return matches;
    }
    while (query.next()) {
        TMatchRecord match;
        if (ReadMatch(query, match))
            matches.push_back(match);
    }
    for (TMatchRecord& match : matches)
        LoadMoves(match);
    return matches;
}
