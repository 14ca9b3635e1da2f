#include "server/SqlStorage.h"

#include "records/Glicko2.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <algorithm>
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
    };
    return Steps;
}

// Held by whichever server is making or upgrading the schema on PostgreSQL:
// "vantaro" in ASCII.
constexpr const char* SchemaLockKey = "33321174278697583";

std::string Text(const QSqlError& error)
{
    QString text = error.text().simplified();
    return text.isEmpty() ? std::string("unknown database error") : text.toStdString();
}

constexpr const char* MatchColumns =
    "id, red_player, blue_player, rules, move_seconds, seed, first_player, status, winner,"
    " score_red, score_blue, started_ms, ended_ms, rated";

bool ReadMatch(const QSqlQuery& query, TStoredMatch& match)
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
                                               std::string& error, const std::string& instance)
{
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
            // Servers opening a new file at once: turning it to WAL needs it
            // alone, and SQLite answers "locked" at once rather than wait
            // when two ask together, so the change is asked again a while.
            bool wal = query.exec("PRAGMA journal_mode = WAL");
            auto busy = [&] { return query.lastError().nativeErrorCode() == QLatin1String("5"); }; // SQLITE_BUSY
            for (int tries = 0; !wal && busy() && tries < 50; ++tries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                wal = query.exec("PRAGMA journal_mode = WAL");
            }
            for (const char* statement : {"PRAGMA synchronous = NORMAL", "PRAGMA foreign_keys = ON"})
                if (!wal || !query.exec(statement)) {
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
        Error = "cannot lock the schema: " + Text(Postgres ? database.lastError() : query.lastError());
        return false;
    }
    if (Postgres && !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey)))
        return fail("cannot lock the schema: " + Text(query.lastError()));
    query.finish();
    if (!query.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))
        return fail("cannot create the schema's version table: " + Text(query.lastError()));
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

int64_t TSqlStorage::CreateMatch(const TStoredMatch& match)
{
    QSqlQuery& query =
        Prepared(TStatement::CreateMatch,
                 "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
                 " started_ms, rated, instance) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
    const QVariant values[] = {qint64(match.Players[0]), qint64(match.Players[1]), int(match.Rules),
                               int(match.MoveSeconds),   qint64(match.Seed),       int(match.FirstPlayer),
                               QString::fromLatin1(StatusName(TMatchStatus::Playing)), qint64(match.StartedMs),
                               int(match.Rated ? 1 : 0), Instance};
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

TStorage::TMoveResult TSqlStorage::AddMove(int64_t matchId, const TStoredMove& move)
{
    TMoveResult result = InsertMove(matchId, move);
    return result == TMoveResult::NotNext ? Refusal(matchId, move) : result;
}

TStorage::TMoveResult TSqlStorage::InsertMove(int64_t matchId, const TStoredMove& move)
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
        return TMoveResult::Failed;
    return rows == 1 ? TMoveResult::Stored : TMoveResult::NotNext;
}

// Why a move was refused: a match that ended (on another server, say) is not
// a move out of order, and the player is told so.
TStorage::TMoveResult TSqlStorage::Refusal(int64_t matchId, const TStoredMove& move)
{
    QSqlQuery query(Database());
    query.prepare("SELECT status FROM matches WHERE id = ?");
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return TMoveResult::Failed;
    }
    if (!query.next() || query.value(0).toString() != QLatin1String(StatusName(TMatchStatus::Playing))) {
        Error = "match " + std::to_string(matchId) + " is not in play";
        return TMoveResult::Ended;
    }
    Error = "move " + std::to_string(move.Index) + " is not the next of match " + std::to_string(matchId);
    return TMoveResult::NotNext;
}

