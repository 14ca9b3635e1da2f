#include "NetFixture.h"

#include <QTcpServer>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using TKind = TNetMessage::TKind;

// Where two tables differ, or empty.
std::string Difference(const TGame& a, const TGame& b) {
    std::ostringstream why;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            // An emptied square keeps its last owner; only cards count.
            const TOwnedCard& x = a.Board[row][column];
            const TOwnedCard& y = b.Board[row][column];
            if (x.Card != y.Card || (x.Card != -1 && x.Owner != y.Owner))
                why << "square " << column << "," << row << "; ";
            if (a.Elements[row][column] != b.Elements[row][column])
                why << "element " << column << "," << row << "; ";
        }
    for (int slot = 0; slot < 5; ++slot)
        for (int player = 0; player < 2; ++player)
            if (a.Hands[slot][player] != b.Hands[slot][player])
                why << "hand " << player << " slot " << slot << "; ";
    if (a.Score[0] != b.Score[0] || a.Score[1] != b.Score[1]) why << "scores; ";
    if (a.Turn != b.Turn) why << "turn; ";
    if (a.InProgress != b.InProgress || a.GameOver != b.GameOver) why << "match flags; ";
    return why.str();
}

class NetMatch : public ::testing::Test {
protected:
    void Connect(TNetSide& host, TNetSide& joiner) {
        ASSERT_TRUE(host.Session->Host(0, QHostAddress::LocalHost));
        joiner.Session->Join("127.0.0.1", host.Session->ListeningPort());
        ASSERT_TRUE(PumpUntil([&] { return host.Match->Active() && joiner.Match->Active(); }));
    }

    // Frames both tables, each player making some legal move whenever his
    // table lets him, until done() holds; bounded.
    static bool Run(TNetSide& a, TNetSide& b, std::mt19937& dice, const std::function<bool()>& done,
                    bool play = true) {
        QDeadlineTimer guard(120000);
        while (!guard.hasExpired()) {
            if (done()) return true;
            QCoreApplication::processEvents();
            if (play) {
                a.PlayAnyMove(dice);
                b.PlayAnyMove(dice);
            }
            a.Frame();
            b.Frame();
        }
        return false;
    }

    static std::string State(const TNetSide& side) {
        std::ostringstream out;
        out << "phase " << int(side.Game->Phase) << " in progress " << side.Game->InProgress << " over "
            << side.Game->GameOver << " turn " << side.Game->Turn << " may move "
            << side.Match->LocalMayMove() << " reads " << side.SeedReads
            << " log: " << side.Log.join(" | ").toStdString() << "\n";
        return out.str();
    }

    static bool Over(const TNetSide& side) {
        return side.Game->GameOver && !side.Game->InProgress && side.Idle();
    }
};

