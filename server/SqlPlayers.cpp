// Players: names bound to certificates, standings, the leaderboard and profiles.
#include "server/SqlStorage.h"

#include "server/SqlRows.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

TStorage::TBinding TSqlStorage::BindName(const std::string& name, const std::string& fingerprint,
                                         int64_t nowMs) {
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
        Fail(query.lastError());
        return binding;
    }
    bool inserted = query.numRowsAffected() == 1;
    query.prepare("SELECT id, name, fingerprint FROM players WHERE name_key = ?");
    query.addBindValue(QString::fromStdString(NameKey(name)));
    if (!query.exec() || !query.next()) {
        Error =
            query.lastError().isValid() ? SqlRows::ErrorText(query.lastError()) : "a player row went missing";
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

std::optional<TStorage::TPlayer> TSqlStorage::FindPlayer(const std::string& name) {
    QSqlQuery& query =
        Prepared(TStatement::FindPlayer, "SELECT id, name, fingerprint FROM players WHERE name_key = ?");
    query.bindValue(0, QString::fromStdString(NameKey(name)));
    if (!query.exec()) {
        Fail(query.lastError());
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

std::optional<std::string> TSqlStorage::PlayerName(int64_t playerId) {
    QSqlQuery query(Database());
    query.prepare("SELECT name FROM players WHERE id = ?");
    query.addBindValue(qint64(playerId));
    if (!query.exec()) {
        Fail(query.lastError());
        return std::nullopt;
    }
    if (!query.next()) return std::nullopt;
    return query.value(0).toString().toStdString();
}

std::optional<TStorage::TStanding> TSqlStorage::Standing(int64_t playerId) {
    QSqlQuery query(Database());
    query.prepare("SELECT name, rating, deviation, volatility, rated_matches FROM players WHERE id = ?");
    query.addBindValue(qint64(playerId));
    if (!query.exec()) {
        Fail(query.lastError());
        return std::nullopt;
    }
    if (!query.next()) return std::nullopt;
    return TStanding{query.value(0).toString().toStdString(),
                     {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()},
                     query.value(4).toInt()};
}

std::vector<TStorage::TStanding> TSqlStorage::Leaderboard(int32_t minMatches, int32_t count) {
    std::vector<TStanding> leaders;
    QSqlQuery query(Database());
    query.prepare("SELECT name, rating, deviation, volatility, rated_matches FROM players"
                  " WHERE rated_matches >= ? ORDER BY rating DESC, id LIMIT ?");
    query.addBindValue(int(minMatches));
    query.addBindValue(int(count));
    if (!query.exec()) {
        Fail(query.lastError());
        return leaders;
    }
    while (query.next())
        leaders.push_back({query.value(0).toString().toStdString(),
                           {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()},
                           query.value(4).toInt()});
    return leaders;
}

std::optional<TStorage::TProfile> TSqlStorage::Profile(const std::string& name, int32_t historyCount,
                                                       int32_t recentCount) {
    // An unknown name leaves no error, so the lobby can tell it from a failure.
    Error.clear();
    QSqlQuery query(Database());
    auto failed = [&] {
        Fail(query.lastError());
        return std::nullopt;
    };
    query.prepare("SELECT id FROM players WHERE name_key = ?");
    query.addBindValue(QString::fromStdString(NameKey(name)));
    if (!query.exec()) return failed();
    if (!query.next()) return std::nullopt;
    TProfile profile;
    profile.PlayerId = query.value(0).toLongLong();
    query.finish();
    std::optional<TStanding> standing = Standing(profile.PlayerId);
    if (!standing) {
        if (Error.empty()) Error = "player " + std::to_string(profile.PlayerId) + " went missing";
        return std::nullopt;
    }
    profile.Standing = *standing;

    query.prepare("SELECT ended_ms, rating_after, deviation_after, volatility_after FROM rating_changes"
                  " WHERE player_id = ? ORDER BY ended_ms DESC, match_id DESC LIMIT ?");
    query.addBindValue(qint64(profile.PlayerId));
    query.addBindValue(int(historyCount));
    if (!query.exec()) return failed();
    while (query.next())
        profile.History.push_back(
            {query.value(0).toLongLong(),
             {query.value(1).toDouble(), query.value(2).toDouble(), query.value(3).toDouble()}});
    std::reverse(profile.History.begin(), profile.History.end());

    query.prepare(
        QStringLiteral("SELECT %1, o.name, c.rating_before, c.deviation_before, c.volatility_before,"
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
    for (int i = 0; i < 5; ++i) query.addBindValue(qint64(profile.PlayerId));
    query.addBindValue(int(recentCount));
    if (!query.exec()) return failed();
    while (query.next()) {
        TPlayedMatch played;
        if (!SqlRows::ReadMatch(query, played.Match)) continue;
        played.Seat = played.Match.Players[0] == profile.PlayerId ? 0 : 1;
        played.Opponent = query.value(14).toString().toStdString();
        played.RatingMoved = !query.value(15).isNull();
        if (played.RatingMoved) {
            played.Before = {query.value(15).toDouble(), query.value(16).toDouble(),
                             query.value(17).toDouble()};
            played.After = {query.value(18).toDouble(), query.value(19).toDouble(),
                            query.value(20).toDouble()};
        }
        profile.Recent.push_back(std::move(played));
    }
    return profile;
}