TStorage::TMoveResult TSqlStorage::AddLastMove(int64_t matchId, const TStoredMove& move, int32_t winner,
                                               const int32_t score[2], TRatingUpdate* ratings)
{
    if (!Begin())
        return TMoveResult::Failed;
    TRatingUpdate update;
    TMoveResult result = InsertMove(matchId, move);
    if (result == TMoveResult::NotNext)
        result = Refusal(matchId, move);
    bool inPlay = true;
    if (result == TMoveResult::Stored &&
        !EndInTransaction(matchId, TMatchStatus::Finished, winner, score, move.TimeMs, update, inPlay))
        result = inPlay ? TMoveResult::Failed : TMoveResult::Ended;
    if (result != TMoveResult::Stored) {
        Rollback();
        return result;
    }
    if (!Commit())
        return TMoveResult::Failed;
    if (ratings)
        *ratings = update;
    return TMoveResult::Stored;
}

bool TSqlStorage::Begin()
{
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    if (Postgres ? database.transaction() : query.exec("BEGIN IMMEDIATE"))
        return true;
    Error = "cannot begin a transaction: " + Text(Postgres ? database.lastError() : query.lastError());
    return false;
}

bool TSqlStorage::Commit()
{
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    if (Postgres ? database.commit() : query.exec("COMMIT"))
        return true;
    Error = "cannot commit: " + Text(Postgres ? database.lastError() : query.lastError());
    Rollback();
    return false;
}

void TSqlStorage::Rollback()
{
    QSqlDatabase database = Database();
    if (Postgres)
        database.rollback();
    else
        QSqlQuery(database).exec("ROLLBACK");
}

bool TSqlStorage::FinishMatch(int64_t matchId, TMatchStatus status, int32_t winner, const int32_t score[2],
                              int64_t endedMs, TRatingUpdate* ratings)
{
    TRatingUpdate update;
    if (!Begin())
        return false;
    bool inPlay = true;
    if (!EndInTransaction(matchId, status, winner, score, endedMs, update, inPlay)) {
        Rollback();
        return false;
    }
    if (!Commit())
        return false;
    if (ratings)
        *ratings = update;
    return true;
}

bool TSqlStorage::EndInTransaction(int64_t matchId, TMatchStatus status, int32_t winner, const int32_t score[2],
                                   int64_t endedMs, TRatingUpdate& update, bool& inPlay)
{
    QSqlQuery query(Database());
    query.prepare("UPDATE matches SET status = ?, winner = ?, score_red = ?, score_blue = ?, ended_ms = ?"
                  " WHERE id = ? AND status = 'playing' RETURNING rated, red_player, blue_player");
    query.addBindValue(QString::fromLatin1(StatusName(status)));
    query.addBindValue(int(winner));
    query.addBindValue(int(score[0]));
    query.addBindValue(int(score[1]));
    query.addBindValue(qint64(endedMs));
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return false;
    }
    if (!query.next()) {
        inPlay = false;
        Error = "match " + std::to_string(matchId) + " is not in play";
        return false;
    }
    const bool rated = query.value(0).toInt() != 0;
    const int64_t players[2] = {query.value(1).toLongLong(), query.value(2).toLongLong()};
    query.finish();
    return !rated || status == TMatchStatus::Abandoned ||
           RateMatch(query, matchId, players, status, winner, endedMs, update);
}

