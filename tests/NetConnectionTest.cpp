// The protocol of one connection, driven by hand: bytes and times go in,
// bytes and events come out. No socket and no real clock; the limits are the
// program's own.
#include "net/NetConnection.h"
#include "protocol/PeerText.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {

using TKind = TNetMessage::TKind;
using TRole = TNetConnection::TRole;

// One side: the connection, what it wrote (decoded) and what it reported.
struct TSide {
    explicit TSide(TRole role) : Core(role, TNetLimits()) {}

    // Takes what the connection has for its driver.
    QByteArray Collect() {
        const QByteArray bytes = Core.TakeOutput();
        Wrote += bytes;
        for (TNetEvent& event : Core.TakeEvents()) Events.push_back(std::move(event));
        return bytes;
    }
    QStringList Texts(TNetEvent::TKind kind) const {
        QStringList texts;
        for (const TNetEvent& event : Events)
            if (event.Kind == kind) texts << event.Text;
        return texts;
    }
    QString ClosedWith() const {
        const QStringList closed = Texts(TNetEvent::TKind::Closed);
        return closed.isEmpty() ? QString() : closed.front();
    }
    std::vector<TNetMessage> Said() const {
        std::vector<TNetMessage> said;
        for (const QByteArray& line : Wrote.split('\n')) {
            const MessageCodec::TDecoded decoded = MessageCodec::Decode(line);
            if (decoded.Ok) said.push_back(decoded.Message);
        }
        return said;
    }
    const TNetMessage* Last(TKind kind) const {
        static thread_local std::vector<TNetMessage> said;
        said = Said();
        for (auto it = said.rbegin(); it != said.rend(); ++it)
            if (it->Kind == kind) return &*it;
        return nullptr;
    }

    TNetConnection Core;
    QByteArray Wrote;
    std::vector<TNetEvent> Events;
};

QByteArray Line(const TNetMessage& message) {
    return MessageCodec::Encode(message);
}

QByteArray HelloLine(int32_t version = MessageCodec::ProtocolVersion, const char* program = "vantaro") {
    TNetMessage hello = TNetMessage::Make(TKind::Hello);
    hello.Program = program;
    hello.Version = version;
    return Line(hello);
}

// Two connections joined by a wire with no delay; the test holds the clock.
struct TPair {
    TPair() {
        Joiner.Core.Connecting(Now, "127.0.0.1:47017");
        Joiner.Core.TransportUp(Now);
        Host.Core.Accepted(Now, "127.0.0.1:50000");
        Carry();
    }
    // Moves bytes both ways until neither side has anything more to say.
    void Carry() {
        for (;;) {
            const QByteArray fromHost = Host.Collect();
            const QByteArray fromJoiner = Joiner.Collect();
            if (fromHost.isEmpty() && fromJoiner.isEmpty()) break;
            if (!JoinerFrozen)
                Joiner.Core.Received(Now, fromHost);
            else
                Held += fromHost;
            Host.Core.Received(Now, fromJoiner);
        }
    }
    // Lets the clock run to `until`, waking each side when it asked to be.
    void RunUntil(int64_t until) {
        for (;;) {
            const int64_t next =
                std::min(Host.Core.NextWake(), JoinerFrozen ? TNetConnection::Never : Joiner.Core.NextWake());
            if (next > until) break;
            Now = std::max(Now, next);
            Host.Core.Wake(Now);
            if (!JoinerFrozen) Joiner.Core.Wake(Now);
            Carry();
        }
        Now = until;
    }

    int64_t Now = 1000;
    bool JoinerFrozen = false;
    QByteArray Held; // what reached a frozen joiner's socket unread
    TSide Host{TRole::Accepting};
    TSide Joiner{TRole::Connecting};
};

TEST(NetConnection, TwoSidesShakeHandsKeepEachOtherAliveAndCarryMessages) {
    TPair pair;
    ASSERT_TRUE(pair.Host.Core.IsConnected());
    ASSERT_TRUE(pair.Joiner.Core.IsConnected());
    EXPECT_EQ(pair.Host.Texts(TNetEvent::TKind::Connected),
              QStringList{"A player joined from 127.0.0.1:50000."});
    EXPECT_EQ(pair.Joiner.Texts(TNetEvent::TKind::Connected),
              QStringList{"Connected to the host at 127.0.0.1:47017."});
    // The joiner introduced itself before the welcome, the host before it too.
    ASSERT_GE(pair.Host.Said().size(), 2u);
    EXPECT_EQ(pair.Host.Said()[0].Kind, TKind::Hello);
    EXPECT_EQ(pair.Host.Said()[1].Kind, TKind::Welcome);

    // A minute of nothing but keep-alives keeps both; a message crosses.
    pair.RunUntil(pair.Now + 60000);
    EXPECT_TRUE(pair.Host.Core.IsConnected() && pair.Joiner.Core.IsConnected());
    EXPECT_GE(pair.Host.Texts(TNetEvent::TKind::Log).size(), 1)
        << "the accepting side says who is connecting";
    TNetMessage chat = TNetMessage::Make(TKind::Chat);
    chat.Text = "hi";
    ASSERT_TRUE(pair.Joiner.Core.Send(chat));
    pair.Carry();
    ASSERT_FALSE(pair.Host.Events.empty());
    EXPECT_EQ(pair.Host.Events.back().Kind, TNetEvent::TKind::Message);
    EXPECT_TRUE(pair.Host.Events.back().Message == chat);
    EXPECT_LE(pair.Host.Core.NextWake() - pair.Now, TNetLimits().PingMs) << "woken at least every keep-alive";
}

