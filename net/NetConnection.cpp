#include "net/NetConnection.h"

#include "protocol/PeerText.h"

#include <algorithm>

namespace {

using TKind = TNetMessage::TKind;

QString Seconds(int milliseconds) {
    return QString::number((milliseconds + 999) / 1000);
}

TNetMessage Hello() {
    TNetMessage hello = TNetMessage::Make(TKind::Hello);
    hello.Program = QLatin1String(MessageCodec::ProgramName);
    hello.Version = MessageCodec::ProtocolVersion;
    return hello;
}

// A reason as the other side's decoder takes it: at most its length in
// characters (never half of one), and one plain line.
QString ReasonForWire(const QString& reason) {
    return PeerText::Readable(reason, MessageCodec::MaxReasonCharacters - 1);
}

} // namespace

TNetConnection::TNetConnection(TRole role, const TNetLimits& limits, TDecoder decode)
    : Limit(limits), Decode(decode ? decode : &MessageCodec::Decode), MyRole(role) {}

TNetConnection::TNetConnection(TNetLineProtocol& protocol, const TNetLimits& limits, TRole role)
    : Limit(limits), Decode(&MessageCodec::Decode), Protocol(&protocol), MyRole(role) {}

void TNetConnection::Accepted(int64_t nowMs, const QString& peer) {
    PeerName = peer;
    LastCall = nowMs;
    TransportIsUp = true;
    CurrentState = TState::Handshake;
    StateSince = LastHeard = LastPing = RateWindowStart = nowMs;
    if (Protocol) {
        Output.append(Protocol->Greeting());
        return;
    }
    Write(Hello());
    Emit(TNetEvent::TKind::Log, QStringLiteral("A player is connecting from %1...").arg(peer));
}

void TNetConnection::Connecting(int64_t nowMs, const QString& target) {
    PeerName = target;
    LastCall = nowMs;
    CurrentState = TState::Opening;
    StateSince = nowMs;
    Emit(TNetEvent::TKind::Log, QStringLiteral("Joining %1...").arg(target));
}

void TNetConnection::TransportUp(int64_t nowMs) {
    if (CurrentState != TState::Opening) return;
    Resume(nowMs);
    TransportIsUp = true;
    CurrentState = TState::Handshake;
    StateSince = LastHeard = LastPing = RateWindowStart = nowMs;
    if (Protocol)
        Output.append(Protocol->Greeting());
    else
        Write(Hello());
}

void TNetConnection::Resume(int64_t nowMs) {
    // The connection asks to be woken at least every keep-alive; a call far
    // later than asked means this program was stopped or starved, and what the
    // peer sent meanwhile may still be waiting unread. The deadlines start
    // again rather than blame the other side for this side's pause.
    const int64_t asked = NextWake();
    if (!Protocol && asked != Never && nowMs - asked > Limit.SilenceMs / 2) {
        const int64_t paused = nowMs - LastCall;
        StateSince += paused;
        LastHeard += paused;
        PartialSince += paused;
        LastPing = nowMs - Limit.PingMs; // a keep-alive goes out at once
    }
    LastCall = std::max(LastCall, nowMs);
}

void TNetConnection::RollRateWindow(int64_t nowMs) {
    if (nowMs - RateWindowStart < 1000) return;
    RateWindowStart = nowMs;
    MessagesInWindow = 0;
    BytesInWindow = 0;
}

