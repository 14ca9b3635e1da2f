#include "net/PlayerIdentity.h"

#include "identity/Identity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qint64 MaxIdentityFileBytes = 64 * 1024;

TPlayerIdentity Parse(const QByteArray& pem, const QString& file) {
    TPlayerIdentity identity;
    identity.Key = QSslKey(pem, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (identity.Key.isNull() || certificates.isEmpty()) {
        identity.Error =
            QStringLiteral("%1 holds no certificate and key; move it away to make a new identity").arg(file);
        return identity;
    }
    identity.Certificate = certificates.front();
    identity.Fingerprint =
        QString::fromLatin1(identity.Certificate.digest(QCryptographicHash::Sha256).toHex());
    return identity;
}

} // namespace

TPlayerIdentity LoadOrMakePlayerIdentity(const QString& file) {
    QFile existing(file);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly) || existing.size() > MaxIdentityFileBytes) {
            TPlayerIdentity failed;
            failed.Error = QStringLiteral("cannot read %1").arg(file);
            return failed;
        }
        return Parse(existing.readAll(), file);
    }
    const TIdentity made = MakeIdentity("vantaro-player");
    TPlayerIdentity identity;
    if (made.CertificatePem.empty()) {
        identity.Error = QStringLiteral("could not make a certificate");
        return identity;
    }
    const QByteArray pem = QByteArray::fromStdString(made.KeyPem + made.CertificatePem);
    QDir().mkpath(QFileInfo(file).absolutePath());
    // No byte of the key is written before the file is its owner's alone,
    // and it is written under a temporary name, so a crash leaves no half key.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) ||
        !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(pem) != pem.size() || !out.commit()) {
        identity.Error = QStringLiteral("cannot write %1").arg(file);
        return identity;
    }
    identity = Parse(pem, file);
    identity.Created = identity.Error.isEmpty();
    return identity;
}
