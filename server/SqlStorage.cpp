// Opening the database and making or upgrading its tables.
#include "server/SqlStorage.h"

#include "server/PgWriteBatch.h"
#include "server/SqlRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <thread>

namespace {

// Each step takes the schema from the version before it to its own; a step
// is never changed once released, only followed by another. "{id}" stands
// for the dialect's generated key.
struct TSchemaStep {
    int Version;
    std::vector<const char*> Statements;
};

const std::vector<TSchemaStep>& SchemaSteps() {
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
        // Ratings: every player starts at 1500 ± 350, and each rated result
        // keeps what it did to both players' ratings.
        {2,
         {"ALTER TABLE players ADD COLUMN rating DOUBLE PRECISION NOT NULL DEFAULT 1500",
          "ALTER TABLE players ADD COLUMN deviation DOUBLE PRECISION NOT NULL DEFAULT 350",
          "ALTER TABLE players ADD COLUMN volatility DOUBLE PRECISION NOT NULL DEFAULT 0.06",
          "ALTER TABLE players ADD COLUMN rated_matches INTEGER NOT NULL DEFAULT 0",
          "CREATE INDEX players_rating ON players (rated_matches, rating)",
          "CREATE INDEX matches_red ON matches (red_player, ended_ms)",
          "CREATE INDEX matches_blue ON matches (blue_player, ended_ms)",
          "CREATE TABLE rating_changes ("
          " match_id BIGINT NOT NULL REFERENCES matches (id),"
          " player_id BIGINT NOT NULL REFERENCES players (id),"
          " ended_ms BIGINT NOT NULL,"
          " rating_before DOUBLE PRECISION NOT NULL,"
          " deviation_before DOUBLE PRECISION NOT NULL,"
          " volatility_before DOUBLE PRECISION NOT NULL,"
          " rating_after DOUBLE PRECISION NOT NULL,"
          " deviation_after DOUBLE PRECISION NOT NULL,"
          " volatility_after DOUBLE PRECISION NOT NULL,"
          " PRIMARY KEY (match_id, player_id))",
          "CREATE INDEX rating_changes_player ON rating_changes (player_id, ended_ms)"}},
        // Owners: the server instance that runs a match, so that servers
        // sharing a database resume only their own; '' for none.
        {3, {"ALTER TABLE matches ADD COLUMN instance TEXT NOT NULL DEFAULT ''"}},
        // The community: sanctions and reports, moderators granted here,
        // blocks and follows, and the log of every moderation action, which
        // servers sharing the database read to act on each other's.
        {4,
         {"CREATE TABLE sanctions ("
          " id {id},"
          " kind TEXT NOT NULL,"
          " target TEXT NOT NULL,"
          " player_id BIGINT NOT NULL DEFAULT 0,"
          " reason TEXT NOT NULL,"
          " by_name TEXT NOT NULL,"
          " created_ms BIGINT NOT NULL,"
          " until_ms BIGINT NOT NULL DEFAULT 0,"
          " lifted_ms BIGINT NOT NULL DEFAULT 0)",
          "CREATE INDEX sanctions_lifted ON sanctions (lifted_ms, until_ms)",
          "CREATE TABLE reports ("
          " id {id},"
          " reporter_id BIGINT NOT NULL REFERENCES players (id),"
          " reported_id BIGINT NOT NULL REFERENCES players (id),"
          " reason TEXT NOT NULL,"
          " text TEXT NOT NULL,"
          " evidence TEXT NOT NULL,"
          " match_id BIGINT NOT NULL DEFAULT 0,"
          " created_ms BIGINT NOT NULL,"
          " closed_ms BIGINT NOT NULL DEFAULT 0,"
          " closed_by TEXT NOT NULL DEFAULT '',"
          " outcome TEXT NOT NULL DEFAULT '')",
          "CREATE INDEX reports_reporter ON reports (reporter_id, created_ms)",
          "CREATE INDEX reports_open ON reports (closed_ms, id)",
          "CREATE TABLE moderators ("
          " player_id BIGINT PRIMARY KEY REFERENCES players (id),"
          " granted_by TEXT NOT NULL,"
          " granted_ms BIGINT NOT NULL)",
          "CREATE TABLE relations ("
          " player_id BIGINT NOT NULL REFERENCES players (id),"
          " other_id BIGINT NOT NULL REFERENCES players (id),"
          " kind TEXT NOT NULL,"
          " created_ms BIGINT NOT NULL,"
          " PRIMARY KEY (player_id, kind, other_id))",
          "CREATE TABLE moderation_log ("
          " id {id},"
          " by_name TEXT NOT NULL,"
          " action TEXT NOT NULL,"
          " target TEXT NOT NULL,"
          " reason TEXT NOT NULL,"
          " at_ms BIGINT NOT NULL)"}},
        // Leases: the server that runs a match in play holds it until
        // lease_until (the database's clock, in ms) at lease_epoch, which
        // each server taking the match over raises.
        {5,
         {"ALTER TABLE matches ADD COLUMN lease_epoch BIGINT NOT NULL DEFAULT 0",
          "ALTER TABLE matches ADD COLUMN lease_until BIGINT NOT NULL DEFAULT 0"}},
        // One lease for each server over all the matches it runs: a match's
        // own lease_until holds it only for a while after it was created or
        // taken, and 0 there lets it go whatever its server's lease says.
        {6, {"CREATE TABLE instances (name TEXT PRIMARY KEY, lease_until BIGINT NOT NULL)"}},
    };
    return Steps;
}

