#pragma once

// A game server's lobby and TLS transport run in the test's thread on the
// loopback, deciding with tables of its own, and headless players for it.
#include "NetFixture.h"
#include "identity/Identity.h"
#include "net/LobbyConnection.h"
#include "net/LobbyModel.h"
#include "net/ServerCodec.h"
#include "net/ServerMatch.h"
#include "net/ServerTrust.h"
#include "net/TableCheck.h"
#include "server/ClientSession.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"
#include "server/StoredMatch.h"
#include "server/TlsServer.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

// Forty made-up cards, or the ranks and elements of a loaded catalogue.
inline void FillCards(TGame& game, const TCardsInfo* from = nullptr) {
    if (from) {
        game.Cards->CardTable.reset(new TCardInfo[size_t(from->NumCards)]);
        for (int32_t i = 0; i < from->NumCards; ++i) {
            game.Cards->CardTable[i].Ranks = from->CardTable[i].Ranks;
            game.Cards->CardTable[i].Element = from->CardTable[i].Element;
        }
        game.Cards->NumCards = from->NumCards;
        return;
    }
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

inline void SettleTable(TGame& game) {
    for (int step = 0; step < 100000 && game.Phase != TGame::PhaseIdle; ++step) {
        if (game.Phase == TGame::PhaseDealing)
            game.StepDeal(1e6f);
        else if (game.Phase == TGame::PhaseFlight)
            game.StepFlight(1e6f);
        else
            game.StepFlip(1e6f);
    }
}

inline TTableState StateOf(const TGame& game) {
    return game.Match().Table(game.Phase == TGame::PhaseIdle);
}

// The server decides with a table of its own, dealt from the seed as every
// client deals; an independent judge of what the clients show.
class TTableReferee : public TReferee {
public:
    TTableReferee(int64_t seed, int32_t rules, int32_t first, const TCardsInfo* cards) : Seed(seed) {
        Game = std::make_unique<TGame>([this] { return Seed + Deals++; }, [] { return uint64_t(0); });
        FillCards(*Game, cards);
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
    std::string MoveProblem(int32_t seat, const TPlacementMove& move) const override {
        return TableCheck::MoveProblem(StateOf(*Game), seat, move.Slot, move.X, move.Y).toStdString();
    }
    void Play(const TPlacementMove& move) override {
        TLentCounters lent(Counters);
        for (uint16_t key : KeysToPlay(*Game, move.Slot, move.X, move.Y)) Game->KeyDown(key);
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
    // `port` and `identity`: those of a server run before, to start it again.
    explicit TLoopbackServer(const QString& folder, const TCardsInfo* cards = nullptr, uint16_t port = 0,
                             const TIdentity* identity = nullptr) {
        std::string error;
        Storage = TSqlStorage::Open((folder + "/vantaro.sqlite").toStdString(), "", error);
        EXPECT_TRUE(Storage) << error;
        Identity = identity ? *identity : MakeIdentity("vantaro-server");
        Addresses.OneAddressOnePerson = false; // every client here is 127.0.0.1
        Sessions = std::make_unique<TClientSessions>(
            Io, *Storage, Log, Addresses,
            [cards](int64_t seed, int32_t rules, int32_t first) {
                return std::make_unique<TTableReferee>(seed, rules, first, cards);
            },
            [] { return int64_t(987654321); }, [this] { return NowMs(); }, TClientSessions::TLimits{});
        Server = std::make_unique<TTlsServer>(
            Io, Log, Addresses,
            [this](TConnectionLink& link, const TPeer& peer) { return Sessions->Open(link, peer); },
            TTlsServer::TLimits{});
        EXPECT_EQ(Server->UseIdentity(Identity), "");
        EXPECT_EQ(Server->Listen("127.0.0.1", port), "");
        // A server started again takes up the matches it was running.
        if (port != 0) Sessions->Lobby().ResumeStored(NowMs());
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
    int64_t NowMs() const { return QDateTime::currentMSecsSinceEpoch() + AheadMs; }
    // The server's clock moved on by `ms`: the move clocks and kept seats run out without waiting.
    void Advance(int64_t ms) {
        AheadMs += ms;
        Sessions->Lobby().Tick(NowMs());
        Sessions->Flush();
    }
    QString Fingerprint() const {
        return QString::fromStdString(CertificateFingerprint(Identity.CertificatePem));
    }

    int64_t AheadMs = 0;
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
    TOnlineSide(const QString& folder, const QString& name, const TCardsInfo* cards = nullptr) : Name(name) {
        Trust = std::make_unique<TServerTrust>(folder + "/servers");
        TPlayerIdentity identity = LoadOrMakePlayerIdentity(folder + "/identity.pem");
        EXPECT_EQ(identity.Error, "");
        Link = std::make_unique<TLobbyConnection>(*Trust, std::move(identity),
                                                  [this](const QString&, const QString& fp) {
                                                      ++Asked;
                                                      Shown = fp;
                                                      return TrustAnswer;
                                                  });
        Game = std::make_unique<TGame>([this] { return Match->DealSeconds(); },
                                       [this] { return uint64_t(NowMs) * 1000; });
        FillCards(*Game, cards);
        TServerMatchHooks hooks;
        hooks.Log = [this](const QString& line) { Log << line; };
        hooks.Send = [this](const QByteArray& line) { Link->Send(line); };
        Match = std::make_unique<TServerMatch>(*Game, std::move(hooks));
        QObject::connect(Link.get(), &TLobbyConnection::message, [this](const TServerMessage& message) {
            Heard.push_back(message.Kind);
            Model.Apply(message);
            if (message.Kind == TServerMessage::TKind::MoveRefused ||
                message.Kind == TServerMessage::TKind::Refused)
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
    bool HeardKind(TServerMessage::TKind kind) const {
        return std::count(Heard.begin(), Heard.end(), kind) > 0;
    }
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
