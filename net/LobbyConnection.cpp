#include "net/LobbyConnection.h"

#include "net/ServerCodec.h"
#include "net/ServerTrust.h"
#include "server/tls/Identity.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString Display(const QString& fingerprint) {
    return QString::fromStdString(DisplayFingerprint(fingerprint.toStdString()));
}

} // namespace

TLobbyConnection::TLobbyConnection(TServerTrust& trust, TPlayerIdentity identity, TTrustPrompt ask, QObject* parent)
    : QObject(parent), Trust(trust), Identity(std::move(identity)), Ask(std::move(ask)) {
    Pinger.setInterval(1000);
    connect(&Pinger, &QTimer::timeout, this, &TLobbyConnection::Tick);
}

TLobbyConnection::~TLobbyConnection() {
    Close();
}

QString TLobbyConnection::Server() const {
    return Host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2").arg(Host).arg(Port)
                                            : QStringLiteral("%1:%2").arg(Host).arg(Port);
}

bool TLobbyConnection::IsOpen() const {
    return Socket != nullptr;
}

void TLobbyConnection::Open(const QString& host, uint16_t port, const QString& name) {
    Close();
    Host = host;
    Port = port;
    PlayerName = name;
    Closing = false;
    SignedIn = false;
    Partial.clear();
    Socket = std::make_unique<QSslSocket>();
    QSslConfiguration tls = Socket->sslConfiguration();
    tls.setProtocol(QSsl::TlsV1_3OrLater);
    tls.setLocalCertificate(Identity.Certificate);
    tls.setPrivateKey(Identity.Key);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    Socket->setSslConfiguration(tls);
    // The host name the certificate is checked against stays the one typed.
    Socket->setPeerVerifyName(host);
    connect(Socket.get(), &QSslSocket::encrypted, this, &TLobbyConnection::Encrypted);
    connect(Socket.get(), &QSslSocket::sslErrors, this, &TLobbyConnection::TlsErrors);
    connect(Socket.get(), &QSslSocket::readyRead, this, &TLobbyConnection::Read);
    connect(Socket.get(), &QSslSocket::disconnected, this,
            [this] { Gone(QStringLiteral("The server closed the connection.")); });
    connect(Socket.get(), &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            Gone(QStringLiteral("The server closed the connection."));
        else
            Gone(QStringLiteral("Cannot reach %1: %2").arg(Server(), Socket ? Socket->errorString() : QString()));
    });
    OpenedMs = LastHeardMs = LastPingMs = NowMs();
    Pinger.start();
    emit log(QStringLiteral("Connecting to %1 as %2…").arg(Server(), name));
    Socket->connectToHostEncrypted(host, port);
}

void TLobbyConnection::Close() {
    Pinger.stop();
    SignedIn = false;
    if (!Socket) return;
    Closing = true;
    std::unique_ptr<QSslSocket> socket = std::move(Socket);
    socket->disconnect(this);
    socket->abort();
    // Deleted from the event loop: this may run inside one of its own signals.
    socket.release()->deleteLater();
}

void TLobbyConnection::Gone(const QString& reason) {
    if (!Socket || Closing) return;
    Close();
    emit closed(reason);
}

void TLobbyConnection::TlsErrors(const QList<QSslError>& errors) {
    if (!Socket) return;
    const QSslCertificate certificate = Socket->peerCertificate();
    if (certificate.isNull()) return Gone(QStringLiteral("The server at %1 showed no certificate.").arg(Server()));
    // Errors mean no known authority vouches for this certificate; then its
    // fingerprint must be the one trusted before.
    const QString fingerprint = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
    QString remembered;
    switch (Trust.Check(Host, Port, fingerprint, &remembered)) {
    case TServerTrust::TVerdict::Known:
        Socket->ignoreSslErrors(errors);
        return;
    case TServerTrust::TVerdict::Changed:
        return Gone(QStringLiteral("Refused: the server at %1 shows a different certificate from the one you "
                                   "trusted. Trusted: %2. Shown now: %3. If its owner says the certificate was "
                                   "replaced, remove its line from %4 and connect again.")
                        .arg(Server(), Display(remembered), Display(fingerprint), Trust.File));
    case TServerTrust::TVerdict::New:
        break;
    }
    // Asked outside the handshake, which the server would not wait for while
    // a person reads; trusted, the connection starts again.
    const QString host = Host, name = PlayerName, server = Server();
    const uint16_t port = Port;
    Close();
    QMetaObject::invokeMethod(
        this,
        [this, host, port, name, server, fingerprint] {
            if (Ask && Ask(server, Display(fingerprint))) {
                if (!Trust.Remember(host, port, fingerprint))
                    emit log(QStringLiteral("Could not remember the server in %1.").arg(Trust.File));
                emit log(QStringLiteral("You trusted %1 (fingerprint %2).").arg(server, Display(fingerprint)));
                Open(host, port, name);
                return;
            }
            emit closed(QStringLiteral("Not connected: you did not trust the certificate of %1.").arg(server));
        },
        Qt::QueuedConnection);
}

void TLobbyConnection::Encrypted() {
    LastHeardMs = NowMs();
    emit log(QStringLiteral("Connected to %1 over TLS; signing in as %2.").arg(Server(), PlayerName));
    Socket->write(ServerCodec::Login(PlayerName));
}

void TLobbyConnection::Send(const QByteArray& line) {
    if (!Socket || !SignedIn) return;
    Socket->write(line);
}

void TLobbyConnection::Read() {
    while (Socket && Socket->bytesAvailable() > 0) {
        const QByteArray bytes = Socket->read(64 * 1024);
        qsizetype start = 0;
        while (Socket) {
            const qsizetype end = bytes.indexOf('\n', start);
            const qsizetype piece = (end < 0 ? bytes.size() : end) - start;
            // A line is refused as soon as it passes the bound.
            if (Partial.size() + piece > ServerCodec::MaxLineBytes)
                return Gone(QStringLiteral("The server sent a line longer than %1 bytes; disconnected.")
                                .arg(ServerCodec::MaxLineBytes));
            Partial.append(bytes.constData() + start, piece);
            if (end < 0) break;
            start = end + 1;
            const QByteArray line = std::exchange(Partial, {});
            LastHeardMs = NowMs();
            const ServerCodec::TDecoded decoded = ServerCodec::Decode(line);
            if (!decoded.Ok) return Gone(QStringLiteral("The server sent %1; disconnected.").arg(decoded.Error));
            const TServerMessage& received = decoded.Message;
            if (received.Kind == TServerMessage::TKind::Bye)
                return Gone(QStringLiteral("The server said goodbye: %1").arg(received.Text));
            if (received.Kind == TServerMessage::TKind::SignedIn) SignedIn = true;
            if (received.Kind != TServerMessage::TKind::Pong) emit message(received);
        }
    }
}

void TLobbyConnection::Tick() {
    if (!Socket) return;
    const qint64 now = NowMs();
    if (Socket->isEncrypted()) {
        if (now - LastHeardMs >= SilenceMs)
            return Gone(QStringLiteral("The server has not answered for %1 s.").arg(SilenceMs / 1000));
        // The server drops a client silent for 30 s.
        static_assert(PingMs < 30'000);
        if (now - LastPingMs >= PingMs) {
            LastPingMs = now;
            Socket->write(ServerCodec::Ping());
        }
    } else if (now - OpenedMs >= ConnectMs) {
        Gone(QStringLiteral("Cannot reach %1: no answer within %2 s.").arg(Server()).arg(ConnectMs / 1000));
    }
}