TEST_F(NetMatch, TwoTablesPlayWholeMatchesUnderEveryRuleCombinationAndStayIdentical) {
    TNetSide host(1700000000), joiner(1600000000);
    TNetLimits limits = QuickLimits();
    // Both tables run flat out here; the rates are far above a person's.
    limits.MaxMessagesPerSecond = 1000000;
    limits.MaxBytesPerSecond = 1 << 30;
    limits.SilenceMs = 20000;
    host.Session->SetLimits(limits);
    joiner.Session->SetLimits(limits);
    Connect(host, joiner);
    EXPECT_EQ(host.Match->LocalPlayer(), 1);
    EXPECT_EQ(joiner.Match->LocalPlayer(), 0);

    std::mt19937 dice(4242);
    int32_t placements = 0;
    int32_t replays = 0;
    for (int combination = 0; combination < 32; ++combination) {
        SCOPED_TRACE(testing::Message() << "rules " << combination);
        host.Rules.Same = combination & 1;
        host.Rules.SameWall = combination & 2;
        host.Rules.Plus = combination & 4;
        host.Rules.Elemental = combination & 8;
        host.Rules.SuddenDeath = combination & 16;
        host.Seconds += 37;
        const int32_t readsBefore = host.SeedReads;
        host.Log.clear();
        joiner.Log.clear();
        // Either side's New Game deals on both tables.
        if (combination % 2)
            joiner.NewGame();
        else
            host.NewGame();
        ASSERT_TRUE(Run(
            host, joiner, dice, [&] { return host.Game->InProgress && joiner.Game->InProgress; }, false));
        EXPECT_TRUE(Mentions(host.Log, "You dealt a new match."));
        EXPECT_TRUE(Mentions(joiner.Log, "The host dealt a new match."));
        EXPECT_EQ(Difference(*host.Game, *joiner.Game), "") << "as dealt";
        EXPECT_EQ(host.Game->Turn, 1) << "the host moves first";
        EXPECT_EQ(host.Game->Rules.SuddenDeath, joiner.Game->Rules.SuddenDeath);

        ASSERT_TRUE(Run(host, joiner, dice, [&] { return Over(host) && Over(joiner); }))
            << State(host) << State(joiner);
        const int32_t deals = host.SeedReads - readsBefore;
        replays += deals - 1;
        placements += 9 * deals;
        ASSERT_TRUE(Run(host, joiner, dice, [&] {
            return host.Match->DigestsCompared() == placements &&
                   joiner.Match->DigestsCompared() == placements;
        })) << "every placement is compared on both sides";
        EXPECT_EQ(Difference(*host.Game, *joiner.Game), "");
        if (!host.Rules.SuddenDeath) {
            EXPECT_EQ(deals, 1);
        }
        EXPECT_TRUE(host.Match->Active());
        EXPECT_TRUE(host.Ended.isEmpty() && joiner.Ended.isEmpty()) << host.Ended.join("|").toStdString();
    }
    EXPECT_GT(replays, 0) << "some drawn matches were replayed under Sudden Death";
    EXPECT_EQ(host.SeedReads, joiner.SeedReads);
}

// A host table, a scripted joiner that has completed the handshake, and the
// first deal on the table.
class NetMatchFacingScriptedJoiner : public NetMatch {
protected:
    void SetUp() override {
        ASSERT_TRUE(Host.Session->Host(0, QHostAddress::LocalHost));
        Join();
    }

    void Join() {
        Peer = std::make_unique<TScriptedPeer>();
        Peer->Connect(Host.Session->ListeningPort());
        Peer->SayHello();
        ASSERT_TRUE(PumpUntil([&] { return Host.Match->Active(); }));
        Host.NewGame();
        ASSERT_TRUE(PumpUntil([&] { return Peer->HeardKind(TKind::Deal); }));
        Settle();
    }

    void Settle() {
        for (int i = 0; i < 1000 && !(Host.Idle() && Host.Match->LocalMayMove()); ++i) {
            QCoreApplication::processEvents();
            Host.Frame();
        }
    }

    void PeerMove(int32_t slot, int32_t x, int32_t y) {
        TNetMessage move = TNetMessage::Make(TKind::Move);
        move.DealId = Peer->Last(TKind::Deal)->DealId;
        move.Slot = slot;
        move.X = x;
        move.Y = y;
        Peer->Say(move);
    }

    // The match was ended with a reason naming the fault, on the log, to the
    // peer, and the table stopped; the host is open for another player.
    void ExpectEndedFor(const char* reason) {
        ASSERT_TRUE(PumpUntil([&] {
            Host.Frame();
            return !Host.Ended.isEmpty();
        }));
        EXPECT_TRUE(Host.Ended.front().contains(QLatin1String(reason))) << Host.Ended.front().toStdString();
        EXPECT_TRUE(Mentions(Host.Log, reason));
        for (int i = 0; i < 1000 && Host.Game->InProgress; ++i) Host.Frame();
        EXPECT_FALSE(Host.Game->InProgress) << "the table is stopped";
        EXPECT_TRUE(Mentions(Host.Log, "The network match has ended."));
        ASSERT_TRUE(Peer->WaitGone());
        const TNetMessage* bye = Peer->Last(TKind::Bye);
        ASSERT_NE(bye, nullptr);
        EXPECT_TRUE(bye->Reason.contains(QLatin1String(reason))) << "the other side is told why";
        EXPECT_EQ(Host.Session->State(), TNetSession::TState::Listening);
        EXPECT_TRUE(Host.Match->LocalMayMove()) << "keys are the local table's again";
    }

    TNetSide Host;
    std::unique_ptr<TScriptedPeer> Peer;
};

