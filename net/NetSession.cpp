#include "net/NetSession.h"

#include "net/MessageCodec.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace {

using TKind = TNetMessage::TKind;

constexpr qint64 ReadChunkBytes = 4096;

} // namespace

TNetSession::TNetSession(QObject* parent) : QObject(parent) {
    Clock.start();
    Waker.setSingleShot(true);
    connect(&Waker, &QTimer::timeout, this, [this] {
        if (!Connection) return;
        // Whatever has arrived counts before the deadlines are judged.
        ReadPeer();
        if (!Connection) return;
        Connection->Wake(Now());
        Pump();
    });
}

TNetSession::~TNetSession() {
    // A program that quits says so, so the other side need not wait for silence.
    if (Peer && Connection && Connection->State() != TNetConnection::TState::Opening) {
        Connection->Close(QString(), QStringLiteral("they closed Vantaro."));
        Peer->disconnect(this);
        Peer->write(Connection->TakeOutput());
        Peer->flush();
        Peer->disconnectFromHost();
    }
    if (Peer) {
        Peer->disconnect(this);
        // Not left to the event loop, which may not run again.
        delete Peer.release();
    }
}

TNetSession::TState TNetSession::State() const {
    if (Connection) {
        switch (Connection->State()) {
        case TNetConnection::TState::Opening:
            return TState::Connecting;
        case TNetConnection::TState::Handshake:
            return TState::Handshake;
        case TNetConnection::TState::Connected:
            return TState::Connected;
        case TNetConnection::TState::Finished:
            break;
        }
    }
    return Server ? TState::Listening : TState::Idle;
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
    emit log(QStringLiteral("Hosting on port %1; waiting for a player to join.").arg(Server->serverPort()));
    return true;
}

void TNetSession::Join(const QString& host, quint16 port) {
    Close();
    Hosting = false;
    auto* socket = new QTcpSocket;
    Adopt(socket, TNetConnection::TRole::Connecting);
    Connection->Connecting(Now(), QStringLiteral("%1:%2").arg(host).arg(port));
    connect(socket, &QTcpSocket::connected, this, [this] {
        if (!Connection) return;
        Connection->TransportUp(Now());
        Pump();
    });
    Pump();
    socket->connectToHost(host, port);
}

void TNetSession::Close(const QString& reasonForPeer) {
    if (Connection) {
        Connection->Close(QStringLiteral("You left the table."), reasonForPeer);
        Pump();
    }
    if (Server) {
        Server->close();
        Server->disconnect(this);
        Server.reset();
        emit log(QStringLiteral("Stopped hosting."));
    }
    Hosting = false;
}

void TNetSession::EndConnection(const QString& reason, const QString& forPeer) {
    if (!Connection) return;
    Connection->Close(reason, forPeer.isEmpty() ? reason : forPeer);
    Pump();
}

bool TNetSession::Send(const TNetMessage& message) {
    if (!Connection || !Connection->Send(message)) return false;
    Pump();
    return true;
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
        if (Connection) {
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
        Adopt(socket, TNetConnection::TRole::Accepting);
        Connection->Accepted(Now(), PeerName());
        Pump();
    }
}

void TNetSession::Adopt(QTcpSocket* socket, TNetConnection::TRole role) {
    Peer.reset(socket);
    Connection.emplace(role, Limits);
    ++Generation;
    // The socket's own buffer stays small; everything is read as it arrives.
    socket->setReadBufferSize(4 * ReadChunkBytes);
    // Moves are a few dozen bytes each; waiting to bundle them only delays the other table.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, &TNetSession::ReadPeer);
    connect(socket, &QTcpSocket::errorOccurred, this, &TNetSession::SocketError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        // A goodbye may still wait in the buffer: it says more than the closing does.
        ReadPeer();
        if (!Connection) return;
        Connection->TransportClosed(Now());
        Pump();
    });
}

void TNetSession::SocketError() {
    if (!Peer || !Connection) return;
    const auto error = Peer->error();
    if (Connection->State() == TNetConnection::TState::Opening) {
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
        Connection->TransportClosed(Now(), why);
        Pump();
        return;
    }
    ReadPeer();
    if (!Connection) return;
    if (error == QAbstractSocket::RemoteHostClosedError)
        Connection->TransportClosed(Now());
    else
        Connection->TransportClosed(Now(), Peer->errorString());
    Pump();
}

void TNetSession::ReadPeer() {
    QTcpSocket* socket = Peer.get();
    while (socket && Peer.get() == socket && Connection && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(ReadChunkBytes);
        if (chunk.isEmpty()) break;
        Connection->Received(Now(), chunk);
        Pump();
    }
}

void TNetSession::Pump() {
    if (!Connection || !Peer) return;
    const QByteArray output = Connection->TakeOutput();
    if (!output.isEmpty() && Peer->state() == QAbstractSocket::ConnectedState) Peer->write(output);
    std::vector<TNetEvent> events = Connection->TakeEvents();
    const uint32_t generation = Generation;
    if (Connection->Finished()) {
        Peer->disconnect(this);
        // Whatever is still queued (a refusal, a goodbye) goes out before the socket does.
        Peer->flush();
        Peer->disconnectFromHost();
        Peer.reset();
        Connection.reset();
        Waker.stop();
        Hosting = Server != nullptr;
    } else {
        Waker.start(int(std::clamp<int64_t>(Connection->NextWake() - Now(), 0, 60000)));
    }
    for (TNetEvent& event : events) {
        switch (event.Kind) {
        case TNetEvent::TKind::Connected:
            emit connected(event.Text);
            break;
        case TNetEvent::TKind::Message:
            // A message handled earlier may have ended the connection, or
            // another has begun: what followed is not delivered.
            if (Connection && Generation == generation && Connection->IsConnected())
                emit message(event.Message);
            break;
        case TNetEvent::TKind::Closed:
            emit log(event.Text);
            emit closed(event.Text);
            break;
        case TNetEvent::TKind::Log:
            emit log(event.Text);
            break;
        }
    }
}
