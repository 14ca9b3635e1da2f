#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The player's own certificate and key, by which a server knows them: made
// on first use and kept in one file beside the settings (the key readable by
// its owner only), so that moving to another computer is copying that file.
struct TPlayerIdentity {
    QSslCertificate Certificate;
    QSslKey Key;
    QString Fingerprint; // SHA-256 of the certificate, 64 lower-case hex digits
    bool Created = false;
    QString Error; // empty on success
};

// Reads the identity in `file`, or makes one and writes it when there is no file.
// A file that holds no certificate and key is refused, not replaced.
TPlayerIdentity LoadOrMakePlayerIdentity(const QString& file);
