#pragma once

#include "net/LineFramer.h"
#include "net/NetLimits.h"
#include "net/NetMessage.h"

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
class TNetSession : public QObject {
    Q_OBJECT

public:
    enum class TState { Idle, Listening, Connecting, Handshake, Connected };

    explicit TNetSession(QObject* parent = nullptr);
    ~TNetSession() override;

    void SetLimits(const TNetLimits& limits) { Limits = limits; }
    const TNetLimits& GetLimits() const { return Limits; }

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
    // Closes with a reason for this side's log and, when given, another
    // wording of it for the other side, which reads it about itself.
    void EndConnection(const QString& reason, const QString& forPeer = {}) {
        if (forPeer.isEmpty())
            Drop(reason, true);
        else
            Drop(forPeer, true, reason);
    }
    // Sends a message to a connected peer; false when there is none.
    bool Send(const TNetMessage& message);

    TState State() const { return CurrentState; }
    bool IsHost() const { return Hosting; }
    bool IsConnected() const { return CurrentState == TState::Connected; }
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
    void Adopt(QTcpSocket* socket);
    void ReadPeer();
    bool HandleLine(const QByteArray& line);
    void HandleHello(const TNetMessage& hello);
    void SocketError();
    void Tick();
    void RollRateWindow();
    void Write(const TNetMessage& message);
    // Ends the connection with a reason; tells the peer why first when told
    // to. The log shows localLine instead of the reason when one is given.
    void Drop(const QString& reason, bool tellPeer, const QString& localLine = {});
    QString PeerName() const;

    TNetLimits Limits;
    TState CurrentState = TState::Idle;
    bool Hosting = false;
    std::unique_ptr<QTcpServer> Server;
    std::unique_ptr<QTcpSocket, TDeleteLater> Peer;
    QString JoinTarget;
    TLineFramer Framer;
    QTimer Ticker;
    QElapsedTimer StateSince;
    QElapsedTimer LastHeard;
    QElapsedTimer LastPing;
    QElapsedTimer PartialSince;
    QElapsedTimer RateWindow;
    int MessagesInWindow = 0;
    qint64 BytesInWindow = 0;
};
