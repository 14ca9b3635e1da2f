// Clients against the server's own lobby and TLS transport on the loopback,
// in this thread: signing in, trusting the server, a whole match with a
// watcher who arrives late, a refused move, a dropped line and its return.
#include "OnlineFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

std::string DigestDifference(const TGame& a, const TGame& b) {
    if (TableCheck::Digest(StateOf(a)) == TableCheck::Digest(StateOf(b))) return "";
    return "the tables differ";
}

class OnlineServer : public ::testing::Test {
protected:
    void SetUp() override { Server = std::make_unique<TLoopbackServer>(Folder.path()); }
    void TearDown() override {
        Sides.clear();
        Server.reset();
    }
    TOnlineSide& Side(const QString& name) {
        const QString folder = Folder.filePath(name);
        QDir().mkpath(folder);
        Sides.push_back(std::make_unique<TOnlineSide>(folder, name));
        return *Sides.back();
    }
    // The server, the event loop and a frame of every table, until done(); bounded.
    bool Run(const std::function<bool()>& done, std::mt19937* dice = nullptr,
             const std::vector<TOnlineSide*>& players = {}) {
        QDeadlineTimer guard(60000);
        while (!guard.hasExpired()) {
            if (done()) return true;
            Server->Poll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            for (TOnlineSide* player : players)
                if (dice) player->PlayAnyMove(*dice);
            for (auto& side : Sides) side->Frame();
        }
        return false;
    }
    bool SignIn(TOnlineSide& side) {
        side.Open(Server->Server->Port());
        return Run([&] { return side.Link->IsSignedIn() && side.HeardKind(TServerMessage::TKind::Lobby); });
    }

    QTemporaryDir Folder;
    std::unique_ptr<TLoopbackServer> Server;
    std::vector<std::unique_ptr<TOnlineSide>> Sides;
};

using TServerKind = TServerMessage::TKind;

} // namespace

TEST_F(OnlineServer, NewServerIsAskedAboutOnceAndAChangedCertificateIsRefusedNamingBoth) {
    TOnlineSide& ann = Side("Ann");
    ann.TrustAnswer = false;
    ann.Open(Server->Server->Port());
    ASSERT_TRUE(Run([&] { return !ann.Closed.isEmpty(); }));
    EXPECT_EQ(ann.Asked, 1);
    EXPECT_TRUE(ann.Closed.back().contains("did not trust")) << ann.Closed.back().toStdString();
    const QString shown = QString::fromStdString(DisplayFingerprint(Server->Fingerprint().toStdString()));
    EXPECT_EQ(ann.Shown, shown) << "the fingerprint the server's log and openssl show";

    ann.TrustAnswer = true;
    ASSERT_TRUE(SignIn(ann));
    EXPECT_EQ(ann.Asked, 2);
    EXPECT_EQ(ann.Model.SignedInAs, "Ann");
    ann.Link->Close();
    ASSERT_TRUE(SignIn(ann));
    EXPECT_EQ(ann.Asked, 2) << "a trusted server is not asked about again";

    // The server now shows another certificate.
    ann.Link->Close();
    const QString other =
        QString::fromStdString(CertificateFingerprint(MakeIdentity("other").CertificatePem));
    ASSERT_TRUE(ann.Trust->Remember("127.0.0.1", Server->Server->Port(), other));
    ann.Closed.clear();
    ann.Open(Server->Server->Port());
    ASSERT_TRUE(Run([&] { return !ann.Closed.isEmpty(); }));
    EXPECT_EQ(ann.Asked, 2) << "a changed certificate is refused, not asked about";
    const QString reason = ann.Closed.back();
    EXPECT_TRUE(reason.startsWith("Refused")) << reason.toStdString();
    EXPECT_TRUE(reason.contains(shown)) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QString::fromStdString(DisplayFingerprint(other.toStdString()))));
}

