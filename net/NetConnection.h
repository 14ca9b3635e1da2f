#pragma once

#include "net/LineFramer.h"
#include "net/MessageCodec.h"
#include "net/NetLimits.h"
#include "net/NetLineProtocol.h"
#include "net/NetMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <limits>
#include <vector>

// Something one connection's protocol has to tell whoever runs it.
struct TNetEvent {
    enum class TKind {
        Connected, // the handshake is done; Text names the other end
        Message,   // a message after the handshake (never hello, welcome, ping, pong)
        Closed,    // the connection is over; Text says why, for this side's log
        Log,       // a line for this side's log
    };
    TKind Kind = TKind::Log;
    QString Text;
    TNetMessage Message;
};

// The protocol of one connection without a socket or a clock: fed the bytes
// that arrived and the time, it hands back the bytes to send, what happened,
// and when it next wants to be woken. It speaks the handshake (both roles),
// keep-alives, deadlines and the size and rate limits itself; every other
// message is handed on as it was decoded, so further message kinds need only
// the codec (or another decoder given at construction). Another line protocol
// (the game server's) can be carried instead: see TNetLineProtocol.
//
// Times are milliseconds of any steady clock; they must not go backwards.
// A driver calls an operation, then writes TakeOutput() to its transport,
// acts on TakeEvents(), and once Finished() flushes and closes the transport.
// It wakes the connection at NextWake() (or earlier; waking early is harmless).
class TNetConnection {
public:
    // The side that accepted the connection (the host) or made it (the joiner).
    enum class TRole : uint8_t { Accepting, Connecting };
    enum class TState : uint8_t { Opening, Handshake, Connected, Finished };
    using TDecoder = MessageCodec::TDecoded (*)(QByteArrayView line);

    static constexpr int64_t Never = std::numeric_limits<int64_t>::max();

    TNetConnection(TRole role, const TNetLimits& limits, TDecoder decode = &MessageCodec::Decode);
    // Another line protocol, either side. It keeps no keep-alive of its own
    // when limits.PingMs is 0, no clock on a half line when limits.PartialMs
    // is 0, and no rate limit set to 0; silence counts before the hello too.
    // A time far past the asked wake-up is taken as it is, not as a pause.
    TNetConnection(TNetLineProtocol& protocol, const TNetLimits& limits, TRole role = TRole::Accepting);

    // The accepting side: a connection from `peer` ("address:port") has come
    // in; hello goes out and the handshake clock starts.
    void Accepted(int64_t nowMs, const QString& peer);
    // The connecting side: an attempt to reach `target` has begun; then
    // TransportUp once the transport is connected, which sends hello.
    void Connecting(int64_t nowMs, const QString& target);
    void TransportUp(int64_t nowMs);

    // Bytes that arrived, in any chunks.
    void Received(int64_t nowMs, QByteArrayView bytes);
    // Looks at the deadlines: keep-alives, silence, a half message, the handshake.
    void Wake(int64_t nowMs);
    // The transport ended: the other side closed it (why empty), or it failed.
    void TransportClosed(int64_t nowMs, const QString& why = {});

    // Sends a message once connected; false before that and after the end.
    bool Send(const TNetMessage& message);
    // Sends bytes as they are (another line protocol's answers) until the end.
    void SendLine(QByteArrayView bytes);
    // Ends the connection from this side: the peer reads reasonForPeer (worded
    // about this side: "they ..."), this side's log reads localLine.
    void Close(const QString& localLine, const QString& reasonForPeer = {});
    // Turns the peer away with a reason (the accepting side, before welcome).
    void Refuse(const QString& reasonForPeer, const QString& localLine);

    QByteArray TakeOutput();
    std::vector<TNetEvent> TakeEvents();
    // When to call Wake next; Never once finished.
    int64_t NextWake() const;

    TState State() const { return CurrentState; }
    bool IsConnected() const { return CurrentState == TState::Connected; }
    bool Finished() const { return CurrentState == TState::Finished; }
    const QString& Peer() const { return PeerName; }
    const TNetLimits& Limits() const { return Limit; }

private:
    void Handle(const QByteArray& line);
    void HandleHello(const TNetMessage& hello);
    void Write(const TNetMessage& message);
    void Emit(TNetEvent::TKind kind, QString text);
    // Ends the connection: the log reads localLine, the peer (when told)
    // reads reasonForPeer in a bye.
    void End(const QString& localLine, bool tellPeer, const QString& reasonForPeer = {});
    // A fault of the peer: this side's log reads localLine; the peer is told
    // in words about itself.
    void Fault(const QString& localLine, const QString& reasonForPeer) {
        End(localLine, true, reasonForPeer);
    }
    // A fault of the peer found by the connection, worded by the line
    // protocol when there is one.
    void Fault(TNetLineProtocol::TFault fault, const QString& localLine, const QString& reasonForPeer);
    void HandleLine(const QByteArray& line);
    // Time this side itself was not running does not count against the peer.
    void Resume(int64_t nowMs);
    void RollRateWindow(int64_t nowMs);

    TNetLimits Limit;
    TDecoder Decode;
    TNetLineProtocol* Protocol = nullptr;
    TRole MyRole;
    TState CurrentState = TState::Opening;
    bool HeardHello = false;
    bool TransportIsUp = false;
    QString PeerName;
    TLineFramer Framer{Limit.MaxLineBytes};
    int64_t StateSince = 0;
    int64_t LastHeard = 0;
    int64_t LastPing = 0;
    int64_t PartialSince = 0;
    int64_t RateWindowStart = 0;
    int64_t LastCall = 0;
    int32_t MessagesInWindow = 0;
    int64_t BytesInWindow = 0;
    QByteArray Output;
    std::vector<TNetEvent> Events;
};
