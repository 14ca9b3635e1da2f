#include "net/ServerTrust.h"

#include <QFile>
#include <QSaveFile>

namespace {

// A few hundred servers at most; a larger file is not ours.
constexpr qint64 MaxTrustFileBytes = 256 * 1024;

bool IsFingerprint(const QString& text) {
    if (text.size() != 64) return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    return true;
}

} // namespace

TServerTrust::TServerTrust(QString file) : File(std::move(file)) {}

QString TServerTrust::Key(const QString& host, uint16_t port) {
    return host.toLower() + QLatin1Char(' ') + QString::number(port);
}

std::map<QString, QString> TServerTrust::Read() const {
    std::map<QString, QString> known;
    QFile file(File);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxTrustFileBytes) return known;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool ok = false;
        const uint port = fields.size() == 3 ? fields[1].toUInt(&ok) : 0;
        // A line that is not ours is skipped, not trusted.
        if (!ok || port == 0 || port > 65535 || !IsFingerprint(fields[2])) continue;
        known[Key(fields[0], uint16_t(port))] = fields[2];
    }
    return known;
}

TServerTrust::TVerdict TServerTrust::Check(const QString& host, uint16_t port, const QString& fingerprint,
                                           QString* remembered) const {
    const std::map<QString, QString> known = Read();
    const auto found = known.find(Key(host, port));
    if (found == known.end()) return TVerdict::New;
    if (found->second == fingerprint.toLower()) return TVerdict::Known;
    if (remembered) *remembered = found->second;
    return TVerdict::Changed;
}

bool TServerTrust::Remember(const QString& host, uint16_t port, const QString& fingerprint) {
    if (!IsFingerprint(fingerprint.toLower()) || host.isEmpty() || host.contains(QLatin1Char(' ')) ||
        host.contains(QLatin1Char('\n')))
        return false;
    std::map<QString, QString> known = Read();
    known[Key(host, port)] = fingerprint.toLower();
    QSaveFile file(File);
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (const auto& [key, value] : known)
        file.write((key + QLatin1Char(' ') + value + QLatin1Char('\n')).toUtf8());
    return file.commit();
}
