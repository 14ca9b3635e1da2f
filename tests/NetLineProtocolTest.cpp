// The protocol core carrying another line protocol (the game server's):
// its framing, limits and deadlines with the other protocol's hello, words
// and goodbye. Driven by hand, without a socket or a clock.
#include "net/NetConnection.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {

using TFault = TNetLineProtocol::TFault;
using TVerdict = TNetLineProtocol::TAnswer::TVerdict;

// A protocol whose lines say what to answer: "hi" is the hello, "ping" is
// answered "pong", "stop" ends the connection from outside, "bad" is a fault;
// anything else is kept.
class TScriptProtocol : public TNetLineProtocol {
public:
    QByteArray Greeting() const override { return "greet\n"; }
    QByteArray Bye(const QString& reason) const override { return "bye " + reason.toUtf8() + "\n"; }
    QByteArray KeepAlive() const override { return "ping\n"; }
    TWords Words(TFault fault) const override {
        const QString name = QString::number(int(fault));
        return {QStringLiteral("fault ") + name, QStringLiteral("you ") + name};
    }
    TAnswer Line(TNetConnection& connection, QByteArrayView line, bool greeted) override {
        if (line == "ping") {
            connection.SendLine("pong\n");
            return {};
        }
        if (line == "hi") return {TVerdict::Greeted, {}};
        if (line == "stop") return {TVerdict::Stop, {}};
        if (line == "bad") return {TVerdict::Fault, {QStringLiteral("log bad"), QStringLiteral("peer bad")}};
        Lines << QString::fromUtf8(line) + (greeted ? "" : "?");
        return {};
    }
    QStringList Lines; // what was handed on; "?" marks a line before the hello
};

TNetLimits Limits() {
    TNetLimits limits;
    limits.HandshakeMs = 5000;
    limits.SilenceMs = 30000;
    limits.PingMs = 0;
    limits.PartialMs = 0;
    limits.MaxMessagesPerSecond = 4;
    limits.MaxBytesPerSecond = 100;
    return limits;
}

struct TStep {
    int64_t Ms;
    QByteArray Bytes; // empty: a wake-up
};

struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
    QByteArray Wrote;  // everything the connection wrote
    QString Closed;    // its log's closing line; empty while open
    QStringList Lines; // what the protocol was handed
    int SilenceMs = 30000;
};