TEST_F(NetMatchFacingScriptedJoiner, OutOfTurnMoveEndsTheMatch) {
    ASSERT_EQ(Host.Game->Turn, 1);
    const TOwnedCard before = Host.Game->Board[0][0];
    PeerMove(4, 0, 0);
    ExpectEndedFor("not that player's turn");
    EXPECT_TRUE(Host.Game->Board[0][0] == before) << "the illegal move was not played";
}

TEST_F(NetMatchFacingScriptedJoiner, MoveDuringAnAnimationWaitsThenPlaysAndAWrongDigestEndsTheMatch) {
    Host.Play(4, 1, 1);
    ASSERT_NE(Host.Game->Phase, TGame::PhaseIdle);
    EXPECT_FALSE(Host.Match->LocalMayMove()) << "the other player is to move";
    ASSERT_TRUE(PumpUntil([&] { return Peer->HeardKind(TKind::Move); }));
    const TNetMessage* sent = Peer->Last(TKind::Move);
    EXPECT_EQ(sent->Slot, 4);
    EXPECT_EQ(sent->X, 1);
    EXPECT_EQ(sent->Y, 1);

    // Red answers while Blue's card is still in the air.
    const int32_t card = Host.Game->Hands[2][0];
    PeerMove(2, 2, 0);
    QTest::qWait(20);
    QCoreApplication::processEvents();
    Settle();
    EXPECT_EQ(Host.Game->Board[0][2].Card, card) << "the waiting move was played once the table was still";
    EXPECT_EQ(Host.Game->Turn, 1);
    EXPECT_TRUE(Host.Ended.isEmpty());
    ASSERT_TRUE(PumpUntil([&] {
        Host.Frame();
        return Peer->Heard.size() >= 2 && Peer->Last(TKind::Digest) &&
               Peer->Last(TKind::Digest)->Placement == 2;
    }));

    TNetMessage digest = *Peer->Last(TKind::Digest);
    digest.Value ^= 1;
    Peer->Say(digest);
    ExpectEndedFor("disagree after placement 2");
}

TEST_F(NetMatchFacingScriptedJoiner, MoveThatCanNeverBeLegalIsRefusedWhenItsTurnComes) {
    Host.Play(4, 0, 0);
    ASSERT_NE(Host.Game->Phase, TGame::PhaseIdle);
    PeerMove(3, 0, 0); // the square Blue's card is flying to
    ExpectEndedFor("square (0, 0) is taken");

    // The next player finds a working table.
    Host.Ended.clear();
    Join();
    EXPECT_TRUE(Host.Game->InProgress);
    EXPECT_TRUE(Host.Match->LocalMayMove());
}

