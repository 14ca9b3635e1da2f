// Matches: created, their moves added, ended and rated, and read back.
#include "server/SqlStorage.h"

#include "server/PgWriteBatch.h"
#include "server/SqlRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "records/Glicko2.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>

namespace {

// The statements a match's writes run thousands of times a second, here once
// for both ways of running them: one by one through Qt, or a batch of them
// at once (PgWriteBatch).
constexpr char CreateMatchText[] =
    "INSERT INTO matches (red_player, blue_player, rules, move_seconds, seed, first_player, status,"
    " started_ms, rated, instance, lease_epoch, lease_until)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, {now} + ?) RETURNING id";
// One statement, so that it is whole or absent; the count keeps the moves
// without gaps and the key keeps two servers from both adding one. The
// lease is checked under a lock on the match's row: a server taking the
// match over waits for this transaction, and then reads its move.
constexpr char AddMoveText[] =
    "INSERT INTO moves (match_id, idx, slot, x, y, time_ms) SELECT ?, ?, ?, ?, ?, ?"
    " WHERE (SELECT COUNT(*) FROM moves WHERE match_id = ?) = ?"
    " AND EXISTS (SELECT 1 FROM matches WHERE id = ? AND status = 'playing'"
    " AND instance = ? AND lease_epoch = ?{share})";
constexpr char FinishMatchText[] =
    "UPDATE matches SET status = ?, winner = ?, score_red = ?, score_blue = ?, ended_ms = ?"
    " WHERE id = ? AND status = 'playing' AND instance = ? AND lease_epoch = ?"
    " RETURNING rated, red_player, blue_player";
// FOR UPDATE, in the order of the ids: another server finishing one of
// these players' other matches waits for this one, and two such never wait
// for each other.
constexpr char ReadRatingsText[] = "SELECT id, rating, deviation, volatility FROM players"
                                   " WHERE id IN (?, ?) ORDER BY id{lock}";
// The same, the players found from the match (a batch sends it before it
// has read them): none when the match is casual.
constexpr char ReadMatchRatingsText[] = "SELECT p.id, p.rating, p.deviation, p.volatility FROM players p"
                                        " JOIN matches m ON p.id IN (m.red_player, m.blue_player)"
                                        " WHERE m.id = ? AND m.rated <> 0 ORDER BY p.id FOR UPDATE OF p";
// Both players in one statement each, the statements a match end costs
// being most of what the database does for a match.
constexpr char WriteRatingsText[] =
    "UPDATE players SET rating = v.rating, deviation = v.deviation, volatility = v.volatility,"
    " rated_matches = rated_matches + 1"
    " FROM (SELECT CAST(? AS BIGINT) AS id, CAST(? AS DOUBLE PRECISION) AS rating,"
    " CAST(? AS DOUBLE PRECISION) AS deviation, CAST(? AS DOUBLE PRECISION) AS volatility"
    " UNION ALL SELECT ?, ?, ?, ?) AS v WHERE players.id = v.id";
constexpr char AddRatingChangesText[] =
    "INSERT INTO rating_changes (match_id, player_id, ended_ms, rating_before, deviation_before,"
    " volatility_before, rating_after, deviation_after, volatility_after)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?), (?, ?, ?, ?, ?, ?, ?, ?, ?)";

} // namespace

int64_t TSqlStorage::CreateMatch(const TStoredMatch& match) {
    static_assert(TStoredMatch::FirstEpoch == 1);
    QSqlQuery& query = Prepared(TStatement::CreateMatch, CreateMatchText);
    const QVariant values[] = {qint64(match.Players[0]),
                               qint64(match.Players[1]),
                               int(match.Rules),
                               int(match.MoveSeconds),
                               qint64(match.Seed),
                               int(match.FirstPlayer),
                               QString::fromLatin1(StatusName(TMatchStatus::Playing)),
                               qint64(match.StartedMs),
                               int(match.Rated ? 1 : 0),
                               Instance,
                               qint64(LeaseMs)};
    for (int i = 0; i < int(std::size(values)); ++i) query.bindValue(i, values[i]);
    if (!query.exec() || !query.next()) {
        if (query.lastError().isValid())
            Fail(query.lastError());
        else
            Error = "no id for the new match";
        query.finish();
        return 0;
    }
    int64_t id = query.value(0).toLongLong();
    query.finish();
    return id;
}