// What a peer does to the host, and the first words of the host's log about it.
struct THostCase {
    const char* Name;
    QByteArray Bytes;   // sent at once after the connection is accepted
    int64_t WaitMs;     // then the clock runs this long
    const char* Reason; // the host's log line, in part
    bool Told;          // the peer hears a bye
};

TEST(NetConnection, HostClosesEachKindOfBadPeerWithItsReason) {
    const QByteArray hello = HelloLine();
    QByteArray flood = hello, heavy = hello;
    for (int i = 0; i < 61; ++i) flood += "{\"type\":\"ping\"}\n";
    for (int i = 0; i < 20; ++i) heavy += "{" + QByteArray(4000, ' ') + "\"type\":\"ping\"}\n";
    const THostCase cases[] = {
        {"malformed line", hello + "{\"type\": move, 3}\n", 0, "cannot read", true},
        {"unknown message", hello + "{\"type\":\"format_disk\",\"path\":\"/\"}\n", 0, "unknown message type",
         true},
        {"oversize line", QByteArray(4098, 'x'), 0, "longer than 4096 bytes", true},
        {"not vantaro", HelloLine(1, "other"), 0, "not a Vantaro program", true},
        {"wrong version", HelloLine(99), 0, "version 1, the other speaks version 99", false},
        {"never says anything", {}, 6000, "did not introduce itself within 5 seconds", true},
        {"half a message then silence", hello + "{\"type\":\"ch", 6000, "middle of a message", true},
        {"silent after the handshake", hello, 11000, "Nothing was heard from the other player for 10 seconds",
         true},
        {"flood", flood, 0, "more than 60 messages in a second", true},
        {"too many bytes", heavy, 0, "more than 65536 bytes", true},
        {"game message before the handshake", "{\"type\":\"move\",\"deal\":1,\"slot\":0,\"x\":0,\"y\":0}\n",
         0, "before introducing itself", true},
        {"hello twice", hello + hello, 0, "introduced itself twice", true},
        {"a welcome to the host", hello + "{\"type\":\"welcome\"}\n", 0, "unexpected welcome", true},
    };
    for (const THostCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSide host(TRole::Accepting);
        int64_t now = 5000;
        host.Core.Accepted(now, "192.0.2.1:1");
        // In pieces, as a network cuts it.
        for (qsizetype at = 0; at < c.Bytes.size() && !host.Core.Finished(); at += 1000)
            host.Core.Received(
                now, QByteArrayView(c.Bytes).sliced(at, std::min<qsizetype>(1000, c.Bytes.size() - at)));
        const int64_t until = now + c.WaitMs;
        while (!host.Core.Finished() && host.Core.NextWake() <= until) {
            now = host.Core.NextWake();
            host.Core.Wake(now);
        }
        host.Collect();
        ASSERT_TRUE(host.Core.Finished());
        EXPECT_TRUE(host.ClosedWith().contains(QLatin1String(c.Reason))) << host.ClosedWith().toStdString();
        EXPECT_EQ(host.Texts(TNetEvent::TKind::Closed).size(), 1);
        EXPECT_EQ(host.Last(TKind::Bye) != nullptr, c.Told);
        if (const TNetMessage* bye = host.Last(TKind::Bye)) {
            EXPECT_FALSE(bye->Reason.contains(QLatin1String("other player")))
                << "the peer reads it about itself: " << bye->Reason.toStdString();
        }
        EXPECT_EQ(host.Core.NextWake(), TNetConnection::Never);
        // Nothing more is taken or sent once it has ended.
        host.Core.Received(now, hello);
        host.Core.Wake(now + 100000);
        EXPECT_TRUE(host.Core.TakeOutput().isEmpty());
        EXPECT_TRUE(host.Core.TakeEvents().empty());
    }
    // The wrong version is told why, naming both versions.
    TSide host(TRole::Accepting);
    host.Core.Accepted(0, "192.0.2.1:1");
    host.Core.Received(0, HelloLine(2));
    host.Collect();
    ASSERT_NE(host.Last(TKind::Refused), nullptr);
    EXPECT_TRUE(host.Last(TKind::Refused)->Reason.contains("version 1, you speak 2"));
}

