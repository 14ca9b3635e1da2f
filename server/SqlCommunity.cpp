// The community: sanctions, reports, moderators, blocks and follows, and the
// moderation log written with each of them.
#include "server/SqlStorage.h"

#include "server/SqlRows.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
std::string Text(const QVariant& value) {
    return value.toString().toStdString();
}
const char* RelationName(TCommunityStorage::TRelation relation) {
    return relation == TCommunityStorage::TRelation::Block ? "block" : "follow";
}

} // namespace

template <typename TSteps> bool TSqlStorage::InTransaction(TSteps&& write) {
    if (!Begin()) return false;
    QSqlQuery query(Database());
    if (!write(query)) {
        if (Error.empty()) Error = SqlRows::ErrorText(query.lastError());
        Rollback();
        return false;
    }
    // SQLite does not commit while a statement (one RETURNING, say) is still open.
    query.finish();
    return Commit();
}

bool TSqlStorage::InsertAction(QSqlQuery& query, const TAction& action) {
    query.prepare(
        "INSERT INTO moderation_log (by_name, action, target, reason, at_ms) VALUES (?, ?, ?, ?, ?)");
    for (const std::string* text : {&action.By, &action.Action, &action.Target, &action.Reason})
        query.addBindValue(Text(*text));
    query.addBindValue(qint64(action.AtMs));
    return query.exec();
}

int64_t TSqlStorage::AddSanction(const TSanction& sanction) {
    Error.clear();
    int64_t id = 0;
    bool written = InTransaction([&](QSqlQuery& query) {
        query.prepare("INSERT INTO sanctions (kind, target, player_id, reason, by_name, created_ms, until_ms)"
                      " VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id");
        query.addBindValue(QString::fromLatin1(KindName(sanction.Kind)));
        query.addBindValue(Text(sanction.Target));
        query.addBindValue(qint64(sanction.PlayerId));
        query.addBindValue(Text(sanction.Reason));
        query.addBindValue(Text(sanction.By));
        query.addBindValue(qint64(sanction.CreatedMs));
        query.addBindValue(qint64(sanction.UntilMs));
        if (!query.exec() || !query.next()) return false;
        id = query.value(0).toLongLong();
        query.finish();
        return InsertAction(query, {0, sanction.By, KindName(sanction.Kind),
                                    sanction.Target + " #" + std::to_string(id), sanction.Reason,
                                    sanction.CreatedMs});
    });
    return written ? id : 0;
}

bool TSqlStorage::LiftSanction(int64_t id, const std::string& by, const std::string& reason, int64_t nowMs) {
    Error.clear();
    bool found = false;
    bool written = InTransaction([&](QSqlQuery& query) {
        query.prepare("UPDATE sanctions SET lifted_ms = ? WHERE id = ? AND lifted_ms = 0"
                      " AND (until_ms = 0 OR until_ms > ?) RETURNING kind, target");
        query.addBindValue(qint64(nowMs));
        query.addBindValue(qint64(id));
        query.addBindValue(qint64(nowMs));
        if (!query.exec()) return false;
        found = query.next();
        if (!found) return true;
        const std::string what = "lift " + Text(query.value(0));
        const std::string target = Text(query.value(1)) + " #" + std::to_string(id);
        query.finish();
        return InsertAction(query, {0, by, what, target, reason, nowMs});
    });
    return written && found;
}

std::optional<std::vector<TCommunityStorage::TSanction>> TSqlStorage::Sanctions(int64_t nowMs) {
    QSqlQuery query(Database());
    query.prepare("SELECT id, kind, target, player_id, reason, by_name, created_ms, until_ms FROM sanctions"
                  " WHERE lifted_ms = 0 AND (until_ms = 0 OR until_ms > ?) ORDER BY id");
    query.addBindValue(qint64(nowMs));
    if (!query.exec()) {
        Error = SqlRows::ErrorText(query.lastError());
        return std::nullopt;
    }
    std::vector<TSanction> sanctions;
    while (query.next()) {
        std::optional<TSanctionKind> kind = KindNamed(Text(query.value(1)));
        if (!kind) continue; // a kind a newer server wrote
        sanctions.push_back({query.value(0).toLongLong(), *kind, Text(query.value(2)),
                             query.value(3).toLongLong(), Text(query.value(4)), Text(query.value(5)),
                             query.value(6).toLongLong(), query.value(7).toLongLong()});
    }
    return sanctions;
}