// Each rated match is one rating period for both players, each judged
// against the other's rating from before the match.
bool TSqlStorage::RateMatch(QSqlQuery& query, int64_t matchId, const int64_t players[2], TMatchStatus status,
                            int32_t winner, int64_t endedMs, TRatingUpdate& update)
{
    if (players[0] == players[1])
        return true; // nobody is rated against themselves
    // FOR UPDATE, in the order of the ids: another server finishing one of
    // these players' other matches waits for this one, and two such never
    // wait for each other.
    query.prepare(QStringLiteral("SELECT id, rating, deviation, volatility FROM players WHERE id IN (?, ?)"
                                 " ORDER BY id%1")
                      .arg(Postgres ? " FOR UPDATE" : ""));
    query.addBindValue(qint64(players[0]));
    query.addBindValue(qint64(players[1]));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return false;
    }
    int found = 0;
    while (query.next()) {
        const int seat = query.value(0).toLongLong() == players[0] ? 0 : 1;
        update.Before[seat] = {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()};
        ++found;
    }
    query.finish();
    if (found != 2) {
        Error = "a rated player went missing";
        return false;
    }
    if (status != TMatchStatus::Finished && winner == -1)
        return true; // ended without a result: nothing to rate
    const TGlicko2 glicko(0.5);
    for (int seat = 0; seat < 2; ++seat) {
        double result = winner == -1 ? 0.5 : winner == seat ? 1.0 : 0.0;
        update.After[seat] = glicko.Update(update.Before[seat], {{update.Before[1 - seat], result}});
    }
    for (int seat = 0; seat < 2; ++seat) {
        query.prepare("UPDATE players SET rating = ?, deviation = ?, volatility = ?,"
                      " rated_matches = rated_matches + 1 WHERE id = ?");
        query.addBindValue(update.After[seat].Rating);
        query.addBindValue(update.After[seat].Deviation);
        query.addBindValue(update.After[seat].Volatility);
        query.addBindValue(qint64(players[seat]));
        if (!query.exec()) {
            Error = Text(query.lastError());
            return false;
        }
    }
    for (int seat = 0; seat < 2; ++seat) {
        query.prepare("INSERT INTO rating_changes (match_id, player_id, ended_ms, rating_before, deviation_before,"
                      " volatility_before, rating_after, deviation_after, volatility_after)"
                      " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        query.addBindValue(qint64(matchId));
        query.addBindValue(qint64(players[seat]));
        query.addBindValue(qint64(endedMs));
        for (const TRating* rating : {&update.Before[seat], &update.After[seat]}) {
            query.addBindValue(rating->Rating);
            query.addBindValue(rating->Deviation);
            query.addBindValue(rating->Volatility);
        }
        if (!query.exec()) {
            Error = Text(query.lastError());
            return false;
        }
    }
    update.Rated = true;
    return true;
}

bool TSqlStorage::LoadMoves(TStoredMatch& match)
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

std::optional<TStoredMatch> TSqlStorage::LoadMatch(int64_t matchId)
{
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT %1 FROM matches WHERE id = ?").arg(MatchColumns));
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return std::nullopt;
    }
    TStoredMatch match;
    if (!query.next() || !ReadMatch(query, match) || !LoadMoves(match))
        return std::nullopt;
    return match;
}

std::vector<TStoredMatch> TSqlStorage::MatchesInPlay()
{
    std::vector<TStoredMatch> matches;
    QSqlQuery query(Database());
    // One statement claims the unowned, so that of two servers starting at
    // once only one takes each.
    query.prepare("UPDATE matches SET instance = ? WHERE status = 'playing' AND instance = ''");
    query.addBindValue(Instance);
    if (!query.exec()) {
        Error = Text(query.lastError());
        return matches;
    }
    query.prepare(
        QStringLiteral("SELECT %1 FROM matches WHERE status = 'playing' AND instance = ? ORDER BY id").arg(MatchColumns));
    query.addBindValue(Instance);
    if (!query.exec()) {
        Error = Text(query.lastError());
        return matches;
    }
    while (query.next()) {
        TStoredMatch match;
        if (ReadMatch(query, match))
            matches.push_back(match);
    }
    for (TStoredMatch& match : matches)
        LoadMoves(match);
    return matches;
}

std::optional<TStorage::TStanding> TSqlStorage::Standing(int64_t playerId)
{
    QSqlQuery query(Database());
    query.prepare("SELECT name, rating, deviation, volatility, rated_matches FROM players WHERE id = ?");
    query.addBindValue(qint64(playerId));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    return TStanding{query.value(0).toString().toStdString(),
                     {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()},
                     query.value(4).toInt()};
}

