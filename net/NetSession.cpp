#include "net/NetSession.h"

#include "net/MessageCodec.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

using TKind = TNetMessage::TKind;

constexpr qint64 ReadChunkBytes = 4096;

QString Seconds(int milliseconds) {
    return QString::number((milliseconds + 999) / 1000);
}

} // namespace

TNetSession::TNetSession(QObject* parent) : QObject(parent), Framer(MessageCodec::MaxLineBytes) {
    connect(&Ticker, &QTimer::timeout, this, &TNetSession::Tick);
}

TNetSession::~TNetSession() {
    // A program that quits says so, so the other side need not wait for silence.
    if (Peer && CurrentState != TState::Connecting) {
        TNetMessage bye = TNetMessage::Make(TKind::Bye);
        bye.Reason = QStringLiteral("they closed Vantaro.");
        Peer->disconnect(this);
        Peer->write(MessageCodec::Encode(bye));
        Peer->flush();
        Peer->disconnectFromHost();
    }
    if (Peer) {
        Peer->disconnect(this);
        // Not left to the event loop, which may not run again.
        delete Peer.release();
    }
}

bool TNetSession::IsListening() const {
    return Server && Server->isListening();
}

quint16 TNetSession::ListeningPort() const {
    return IsListening() ? Server->serverPort() : 0;
}

bool TNetSession::Host(quint16 port, const QHostAddress& address) {
    Close();
    auto server = std::make_unique<QTcpServer>();
    server->setMaxPendingConnections(4);
    if (!server->listen(address, port)) {
        emit log(QStringLiteral("Could not host on port %1: %2.").arg(port).arg(server->errorString()));
        return false;
    }
    connect(server.get(), &QTcpServer::newConnection, this, &TNetSession::AcceptPending);
    Server = std::move(server);
    Hosting = true;
    CurrentState = TState::Listening;
    emit log(QStringLiteral("Hosting on port %1; waiting for a player to join.").arg(Server->serverPort()));
    return true;
}

void TNetSession::Join(const QString& host, quint16 port) {
    Close();
    Hosting = false;
    JoinTarget = QStringLiteral("%1:%2").arg(host).arg(port);
    auto* socket = new QTcpSocket;
    Adopt(socket);
    CurrentState = TState::Connecting;
    StateSince.start();
    emit log(QStringLiteral("Joining %1...").arg(JoinTarget));
    connect(socket, &QTcpSocket::connected, this, [this] {
        CurrentState = TState::Handshake;
        StateSince.start();
        LastHeard.start();
        TNetMessage hello = TNetMessage::Make(TKind::Hello);
        hello.Program = QLatin1String(MessageCodec::ProgramName);
        hello.Version = MessageCodec::ProtocolVersion;
        Write(hello);
    });
    socket->connectToHost(host, port);
}

void TNetSession::Close(const QString& reasonForPeer) {
    if (Peer) Drop(reasonForPeer, true, QStringLiteral("You left the table."));
    if (Server) {
        Server->close();
        Server->disconnect(this);
        Server.reset();
        emit log(QStringLiteral("Stopped hosting."));
    }
    Hosting = false;
    CurrentState = TState::Idle;
    Ticker.stop();
}

bool TNetSession::Send(const TNetMessage& message) {
    if (!Peer || CurrentState != TState::Connected) return false;
    Write(message);
    return true;
}

void TNetSession::Write(const TNetMessage& message) {
    Peer->write(MessageCodec::Encode(message));
}

QString TNetSession::PeerName() const {
    if (!Peer) return {};
    QHostAddress address = Peer->peerAddress();
    // An IPv4 peer on a dual-stack socket shows as ::ffff:a.b.c.d.
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4) address = QHostAddress(v4);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(Peer->peerPort());
}

void TNetSession::AcceptPending() {
    while (Server && Server->hasPendingConnections()) {
        QTcpSocket* socket = Server->nextPendingConnection();
        if (!socket) break;
        if (Peer) {
            // One opponent at a time: the newcomer hears why and is let go.
            TNetMessage refused = TNetMessage::Make(TKind::Refused);
            refused.Reason = QStringLiteral("The table is taken: another player is already connected.");
            socket->write(MessageCodec::Encode(refused));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
            emit log(QStringLiteral("Turned away a second player: the table is taken."));
            continue;
        }
        socket->setParent(nullptr);
        Adopt(socket);
        CurrentState = TState::Handshake;
        StateSince.start();
        LastHeard.start();
        TNetMessage hello = TNetMessage::Make(TKind::Hello);
        hello.Program = QLatin1String(MessageCodec::ProgramName);
        hello.Version = MessageCodec::ProtocolVersion;
        Write(hello);
        emit log(QStringLiteral("A player is connecting from %1...").arg(PeerName()));
    }
}