bool TSqlStorage::SetModerator(int64_t playerId, bool moderator, const std::string& by, int64_t nowMs) {
    Error.clear();
    return InTransaction([&](QSqlQuery& query) {
        if (moderator) {
            query.prepare("INSERT INTO moderators (player_id, granted_by, granted_ms) VALUES (?, ?, ?)"
                          " ON CONFLICT (player_id) DO NOTHING");
            query.addBindValue(qint64(playerId));
            query.addBindValue(Text(by));
            query.addBindValue(qint64(nowMs));
        } else {
            query.prepare("DELETE FROM moderators WHERE player_id = ?");
            query.addBindValue(qint64(playerId));
        }
        if (!query.exec()) return false;
        query.prepare("SELECT name FROM players WHERE id = ?");
        query.addBindValue(qint64(playerId));
        if (!query.exec() || !query.next()) return false;
        const std::string name = Text(query.value(0));
        query.finish();
        return InsertAction(query, {0, by, moderator ? "grant" : "revoke", name, "", nowMs});
    });
}

std::optional<std::vector<std::string>> TSqlStorage::Moderators() {
    QSqlQuery query(Database());
    if (!query.exec(
            "SELECT p.name FROM moderators m JOIN players p ON p.id = m.player_id ORDER BY p.name_key")) {
        Error = SqlRows::ErrorText(query.lastError());
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (query.next()) names.push_back(Text(query.value(0)));
    return names;
}

int64_t TSqlStorage::AddReport(const TReport& report) {
    Error.clear();
    int64_t id = 0;
    bool written = InTransaction([&](QSqlQuery& query) {
        query.prepare("INSERT INTO reports (reporter_id, reported_id, reason, text, evidence, match_id,"
                      " created_ms) VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id");
        query.addBindValue(qint64(report.ReporterId));
        query.addBindValue(qint64(report.ReportedId));
        query.addBindValue(Text(report.Reason));
        query.addBindValue(Text(report.Text));
        query.addBindValue(Text(report.Evidence));
        query.addBindValue(qint64(report.MatchId));
        query.addBindValue(qint64(report.CreatedMs));
        if (!query.exec() || !query.next()) return false;
        id = query.value(0).toLongLong();
        return true;
    });
    return written ? id : 0;
}

int32_t TSqlStorage::ReportsSince(int64_t reporterId, int64_t sinceMs) {
    QSqlQuery query(Database());
    query.prepare("SELECT COUNT(*) FROM reports WHERE reporter_id = ? AND created_ms >= ?");
    query.addBindValue(qint64(reporterId));
    query.addBindValue(qint64(sinceMs));
    if (!query.exec() || !query.next()) {
        Error = SqlRows::ErrorText(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

std::optional<std::vector<TCommunityStorage::TReport>> TSqlStorage::OpenReports(int32_t count) {
    QSqlQuery query(Database());
    query.prepare("SELECT r.id, r.reporter_id, r.reported_id, a.name, b.name, r.reason, r.text, r.evidence,"
                  " r.match_id, r.created_ms FROM reports r JOIN players a ON a.id = r.reporter_id"
                  " JOIN players b ON b.id = r.reported_id WHERE r.closed_ms = 0 ORDER BY r.id LIMIT ?");
    query.addBindValue(count);
    if (!query.exec()) {
        Error = SqlRows::ErrorText(query.lastError());
        return std::nullopt;
    }
    std::vector<TReport> reports;
    while (query.next())
        reports.push_back({query.value(0).toLongLong(), query.value(1).toLongLong(),
                           query.value(2).toLongLong(), Text(query.value(3)), Text(query.value(4)),
                           Text(query.value(5)), Text(query.value(6)), Text(query.value(7)),
                           query.value(8).toLongLong(), query.value(9).toLongLong()});
    return reports;
}

bool TSqlStorage::CloseReport(int64_t id, const std::string& by, const std::string& outcome, int64_t nowMs) {
    Error.clear();
    bool found = false;
    bool written = InTransaction([&](QSqlQuery& query) {
        query.prepare(
            "UPDATE reports SET closed_ms = ?, closed_by = ?, outcome = ? WHERE id = ? AND closed_ms = 0");
        query.addBindValue(qint64(nowMs));
        query.addBindValue(Text(by));
        query.addBindValue(Text(outcome));
        query.addBindValue(qint64(id));
        if (!query.exec()) return false;
        found = query.numRowsAffected() == 1;
        return !found ||
               InsertAction(query, {0, by, "close report", "#" + std::to_string(id), outcome, nowMs});
    });
    return written && found;
}

bool TSqlStorage::LogAction(const TAction& action) {
    Error.clear();
    return InTransaction([&](QSqlQuery& query) { return InsertAction(query, action); });
}

namespace {

std::optional<std::vector<TCommunityStorage::TAction>> ReadActions(QSqlQuery& query, std::string& error) {
    if (!query.exec()) {
        error = SqlRows::ErrorText(query.lastError());
        return std::nullopt;
    }
    std::vector<TCommunityStorage::TAction> actions;
    while (query.next())
        actions.push_back({query.value(0).toLongLong(), Text(query.value(1)), Text(query.value(2)),
                           Text(query.value(3)), Text(query.value(4)), query.value(5).toLongLong()});
    return actions;
}

} // namespace

std::optional<std::vector<TCommunityStorage::TAction>> TSqlStorage::ActionsAfter(int64_t id, int32_t count) {
    QSqlQuery query(Database());
    query.prepare("SELECT id, by_name, action, target, reason, at_ms FROM moderation_log WHERE id > ?"
                  " ORDER BY id LIMIT ?");
    query.addBindValue(qint64(id));
    query.addBindValue(count);
    return ReadActions(query, Error);
}

std::optional<std::vector<TCommunityStorage::TAction>> TSqlStorage::LatestActions(int32_t count) {
    QSqlQuery query(Database());
    query.prepare(
        "SELECT id, by_name, action, target, reason, at_ms FROM moderation_log ORDER BY id DESC LIMIT ?");
    query.addBindValue(count);
    return ReadActions(query, Error);
}

bool TSqlStorage::SetRelation(int64_t playerId, int64_t otherId, TRelation relation, bool on, int64_t nowMs) {
    QSqlQuery query(Database());
    if (on) {
        query.prepare("INSERT INTO relations (player_id, other_id, kind, created_ms) VALUES (?, ?, ?, ?)"
                      " ON CONFLICT (player_id, kind, other_id) DO NOTHING");
        query.addBindValue(qint64(playerId));
        query.addBindValue(qint64(otherId));
        query.addBindValue(QString::fromLatin1(RelationName(relation)));
        query.addBindValue(qint64(nowMs));
    } else {
        query.prepare("DELETE FROM relations WHERE player_id = ? AND kind = ? AND other_id = ?");
        query.addBindValue(qint64(playerId));
        query.addBindValue(QString::fromLatin1(RelationName(relation)));
        query.addBindValue(qint64(otherId));
    }
    if (query.exec()) return true;
    Error = SqlRows::ErrorText(query.lastError());
    return false;
}

std::optional<std::vector<std::pair<int64_t, std::string>>> TSqlStorage::Related(int64_t playerId,
                                                                                 TRelation relation) {
    QSqlQuery query(Database());
    query.prepare("SELECT p.id, p.name FROM relations r JOIN players p ON p.id = r.other_id"
                  " WHERE r.player_id = ? AND r.kind = ? ORDER BY p.name_key");
    query.addBindValue(qint64(playerId));
    query.addBindValue(QString::fromLatin1(RelationName(relation)));
    if (!query.exec()) {
        Error = SqlRows::ErrorText(query.lastError());
        return std::nullopt;
    }
    std::vector<std::pair<int64_t, std::string>> related;
    while (query.next()) related.emplace_back(query.value(0).toLongLong(), Text(query.value(1)));
    return related;
}