std::vector<TStorage::TStanding> TSqlStorage::Leaderboard(int32_t minMatches, int32_t count)
{
    std::vector<TStanding> leaders;
    QSqlQuery query(Database());
    query.prepare("SELECT name, rating, deviation, volatility, rated_matches FROM players"
                  " WHERE rated_matches >= ? ORDER BY rating DESC, id LIMIT ?");
    query.addBindValue(int(minMatches));
    query.addBindValue(int(count));
    if (!query.exec()) {
        Error = Text(query.lastError());
        return leaders;
    }
    while (query.next())
        leaders.push_back({query.value(0).toString().toStdString(),
                           {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()},
                           query.value(4).toInt()});
    return leaders;
}

std::optional<TStorage::TProfile> TSqlStorage::Profile(const std::string& name, int32_t historyCount,
                                                       int32_t recentCount)
{
    // An unknown name leaves no error, so the lobby can tell it from a failure.
    Error.clear();
    QSqlQuery query(Database());
    auto failed = [&] {
        Error = Text(query.lastError());
        return std::nullopt;
    };
    query.prepare("SELECT id FROM players WHERE name_key = ?");
    query.addBindValue(QString::fromStdString(NameKey(name)));
    if (!query.exec())
        return failed();
    if (!query.next())
        return std::nullopt;
    TProfile profile;
    profile.PlayerId = query.value(0).toLongLong();
    query.finish();
    std::optional<TStanding> standing = Standing(profile.PlayerId);
    if (!standing) {
        if (Error.empty())
            Error = "player " + std::to_string(profile.PlayerId) + " went missing";
        return std::nullopt;
    }
    profile.Standing = *standing;

    query.prepare("SELECT ended_ms, rating_after, deviation_after, volatility_after FROM rating_changes"
                  " WHERE player_id = ? ORDER BY ended_ms DESC, match_id DESC LIMIT ?");
    query.addBindValue(qint64(profile.PlayerId));
    query.addBindValue(int(historyCount));
    if (!query.exec())
        return failed();
    while (query.next())
        profile.History.push_back({query.value(0).toLongLong(),
                                   {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()}});
    std::reverse(profile.History.begin(), profile.History.end());

    query.prepare(QStringLiteral("SELECT %1, o.name, c.rating_before, c.deviation_before, c.volatility_before,"
                                 " c.rating_after, c.deviation_after, c.volatility_after FROM ("
                                 "SELECT * FROM matches WHERE red_player = ? AND status <> 'playing'"
                                 " UNION ALL SELECT * FROM matches WHERE blue_player = ? AND red_player <> ?"
                                 " AND status <> 'playing') m"
                                 " JOIN players o ON o.id = CASE WHEN m.red_player = ? THEN m.blue_player"
                                 " ELSE m.red_player END"
                                 " LEFT JOIN rating_changes c ON c.match_id = m.id AND c.player_id = ?"
                                 " ORDER BY m.ended_ms DESC, m.id DESC LIMIT ?")
                      .arg(QStringLiteral("m.id, m.red_player, m.blue_player, m.rules, m.move_seconds, m.seed,"
                                          " m.first_player, m.status, m.winner, m.score_red, m.score_blue,"
                                          " m.started_ms, m.ended_ms, m.rated")));
    for (int i = 0; i < 5; ++i)
        query.addBindValue(qint64(profile.PlayerId));
    query.addBindValue(int(recentCount));
    if (!query.exec())
        return failed();
    while (query.next()) {
        TPlayedMatch played;
        if (!ReadMatch(query, played.Match))
            continue;
        played.Seat = played.Match.Players[0] == profile.PlayerId ? 0 : 1;
        played.Opponent = query.value(14).toString().toStdString();
        played.RatingMoved = !query.value(15).isNull();
        if (played.RatingMoved) {
            played.Before = {query.value(15).toDouble(), query.value(16).toDouble(), query.value(17).toDouble()};
            played.After = {query.value(18).toDouble(), query.value(19).toDouble(), query.value(20).toDouble()};
        }
        profile.Recent.push_back(std::move(played));
    }
    return profile;
}