TStorage::TMoveResult TSqlStorage::AddMove(int64_t matchId, int64_t epoch, const TStoredMove& move) {
    TMoveResult result = InsertMove(matchId, epoch, move);
    return result == TMoveResult::NotNext ? Refusal(matchId, epoch, &move) : result;
}

TStorage::TMoveResult TSqlStorage::InsertMove(int64_t matchId, int64_t epoch, const TStoredMove& move) {
    QSqlQuery& query = Prepared(TStatement::AddMove, AddMoveText);
    const QVariant values[] = {qint64(matchId),  int(move.Index),  int(move.Move.Slot),
                               int(move.Move.X), int(move.Move.Y), qint64(move.TimeMs),
                               qint64(matchId),  int(move.Index),  qint64(matchId),
                               Instance,         qint64(epoch)};
    for (int i = 0; i < int(std::size(values)); ++i) query.bindValue(i, values[i]);
    const bool run = query.exec();
    const int rows = run ? query.numRowsAffected() : 0;
    if (!run) Fail(query.lastError());
    query.finish();
    if (!run) return TMoveResult::Failed;
    return rows == 1 ? TMoveResult::Stored : TMoveResult::NotNext;
}

// Why a write was refused: a match that ended (on another server, say) is
// not a move out of order, nor is a match another server now runs, and the
// player is told so.
TStorage::TMoveResult TSqlStorage::Refusal(int64_t matchId, int64_t epoch, const TStoredMove* move) {
    QSqlQuery query(Database());
    query.prepare("SELECT status, instance, lease_epoch FROM matches WHERE id = ?");
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Fail(query.lastError());
        return TMoveResult::Failed;
    }
    if (!query.next() || query.value(0).toString() != QLatin1String(StatusName(TMatchStatus::Playing))) {
        Error = "match " + std::to_string(matchId) + " is not in play";
        return TMoveResult::Ended;
    }
    if (query.value(1).toString() != Instance || query.value(2).toLongLong() != epoch) {
        Error = "match " + std::to_string(matchId) + " is run by " + query.value(1).toString().toStdString() +
                " at epoch " + std::to_string(query.value(2).toLongLong()) + ", not by " +
                Instance.toStdString() + " at epoch " + std::to_string(epoch);
        return TMoveResult::Fenced;
    }
    if (!move) {
        Error = "match " + std::to_string(matchId) + " could not be ended";
        return TMoveResult::Failed;
    }
    Error = "move " + std::to_string(move->Index) + " is not the next of match " + std::to_string(matchId);
    return TMoveResult::NotNext;
}

TStorage::TMoveResult TSqlStorage::AddLastMove(int64_t matchId, int64_t epoch, const TStoredMove& move,
                                               int32_t winner, const int32_t score[2],
                                               TRatingUpdate* ratings) {
    if (!Begin()) return TMoveResult::Failed;
    TRatingUpdate update;
    TMoveResult result = InsertMove(matchId, epoch, move);
    if (result == TMoveResult::NotNext) result = Refusal(matchId, epoch, &move);
    if (result == TMoveResult::Stored)
        result = EndInTransaction(matchId, epoch, TMatchStatus::Finished, winner, score, move.TimeMs, update);
    if (result != TMoveResult::Stored) {
        Rollback();
        return result;
    }
    if (!Commit()) return TMoveResult::Failed;
    if (ratings) *ratings = update;
    return TMoveResult::Stored;
}