TEST_F(OnlineServer, MatchWithALateWatcherARefusedMoveAndADroppedLineEndsAlikeOnEveryTable) {
    TOnlineSide& ann = Side("Ann");
    TOnlineSide& bob = Side("bob_2");
    TOnlineSide& cid = Side("Cid");
    for (TOnlineSide* side : {&ann, &bob, &cid}) ASSERT_TRUE(SignIn(*side));

    // Ann opens a table (and sits at Blue); Bob sees it in his lobby and sits.
    TGameRules rules;
    rules.Same = rules.Plus = rules.Elemental = true;
    ann.Link->Send(ServerCodec::Create(rules, 60));
    ASSERT_TRUE(Run([&] { return !bob.Model.Tables().empty(); }));
    const TLobbyTable table = bob.Model.Tables().begin()->second;
    EXPECT_EQ(table.Seats[1], "Ann");
    EXPECT_TRUE(table.Rules.Elemental && !table.Rules.SuddenDeath);
    bob.Link->Send(ServerCodec::Sit(table.Id));
    ASSERT_TRUE(Run([&] { return ann.Match->Active() && bob.Match->Active(); }));
    EXPECT_EQ(ann.Match->LocalSeat(), 1);
    EXPECT_EQ(bob.Match->LocalSeat(), 0);
    ASSERT_TRUE(
        Run([&] { return ann.Game->Phase == TGame::PhaseIdle && bob.Game->Phase == TGame::PhaseIdle; }));
    EXPECT_EQ(DigestDifference(*ann.Game, *bob.Game), "") << "both dealt from the server's seed";
    EXPECT_EQ(ann.Game->Turn, 1);

    // Bob moves out of turn: the server refuses and his table stays as it is.
    bob.Link->Send(ServerCodec::Move(0, 0, 0));
    ASSERT_TRUE(Run([&] { return bob.HeardKind(TServerKind::MoveRefused); }));
    EXPECT_TRUE(bob.Log.join("|").contains("refused")) << bob.Log.join("|").toStdString();
    EXPECT_EQ(DigestDifference(*ann.Game, *bob.Game), "");

    // Three moves, then Cid comes to watch and is shown the table as it stands.
    std::mt19937 dice(7);
    ASSERT_TRUE(
        Run([&] { return ann.Match->Applied() >= 3 && bob.Match->Applied() >= 3; }, &dice, {&ann, &bob}));
    ASSERT_TRUE(Run([&] {
        return ann.Match->Applied() == bob.Match->Applied() && ann.Game->Phase == TGame::PhaseIdle &&
               bob.Game->Phase == TGame::PhaseIdle;
    }));
    cid.Link->Send(ServerCodec::Watch(table.Id));
    ASSERT_TRUE(Run([&] { return cid.Match->Active() && cid.Match->Applied() == ann.Match->Applied(); }));
    EXPECT_EQ(cid.Match->LocalSeat(), -1);
    EXPECT_EQ(cid.Game->Phase, TGame::PhaseIdle) << "replayed without animation";
    EXPECT_EQ(DigestDifference(*ann.Game, *cid.Game), "");
    EXPECT_FALSE(cid.Match->LocalMayMove());
    // Cid's table hears of a move after one it never heard of: it asks the
    // server for the match and is built from the answer, once.
    TServerMessage skipped;
    skipped.Kind = TServerKind::Moved;
    skipped.Table = table.Id;
    skipped.Index = ann.Match->Applied() + 1;
    cid.Match->Received(skipped, cid.NowMs);
    EXPECT_TRUE(cid.Match->AwaitingState());
    ASSERT_TRUE(Run([&] { return !cid.Match->AwaitingState(); }));
    EXPECT_TRUE(cid.Match->Active());
    EXPECT_EQ(DigestDifference(*ann.Game, *cid.Game), "");
    EXPECT_EQ(cid.Log.filter("out of step").size(), 1);
    // Chat at the table reaches the watcher.
    ann.Link->Send(ServerCodec::Chat("hello table"));
    ASSERT_TRUE(Run([&] { return cid.HeardKind(TServerKind::Chat); }));

    // Bob's line drops: Ann sees the countdown; he comes back, replays and play goes on.
    bob.Link->Close();
    ASSERT_TRUE(Run([&] { return ann.HeardKind(TServerKind::Away); }));
    EXPECT_TRUE(ann.Match->Overlay(ann.NowMs).contains("bob_2 (Red)'s line dropped: 60 s"))
        << ann.Match->Overlay(ann.NowMs).toStdString();
    EXPECT_FALSE(ann.Match->LocalMayMove());
    TOnlineSide& back = Side("bob_2"); // the same identity file, another program run
    ASSERT_TRUE(SignIn(back));
    ASSERT_TRUE(Run([&] { return back.Match->Active() && ann.HeardKind(TServerKind::Back); }));
    EXPECT_EQ(back.Match->LocalSeat(), 0);
    EXPECT_EQ(back.Match->Applied(), ann.Match->Applied());
    EXPECT_EQ(DigestDifference(*ann.Game, *back.Game), "");
    EXPECT_TRUE(ann.Match->Overlay(ann.NowMs).startsWith("bob_2 (Red): "))
        << "the move clock, not the countdown: " << ann.Match->Overlay(ann.NowMs).toStdString();

    ASSERT_TRUE(
        Run([&] { return ann.Idle() && back.Idle() && cid.Idle() && cid.HeardKind(TServerKind::Ended); },
            &dice, {&ann, &back}))
        << ann.Log.join("|").toStdString();
    EXPECT_EQ(ann.Match->Applied(), 9);
    EXPECT_EQ(DigestDifference(*ann.Game, *back.Game), "");
    EXPECT_EQ(DigestDifference(*ann.Game, *cid.Game), "");
    EXPECT_TRUE(ann.Game->GameOver);
    const QString result = ann.Log.join("|");
    EXPECT_TRUE(result.contains("wins") || result.contains("Draw")) << result.toStdString();
}

