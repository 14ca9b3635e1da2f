#pragma once

#include "net/PlayerIdentity.h"
#include "net/ServerMessage.h"

#include <QByteArray>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSslSocket;
class TServerTrust;

// One connection to a game server over TLS 1.3: shows the player's own
// certificate, checks the server's (an authority's signature, or the
// fingerprint trusted the first time), signs in with the player's name, and
// hands on every message the server sends once it has been checked.
class TLobbyConnection : public QObject {
    Q_OBJECT

public:
    // Asked once per new server whether to trust it: the server ("host:port")
    // and its fingerprint written as "AB:CD:…"; true to trust and remember it.
    using TTrustPrompt = std::function<bool(const QString& server, const QString& fingerprint)>;

    static constexpr int PingMs = 10'000;
    // The server answers every ping; this long without a word, it is gone.
    static constexpr int SilenceMs = 35'000;
    static constexpr int ConnectMs = 15'000;

    TLobbyConnection(TServerTrust& trust, TPlayerIdentity identity, TTrustPrompt ask, QObject* parent = nullptr);
    ~TLobbyConnection() override;

    void Open(const QString& host, uint16_t port, const QString& name);
    // Closes quietly (no closed() signal).
    void Close();
    bool IsOpen() const;
    bool IsSignedIn() const { return SignedIn; }
    QString Server() const;
    QString Name() const { return PlayerName; }
    // One request line from ServerCodec; dropped unless signed in (login excepted).
    void Send(const QByteArray& line);

signals:
    void message(const TServerMessage& message);
    void log(const QString& line);
    // The connection is gone, with the reason in words; Open may be called again.
    void closed(const QString& reason);

private:
    void Encrypted();
    void TlsErrors(const QList<QSslError>& errors);
    void Read();
    void Gone(const QString& reason);
    void Tick();

    TServerTrust& Trust;
    TPlayerIdentity Identity;
    TTrustPrompt Ask;
    std::unique_ptr<QSslSocket> Socket;
    QTimer Pinger;
    QByteArray Partial;
    QString Host;
    uint16_t Port = 0;
    QString PlayerName;
    bool SignedIn = false;
    bool Closing = false;
    qint64 LastHeardMs = 0;
    qint64 OpenedMs = 0;
    qint64 LastPingMs = 0;
};