bool TSqlStorage::AddWrites(std::vector<TWrite>& writes) {
    if (writes.empty()) return true;
    if (Postgres) return AddBatch(writes);
    if (!Begin()) return false;
    for (TWrite& write : writes) {
        write.Ratings = {};
        switch (write.Kind) {
        case TWrite::TKind::Create:
            // One statement, so that the transaction holds it as it holds a move.
            write.Match.Id = CreateMatch(write.Match);
            write.Result = write.Match.Id > 0 ? TMoveResult::Stored : TMoveResult::Failed;
            break;
        case TWrite::TKind::Finish:
            write.Result = EndInTransaction(write.MatchId, write.Epoch, write.Status, write.Winner,
                                            write.Score, write.EndedMs, write.Ratings);
            break;
        case TWrite::TKind::Move:
            write.Result = InsertMove(write.MatchId, write.Epoch, write.Move);
            if (write.Result == TMoveResult::Stored && write.Last)
                write.Result = EndInTransaction(write.MatchId, write.Epoch, TMatchStatus::Finished,
                                                write.Winner, write.Score, write.Move.TimeMs, write.Ratings);
            break;
        }
        // Anything but stored is for storing alone, which says why.
        if (write.Result != TMoveResult::Stored) {
            Rollback();
            return false;
        }
    }
    return Commit();
}

bool TSqlStorage::AddBatch(std::vector<TWrite>& writes) {
    ReopenIfLost();
    const QVariant handle = Database().driver()->handle();
    // Qt names the handle's type by libpq's struct or by its typedef.
    const char* type = handle.isValid() ? handle.typeName() : "";
    if (std::strcmp(type, "pg_conn*") != 0 && std::strcmp(type, "PGconn*") != 0) {
        Error = "no PostgreSQL connection to send a batch on";
        return false;
    }
    pg_conn* connection = *static_cast<pg_conn* const*>(handle.constData());
    if (PQstatus(connection) != CONNECTION_OK) { // never opened again after a failure
        Error = "no connection to the database";
        Lost = true;
        return false;
    }
    if (!Batch)
        Batch = std::make_unique<TPgWriteBatch>(
            TPgWriteBatch::TStatements{Dialect(CreateMatchText).toStdString(),
                                       Dialect(AddMoveText).toStdString(),
                                       Dialect(FinishMatchText).toStdString(), ReadMatchRatingsText,
                                       WriteRatingsText, AddRatingChangesText},
            Instance.toStdString(), LeaseMs);
    if (Batch->Store(connection, writes)) return true;
    // Its writes go on one by one, which find out why; a connection that
    // broke is made again for them.
    if (!Batch->Error().empty()) Error = Batch->Error();
    Lost = PQstatus(connection) != CONNECTION_OK;
    return false;
}

bool TSqlStorage::Begin() {
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    if (Postgres ? database.transaction() : query.exec("BEGIN IMMEDIATE")) return true;
    Fail(Postgres ? database.lastError() : query.lastError(), "cannot begin a transaction: ");
    return false;
}

bool TSqlStorage::Commit() {
    QSqlDatabase database = Database();
    QSqlQuery query(database);
    if (Postgres ? database.commit() : query.exec("COMMIT")) return true;
    Fail(Postgres ? database.lastError() : query.lastError(), "cannot commit: ");
    Rollback();
    return false;
}

void TSqlStorage::Rollback() {
    QSqlDatabase database = Database();
    if (Postgres)
        database.rollback();
    else
        QSqlQuery(database).exec("ROLLBACK");
}

TStorage::TMoveResult TSqlStorage::FinishMatch(int64_t matchId, int64_t epoch, TMatchStatus status,
                                               int32_t winner, const int32_t score[2], int64_t endedMs,
                                               TRatingUpdate* ratings) {
    TRatingUpdate update;
    if (!Begin()) return TMoveResult::Failed;
    const TMoveResult result = EndInTransaction(matchId, epoch, status, winner, score, endedMs, update);
    if (result != TMoveResult::Stored) {
        Rollback();
        return result;
    }
    if (!Commit()) return TMoveResult::Failed;
    if (ratings) *ratings = update;
    return TMoveResult::Stored;
}

