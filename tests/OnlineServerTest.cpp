// Clients against the server's own lobby and TLS transport on the loopback,
// in this thread: signing in, trusting the server, a whole match with a
// watcher who arrives late, a refused move, a dropped line and its return.
#include "NetFixture.h"
#include "net/LobbyConnection.h"
#include "net/LobbyModel.h"
#include "net/ServerCodec.h"
#include "net/ServerMatch.h"
#include "net/ServerTrust.h"
#include "net/TableCheck.h"
#include "server/ClientSession.h"
#include "server/MatchRecord.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"
#include "server/TlsServer.h"
#include "server/tls/Identity.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

void FillCards(TGame& game) {
    game.Cards->CardTable.reset(new TCardInfo[40]);
    std::mt19937 cards(11);
    std::uniform_int_distribution<int32_t> rank(1, 10), element(0, 8);
    for (int i = 0; i < 40; ++i) {
        TCardInfo& card = game.Cards->CardTable[i];
        card.Ranks = {rank(cards), rank(cards), rank(cards), rank(cards)};
        card.Element = element(cards);
        card.Name = "Card";
    }
    game.Cards->NumCards = 40;
}

void SettleTable(TGame& game) {
    for (int step = 0; step < 100000 && game.Phase != TGame::PhaseIdle; ++step) {
        if (game.Phase == TGame::PhaseDealing) game.StepDeal(1e6f);
        else if (game.Phase == TGame::PhaseFlight) game.StepFlight(1e6f);
        else game.StepFlip(1e6f);
    }
}

TTableState StateOf(const TGame& game) {
    TTableState table;
    table.InProgress = game.InProgress;
    table.Idle = game.Phase == TGame::PhaseIdle;
    table.Turn = game.Turn;
    table.Score[0] = game.Score[0];
    table.Score[1] = game.Score[1];
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            table.Board[row][column] = game.Board[row][column];
            table.Elements[row][column] = game.Elements[row][column];
        }
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player) table.Hands[slot][player] = game.Hands[slot][player];
    return table;
}

// The server decides with a table of its own, dealt from the seed as every
// client deals; an independent judge of what the clients show.
class TTableReferee : public TReferee {
public:
    TTableReferee(int64_t seed, int32_t rules, int32_t first) : Seed(seed) {
        Game = std::make_unique<TGame>([this] { return Seed + Deals++; }, [] { return uint64_t(0); });
        FillCards(*Game);
        TGameRules table;
        table.Same = rules & RuleSame;
        table.SameWall = rules & RuleSameWall;
        table.Plus = rules & RulePlus;
        table.Elemental = rules & RuleElemental;
        table.SuddenDeath = rules & RuleSuddenDeath;
        TLentCounters lent(Counters);
        Game->NewGame(first, table, false);
        SettleTable(*Game);
    }
    ~TTableReferee() override {
        TLentCounters lent(Counters);
        Game.reset();
    }
    int32_t ToMove() const override { return Game->Turn; }
    std::string MoveProblem(int32_t seat, int32_t slot, int32_t x, int32_t y) const override {
        return TableCheck::MoveProblem(StateOf(*Game), seat, slot, x, y).toStdString();
    }
    void Play(int32_t slot, int32_t x, int32_t y) override {
        TLentCounters lent(Counters);
        for (uint16_t key : KeysToPlay(*Game, slot, x, y)) Game->KeyDown(key);
        SettleTable(*Game);
    }
    bool Over() const override { return !Game->InProgress; }
    int32_t Winner() const override {
        return Game->Score[0] == Game->Score[1] ? -1 : Game->Score[1] > Game->Score[0] ? 1 : 0;
    }
    int32_t Score(int32_t seat) const override { return Game->Score[seat]; }

    std::unique_ptr<TGame> Game;
    int64_t Seed;
    int64_t Deals = 0;
    int32_t Counters[2] = {1, 1};
};

