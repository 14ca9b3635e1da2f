#pragma once

#include <QString>
#include <cstdint>
#include <map>

// The servers this player has trusted, each by the SHA-256 fingerprint of the
// certificate it showed the first time (trust on first use, as SSH does).
// Kept one server a line, "HOST PORT FINGERPRINT", beside the settings.
class TServerTrust {
public:
    enum class TVerdict { Known, New, Changed };

    explicit TServerTrust(QString file);

    // Known: the same certificate as before; New: never seen; Changed: a
    // different one, whose remembered fingerprint goes to `remembered`.
    TVerdict Check(const QString& host, uint16_t port, const QString& fingerprint,
                   QString* remembered = nullptr) const;
    // Remembers (or replaces) the server's fingerprint; false when it could not be written.
    bool Remember(const QString& host, uint16_t port, const QString& fingerprint);

    const QString File;

private:
    static QString Key(const QString& host, uint16_t port);
    std::map<QString, QString> Read() const;
};