TStorage::TMoveResult TSqlStorage::EndInTransaction(int64_t matchId, int64_t epoch, TMatchStatus status,
                                                    int32_t winner, const int32_t score[2], int64_t endedMs,
                                                    TRatingUpdate& update) {
    QSqlQuery& query = Prepared(TStatement::FinishMatch, FinishMatchText);
    const QVariant values[] = {QString::fromLatin1(StatusName(status)),
                               int(winner),
                               int(score[0]),
                               int(score[1]),
                               qint64(endedMs),
                               qint64(matchId),
                               Instance,
                               qint64(epoch)};
    for (int i = 0; i < int(std::size(values)); ++i) query.bindValue(i, values[i]);
    if (!query.exec()) {
        Fail(query.lastError());
        query.finish();
        return TMoveResult::Failed;
    }
    if (!query.next()) {
        query.finish();
        return Refusal(matchId, epoch, nullptr);
    }
    const bool rated = query.value(0).toInt() != 0;
    const int64_t players[2] = {query.value(1).toLongLong(), query.value(2).toLongLong()};
    query.finish();
    return !rated || status == TMatchStatus::Abandoned ||
                   RateMatch(matchId, players, status, winner, endedMs, update)
               ? TMoveResult::Stored
               : TMoveResult::Failed;
}

// Each rated match is one rating period for both players, each judged
// against the other's rating from before the match. Its statements are
// prepared once: the storage thread runs them for many ends a second.
bool TSqlStorage::RateMatch(int64_t matchId, const int64_t players[2], TMatchStatus status, int32_t winner,
                            int64_t endedMs, TRatingUpdate& update) {
    if (players[0] == players[1]) return true; // nobody is rated against themselves
    QSqlQuery& read = Prepared(TStatement::ReadRatings, ReadRatingsText);
    read.bindValue(0, qint64(players[0]));
    read.bindValue(1, qint64(players[1]));
    if (!read.exec()) {
        Fail(read.lastError());
        read.finish();
        return false;
    }
    int found = 0;
    while (read.next()) {
        const int seat = read.value(0).toLongLong() == players[0] ? 0 : 1;
        update.Before[seat] = {read.value(1).toDouble(), read.value(2).toDouble(), read.value(3).toDouble()};
        ++found;
    }
    read.finish();
    if (found != 2) {
        Error = "a rated player went missing";
        return false;
    }
    if (status != TMatchStatus::Finished && winner == -1)
        return true; // ended without a result: nothing to rate
    TGlicko2(0.5).UpdateMatch(update.Before, winner, update.After);
    QSqlQuery& write = Prepared(TStatement::WriteRating, WriteRatingsText);
    QSqlQuery& change = Prepared(TStatement::AddRatingChange, AddRatingChangesText);
    int written = 0, changed = 0;
    for (int seat = 0; seat < 2; ++seat) {
        write.bindValue(written++, qint64(players[seat]));
        write.bindValue(written++, update.After[seat].Rating);
        write.bindValue(written++, update.After[seat].Deviation);
        write.bindValue(written++, update.After[seat].Volatility);
        change.bindValue(changed++, qint64(matchId));
        change.bindValue(changed++, qint64(players[seat]));
        change.bindValue(changed++, qint64(endedMs));
        for (const TRating* rating : {&update.Before[seat], &update.After[seat]}) {
            change.bindValue(changed++, rating->Rating);
            change.bindValue(changed++, rating->Deviation);
            change.bindValue(changed++, rating->Volatility);
        }
    }
    for (QSqlQuery* query : {&write, &change}) {
        const bool run = query->exec() && query->numRowsAffected() == 2;
        if (!run) {
            if (query->lastError().isValid())
                Fail(query->lastError());
            else
                Error = "a rated player went missing";
        }
        query->finish();
        if (!run) return false;
    }
    update.Rated = true;
    return true;
}

bool TSqlStorage::LoadMoves(TStoredMatch& match) {
    QSqlQuery query(Database());
    query.prepare("SELECT idx, slot, x, y, time_ms FROM moves WHERE match_id = ? ORDER BY idx");
    query.addBindValue(qint64(match.Id));
    if (!query.exec()) {
        Fail(query.lastError());
        return false;
    }
    match.Moves.clear();
    while (query.next())
        match.Moves.push_back({query.value(0).toInt(), query.value(1).toInt(), query.value(2).toInt(),
                               query.value(3).toInt(), query.value(4).toLongLong()});
    return true;
}

