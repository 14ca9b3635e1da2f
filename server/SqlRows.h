#pragma once

#include "server/StoredMatch.h"

#include <QSqlError>
#include <QSqlQuery>

#include <string>

// What the storage's parts share in reading the database: an error as one
// line, and a match row.
namespace SqlRows {

std::string ErrorText(const QSqlError& error);

// The columns ReadMatch reads, in its order.
inline constexpr const char* MatchColumns =
    "id, red_player, blue_player, rules, move_seconds, seed, first_player, status, winner,"
    " score_red, score_blue, started_ms, ended_ms, rated, lease_epoch";

// A row of MatchColumns, without its moves; false when its status is unknown.
bool ReadMatch(const QSqlQuery& query, TStoredMatch& match);

} // namespace SqlRows