void TNetSession::Adopt(QTcpSocket* socket) {
    Peer.reset(socket);
    // The socket's own buffer stays small; everything is read as it arrives.
    socket->setReadBufferSize(4 * ReadChunkBytes);
    // Moves are a few dozen bytes each; waiting to bundle them only delays the other table.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Framer.Reset();
    MessagesInWindow = 0;
    BytesInWindow = 0;
    RateWindow.start();
    LastPing.start();
    connect(socket, &QTcpSocket::readyRead, this, &TNetSession::ReadPeer);
    connect(socket, &QTcpSocket::errorOccurred, this, &TNetSession::SocketError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        Drop(CurrentState == TState::Connected
                 ? QStringLiteral("The other player's program closed the connection.")
                 : QStringLiteral("The other side closed the connection."),
             false);
    });
    Ticker.start(Limits.CheckMs);
}

void TNetSession::SocketError() {
    if (!Peer) return;
    const auto error = Peer->error();
    if (CurrentState == TState::Connecting) {
        QString why;
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            why = QStringLiteral("the connection was refused (is anybody hosting there?)");
            break;
        case QAbstractSocket::HostNotFoundError:
            why = QStringLiteral("that host was not found");
            break;
        default:
            why = Peer->errorString();
        }
        Drop(QStringLiteral("Could not join %1: %2.").arg(JoinTarget, why), false);
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // disconnected() follows with its own line, unless the buffer still
        // holds a goodbye to read.
        ReadPeer();
        if (Peer && CurrentState != TState::Idle && CurrentState != TState::Listening)
            Drop(CurrentState == TState::Connected
                     ? QStringLiteral("The other player's program closed the connection.")
                     : QStringLiteral("The other side closed the connection."),
                 false);
        return;
    }
    Drop(QStringLiteral("The connection failed: %1.").arg(Peer->errorString()), false);
}

void TNetSession::ReadPeer() {
    QTcpSocket* socket = Peer.get();
    while (socket && Peer.get() == socket && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(ReadChunkBytes);
        if (chunk.isEmpty()) break;
        LastHeard.start();
        RollRateWindow();
        BytesInWindow += chunk.size();
        if (BytesInWindow > Limits.MaxBytesPerSecond) {
            Drop(QStringLiteral(
                     "The other side sent more than %1 bytes in a second; the connection is closed.")
                     .arg(Limits.MaxBytesPerSecond),
                 true);
            return;
        }
        const bool wasPartial = Framer.PartialBytes() > 0;
        if (!Framer.Feed(chunk)) {
            Drop(QStringLiteral(
                     "The other side sent a message longer than %1 bytes; the connection is closed.")
                     .arg(MessageCodec::MaxLineBytes),
                 true);
            return;
        }
        bool ended = false;
        QByteArray line;
        while (Framer.TakeLine(line)) {
            ended = true;
            if (!HandleLine(line) || Peer.get() != socket) return;
        }
        // The clock of an unfinished message runs from its first byte.
        if (Framer.PartialBytes() > 0 && (ended || !wasPartial)) PartialSince.start();
    }
}

void TNetSession::RollRateWindow() {
    if (RateWindow.elapsed() < 1000) return;
    RateWindow.start();
    MessagesInWindow = 0;
    BytesInWindow = 0;
}

bool TNetSession::HandleLine(const QByteArray& line) {
    RollRateWindow();
    if (++MessagesInWindow > Limits.MaxMessagesPerSecond) {
        Drop(
            QStringLiteral("The other side sent more than %1 messages in a second; the connection is closed.")
                .arg(Limits.MaxMessagesPerSecond),
            true);
        return false;
    }
    const MessageCodec::TDecoded decoded = MessageCodec::Decode(line);
    if (!decoded.Ok) {
        Drop(QStringLiteral(
                 "The other side sent something this program cannot read (%1); the connection is closed.")
                 .arg(decoded.Error),
             true);
        return false;
    }
    const TNetMessage& message = decoded.Message;
    switch (message.Kind) {
    case TKind::Hello:
        if (CurrentState != TState::Handshake) {
            Drop(QStringLiteral("The other side introduced itself twice; the connection is closed."), true);
            return false;
        }
        HandleHello(message);
        return Peer != nullptr;
    case TKind::Welcome:
        if (CurrentState != TState::Handshake || Hosting) {
            Drop(QStringLiteral("The other side sent an unexpected welcome; the connection is closed."),
                 true);
            return false;
        }
        CurrentState = TState::Connected;
        emit connected(QStringLiteral("Connected to the host at %1.").arg(JoinTarget));
        return true;
    case TKind::Refused:
        Drop(QStringLiteral("The other side refused the connection: %1").arg(message.Reason), false);
        return false;
    case TKind::Bye:
        Drop(message.Reason.isEmpty() ? QStringLiteral("The other player left.")
                                      : QStringLiteral("The other player left: %1").arg(message.Reason),
             false);
        return false;
    case TKind::Ping:
        if (CurrentState == TState::Connected) Write(TNetMessage::Make(TKind::Pong));
        return true;
    case TKind::Pong:
        return true;
    default:
        break;
    }
    if (CurrentState != TState::Connected) {
        Drop(QStringLiteral(
                 "The other side sent a \"%1\" message before introducing itself; the connection is "
                 "closed.")
                 .arg(MessageCodec::KindName(message.Kind)),
             true);
        return false;
    }
    emit this->message(message);
    return true;
}