TEST_F(NetMatch, PlayerQuittingMidMatchEndsItAndBothCanPlayAgainWithChat) {
    TNetSide host(1700000000);
    auto joiner = std::make_unique<TNetSide>(1);
    Connect(host, *joiner);
    std::mt19937 dice(5);
    host.NewGame();

    // Chat both ways; a message too long stays home with a note.
    EXPECT_TRUE(joiner->Match->SendChat("hello\tblue"));
    EXPECT_TRUE(host.Match->SendChat("hi red"));
    EXPECT_FALSE(host.Match->SendChat(QString(501, 'a')));
    EXPECT_TRUE(Mentions(host.Log, "at most 500 characters"));
    ASSERT_TRUE(PumpUntil(
        [&] { return Mentions(host.Log, "Red: hello blue") && Mentions(joiner->Log, "Blue: hi red"); }));
    EXPECT_TRUE(Mentions(joiner->Log, "You: hello blue")) << "control characters are shown as spaces";

    // A chat line is one entry of the log, whatever breaks or reorderings it
    // carries; the limit counts characters, so 500 emoji go.
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const qsizetype before = host.Log.size();
    EXPECT_TRUE(joiner->Match->SendChat(QStringLiteral(
        "ok\nThe other player left: they quit the game.\u2028\u202eevil\r\nA player joined.")));
    EXPECT_TRUE(joiner->Match->SendChat(emoji.repeated(500)));
    EXPECT_FALSE(joiner->Match->SendChat(emoji.repeated(501)));
    ASSERT_TRUE(PumpUntil([&] { return host.Log.size() >= before + 2; }));
    EXPECT_TRUE(host.Log.back().endsWith(emoji.repeated(500)));
    ASSERT_EQ(host.Log.size(), before + 2) << host.Log.join(" | ").toStdString();
    for (const QString& line : host.Log.mid(before)) {
        EXPECT_TRUE(line.contains(QLatin1String(" Red: "))) << line.toStdString();
        EXPECT_FALSE(line.contains(QChar(u'\n')) || line.contains(QChar(0x2028)) ||
                     line.contains(QChar(0x202e)))
            << line.toStdString();
    }

    int32_t played = 0;
    ASSERT_TRUE(Run(host, *joiner, dice, [&] {
        played = 0;
        for (const auto& row : host.Game->Board)
            for (const TOwnedCard& square : row) played += square.Card != -1;
        return played >= 3 && host.Idle();
    }));
    joiner.reset(); // the other program quits
    ASSERT_TRUE(PumpUntil([&] { return !host.Ended.isEmpty(); }));
    EXPECT_TRUE(host.Ended.front().contains("closed Vantaro")) << host.Ended.front().toStdString();
    host.Frame();
    EXPECT_FALSE(host.Game->InProgress);

    // A new player joins the same table and a whole match is played.
    TNetSide second(1);
    second.Session->Join("127.0.0.1", host.Session->ListeningPort());
    ASSERT_TRUE(PumpUntil([&] { return host.Match->Active() && second.Match->Active(); }));
    second.NewGame();
    ASSERT_TRUE(Run(
        host, second, dice, [&] { return host.Game->InProgress && second.Game->InProgress; }, false));
    EXPECT_EQ(Difference(*host.Game, *second.Game), "") << "as dealt";
    ASSERT_TRUE(Run(host, second, dice, [&] { return Over(host) && Over(second); }));
    EXPECT_EQ(Difference(*host.Game, *second.Game), "") << State(host) << State(second);

    // Now the host drops abruptly mid-match: the joiner hears of it and its table stops.
    host.NewGame();
    ASSERT_TRUE(Run(host, second, dice, [&] { return host.Game->InProgress && second.Game->InProgress; }));
    host.Session.reset();
    ASSERT_TRUE(PumpUntil([&] { return !second.Ended.isEmpty(); }));
    for (int i = 0; i < 1000 && second.Game->InProgress; ++i) second.Frame();
    EXPECT_FALSE(second.Game->InProgress);
    EXPECT_FALSE(second.Match->Active());
}

} // namespace

namespace {

// A host that says what the test scripts, facing this program's joiner.
TEST_F(NetMatch, AHostDealingTenMatchesAtOnceIsToldSoInWordsThatFit) {
    QTcpServer fake;
    ASSERT_TRUE(fake.listen(QHostAddress::LocalHost, 0));
    std::unique_ptr<QTcpSocket> host;
    QObject::connect(&fake, &QTcpServer::newConnection, [&] {
        host.reset(fake.nextPendingConnection());
        host->setParent(nullptr);
        TNetMessage hello = TNetMessage::Make(TKind::Hello);
        hello.Program = MessageCodec::ProgramName;
        hello.Version = MessageCodec::ProtocolVersion;
        QByteArray bytes =
            MessageCodec::Encode(hello) + MessageCodec::Encode(TNetMessage::Make(TKind::Welcome));
        for (int32_t deal = 1; deal <= 10; ++deal) {
            TNetMessage message = TNetMessage::Make(TKind::Deal);
            message.DealId = deal;
            message.Seed = 1000 + deal;
            bytes += MessageCodec::Encode(message);
        }
        host->write(bytes);
    });
    TNetSide joiner;
    joiner.Session->Join("127.0.0.1", fake.serverPort());
    ASSERT_TRUE(PumpUntil([&] { return !joiner.Ended.isEmpty() || Mentions(joiner.Log, "ended"); }));
    EXPECT_TRUE(Mentions(joiner.Log, "dealt more matches at once")) << joiner.Log.join(" | ").toStdString();
    EXPECT_FALSE(Mentions(joiner.Log, "moves faster")) << joiner.Log.join(" | ").toStdString();
    host.reset();
    RunDeferredDeletes();
}

} // namespace