// Held by whichever server is making or upgrading the schema on PostgreSQL:
// "vantaro" in ASCII.
constexpr const char* SchemaLockKey = "33321174278697583";

} // namespace

TSqlStorage::~TSqlStorage() {
    // A statement must not outlive its connection.
    for (std::unique_ptr<QSqlQuery>& statement : Statements) statement.reset();
    if (QSqlDatabase::contains(ConnectionName)) {
        QSqlDatabase::database(ConnectionName, false).close();
        QSqlDatabase::removeDatabase(ConnectionName);
    }
}

QSqlDatabase TSqlStorage::Database() {
    ReopenIfLost();
    return QSqlDatabase::database(ConnectionName, false);
}

void TSqlStorage::Fail(const QSqlError& error, const std::string& what) {
    Error = what + SqlRows::ErrorText(error);
    Lost = Postgres;
}

// A statement that failed to prepare is prepared again next time, so that a
// database that comes back is used again.
QSqlQuery& TSqlStorage::Prepared(TStatement statement, const char* text) {
    ReopenIfLost();
    std::unique_ptr<QSqlQuery>& query = Statements[size_t(statement)];
    if (!query || query->lastQuery().isEmpty()) {
        query = std::make_unique<QSqlQuery>(Database());
        if (!query->prepare(Dialect(QString::fromLatin1(text)))) query->clear();
    }
    return *query;
}

// Lease times are the database's clock, not each server's: servers on
// several machines then agree on when a lease runs out however far their
// own clocks drift apart. (SQLite's clock is its one machine's.)
QString TSqlStorage::Dialect(QString text) const {
    return text
        .replace("{now}", Postgres ? "CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)"
                                   : "CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)")
        .replace("{share}", Postgres ? " FOR SHARE" : "")
        .replace("{lock}", Postgres ? " FOR UPDATE" : "");
}

// PostgreSQL restarted, or the line to it broke: the connection stays
// broken and says so only by failing, so after a failure the next use
// connects again. (A failure of the statement alone costs a connection.)
void TSqlStorage::ReopenIfLost() {
    if (!Lost) return;
    Lost = false;
    for (std::unique_ptr<QSqlQuery>& statement : Statements) statement.reset();
    Batch.reset();
    QSqlDatabase database = QSqlDatabase::database(ConnectionName, false);
    database.close();
    database.open();
}

