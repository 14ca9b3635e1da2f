#include "NetFixture.h"

#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

using TKind = TNetMessage::TKind;

// A session with its log and the reasons of its closed connections.
struct TWatched {
    TWatched() {
        Session.SetLimits(QuickLimits());
        QObject::connect(&Session, &TNetSession::log, [this](const QString& line) { Log << line; });
        QObject::connect(&Session, &TNetSession::closed, [this](const QString& reason) { Closed << reason; });
        QObject::connect(&Session, &TNetSession::connected, [this](const QString& who) { Connected << who; });
    }
    ~TWatched() { RunDeferredDeletes(); }
    TNetSession Session;
    QStringList Log;
    QStringList Closed;
    QStringList Connected;
};

bool Welcomed(const TScriptedPeer& peer) {
    return peer.HeardKind(TKind::Welcome);
}

TEST(NetSession, HostClosesBadJoinersThroughItsSocketAndStaysOpenForTheNext) {
    TWatched host;
    ASSERT_TRUE(host.Session.Host(0, QHostAddress::LocalHost));
    const quint16 port = host.Session.ListeningPort();
    // Every fault has its case in the connection's own tests; these check
    // that the socket side reads, wakes the connection at its deadlines and
    // closes the socket.
    const struct {
        const char* Name;
        std::function<void(TScriptedPeer&)> Script;
        const char* Reason;
    } cases[] = {
        {"malformed line",
         [](TScriptedPeer& p) {
             p.SayHello();
             PumpUntil([&] { return Welcomed(p); });
             p.Raw("{\"type\": move, 3}\n");
         },
         "cannot read"},
        {"oversize line", [](TScriptedPeer& p) { p.Raw(QByteArray(6000, 'x')); }, "longer than 4096 bytes"},
        {"never says anything", [](TScriptedPeer&) {}, "did not introduce itself"},
        {"half a message then silence",
         [](TScriptedPeer& p) {
             p.SayHello();
             PumpUntil([&] { return Welcomed(p); });
             p.Raw("{\"type\":\"ch");
         },
         "middle of a message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        host.Closed.clear();
        TScriptedPeer peer;
        peer.Connect(port);
        c.Script(peer);
        ASSERT_TRUE(PumpUntil([&] { return !host.Closed.isEmpty(); }));
        EXPECT_TRUE(host.Closed.front().contains(QLatin1String(c.Reason)))
            << host.Closed.front().toStdString();
        EXPECT_TRUE(host.Log.contains(host.Closed.front())) << "every fault is a line in the log";
        EXPECT_TRUE(peer.WaitGone()) << "the connection is closed";
        EXPECT_EQ(host.Session.State(), TNetSession::TState::Listening);
    }
    // The wrong version was told why, naming both versions.
    {
        TScriptedPeer peer;
        peer.Connect(port);
        peer.SayHello(2);
        ASSERT_TRUE(peer.WaitGone());
        const TNetMessage* refused = peer.Last(TKind::Refused);
        ASSERT_NE(refused, nullptr);
        EXPECT_TRUE(refused->Reason.contains("version 1, you speak 2")) << refused->Reason.toStdString();
    }
    // After all that an honest player still gets in.
    TWatched joiner;
    joiner.Session.Join("127.0.0.1", port);
    ASSERT_TRUE(PumpUntil([&] { return joiner.Session.IsConnected() && host.Session.IsConnected(); }));
    EXPECT_TRUE(Mentions(host.Connected, "A player joined from 127.0.0.1:"));
}

TEST(NetSession, SecondJoinerIsToldTheTableIsTakenWhileTheFirstStaysAndKeepAlivesFlow) {
    TWatched host, first;
    ASSERT_TRUE(host.Session.Host(0, QHostAddress::LocalHost));
    first.Session.Join("127.0.0.1", host.Session.ListeningPort());
    ASSERT_TRUE(PumpUntil([&] { return first.Session.IsConnected() && host.Session.IsConnected(); }));

    TScriptedPeer second;
    second.Connect(host.Session.ListeningPort());
    second.SayHello();
    ASSERT_TRUE(second.WaitGone());
    const TNetMessage* refused = second.Last(TKind::Refused);
    ASSERT_NE(refused, nullptr);
    EXPECT_TRUE(refused->Reason.contains("table is taken"));
    EXPECT_TRUE(Mentions(host.Log, "table is taken"));

    // Several silence limits pass: pings and pongs keep the first pair together.
    const int silence = QuickLimits().SilenceMs;
    QTest::qWait(2 * silence);
    EXPECT_TRUE(host.Session.IsConnected());
    EXPECT_TRUE(first.Session.IsConnected());
    EXPECT_TRUE(host.Closed.isEmpty());
    EXPECT_TRUE(first.Closed.isEmpty());

    // Closing tells the other side, which can then host a table itself.
    host.Session.Close();
    ASSERT_TRUE(PumpUntil([&] { return !first.Closed.isEmpty(); }));
    EXPECT_TRUE(first.Closed.front().contains("left")) << first.Closed.front().toStdString();
    EXPECT_EQ(host.Session.State(), TNetSession::TState::Idle);
    EXPECT_TRUE(first.Session.Host(0, QHostAddress::LocalHost));
}

TEST(NetSession, JoinFaultsEachSayWhatWentWrongAndTheSessionCanTryAgain) {
    TWatched joiner;
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    joiner.Session.Join("127.0.0.1", closedPort);
    ASSERT_TRUE(PumpUntil([&] { return !joiner.Closed.isEmpty(); }));
    EXPECT_TRUE(joiner.Closed.front().contains("Could not join 127.0.0.1:"))
        << joiner.Closed.front().toStdString();
    EXPECT_TRUE(joiner.Closed.front().contains("refused"));
    EXPECT_EQ(joiner.Session.State(), TNetSession::TState::Idle);

    // A host that speaks another version, and one that says nothing at all.
    QTcpServer fake;
    ASSERT_TRUE(fake.listen(QHostAddress::LocalHost, 0));
    bool speak = true;
    std::vector<std::unique_ptr<QTcpSocket>> accepted;
    QObject::connect(&fake, &QTcpServer::newConnection, [&] {
        accepted.emplace_back(fake.nextPendingConnection());
        accepted.back()->setParent(nullptr);
        if (speak) accepted.back()->write("{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":3}\n");
    });
    joiner.Closed.clear();
    joiner.Session.Join("127.0.0.1", fake.serverPort());
    ASSERT_TRUE(PumpUntil([&] { return !joiner.Closed.isEmpty(); }));
    EXPECT_TRUE(joiner.Closed.front().contains("version 1, the other speaks version 3"))
        << joiner.Closed.front().toStdString();

    speak = false;
    joiner.Closed.clear();
    joiner.Session.Join("127.0.0.1", fake.serverPort());
    ASSERT_TRUE(PumpUntil([&] { return !joiner.Closed.isEmpty(); }));
    EXPECT_TRUE(joiner.Closed.front().contains("did not introduce itself"))
        << joiner.Closed.front().toStdString();

    // And then a real host.
    TWatched host;
    ASSERT_TRUE(host.Session.Host(0, QHostAddress::LocalHost));
    joiner.Session.Join("127.0.0.1", host.Session.ListeningPort());
    ASSERT_TRUE(PumpUntil([&] { return joiner.Session.IsConnected(); }));
    EXPECT_TRUE(Mentions(joiner.Connected, "Connected to the host at 127.0.0.1:"));
}

} // namespace