void TNetConnection::Received(int64_t nowMs, QByteArrayView bytes) {
    if (CurrentState != TState::Handshake && CurrentState != TState::Connected) return;
    if (bytes.isEmpty()) return;
    Resume(nowMs);
    RollRateWindow(nowMs);
    BytesInWindow += bytes.size();
    if (Limit.MaxBytesPerSecond > 0 && BytesInWindow > Limit.MaxBytesPerSecond) {
        return Fault(
            TNetLineProtocol::TFault::TooManyBytes,
            QStringLiteral("The other side sent more than %1 bytes in a second; the connection is closed.")
                .arg(Limit.MaxBytesPerSecond),
            QStringLiteral("this program received more than %1 bytes in a second from theirs.")
                .arg(Limit.MaxBytesPerSecond));
    }
    const bool wasPartial = Framer.PartialBytes() > 0;
    bool ended = false;
    QByteArray line;
    for (;;) {
        const TLineFramer::TStep step = Framer.Next(bytes, line);
        if (step == TLineFramer::TStep::NeedMore) break;
        if (step == TLineFramer::TStep::Overflow)
            return Fault(
                TNetLineProtocol::TFault::LineTooLong,
                QStringLiteral(
                    "The other side sent a message longer than %1 bytes; the connection is closed.")
                    .arg(Limit.MaxLineBytes),
                QStringLiteral("their program received a message longer than %1 bytes from this one.")
                    .arg(Limit.MaxLineBytes));
        ended = true;
        // Silence counts whole lines: a byte now and then of a line that
        // never ends does not keep the connection.
        LastHeard = nowMs;
        if (Protocol)
            HandleLine(line);
        else
            Handle(line);
        if (Finished()) return;
    }
    // The clock of an unfinished message runs from its first byte.
    if (Framer.PartialBytes() > 0 && (ended || !wasPartial)) PartialSince = nowMs;
}

void TNetConnection::HandleLine(const QByteArray& line) {
    if (++MessagesInWindow > Limit.MaxMessagesPerSecond && Limit.MaxMessagesPerSecond > 0)
        return Fault(TNetLineProtocol::TFault::TooManyMessages, {}, {});
    const TNetLineProtocol::TAnswer answer = Protocol->Line(*this, line, HeardHello);
    using TVerdict = TNetLineProtocol::TAnswer::TVerdict;
    switch (answer.Verdict) {
    case TVerdict::Handled:
        return;
    case TVerdict::Greeted:
        if (HeardHello || CurrentState != TState::Handshake) return;
        HeardHello = true;
        CurrentState = TState::Connected;
        StateSince = LastPing = LastHeard;
        return;
    case TVerdict::Fault:
        return End(answer.Words.LocalLine, true, answer.Words.ForPeer);
    case TVerdict::Stop:
        return End({}, false);
    }
}

void TNetConnection::Fault(TNetLineProtocol::TFault fault, const QString& localLine,
                           const QString& reasonForPeer) {
    if (!Protocol) return End(localLine, true, reasonForPeer);
    const TNetLineProtocol::TWords words = Protocol->Words(fault);
    End(words.LocalLine, true, words.ForPeer);
}

void TNetConnection::Handle(const QByteArray& line) {
    if (++MessagesInWindow > Limit.MaxMessagesPerSecond)
        return Fault(
            QStringLiteral("The other side sent more than %1 messages in a second; the connection is closed.")
                .arg(Limit.MaxMessagesPerSecond),
            QStringLiteral("their program received more than %1 messages in a second from this one.")
                .arg(Limit.MaxMessagesPerSecond));
    const MessageCodec::TDecoded decoded = Decode(line);
    if (!decoded.Ok)
        return Fault(
            QStringLiteral("The other side sent something this program cannot read (%1); the connection is "
                           "closed.")
                .arg(decoded.Error),
            QStringLiteral("their program could not read what this one sent (%1).").arg(decoded.Error));
    const TNetMessage& message = decoded.Message;
    switch (message.Kind) {
    case TKind::Hello:
        return HandleHello(message);
    case TKind::Welcome:
        if (MyRole != TRole::Connecting || CurrentState != TState::Handshake)
            return Fault(
                QStringLiteral("The other side sent an unexpected welcome; the connection is closed."),
                QStringLiteral("their program did not expect a welcome from this one."));
        if (!HeardHello)
            return Fault(QStringLiteral("The other side sent a welcome before introducing itself; the "
                                        "connection is closed."),
                         QStringLiteral("this program sent a welcome before introducing itself."));
        CurrentState = TState::Connected;
        StateSince = LastPing = LastHeard;
        Emit(TNetEvent::TKind::Connected, QStringLiteral("Connected to the host at %1.").arg(PeerName));
        return;
    case TKind::Refused:
        return End(QStringLiteral("The other side refused the connection: %1")
                       .arg(PeerText::Readable(message.Reason, MessageCodec::MaxReasonCharacters)),
                   false);
    case TKind::Bye:
        return End(message.Reason.isEmpty()
                       ? QStringLiteral("The other player left.")
                       : QStringLiteral("The other player left: %1")
                             .arg(PeerText::Readable(message.Reason, MessageCodec::MaxReasonCharacters)),
                   false);
    case TKind::Ping:
        if (CurrentState == TState::Connected) Write(TNetMessage::Make(TKind::Pong));
        return;
    case TKind::Pong:
        return;
    default:
        break;
    }
    if (CurrentState != TState::Connected)
        return Fault(QStringLiteral("The other side sent a \"%1\" message before introducing itself; the "
                                    "connection is closed.")
                         .arg(QLatin1String(MessageCodec::KindName(message.Kind))),
                     QStringLiteral("this program sent a \"%1\" message before the handshake was done.")
                         .arg(QLatin1String(MessageCodec::KindName(message.Kind))));
    TNetEvent event;
    event.Kind = TNetEvent::TKind::Message;
    event.Message = message;
    Events.push_back(std::move(event));
}