// vantaro-server's lobby, storage and transport, run by polling from the test's thread.
class TLoopbackServer {
public:
    explicit TLoopbackServer(const QString& folder) {
        std::string error;
        Storage = TSqlStorage::Open((folder + "/vantaro.sqlite").toStdString(), "", error);
        EXPECT_TRUE(Storage) << error;
        Identity = MakeIdentity("vantaro-server");
        Sessions = std::make_unique<TClientSessions>(
            Io, *Storage, Log, Addresses,
            [](int64_t seed, int32_t rules, int32_t first) {
                return std::make_unique<TTableReferee>(seed, rules, first);
            },
            [] { return int64_t(987654321); },
            [] { return QDateTime::currentMSecsSinceEpoch(); }, TClientSessions::TLimits{});
        Server = std::make_unique<TTlsServer>(
            Io, Log, Addresses, [this](TConnectionLink& link, const TPeer& peer) { return Sessions->Open(link, peer); },
            TTlsServer::TLimits{});
        EXPECT_EQ(Server->UseIdentity(Identity), "");
        EXPECT_EQ(Server->Listen("127.0.0.1", 0), "");
    }
    ~TLoopbackServer() {
        Server.reset();
        Sessions.reset();
        Io.poll();
    }
    void Poll() {
        Io.restart();
        Io.poll();
    }
    QString Fingerprint() const {
        return QString::fromStdString(CertificateFingerprint(Identity.CertificatePem));
    }

    std::vector<std::string> Lines;
    TServerLog Log{[this](const std::string& line) { Lines.push_back(line); }};
    asio::io_context Io{1};
    TAddressLimits Addresses;
    std::unique_ptr<TSqlStorage> Storage;
    TIdentity Identity;
    std::unique_ptr<TClientSessions> Sessions;
    std::unique_ptr<TTlsServer> Server;
};

// One player's program: its own identity and trusted servers, a headless
// table, and the connection, lobby and match glue.
class TOnlineSide {
public:
    TOnlineSide(const QString& folder, const QString& name) : Name(name) {
        Trust = std::make_unique<TServerTrust>(folder + "/servers");
        TPlayerIdentity identity = LoadOrMakePlayerIdentity(folder + "/identity.pem");
        EXPECT_EQ(identity.Error, "");
        Link = std::make_unique<TLobbyConnection>(*Trust, std::move(identity), [this](const QString&, const QString& fp) {
            ++Asked;
            Shown = fp;
            return TrustAnswer;
        });
        Game = std::make_unique<TGame>([this] { return Match->DealSeconds(); },
                                       [this] { return uint64_t(NowMs) * 1000; });
        FillCards(*Game);
        TServerMatchHooks hooks;
        hooks.Log = [this](const QString& line) { Log << line; };
        hooks.Send = [this](const QByteArray& line) { Link->Send(line); };
        Match = std::make_unique<TServerMatch>(*Game, std::move(hooks));
        QObject::connect(Link.get(), &TLobbyConnection::message, [this](const TServerMessage& message) {
            Heard.push_back(message.Kind);
            Model.Apply(message);
            if (message.Kind == TServerMessage::TKind::MoveRefused || message.Kind == TServerMessage::TKind::Refused)
                Log << message.Text;
            TLentCounters lent(Counters);
            Match->Received(message, NowMs);
        });
        QObject::connect(Link.get(), &TLobbyConnection::closed, [this](const QString& reason) {
            Closed << reason;
            TLentCounters lent(Counters);
            Match->Stop(QString());
        });
    }
    ~TOnlineSide() {
        Link.reset();
        Match.reset();
        TLentCounters lent(Counters);
        Game.reset();
        RunDeferredDeletes();
    }
    void Open(uint16_t port) { Link->Open("127.0.0.1", port, Name); }
    void Frame() {
        TLentCounters lent(Counters);
        NowMs += 100;
        Game->DoFrame();
        Match->Step(NowMs);
    }
    bool PlayAnyMove(std::mt19937& dice) {
        if (!Match->LocalMayMove()) return false;
        std::vector<int32_t> handSlots, squares;
        for (int32_t slot = 0; slot < 5; ++slot)
            if (Game->Hands[slot][Game->Turn] != -1) handSlots.push_back(slot);
        for (int32_t square = 0; square < 9; ++square)
            if (Game->Board[square / 3][square % 3].Card == -1) squares.push_back(square);
        if (handSlots.empty() || squares.empty()) return false;
        const int32_t slot = handSlots[dice() % handSlots.size()], square = squares[dice() % squares.size()];
        TLentCounters lent(Counters);
        for (uint16_t key : KeysToPlay(*Game, slot, square % 3, square / 3)) Match->KeyDown(key, NowMs);
        return true;
    }
    bool HeardKind(TServerMessage::TKind kind) const { return std::count(Heard.begin(), Heard.end(), kind) > 0; }
    bool Idle() const { return Game->Phase == TGame::PhaseIdle && !Game->InProgress; }

