#pragma once

#include "net/NetConnection.h"
#include "net/PlayerIdentity.h"
#include "protocol/ServerMessage.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QSslSocket;
class TServerTrust;

// One connection to a game server over TLS 1.3: shows the player's own
// certificate, checks the server's (an authority's signature, or the
// fingerprint trusted the first time), signs in with the player's name, and
// hands on every message the server sends once it has been checked. The
// protocol core (TNetConnection) frames the lines, keeps the line alive and
// holds the server to its deadlines; this side speaks the server's hello.
class TLobbyConnection : public QObject, private TNetLineProtocol {
    Q_OBJECT

public:
    // Asked once per new server whether to trust it: the server ("host:port")
    // and its fingerprint written as "AB:CD:…"; true to trust and remember it.
    using TTrustPrompt = std::function<bool(const QString& server, const QString& fingerprint)>;

    static constexpr int PingMs = 10'000;
    // The server answers every ping; this long without a word, it is gone.
    static constexpr int SilenceMs = 35'000;
    static constexpr int ConnectMs = 15'000;

    TLobbyConnection(TServerTrust& trust, TPlayerIdentity identity, TTrustPrompt ask,
                     QObject* parent = nullptr);
    ~TLobbyConnection() override;

    void Open(const QString& host, uint16_t port, const QString& name);
    // Closes quietly (no closed() signal).
    void Close();
    bool IsSignedIn() const { return SignedIn; }
    QString Server() const;
    QString Name() const { return PlayerName; }
    // One request line (protocol/Requests.h); dropped unless signed in (login excepted).
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
    // Writes what the core has to send and acts on its end.
    void Pump();

    QByteArray Greeting() const override;
    QByteArray Bye(const QString&) const override {
        return {};
    } // the server's protocol has none from a client
    QByteArray KeepAlive() const override;
    TWords Words(TFault fault) const override;
    TAnswer Line(TNetConnection& connection, QByteArrayView line, bool greeted) override;

    TServerTrust& Trust;
    TPlayerIdentity Identity;
    TTrustPrompt Ask;
    std::unique_ptr<QSslSocket> Socket;
    QTimer Pinger;
    QElapsedTimer Clock;
    std::optional<TNetConnection> Core; // kept until the next Open: it may be ending the connection
    QString Host;
    uint16_t Port = 0;
    QString PlayerName;
    bool SignedIn = false;
    bool Closing = false;
};
