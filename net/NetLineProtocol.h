#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

class TNetConnection;

// A line protocol other than direct play's, carried by a TNetConnection that
// keeps its framing, size and rate limits and deadlines: the game server
// speaks its own through this. The connection asks it for the words of every
// fault and hands it each whole line within the limits; the handshake is one
// line the protocol recognises (its hello), which must come first, once, and
// within the handshake time.
class TNetLineProtocol {
public:
    // Faults the connection itself finds.
    enum class TFault : uint8_t {
        TooManyBytes,
        LineTooLong,
        TooManyMessages,
        NoHello,
        Silent,
        Partial,
        NoAnswer, // the connecting side's transport did not come up in time
    };
    struct TWords {
        QString LocalLine; // for this side's log (empty: nothing logged)
        QString ForPeer;   // the reason the peer reads in its goodbye
    };
    struct TAnswer {
        enum class TVerdict : uint8_t {
            Handled, // the line is dealt with
            Greeted, // it was the peer's acceptable hello: the handshake is done
            Fault,   // the peer is at fault; Words say how
            Stop,    // whoever runs the connection has ended it already: no goodbye
        };
        TVerdict Verdict = TVerdict::Handled;
        TWords Words;
    };

    virtual ~TNetLineProtocol() = default;

    // What goes out as soon as the transport is up (accepted, or connected).
    virtual QByteArray Greeting() const = 0;
    // The goodbye line with its reason (empty: this side says none).
    virtual QByteArray Bye(const QString& reason) const = 0;
    // A keep-alive, sent every limits.PingMs when that is not 0.
    virtual QByteArray KeepAlive() const = 0;
    virtual TWords Words(TFault fault) const = 0;
    // One whole line (without its ending); `greeted` once a hello was
    // accepted. Answers go out through connection.SendLine.
    virtual TAnswer Line(TNetConnection& connection, QByteArrayView line, bool greeted) = 0;
};