// The client signs in only after the server's hello names the program and the
// protocol it speaks.
TEST_F(OnlineServer, AServerIsTakenOnlyAtItsHello) {
    struct THelloOnly : TConnectionHandler {
        THelloOnly(TConnectionLink& link, const std::string& hello) { link.Send(hello); }
        void Received(std::string_view, TSteadyTime) override {}
        void Woken(TSteadyTime) override {}
        void Stopping(TSteadyTime) override {}
        void Closed(const std::string&) override {}
    };
    const std::pair<std::string, const char*> cases[] = {
        {"{\"type\":\"hello\",\"program\":\"other\",\"version\":1}\n", "is not a Vantaro server"},
        {"{\"type\":\"hello\",\"program\":\"vantaro-server\",\"version\":2}\n", "speaks protocol version 2"},
        {"{\"type\":\"pong\"}\n", "is not a Vantaro server"},
    };
    TOnlineSide& ann = Side("Ann");
    for (const auto& [hello, why] : cases) {
        SCOPED_TRACE(why);
        auto other = std::make_unique<TTlsServer>(
            Server->Io, Server->Log, Server->Addresses,
            [&](TConnectionLink& link, const TPeer&) { return std::make_unique<THelloOnly>(link, hello); },
            TTlsServer::TLimits{});
        ASSERT_EQ(other->UseIdentity(Server->Identity), "");
        ASSERT_EQ(other->Listen("127.0.0.1", 0), "");
        ann.Closed.clear();
        ann.Open(other->Port());
        ASSERT_TRUE(Run([&] { return !ann.Closed.isEmpty(); }));
        EXPECT_TRUE(ann.Closed.back().contains(why)) << ann.Closed.back().toStdString();
        EXPECT_FALSE(ann.Link->IsSignedIn());
        other.reset();
        Server->Poll();
    }
}