void TNetSession::HandleHello(const TNetMessage& hello) {
    if (hello.Program != QLatin1String(MessageCodec::ProgramName)) {
        Drop(QStringLiteral("The other side is not a Vantaro program; the connection is closed."), true);
        return;
    }
    if (hello.Version != MessageCodec::ProtocolVersion) {
        const QString why =
            QStringLiteral("This program speaks protocol version %1, the other speaks version %2.")
                .arg(MessageCodec::ProtocolVersion)
                .arg(hello.Version);
        if (Hosting) {
            TNetMessage refused = TNetMessage::Make(TKind::Refused);
            refused.Reason =
                QStringLiteral("Version mismatch: the host speaks protocol version %1, you speak %2.")
                    .arg(MessageCodec::ProtocolVersion)
                    .arg(hello.Version);
            Write(refused);
        }
        Drop(QStringLiteral("Version mismatch: %1").arg(why), !Hosting);
        return;
    }
    if (!Hosting) return; // the host's welcome completes the handshake
    Write(TNetMessage::Make(TKind::Welcome));
    CurrentState = TState::Connected;
    const QString who = PeerName();
    emit connected(QStringLiteral("A player joined from %1.").arg(who));
}

void TNetSession::Tick() {
    if (!Peer) {
        Ticker.stop();
        return;
    }
    switch (CurrentState) {
    case TState::Connecting:
        if (StateSince.elapsed() > Limits.ConnectMs)
            Drop(QStringLiteral("Could not join %1: no answer within %2 seconds.")
                     .arg(JoinTarget, Seconds(Limits.ConnectMs)),
                 false);
        return;
    case TState::Handshake:
        if (StateSince.elapsed() > Limits.HandshakeMs) {
            Drop(QStringLiteral(
                     "The other side did not introduce itself within %1 seconds; the connection is closed.")
                     .arg(Seconds(Limits.HandshakeMs)),
                 true);
            return;
        }
        break;
    case TState::Connected:
        if (LastHeard.elapsed() > Limits.SilenceMs) {
            Drop(QStringLiteral(
                     "Nothing was heard from the other player for %1 seconds; the connection is dropped.")
                     .arg(Seconds(Limits.SilenceMs)),
                 true);
            return;
        }
        if (LastPing.elapsed() >= Limits.PingMs) {
            LastPing.start();
            Write(TNetMessage::Make(TKind::Ping));
        }
        break;
    default:
        return;
    }
    if (Framer.PartialBytes() > 0 && PartialSince.elapsed() > Limits.PartialMs)
        Drop(QStringLiteral("The other side stopped in the middle of a message; the connection is closed."),
             true);
}

void TNetSession::Drop(const QString& reason, bool tellPeer, const QString& localLine) {
    if (!Peer) return;
    Peer->disconnect(this);
    if (tellPeer && Peer->state() == QAbstractSocket::ConnectedState) {
        TNetMessage bye = TNetMessage::Make(TKind::Bye);
        bye.Reason = reason.left(MessageCodec::MaxReasonCharacters);
        Peer->write(MessageCodec::Encode(bye));
    }
    // Whatever is still queued (a refusal, a goodbye) goes out before the socket does.
    Peer->flush();
    Peer->disconnectFromHost();
    Peer.reset();
    Framer.Reset();
    Ticker.stop();
    CurrentState = Server ? TState::Listening : TState::Idle;
    Hosting = Server != nullptr;
    const QString line = localLine.isEmpty() ? reason : localLine;
    emit log(line);
    emit closed(line);
}