void TNetConnection::HandleHello(const TNetMessage& hello) {
    if (HeardHello)
        return Fault(QStringLiteral("The other side introduced itself twice; the connection is closed."),
                     QStringLiteral("this program introduced itself twice."));
    HeardHello = true;
    if (hello.Program != QLatin1String(MessageCodec::ProgramName))
        return Fault(QStringLiteral("The other side is not a Vantaro program; the connection is closed."),
                     QStringLiteral("their program does not take this one for a Vantaro program."));
    if (hello.Version != MessageCodec::ProtocolVersion) {
        const QString why = QStringLiteral("Version mismatch: This program speaks protocol version %1, the "
                                           "other speaks version %2.")
                                .arg(MessageCodec::ProtocolVersion)
                                .arg(hello.Version);
        if (MyRole == TRole::Accepting)
            return Refuse(
                QStringLiteral("Version mismatch: the host speaks protocol version %1, you speak %2.")
                    .arg(MessageCodec::ProtocolVersion)
                    .arg(hello.Version),
                why);
        return Fault(why, QStringLiteral("their program speaks protocol version %1, this one speaks %2.")
                              .arg(MessageCodec::ProtocolVersion)
                              .arg(hello.Version));
    }
    // The joiner waits for the host's welcome, which completes the handshake.
    if (MyRole == TRole::Connecting) return;
    Write(TNetMessage::Make(TKind::Welcome));
    CurrentState = TState::Connected;
    StateSince = LastPing = LastHeard;
    Emit(TNetEvent::TKind::Connected, QStringLiteral("A player joined from %1.").arg(PeerName));
}

void TNetConnection::Wake(int64_t nowMs) {
    if (Finished()) return;
    Resume(nowMs);
    switch (CurrentState) {
    case TState::Opening:
        if (nowMs - StateSince > Limit.ConnectMs && Protocol)
            End(Protocol->Words(TNetLineProtocol::TFault::NoAnswer).LocalLine, false);
        else if (nowMs - StateSince > Limit.ConnectMs)
            End(QStringLiteral("Could not join %1: no answer within %2 seconds.")
                    .arg(PeerName, Seconds(Limit.ConnectMs)),
                false);
        return;
    case TState::Handshake:
        if (nowMs - StateSince > Limit.HandshakeMs)
            return Fault(TNetLineProtocol::TFault::NoHello,
                         QStringLiteral("The other side did not introduce itself within %1 seconds; the "
                                        "connection is closed.")
                             .arg(Seconds(Limit.HandshakeMs)),
                         QStringLiteral("this program did not complete the handshake within %1 seconds.")
                             .arg(Seconds(Limit.HandshakeMs)));
        // Another line protocol's peer may be silent no longer before its hello than after.
        if (Protocol && nowMs - LastHeard > Limit.SilenceMs)
            return Fault(TNetLineProtocol::TFault::Silent, {}, {});
        break;
    case TState::Connected:
        if (nowMs - LastHeard > Limit.SilenceMs)
            return Fault(TNetLineProtocol::TFault::Silent,
                         QStringLiteral("Nothing was heard from the other player for %1 seconds; the "
                                        "connection is dropped.")
                             .arg(Seconds(Limit.SilenceMs)),
                         QStringLiteral("their program heard nothing from this one for %1 seconds.")
                             .arg(Seconds(Limit.SilenceMs)));
        if (Limit.PingMs > 0 && nowMs - LastPing >= Limit.PingMs) {
            LastPing = nowMs;
            if (Protocol)
                Output.append(Protocol->KeepAlive());
            else
                Write(TNetMessage::Make(TKind::Ping));
        }
        break;
    case TState::Finished:
        return;
    }
    if (Limit.PartialMs > 0 && Framer.PartialBytes() > 0 && nowMs - PartialSince > Limit.PartialMs)
        Fault(TNetLineProtocol::TFault::Partial,
              QStringLiteral("The other side stopped in the middle of a message; the connection is closed."),
              QStringLiteral("this program stopped in the middle of a message."));
}

