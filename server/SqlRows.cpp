#include "server/SqlRows.h"

#include <QVariant>

namespace SqlRows {

std::string ErrorText(const QSqlError& error) {
    QString text = error.text().simplified();
    return text.isEmpty() ? std::string("unknown database error") : text.toStdString();
}

bool ReadMatch(const QSqlQuery& query, TStoredMatch& match) {
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
    match.Epoch = query.value(14).toLongLong();
    return StatusFromName(query.value(7).toString().toStdString(), match.Status);
}

} // namespace SqlRows
