#include "records/MatchHistory.h"

#include "records/RecordJson.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

namespace {

// 000000000001.json, 000000000002.json ...: names sort in the order they
// were added, for longer than anyone plays.
const QRegularExpression RecordName(QStringLiteral("^([0-9]{12})\\.json$"));

} // namespace

TMatchHistory::TMatchHistory(QString folder, int32_t limit)
    : Directory(std::move(folder)), Limit(std::max(1, limit)) {}

QStringList TMatchHistory::Files() const {
    QStringList files;
    for (const QString& name : QDir(Directory).entryList(QDir::Files, QDir::Name))
        if (RecordName.match(name).hasMatch()) files.append(name);
    return files;
}

bool TMatchHistory::Add(const TMatchRecord& record, std::string& problem) {
    if (!QDir().mkpath(Directory)) {
        problem = Directory.toStdString() + ": the history folder cannot be made";
        return false;
    }
    const QStringList files = Files();
    const int64_t last = files.isEmpty() ? 0 : RecordName.match(files.back()).captured(1).toLongLong();
    const QString path =
        QDir(Directory).filePath(QStringLiteral("%1.json").arg(last + 1, 12, 10, QLatin1Char('0')));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(WriteRecordJson(record)) < 0 || !file.commit()) {
        problem = path.toStdString() + ": cannot be written (" + file.errorString().toStdString() + ")";
        return false;
    }
    const QStringList now = Files();
    for (qsizetype i = 0; i + Limit < now.size(); ++i) QFile::remove(QDir(Directory).filePath(now[i]));
    return true;
}

std::vector<TMatchHistory::TEntry> TMatchHistory::List() const {
    std::vector<TEntry> entries;
    const QStringList files = Files();
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        const QString path = QDir(Directory).filePath(files[i]);
        TRecordReading reading = ReadRecordFile(path);
        entries.push_back({path, std::move(reading.Record), std::move(reading.Problem)});
    }
    return entries;
}