std::unique_ptr<TSqlStorage> TSqlStorage::Open(const std::string& sqliteFile, const std::string& databaseUrl,
                                               std::string& error, const std::string& instance) {
    std::unique_ptr<TSqlStorage> storage(new TSqlStorage());
    storage->Instance = QString::fromStdString(instance);
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
            // The statements are prepared once and run thousands of times a
            // second with values that never change their best plan: planned
            // once, not at every run.
            database.setConnectOptions("connect_timeout=10;options='-c client_min_messages=warning"
                                       " -c plan_cache_mode=force_generic_plan'");
        } else {
            database.setDatabaseName(QString::fromStdString(sqliteFile));
            database.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
        }
        if (!database.open()) {
            error = "cannot open the database: " + SqlRows::ErrorText(database.lastError());
            return nullptr;
        }
        if (!storage->Postgres) {
            // WAL keeps readers and the writer apart; NORMAL makes a commit
            // survive the process being killed, and only a power cut can take
            // back the last commits, never leaving a half-written one.
            QSqlQuery query(database);
            // Servers opening a new file at once: turning it to WAL needs it
            // alone, and SQLite answers "locked" at once rather than wait
            // when two ask together, so the change is asked again a while.
            bool wal = query.exec("PRAGMA journal_mode = WAL");
            auto busy = [&] {
                return query.lastError().nativeErrorCode() == QLatin1String("5");
            }; // SQLITE_BUSY
            for (int tries = 0; !wal && busy() && tries < 50; ++tries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                wal = query.exec("PRAGMA journal_mode = WAL");
            }
            for (const char* statement : {"PRAGMA synchronous = NORMAL", "PRAGMA foreign_keys = ON"})
                if (!wal || !query.exec(statement)) {
                    error = "cannot set up the SQLite file: " + SqlRows::ErrorText(query.lastError());
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

bool TSqlStorage::Upgrade() {
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    auto fail = [&](const std::string& what) {
        Error = what;
        if (Postgres)
            database.rollback();
        else
            query.exec("ROLLBACK");
        return false;
    };
    // Several servers may start on one database at once: the first to take
    // the lock makes or upgrades the schema, the others then find it done.
    // The lock comes first, before even the version table is made, since
    // two servers both making it collide.
    if (!(Postgres ? database.transaction() : query.exec("BEGIN IMMEDIATE"))) {
        Error = "cannot lock the schema: " +
                SqlRows::ErrorText(Postgres ? database.lastError() : query.lastError());
        return false;
    }
    if (Postgres && !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey)))
        return fail("cannot lock the schema: " + SqlRows::ErrorText(query.lastError()));
    query.finish();
    if (!query.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))
        return fail("cannot create the schema's version table: " + SqlRows::ErrorText(query.lastError()));
    if (!query.exec("SELECT version FROM schema_version"))
        return fail("cannot read the schema's version: " + SqlRows::ErrorText(query.lastError()));
    int version = 0;
    bool haveRow = query.next();
    if (haveRow) version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion)
        return fail("the database has schema version " + std::to_string(version) +
                    ", newer than this server's " + std::to_string(SchemaVersion) +
                    "; run a newer vantaro-server");
    const char* id = Postgres ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"
                              : "INTEGER PRIMARY KEY AUTOINCREMENT";
    for (const TSchemaStep& step : SchemaSteps()) {
        if (step.Version <= version) continue;
        for (const char* statement : step.Statements) {
            QString text = QString::fromLatin1(statement).replace("{id}", id);
            if (!query.exec(text))
                return fail("cannot upgrade the schema to version " + std::to_string(step.Version) + ": " +
                            SqlRows::ErrorText(query.lastError()));
        }
        version = step.Version;
    }
    bool written =
        haveRow ? query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version))
                : query.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version));
    if (!written) return fail("cannot write the schema's version: " + SqlRows::ErrorText(query.lastError()));
    bool committed = Postgres ? database.commit() : query.exec("COMMIT");
    if (!committed)
        return fail("cannot commit the schema: " +
                    SqlRows::ErrorText(Postgres ? database.lastError() : query.lastError()));
    return true;
}