std::optional<TStoredMatch> TSqlStorage::LoadMatch(int64_t matchId) {
    QSqlQuery query(Database());
    query.prepare(QStringLiteral("SELECT %1 FROM matches WHERE id = ?").arg(SqlRows::MatchColumns));
    query.addBindValue(qint64(matchId));
    if (!query.exec()) {
        Fail(query.lastError());
        return std::nullopt;
    }
    TStoredMatch match;
    if (!query.next() || !SqlRows::ReadMatch(query, match) || !LoadMoves(match)) return std::nullopt;
    return match;
}

std::vector<TStoredMatch> TSqlStorage::MatchesInPlay() {
    // Its own (of a run before this one) and the unowned (kept before
    // matches had owners), whatever their leases say.
    return Take("instance = ? OR instance = ''", size_t(-1));
}

std::vector<TStoredMatch> TSqlStorage::TakeOverExpired(size_t most) {
    // A server of a version that renewed each match's lease keeps no row of its own.
    return Take("instance <> ? AND lease_until < {now} AND (lease_until = 0 OR NOT EXISTS (SELECT 1 FROM"
                " instances WHERE instances.name = matches.instance AND instances.lease_until >= {now}))",
                most);
}

std::vector<TStoredMatch> TSqlStorage::Take(const char* condition, size_t most) {
    std::vector<TStoredMatch> matches;
    QSqlQuery query(Database());
    query.prepare(
        Dialect(QStringLiteral("SELECT %1 FROM matches WHERE status = 'playing' AND (%2) ORDER BY id")
                    .arg(QLatin1String(SqlRows::MatchColumns), QLatin1String(condition))));
    query.addBindValue(Instance);
    if (!query.exec()) {
        Fail(query.lastError());
        return matches;
    }
    std::vector<TStoredMatch> seen;
    while (query.next() && seen.size() < most) {
        TStoredMatch match;
        if (SqlRows::ReadMatch(query, match)) seen.push_back(match);
    }
    query.finish();
    // Each one statement on its own: the one server whose update finds the
    // epoch it read takes the match, and a server storing a move for it holds
    // the update off until that move is in (InsertMove), so its moves are
    // read after.
    query.prepare(Dialect(QStringLiteral("UPDATE matches SET instance = ?, lease_epoch = lease_epoch + 1,"
                                         " lease_until = {now} + ? WHERE id = ? AND status = 'playing'"
                                         " AND lease_epoch = ?")));
    for (TStoredMatch& match : seen) {
        query.addBindValue(Instance);
        query.addBindValue(qint64(LeaseMs));
        query.addBindValue(qint64(match.Id));
        query.addBindValue(qint64(match.Epoch));
        if (!query.exec()) {
            Fail(query.lastError());
            break;
        }
        if (query.numRowsAffected() != 1) continue;
        ++match.Epoch;
        if (LoadMoves(match)) matches.push_back(std::move(match));
    }
    return matches;
}

bool TSqlStorage::RenewLeases(const std::vector<int64_t>& matchIds) {
    // One row for the server, however many matches it runs: renewing each
    // match's row every poll cost the database more than storing the moves.
    QSqlQuery query(Database());
    query.prepare(
        Dialect(QStringLiteral("INSERT INTO instances (name, lease_until) VALUES (?, {now} + ?)"
                               " ON CONFLICT (name) DO UPDATE SET lease_until = excluded.lease_until")));
    query.addBindValue(Instance);
    query.addBindValue(qint64(LeaseMs));
    if (!query.exec()) {
        Fail(query.lastError());
        return false;
    }
    // Its matches it does not run (a takeover that failed halfway) are let
    // go, once past the while a match being created or taken is held alone.
    QString ids;
    for (int64_t id : matchIds) ids += (ids.isEmpty() ? "" : ",") + QString::number(id);
    query.prepare(Dialect(QStringLiteral("UPDATE matches SET lease_until = 0 WHERE status = 'playing'"
                                         " AND instance = ? AND lease_until > 0 AND lease_until < {now}%1")
                              .arg(ids.isEmpty() ? QString() : " AND id NOT IN (" + ids + ")")));
    query.addBindValue(Instance);
    if (query.exec()) return true;
    Fail(query.lastError());
    return false;
}