TEST(NetLineProtocolTest, CarriesAnotherProtocolWithinTheCoresLimitsAndDeadlines) {
    const auto fault = [](TFault f) { return QStringLiteral("fault %1").arg(int(f)); };
    const auto bye = [](TFault f) { return QByteArray("bye you ") + QByteArray::number(int(f)) + "\n"; };
    const TCase cases[] = {
        {"lines in any chunks, a \\r dropped, answers in order",
         {{0, "hi\r\nfi"}, {10, "rst\nping\nsecond\n"}},
         "greet\npong\n",
         {},
         {"first", "second"}},
        {"a line before the hello is the protocol's to judge",
         {{0, "early\nhi\nlate\n"}},
         "greet\n",
         {},
         {"early?", "late"}},
        {"no hello within the handshake time",
         {{0, "ping\n"}, {5000, ""}, {5001, ""}},
         "greet\npong\n" + bye(TFault::NoHello),
         fault(TFault::NoHello),
         {}},
        {"silence before the hello, when it is the shorter deadline",
         {{0, ""}, {201, ""}},
         "greet\n" + bye(TFault::Silent),
         fault(TFault::Silent),
         {},
         200},
        {"silence after the hello; never a keep-alive of its own",
         {{0, "hi\n"}, {29000, "x\n"}, {59000, ""}, {59001, ""}},
         "greet\n" + bye(TFault::Silent),
         fault(TFault::Silent),
         {"x"}},
        {"a half line is held to the silence, not to a clock of its own",
         {{0, "hi\nhal"}, {20000, ""}, {25000, "f\n"}},
         "greet\n",
         {},
         {"half"}},
        {"a byte now and then of a line that never ends is silence",
         {{0, "hi\nh"}, {20000, "a"}, {29000, "l"}, {30001, ""}},
         "greet\n" + bye(TFault::Silent),
         fault(TFault::Silent),
         {}},
        {"too many messages in a second",
         {{0, "hi\na\nb\nc\nd\n"}},
         "greet\n" + bye(TFault::TooManyMessages),
         fault(TFault::TooManyMessages),
         {"a", "b", "c"}},
        {"the limit counts a whole second however the messages are spread",
         {{0, "hi\n"}, {1000, "a\n"}, {1333, "b\n"}, {1666, "c\n"}, {1999, "d\ne\n"}},
         "greet\n" + bye(TFault::TooManyMessages),
         fault(TFault::TooManyMessages),
         {"a", "b", "c", "d"}},
        {"the message count starts again each second",
         {{0, "hi\na\nb\nc\n"}, {1000, "d\ne\n"}},
         "greet\n",
         {},
         {"a", "b", "c", "d", "e"}},
        {"too many bytes in a second",
         {{0, QByteArray(101, 'y')}},
         "greet\n" + bye(TFault::TooManyBytes),
         fault(TFault::TooManyBytes),
         {}},
        {"a fault the protocol finds", {{0, "hi\nbad\nlost\n"}}, "greet\nbye peer bad\n", "log bad", {}},
        {"stopped from outside: no goodbye, nothing more read",
         {{0, "hi\nstop\nlost\n"}},
         "greet\n",
         QString(),
         {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptProtocol protocol;
        TNetLimits limits = Limits();
        limits.SilenceMs = c.SilenceMs;
        TNetConnection core(protocol, limits);
        core.Accepted(0, {});
        QByteArray wrote;
        QStringList closed;
        for (const TStep& step : c.Steps) {
            ASSERT_TRUE(step.Ms <= core.NextWake() || core.Finished()) << "woken late at " << step.Ms;
            if (step.Bytes.isEmpty())
                core.Wake(step.Ms);
            else
                core.Received(step.Ms, step.Bytes);
            wrote += core.TakeOutput();
            for (const TNetEvent& event : core.TakeEvents())
                if (event.Kind == TNetEvent::TKind::Closed) closed << event.Text;
        }
        EXPECT_EQ(wrote, c.Wrote);
        EXPECT_EQ(protocol.Lines, c.Lines);
        const bool stopped = QByteArrayView(c.Steps.back().Bytes).contains("stop");
        EXPECT_EQ(core.Finished(), !c.Closed.isEmpty() || stopped);
        EXPECT_EQ(closed, c.Closed.isEmpty() ? (stopped ? QStringList{QString()} : QStringList())
                                             : QStringList{c.Closed});
        if (!core.Finished()) {
            EXPECT_TRUE(core.NextWake() > c.Steps.back().Ms)
                << "no keep-alive and no wake-up before a deadline";
        }
    }
}

TEST(NetLineProtocolTest, TheConnectingSideGreetsKeepsAliveAndCanTakeBurstsUnlimited) {
    TNetLimits limits = Limits();
    limits.ConnectMs = 1000;
    limits.PingMs = 100;
    limits.MaxMessagesPerSecond = 0;
    limits.MaxBytesPerSecond = 0;
    limits.MaxLineBytes = 8;

    TScriptProtocol unreachable;
    TNetConnection never(unreachable, limits, TNetConnection::TRole::Connecting);
    never.Connecting(0, QStringLiteral("server"));
    never.Wake(1000);
    EXPECT_FALSE(never.Finished());
    never.Wake(1001);
    EXPECT_TRUE(never.Finished());
    EXPECT_EQ(never.TakeOutput(), QByteArray()) << "nothing to say without a transport";
    EXPECT_EQ(never.TakeEvents().back().Text, QStringLiteral("fault %1").arg(int(TFault::NoAnswer)));

    TScriptProtocol protocol;
    TNetConnection core(protocol, limits, TNetConnection::TRole::Connecting);
    core.Connecting(0, QStringLiteral("server"));
    core.TransportUp(10);
    QByteArray burst = "hi\n";
    for (int i = 0; i < 500; ++i) burst += "m\n";
    core.Received(20, burst);
    EXPECT_EQ(protocol.Lines.size(), 500) << "no rate limit when it is 0";
    EXPECT_EQ(core.NextWake(), 120);
    core.Wake(120);
    core.Received(130, "12345678\n123456789\n");
    EXPECT_EQ(core.TakeOutput(),
              "greet\nping\nbye you " + QByteArray::number(int(TFault::LineTooLong)) + "\n");
    EXPECT_EQ(protocol.Lines.back(), QStringLiteral("12345678")) << "the line limit is the protocol's own";
}

} // namespace
