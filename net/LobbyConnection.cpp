#include "net/LobbyConnection.h"

#include "identity/Identity.h"
#include "net/ServerTrust.h"
#include "protocol/Protocol.h"
#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

QString Display(const QString& fingerprint) {
    return QString::fromStdString(DisplayFingerprint(fingerprint.toStdString()));
}

TNetLimits CoreLimits() {
    TNetLimits limits;
    limits.ConnectMs = TLobbyConnection::ConnectMs;
    limits.HandshakeMs = TLobbyConnection::ConnectMs;
    limits.PingMs = TLobbyConnection::PingMs;
    limits.SilenceMs = TLobbyConnection::SilenceMs;
    limits.PartialMs = 0; // a server's long line may take its time
    // A lobby of many players and tables arrives in bursts; a server is held
    // only to the size of its lines.
    limits.MaxMessagesPerSecond = 0;
    limits.MaxBytesPerSecond = 0;
    limits.MaxLineBytes = int(Protocol::MaxServerLineBytes);
    return limits;
}

} // namespace

TLobbyConnection::TLobbyConnection(TServerTrust& trust, TPlayerIdentity identity, TTrustPrompt ask,
                                   QObject* parent)
    : QObject(parent), Trust(trust), Identity(std::move(identity)), Ask(std::move(ask)) {
    Clock.start();
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

void TLobbyConnection::Open(const QString& host, uint16_t port, const QString& name) {
    Close();
    Host = host;
    Port = port;
    PlayerName = name;
    Closing = false;
    SignedIn = false;
    Core.emplace(static_cast<TNetLineProtocol&>(*this), CoreLimits(), TNetConnection::TRole::Connecting);
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
            Gone(QStringLiteral("Cannot reach %1: %2")
                     .arg(Server(), Socket ? Socket->errorString() : QString()));
    });
    Core->Connecting(Clock.elapsed(), Server());
    Core->TakeEvents();
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
    if (certificate.isNull())
        return Gone(QStringLiteral("The server at %1 showed no certificate.").arg(Server()));
    // Errors mean no known authority vouches for this certificate; then its
    // fingerprint must be the one trusted before.
    const QString fingerprint = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
    QString remembered;
    switch (Trust.Check(Host, Port, fingerprint, &remembered)) {
    case TServerTrust::TVerdict::Known:
        Socket->ignoreSslErrors(errors);
        return;
    case TServerTrust::TVerdict::Changed:
        return Gone(
            QStringLiteral("Refused: the server at %1 shows a different certificate from the one you "
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
                emit log(
                    QStringLiteral("You trusted %1 (fingerprint %2).").arg(server, Display(fingerprint)));
                Open(host, port, name);
                return;
            }
            emit closed(
                QStringLiteral("Not connected: you did not trust the certificate of %1.").arg(server));
        },
        Qt::QueuedConnection);
}

void TLobbyConnection::Encrypted() {
    if (!Socket || !Core) return;
    emit log(QStringLiteral("Connected to %1 over TLS; signing in as %2.").arg(Server(), PlayerName));
    Core->TransportUp(Clock.elapsed());
    Pump();
}

void TLobbyConnection::Send(const QByteArray& line) {
    if (!Socket || !SignedIn || !Core) return;
    Core->SendLine(line);
    Pump();
}

void TLobbyConnection::Read() {
    while (Socket && Core && Socket->bytesAvailable() > 0) {
        Core->Received(Clock.elapsed(), Socket->read(64 * 1024));
        Pump();
    }
}

void TLobbyConnection::Tick() {
    if (!Socket || !Core) return;
    Core->Wake(Clock.elapsed());
    Pump();
}

void TLobbyConnection::Pump() {
    if (!Socket || !Core) return;
    const QByteArray out = Core->TakeOutput();
    const std::vector<TNetEvent> events = Core->TakeEvents();
    if (!out.isEmpty()) Socket->write(out);
    for (const TNetEvent& event : events)
        if (event.Kind == TNetEvent::TKind::Closed && !event.Text.isEmpty()) return Gone(event.Text);
}

QByteArray TLobbyConnection::Greeting() const {
    // The hello, then signing in: the server reads them in order.
    return Requests::Hello() + Requests::Login(PlayerName);
}

QByteArray TLobbyConnection::KeepAlive() const {
    static_assert(PingMs < 30'000, "the server drops a client silent for 30 s");
    return Requests::Ping();
}

TNetLineProtocol::TWords TLobbyConnection::Words(TFault fault) const {
    switch (fault) {
    case TFault::NoAnswer:
        return {QStringLiteral("Cannot reach %1: no answer within %2 s.").arg(Server()).arg(ConnectMs / 1000),
                {}};
    case TFault::LineTooLong:
        return {QStringLiteral("The server sent a line longer than %1 bytes; disconnected.")
                    .arg(Protocol::MaxServerLineBytes),
                {}};
    case TFault::NoHello:
        return {QStringLiteral("The server at %1 did not introduce itself within %2 s.")
                    .arg(Server())
                    .arg(ConnectMs / 1000),
                {}};
    case TFault::Silent:
    case TFault::Partial:
    case TFault::TooManyBytes:
    case TFault::TooManyMessages:
        break;
    }
    return {QStringLiteral("The server has not answered for %1 s.").arg(SilenceMs / 1000), {}};
}

TNetLineProtocol::TAnswer TLobbyConnection::Line(TNetConnection&, QByteArrayView line, bool greeted) {
    using TVerdict = TAnswer::TVerdict;
    if (!greeted) {
        // The server's first line names the program and the protocol it speaks.
        const ServerMessages::THello hello = ServerMessages::ReadHello(line);
        if (!hello.IsHello || hello.Program != QLatin1String(Protocol::ServerProgramName))
            return {TVerdict::Fault,
                    {QStringLiteral("%1 is not a Vantaro server; disconnected.").arg(Server()), {}}};
        if (hello.Version != Protocol::Version)
            return {TVerdict::Fault,
                    {QStringLiteral("The server at %1 speaks protocol version %2; this program speaks %3.")
                         .arg(Server())
                         .arg(hello.Version)
                         .arg(Protocol::Version),
                     {}}};
        return {TVerdict::Greeted, {}};
    }
    const ServerMessages::TDecoded decoded = ServerMessages::Decode(line.toByteArray());
    if (!decoded.Ok)
        return {TVerdict::Fault,
                {QStringLiteral("The server sent %1; disconnected.").arg(decoded.Error), {}}};
    const TServerMessage& received = decoded.Message;
    if (received.Kind == TServerMessage::TKind::Bye)
        return {TVerdict::Fault, {QStringLiteral("The server said goodbye: %1").arg(received.Text), {}}};
    if (received.Kind == TServerMessage::TKind::SignedIn) SignedIn = true;
    if (received.Kind != TServerMessage::TKind::Pong) emit message(received);
    // Whoever took the message may have closed the connection.
    return {Socket ? TVerdict::Handled : TVerdict::Stop, {}};
}