TEST(NetConnection, JoinerRequiresTheHostsHelloBeforeItsWelcomeAndOnlyOnce) {
    const QByteArray welcome = "{\"type\":\"welcome\"}\n";
    const struct {
        const char* Name;
        QByteArray Bytes;
        const char* Reason; // empty: connected
        bool ConnectedFirst = false;
    } cases[] = {
        {"hello then welcome", HelloLine() + welcome, ""},
        {"hello then welcome with \\r\\n", HelloLine().chopped(1) + "\r\n" + welcome, ""},
        {"welcome alone", welcome, "welcome before introducing itself"},
        {"three hellos", HelloLine() + HelloLine() + HelloLine() + welcome, "introduced itself twice"},
        {"hello after the welcome", HelloLine() + welcome + HelloLine(), "introduced itself twice", true},
        {"welcome twice", HelloLine() + welcome + welcome, "unexpected welcome", true},
        {"another program", HelloLine(1, "vantaro2") + welcome, "not a Vantaro program"},
        {"another version", HelloLine(3) + welcome, "version 1, the other speaks version 3"},
        {"a deal before the welcome", HelloLine() + "{\"type\":\"new\"}\n" + welcome,
         "before introducing itself"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSide joiner(TRole::Connecting);
        joiner.Core.Connecting(0, "198.51.100.2:47017");
        joiner.Core.TransportUp(10);
        joiner.Core.Received(20, c.Bytes);
        joiner.Collect();
        ASSERT_FALSE(joiner.Said().empty());
        EXPECT_EQ(joiner.Said().front().Kind, TKind::Hello) << "the joiner introduces itself first";
        if (*c.Reason == 0) {
            EXPECT_TRUE(joiner.Core.IsConnected());
            EXPECT_EQ(joiner.Texts(TNetEvent::TKind::Connected).size(), 1);
        } else {
            EXPECT_TRUE(joiner.Core.Finished());
            EXPECT_EQ(joiner.Texts(TNetEvent::TKind::Connected).size(), c.ConnectedFirst ? 1 : 0);
            EXPECT_TRUE(joiner.ClosedWith().contains(QLatin1String(c.Reason)))
                << joiner.ClosedWith().toStdString();
        }
    }
    // A host that never answers the connection attempt.
    TSide joiner(TRole::Connecting);
    joiner.Core.Connecting(0, "198.51.100.2:47017");
    joiner.Core.Wake(joiner.Core.NextWake());
    joiner.Collect();
    EXPECT_EQ(joiner.ClosedWith(), "Could not join 198.51.100.2:47017: no answer within 10 seconds.");
    EXPECT_TRUE(joiner.Wrote.isEmpty());
}

TEST(NetConnection, ALineOfTheFullLengthPassesWithEitherEnding) {
    for (const QByteArray& ending : {QByteArray("\n"), QByteArray("\r\n")}) {
        TPair pair;
        TNetMessage chat = TNetMessage::Make(TKind::Chat);
        chat.Text = "x";
        const qsizetype overhead = Line(chat).size() - 1 - 1;
        chat.Text = QString(MessageCodec::MaxLineBytes - overhead, 'x');
        chat.Text.truncate(MessageCodec::MaxChatCharacters); // the codec's own limit comes first for text
        // Pad with spaces the JSON allows, up to the byte limit exactly.
        QByteArray line = Line(chat).chopped(1);
        line.insert(1, QByteArray(MessageCodec::MaxLineBytes - line.size(), ' '));
        ASSERT_EQ(line.size(), MessageCodec::MaxLineBytes);
        pair.Host.Core.Received(pair.Now, line + ending);
        pair.Host.Collect();
        EXPECT_TRUE(pair.Host.Core.IsConnected()) << pair.Host.ClosedWith().toStdString();
        ASSERT_EQ(pair.Host.Events.back().Kind, TNetEvent::TKind::Message);
        EXPECT_TRUE(pair.Host.Events.back().Message == chat);
        pair.Host.Core.Received(pair.Now, " " + line + ending);
        pair.Host.Collect();
        EXPECT_TRUE(pair.Host.ClosedWith().contains("longer than 4096 bytes"));
    }
}

TEST(NetConnection, AFrozenSideIsBlamedByTheOtherAndDoesNotBlameIt) {
    TPair pair;
    pair.JoinerFrozen = true;
    pair.RunUntil(pair.Now + 15000);
    // The host heard nothing and says so about the other player.
    EXPECT_EQ(pair.Host.ClosedWith(),
              "Nothing was heard from the other player for 10 seconds; the connection is dropped.");
    // The joiner comes back long after it asked to be woken: its own pause is
    // not the host's silence. Then it reads what waited in its socket.
    pair.JoinerFrozen = false;
    pair.Joiner.Core.Wake(pair.Now);
    pair.Joiner.Collect();
    EXPECT_TRUE(pair.Joiner.Core.IsConnected()) << pair.Joiner.ClosedWith().toStdString();
    pair.Joiner.Core.Received(pair.Now, pair.Held);
    pair.Joiner.Core.TransportClosed(pair.Now);
    pair.Joiner.Collect();
    const QString line = pair.Joiner.ClosedWith();
    EXPECT_TRUE(line.startsWith("The other player left: ")) << line.toStdString();
    EXPECT_TRUE(line.contains("heard nothing from this one for 10 seconds")) << line.toStdString();
    EXPECT_FALSE(line.contains("from the other player")) << line.toStdString();

    // A joiner that is not paused but simply hears nothing does blame the host.
    TPair quiet;
    quiet.Host.Core.TakeOutput();
    int64_t now = quiet.Now;
    while (!quiet.Joiner.Core.Finished()) {
        now = quiet.Joiner.Core.NextWake();
        quiet.Joiner.Core.Wake(now);
        quiet.Joiner.Collect();
    }
    EXPECT_EQ(quiet.Joiner.ClosedWith(),
              "Nothing was heard from the other player for 10 seconds; the connection is dropped.");
}

TEST(NetConnection, WhatAPeerWritesReachesTheLogAsOnePlainLine) {
    const QString forged = QStringLiteral("bye\nA player joined from 203.0.113.7:4444.\u2028Next\u2029"
                                          "\u202egnp.exe\u2066x\u2069\r\n\x1b[31m\u200bz\u0000end");
    for (const TKind kind : {TKind::Bye, TKind::Refused}) {
        TPair pair;
        TNetMessage message = TNetMessage::Make(kind);
        message.Reason = forged;
        pair.Joiner.Core.Received(pair.Now, Line(message));
        pair.Joiner.Collect();
        const QString line = pair.Joiner.ClosedWith();
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(line, PeerText::Readable(line)) << "nothing left to clean";
        EXPECT_TRUE(line.contains(QStringLiteral("bye\u21b5A player joined")));
        EXPECT_TRUE(line.contains(QStringLiteral("Next\u21b5 gnp.exe x")));
    }
    // What this side writes for the other is cut to what its decoder takes,
    // by characters, never inside one.
    TPair pair;
    pair.Host.Core.Close("You left the table.", "x" + QString::fromUcs4(U"\U0001F600").repeated(300));
    pair.Carry();
    EXPECT_TRUE(pair.Joiner.ClosedWith().startsWith("The other player left: x\U0001F600"))
        << pair.Joiner.ClosedWith().toStdString();
    const QString reason = pair.Joiner.ClosedWith().mid(QStringLiteral("The other player left: ").size());
    EXPECT_FALSE(reason.contains(QChar(u' ')) || reason.contains(QChar(0xfffd)))
        << "no half character arrived";
}

TEST(PeerText, EveryBreakAndEveryInvisibleControlIsNeutralised) {
    const struct {
        QString In;
        QString Out;
    } cases[] = {
        {"plain text", "plain text"},
        {"a\nb\r\nc\rd\u2028e\u2029f\u0085g\u000bh", "a\u21b5b\u21b5c\u21b5d\u21b5e\u21b5f\u21b5g\u21b5h"},
        {"\u202aL\u202bR\u202cP\u202dO\u202eO\u2066I\u2067I\u2068I\u2069\u200e\u200f\u061c",
         " L R P O O I I I    "},
        {QString("tab\tbell\abs\bnul") + QChar(0) + "del\u007f", "tab bell bs nul del "},
        {"family \U0001F468\u200d\U0001F469 stays", "family \U0001F468\u200d\U0001F469 stays"},
        {QString("half ") + QChar(0xd800) + "pair", "half  pair"},
        {"tag \U000E0041 gone", "tag   gone"},
    };
    for (const auto& c : cases) EXPECT_EQ(PeerText::Readable(c.In), c.Out) << c.In.toStdString();
    // The limit counts characters; an emoji is one.
    EXPECT_EQ(PeerText::Readable(QString::fromUcs4(U"\U0001F600\U0001F600\U0001F600"), 2),
              QString::fromUcs4(U"\U0001F600\U0001F600\u2026"));
    EXPECT_EQ(PeerText::Characters(QString::fromUcs4(U"a\U0001F600b")), 3);
}

} // namespace
