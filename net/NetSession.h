#pragma once

#include "net/NetConnection.h"
#include "net/NetLimits.h"
#include "net/NetMessage.h"

#include <optional>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QTcpServer;
class QTcpSocket;

// Sockets are deleted through the event loop: one may be closed from inside
// its own signal.
struct TDeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// One connection to the other player's program: hosting (listening for one
// joiner) or joining. It speaks the protocol's handshake, keep-alives and
// limits itself and hands every other message on. Every fault closes the
// connection with a reason in words; the session can host or join again.
// One connection to the other player's program over TCP: hosting (listening
// for one joiner) or joining. The protocol itself (handshake, keep-alives,
// limits, the reasons of every fault) is a TNetConnection; this only moves
// bytes between it and a socket and wakes it when it asks. Every fault
// closes the connection with a reason in words; the session can host or join
// again.
class TNetSession : public QObject {
    Q_OBJECT

public:
    enum class TState { Idle, Listening, Connecting, Handshake, Connected };

    explicit TNetSession(QObject* parent = nullptr);
    ~TNetSession() override;

    void SetLimits(const TNetLimits& limits) { Limits = limits; }

    // Listens for one player; port 0 picks a free one (see ListeningPort).
    // False, with a log line, when the port cannot be opened.
    bool Host(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Connects to a host; the outcome arrives as connected() or closed().
    void Join(const QString& host, quint16 port);
    // Leaves: tells a connected peer why (worded for the other player, whose
    // log shows "The other player left: " before it), stops listening, back
    // to Idle. This side's log says only that it left.
    void Close(const QString& reasonForPeer = {});
    // Ends the connection only, telling the peer why; a host keeps listening.
    // This side's log reads reason; the peer reads forPeer (worded about this
    // side) when given, else the reason itself.
    void EndConnection(const QString& reason, const QString& forPeer = {});
    // Sends a message to a connected peer; false when there is none.
    bool Send(const TNetMessage& message);

    TState State() const;
    bool IsHost() const { return Hosting; }
    bool IsConnected() const { return Connection && Connection->IsConnected(); }
    bool IsListening() const;
    quint16 ListeningPort() const;

signals:
    // The handshake has succeeded; description names the other end.
    void connected(const QString& description);
    // A message after the handshake (never hello, welcome, ping or pong).
    void message(const TNetMessage& message);
    // The connection (or the attempt to make one) is over, and why.
    void closed(const QString& reason);
    // A line for the player's log.
    void log(const QString& text);

private:
    void AcceptPending();
    void Adopt(QTcpSocket* socket, TNetConnection::TRole role);
    void ReadPeer();
    void SocketError();
    // Writes what the connection has to send, tells what happened, closes
    // the socket once the connection has ended, and sets the next wake.
    void Pump();
    int64_t Now() const { return Clock.elapsed(); }
    QString PeerName() const;

    TNetLimits Limits;
    bool Hosting = false;
    std::unique_ptr<QTcpServer> Server;
    std::unique_ptr<QTcpSocket, TDeleteLater> Peer;
    std::optional<TNetConnection> Connection;
    uint32_t Generation = 0; // which connection an event belongs to
    QTimer Waker;
    QElapsedTimer Clock;
};
