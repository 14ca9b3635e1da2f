// libFuzzer target for what a peer can send: the bytes go through the line
// framer in chunks the input itself chooses, every line through the decoder,
// and every decoded message is encoded again and must decode to itself.
// Moves and deals are then judged against a table built from the input.
// The same input then drives one connection's protocol, either role, with
// the passing of time among its steps, speaking direct play's protocol or
// carrying another line protocol as the game server and its clients do.
#include "net/LineFramer.h"
#include "net/MessageCodec.h"
#include "net/NetConnection.h"
#include "net/TableCheck.h"
#include "protocol/PeerText.h"

#include <QList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TTableState TableFrom(const uint8_t* data, size_t size) {
    TTableState table;
    auto byte = [&](size_t i) { return size ? data[i % size] : uint8_t(0); };
    table.InProgress = byte(0) & 1;
    table.Idle = byte(1) & 1;
    table.Turn = byte(2) & 1;
    for (int square = 0; square < 9; ++square)
        table.Board[square / 3][square % 3] =
            byte(3 + square) & 1 ? TOwnedCard(byte(12 + square), byte(21 + square) & 1) : TOwnedCard();
    for (int slot = 0; slot < 5; ++slot)
        for (int player = 0; player < 2; ++player)
            table.Hands[slot][player] = byte(30 + slot * 2 + player) & 1 ? -1 : byte(40 + slot);
    return table;
}

// Everything a connection hands back must be sound: only whole messages of
// the protocol go out, nothing follows the end, a message is handed on only
// while connected, the next wake is never in the past, and what a person
// reads is one plain line.
// Another line protocol: a line "hi" is the hello, "ping" is answered, "x"
// is a fault; everything it writes is one of its own lines.
class TLineScript : public TNetLineProtocol {
public:
    QByteArray Greeting() const override { return "greet\n"; }
    QByteArray Bye(const QString& reason) const override { return reason.isEmpty() ? "bye\n" : "bye!\n"; }
    QByteArray KeepAlive() const override { return "ping\n"; }
    TWords Words(TFault) const override { return {QStringLiteral("fault"), QStringLiteral("you")}; }
    TAnswer Line(TNetConnection& connection, QByteArrayView line, bool greeted) override {
        if (line.size() > 4096) abort(); // beyond the line limit
        if (line == "ping") connection.SendLine("pong\n");
        if (line == "hi") return {greeted ? TAnswer::TVerdict::Fault : TAnswer::TVerdict::Greeted, {}};
        if (line == "x") return {TAnswer::TVerdict::Fault, {QStringLiteral("fault"), QStringLiteral("you")}};
        return {};
    }
};

bool Written(const QByteArray& line, bool lineProtocol) {
    if (!lineProtocol) return MessageCodec::Decode(line).Ok;
    return line == "greet" || line == "bye" || line == "bye!" || line == "ping" || line == "pong";
}

void Check(TNetConnection& connection, int64_t now, bool& ended, bool lineProtocol) {
    const QByteArray output = connection.TakeOutput();
    if (ended && !output.isEmpty()) abort();
    if (!output.isEmpty() && !output.endsWith('\n')) abort();
    for (const QByteArray& line : output.split('\n'))
        if (!line.isEmpty() && !Written(line, lineProtocol)) abort();
    for (const TNetEvent& event : connection.TakeEvents()) {
        if (ended) abort();
        if (event.Kind == TNetEvent::TKind::Closed) ended = true;
        if (event.Kind != TNetEvent::TKind::Message && PeerText::Readable(event.Text) != event.Text) abort();
        if (lineProtocol && event.Kind == TNetEvent::TKind::Message) abort(); // lines go to the protocol
    }
    if (ended != connection.Finished()) abort();
    const int64_t next = connection.NextWake();
    if (ended ? next != TNetConnection::Never : next == TNetConnection::Never) abort();
    (void)now;
}