    QString Name;
    std::unique_ptr<TServerTrust> Trust;
    std::unique_ptr<TLobbyConnection> Link;
    std::unique_ptr<TGame> Game;
    std::unique_ptr<TServerMatch> Match;
    TLobbyModel Model;
    std::vector<TServerMessage::TKind> Heard;
    QStringList Log, Closed;
    int Asked = 0;
    bool TrustAnswer = true;
    QString Shown;
    int64_t NowMs = 1000;
    int32_t Counters[2] = {1, 1};
};

std::string Difference(const TGame& a, const TGame& b) {
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

using TKind = TServerMessage::TKind;

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
    const QString other = QString::fromStdString(CertificateFingerprint(MakeIdentity("other").CertificatePem));
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
    ASSERT_TRUE(Run([&] { return ann.Game->Phase == TGame::PhaseIdle && bob.Game->Phase == TGame::PhaseIdle; }));
    EXPECT_EQ(Difference(*ann.Game, *bob.Game), "") << "both dealt from the server's seed";
    EXPECT_EQ(ann.Game->Turn, 1);

    // Bob moves out of turn: the server refuses and his table stays as it is.
    bob.Link->Send(ServerCodec::Move(0, 0, 0));
    ASSERT_TRUE(Run([&] { return bob.HeardKind(TKind::MoveRefused); }));
    EXPECT_TRUE(bob.Log.join("|").contains("refused")) << bob.Log.join("|").toStdString();
    EXPECT_EQ(Difference(*ann.Game, *bob.Game), "");

    // Three moves, then Cid comes to watch and is shown the table as it stands.
    std::mt19937 dice(7);
    ASSERT_TRUE(Run([&] { return ann.Match->Applied() >= 3 && bob.Match->Applied() >= 3; }, &dice, {&ann, &bob}));
    ASSERT_TRUE(Run([&] { return ann.Match->Applied() == bob.Match->Applied() && ann.Game->Phase == TGame::PhaseIdle &&
                                 bob.Game->Phase == TGame::PhaseIdle; }));
    cid.Link->Send(ServerCodec::Watch(table.Id));
    ASSERT_TRUE(Run([&] { return cid.Match->Active() && cid.Match->Applied() == ann.Match->Applied(); }));
    EXPECT_EQ(cid.Match->LocalSeat(), -1);
    EXPECT_EQ(cid.Game->Phase, TGame::PhaseIdle) << "replayed without animation";
    EXPECT_EQ(Difference(*ann.Game, *cid.Game), "");
    EXPECT_FALSE(cid.Match->LocalMayMove());
    // Chat at the table reaches the watcher.
    ann.Link->Send(ServerCodec::Chat("hello table"));
    ASSERT_TRUE(Run([&] { return cid.HeardKind(TKind::Chat); }));

    // Bob's line drops: Ann sees the countdown; he comes back, replays and play goes on.
    bob.Link->Close();
    ASSERT_TRUE(Run([&] { return ann.HeardKind(TKind::Away); }));
    EXPECT_TRUE(ann.Match->Overlay(ann.NowMs).contains("bob_2 (Red)'s line dropped: 60 s"))
        << ann.Match->Overlay(ann.NowMs).toStdString();
    EXPECT_FALSE(ann.Match->LocalMayMove());
    TOnlineSide& back = Side("bob_2"); // the same identity file, another program run
    ASSERT_TRUE(SignIn(back));
    ASSERT_TRUE(Run([&] { return back.Match->Active() && ann.HeardKind(TKind::Back); }));
    EXPECT_EQ(back.Match->LocalSeat(), 0);
    EXPECT_EQ(back.Match->Applied(), ann.Match->Applied());
    EXPECT_EQ(Difference(*ann.Game, *back.Game), "");
    EXPECT_EQ(ann.Match->Overlay(ann.NowMs), "");

    ASSERT_TRUE(Run([&] { return ann.Idle() && back.Idle() && cid.Idle() && cid.HeardKind(TKind::Ended); }, &dice,
                    {&ann, &back}))
        << ann.Log.join("|").toStdString();
    EXPECT_EQ(ann.Match->Applied(), 9);
    EXPECT_EQ(Difference(*ann.Game, *back.Game), "");
    EXPECT_EQ(Difference(*ann.Game, *cid.Game), "");
    EXPECT_TRUE(ann.Game->GameOver);
    const QString result = ann.Log.join("|");
    EXPECT_TRUE(result.contains("wins") || result.contains("Draw")) << result.toStdString();
}