int64_t TNetConnection::NextWake() const {
    int64_t next = Never;
    switch (CurrentState) {
    case TState::Opening:
        return StateSince + Limit.ConnectMs + 1;
    case TState::Handshake:
        next = StateSince + Limit.HandshakeMs + 1;
        if (Protocol) next = std::min(next, LastHeard + Limit.SilenceMs + 1);
        break;
    case TState::Connected:
        next = LastHeard + Limit.SilenceMs + 1;
        if (Limit.PingMs > 0) next = std::min(next, LastPing + Limit.PingMs);
        break;
    case TState::Finished:
        return Never;
    }
    if (Limit.PartialMs > 0 && Framer.PartialBytes() > 0)
        next = std::min(next, PartialSince + Limit.PartialMs + 1);
    return next;
}

void TNetConnection::TransportClosed(int64_t nowMs, const QString& why) {
    if (Finished()) return;
    Resume(nowMs);
    if (CurrentState == TState::Opening) {
        const QString cause = why.isEmpty() ? QStringLiteral("the connection was closed") : why;
        return End(QStringLiteral("Could not join %1: %2.").arg(PeerName, cause), false);
    }
    if (!why.isEmpty()) return End(QStringLiteral("The connection failed: %1.").arg(why), false);
    End(CurrentState == TState::Connected
            ? QStringLiteral("The other player's program closed the connection.")
            : QStringLiteral("The other side closed the connection."),
        false);
}

void TNetConnection::SendLine(QByteArrayView bytes) {
    if (!Finished()) Output.append(bytes);
}

bool TNetConnection::Send(const TNetMessage& message) {
    if (CurrentState != TState::Connected) return false;
    Write(message);
    return true;
}

void TNetConnection::Close(const QString& localLine, const QString& reasonForPeer) {
    End(localLine, true, reasonForPeer);
}

void TNetConnection::Refuse(const QString& reasonForPeer, const QString& localLine) {
    if (Finished()) return;
    TNetMessage refused = TNetMessage::Make(TKind::Refused);
    refused.Reason = ReasonForWire(reasonForPeer);
    Write(refused);
    End(localLine, false);
}

void TNetConnection::Write(const TNetMessage& message) {
    Output.append(MessageCodec::Encode(message));
}

void TNetConnection::Emit(TNetEvent::TKind kind, QString text) {
    TNetEvent event;
    event.Kind = kind;
    event.Text = std::move(text);
    Events.push_back(std::move(event));
}

void TNetConnection::End(const QString& localLine, bool tellPeer, const QString& reasonForPeer) {
    if (Finished()) return;
    if (tellPeer && TransportIsUp && Protocol) {
        Output.append(Protocol->Bye(reasonForPeer));
    } else if (tellPeer && TransportIsUp) {
        TNetMessage bye = TNetMessage::Make(TKind::Bye);
        bye.Reason = ReasonForWire(reasonForPeer);
        Write(bye);
    }
    CurrentState = TState::Finished;
    Framer.Reset();
    Emit(TNetEvent::TKind::Closed, localLine);
}

QByteArray TNetConnection::TakeOutput() {
    return std::exchange(Output, QByteArray());
}

std::vector<TNetEvent> TNetConnection::TakeEvents() {
    return std::exchange(Events, {});
}