void DriveConnection(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const auto role = data[0] & 1 ? TNetConnection::TRole::Accepting : TNetConnection::TRole::Connecting;
    const bool lineProtocol = data[0] & 2;
    TLineScript script;
    TNetLimits limits;
    if (lineProtocol && (data[0] & 4)) { // as the server runs it: no keep-alive, no clock on a half line
        limits.PingMs = 0;
        limits.PartialMs = 0;
    }
    if (lineProtocol && (data[0] & 8)) { // as a client runs it: no rate limits
        limits.MaxMessagesPerSecond = 0;
        limits.MaxBytesPerSecond = 0;
    }
    TNetConnection connection =
        lineProtocol ? TNetConnection(script, limits, role) : TNetConnection(role, limits);
    int64_t now = 1000;
    bool ended = false;
    if (role == TNetConnection::TRole::Accepting)
        connection.Accepted(now, "192.0.2.1:1");
    else
        connection.Connecting(now, "192.0.2.1:47017");
    Check(connection, now, ended, lineProtocol);
    size_t at = 1;
    while (at < size) {
        const uint8_t op = data[at++];
        switch (op % 8) {
        case 0:
        case 1: { // time passes, up to a minute, and the connection is woken
            int64_t step = op / 8;
            if (at < size) step = step * 256 + data[at++];
            now += step * 8;
            connection.Wake(now);
            // Once woken, nothing it waits for is already due: no busy waking.
            if (!connection.Finished() && connection.NextWake() <= now) abort();
            break;
        }
        case 2:
            now = std::max(now, connection.NextWake() == TNetConnection::Never ? now : connection.NextWake());
            connection.Wake(now);
            break;
        case 3:
            connection.TransportUp(now);
            break;
        case 4: {
            TNetMessage chat = TNetMessage::Make(TNetMessage::TKind::Chat);
            chat.Text = QStringLiteral("hi");
            if (lineProtocol)
                connection.SendLine("pong\n");
            else if (connection.Send(chat) != (!ended && connection.IsConnected()))
                abort();
            break;
        }
        case 5:
            if (op & 0x80) connection.TransportClosed(now, op & 0x40 ? QStringLiteral("reset") : QString());
            break;
        default: { // bytes from the peer
            const size_t take = std::min<size_t>(size - at, 1 + op / 8 * 37);
            connection.Received(now,
                                QByteArrayView(reinterpret_cast<const char*>(data + at), qsizetype(take)));
            at += take;
        }
        }
        Check(connection, now, ended, lineProtocol);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TTableState table = TableFrom(data, size);
    TLineFramer framer(MessageCodec::MaxLineBytes);
    size_t at = 0;
    while (at < size && !framer.Overflowed()) {
        const size_t chunk = 1 + data[at] % 97;
        const size_t take = chunk < size - at ? chunk : size - at;
        QByteArrayView rest(reinterpret_cast<const char*>(data + at), qsizetype(take));
        at += take;
        QByteArray line;
        while (framer.Next(rest, line) == TLineFramer::TStep::Line) {
            if (line.size() > MessageCodec::MaxLineBytes) abort();
            const MessageCodec::TDecoded decoded = MessageCodec::Decode(line);
            if (!decoded.Ok) {
                if (decoded.Error.isEmpty()) abort();
                continue;
            }
            const QByteArray again = MessageCodec::Encode(decoded.Message);
            const MessageCodec::TDecoded twice = MessageCodec::Decode(QByteArrayView(again).chopped(1));
            if (!twice.Ok || !(twice.Message == decoded.Message)) abort();
            const TNetMessage& message = decoded.Message;
            if (message.Kind == TNetMessage::TKind::Move) {
                const QString problem =
                    TableCheck::MoveProblem(table, table.Turn, message.Slot, message.X, message.Y);
                // A move judged legal really is: the slot holds a card and the square is free.
                if (problem.isEmpty() && (table.Hands[message.Slot][table.Turn] == -1 ||
                                          table.Board[message.Y][message.X].Card != -1 || !table.InProgress))
                    abort();
            }
            if (message.Kind == TNetMessage::TKind::Deal && !TableCheck::DealProblem(message).isEmpty())
                abort();
        }
    }
    TableCheck::Digest(table);
    DriveConnection(data, size);
    return 0;
}
