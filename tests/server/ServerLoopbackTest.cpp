// The server's transport and lobby together on loopback, with scripted TLS
// clients: what travels, and what a hostile client gets.
#include "FakeReferee.h"
#include "TlsTestClient.h"

#include "server/ClientSession.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"
#include "server/TlsServer.h"

#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <thread>

namespace {

const std::string Hello = "{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":1}\n";

class ServerLoopbackTest : public ::testing::Test {
protected:
    // Everything of the server lives on its own thread, where the database
    // connection was opened (Qt SQL binds a connection to its thread).
    void Start(TClientSessions::TLimits limits = {}) {
        std::promise<uint16_t> ready;
        Thread = std::thread([this, limits, &ready] {
            std::string error;
            auto storage = TSqlStorage::Open(Folder.filePath("v.sqlite").toStdString(), "", error);
            if (!storage) {
                ready.set_value(0);
                return;
            }
            TClientSessions sessions(
                Io, *storage, Log, Addresses, Referees, [] { return int64_t(77); },
                [] {
                    return std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                        .count();
                },
                limits);
            TTlsServer server(
                Io, Log, Addresses,
                [&sessions](TConnectionLink& link, const TPeer& peer) { return sessions.Open(link, peer); },
                TTlsServer::TLimits{});
            if (!server.UseIdentity(MakeIdentity("server")).empty() ||
                !server.Listen("127.0.0.1", 0).empty()) {
                ready.set_value(0);
                return;
            }
            Server = &server;
            ready.set_value(server.Port());
            Io.run();
            Server = nullptr;
        });
        Port = ready.get_future().get();
        ASSERT_NE(Port, 0);
    }

    void TearDown() override {
        if (Thread.joinable()) {
            if (Port != 0) asio::post(Io, [this] { Server->Stop([this] { Io.stop(); }); });
            Thread.join();
        }
    }

    // A client signed in as name.
    std::unique_ptr<TTlsTestClient> SignIn(const std::string& name) {
        Identities.push_back(MakeIdentity(name));
        auto client = std::make_unique<TTlsTestClient>(&Identities.back());
        EXPECT_TRUE(client->Connect(Port));
        client->Send(Hello + "{\"type\":\"login\",\"name\":\"" + name + "\"}\n");
        EXPECT_TRUE(WaitFor(*client, "signed_in")) << name;
        return client;
    }

    // Reads lines until one of the type (holding `also`) comes (bounded), and returns it.
    static std::optional<std::string> WaitFor(TTlsTestClient& client, const std::string& type,
                                              const std::string& also = "") {
        for (int i = 0; i < 200; ++i) {
            std::optional<std::string> line = client.ReadLine();
            if (!line) return std::nullopt;
            if (line->find("\"type\":\"" + type + "\"") != std::string::npos &&
                line->find(also) != std::string::npos)
                return line;
        }
        return std::nullopt;
    }

    QTemporaryDir Folder;
    TRefereeFactory Referees = [](int64_t, int32_t, int32_t first) {
        return std::make_unique<TFakeReferee>(first);
    };
    TServerLog Log{[](const std::string&) {}};
    asio::io_context Io;
    TAddressLimits Addresses;
    TTlsServer* Server = nullptr; // on the server's thread
    uint16_t Port = 0;
    std::thread Thread;
    std::deque<TIdentity> Identities;
};

// The match itself is the lobby's tests'; here, what only the transport and
// its timer do: the lobby's gathered changes and the clock reach the clients.
TEST_F(ServerLoopbackTest, TwoPlayersAndAWatcherMeetInTheLobbyAndPlay) {
    Start();
    auto ann = SignIn("Ann"), bob = SignIn("Bob"), cid = SignIn("Cid");
    ann->Send("{\"type\":\"create\",\"rules\":{\"same\":false,\"same_wall\":false,\"plus\":true,"
              "\"elemental\":false,\"sudden_death\":true},\"seconds\":30}\n");
    ASSERT_TRUE(WaitFor(*cid, "table")) << "the lobby's changes go out on its timer";
    cid->Send("{\"type\":\"watch\",\"table\":1}\n");
    bob->Send("{\"type\":\"sit\",\"table\":1}\n");
    for (auto* who : {ann.get(), bob.get(), cid.get()}) {
        std::optional<std::string> match = WaitFor(*who, "match");
        ASSERT_TRUE(match);
        EXPECT_NE(match->find("\"seed\":77"), std::string::npos) << *match;
        EXPECT_NE(match->find("\"clock\":"), std::string::npos) << *match;
    }
    ann->Send("{\"type\":\"move\",\"slot\":0,\"x\":1,\"y\":1}\n");
    for (auto* who : {ann.get(), bob.get(), cid.get()}) ASSERT_TRUE(WaitFor(*who, "moved"));
    cid->Send("{\"type\":\"state\"}\n");
    std::optional<std::string> state = WaitFor(*cid, "match");
    ASSERT_TRUE(state);
    EXPECT_NE(state->find("\"moves\":[[0,1,1]]"), std::string::npos) << *state;
    bob->Send("{\"type\":\"move\",\"slot\":0,\"x\":0,\"y\":0}\n");
    for (auto* who : {ann.get(), bob.get(), cid.get()}) ASSERT_TRUE(WaitFor(*who, "moved"));
    bob->Send("{\"type\":\"leave\"}\n");
    for (auto* who : {ann.get(), bob.get(), cid.get()}) {
        std::optional<std::string> ended = WaitFor(*who, "ended");
        ASSERT_TRUE(ended);
        EXPECT_NE(ended->find("\"how\":\"forfeit\""), std::string::npos) << *ended;
        EXPECT_TRUE(WaitFor(*who, "lobby"));
    }
}

TEST_F(ServerLoopbackTest, AHostileLineEndsOnlyItsOwnConnectionWithAReason) {
    TClientSessions::TLimits limits;
    limits.PartialMs = 300;
    Start(limits);
    auto bystander = SignIn("Bystander");
    struct TCase {
        std::string Bytes;
        const char* Reason;
    } cases[] = {
        {Hello + "{\"type\":\n", "not a JSON object"},
        {Hello + "{\"type\":\"move\",\"slot\":9,\"x\":0,\"y\":0}\n", "out-of-range"},
        {"{\"type\":\"login\",\"name\":\"Early\"}\n", "did not start with hello"},
        {Hello + Hello, "second hello"},
        {"{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":2}\n",
         "version 2; this server takes vantaro version 1"},
        {"{\"type\":\"hello\",\"program\":\"a\\n\\\"}\\u000b\\\\\",\"version\":1}\n",
         "as a\\n\\\"}\\u000b\\\\ version"},
        {std::string(5000, '{'), "longer than 4096"},
        {Hello + "{\"type\"", "did not finish a line within"},
        {[] {
             std::string many;
             for (int i = 0; i < 61; ++i) many += "{\"type\":\"ping\"}\n";
             return many;
         }(),
         "messages in a second"},
    };
    for (const TCase& c : cases) {
        TIdentity identity = MakeIdentity("hostile");
        TTlsTestClient hostile(&identity);
        ASSERT_TRUE(hostile.Connect(Port, "127.0.0.5"));
        hostile.Send(c.Bytes);
        std::optional<std::string> bye = WaitFor(hostile, "bye");
        ASSERT_TRUE(bye) << c.Reason;
        EXPECT_NE(bye->find(c.Reason), std::string::npos) << *bye;
        EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(*bye)).isObject()) << *bye;
        EXPECT_TRUE(hostile.WaitClosed());
        EXPECT_TRUE(hostile.ClosedCleanly()) << "no close_notify";
    }
    bystander->Send("{ \"type\": \"ping\", \"n\": 1 }\n");
    EXPECT_TRUE(WaitFor(*bystander, "pong"));
}

TEST_F(ServerLoopbackTest, ASilentClientIsDropped) {
    TClientSessions::TLimits limits;
    limits.SilenceMs = 200;
    Start(limits);
    TIdentity identity = MakeIdentity("quiet");
    TTlsTestClient quiet(&identity);
    ASSERT_TRUE(quiet.Connect(Port));
    std::optional<std::string> bye = WaitFor(quiet, "bye");
    ASSERT_TRUE(bye);
    EXPECT_NE(bye->find("silent"), std::string::npos) << *bye;
}

// Two people quitting in ordinary use: the player of a watched table that
// is still waiting leaves, then another's line drops. The watcher goes on
// asking, and the server goes on serving everyone.
TEST_F(ServerLoopbackTest, AWatcherOfATableThatGoesAwayGoesOnBeingServed) {
    Start();
    auto ann = SignIn("Ann"), bob = SignIn("Bob"), cid = SignIn("Cid");
    const std::string create =
        "{\"type\":\"create\",\"rules\":{\"same\":false,\"same_wall\":false,\"plus\":false,"
        "\"elemental\":false,\"sudden_death\":false},\"seconds\":60}\n";
    struct TRound {
        TTlsTestClient* Player;
        const char* Table;
        bool Drop;
    } rounds[] = {{ann.get(), "1", false}, {bob.get(), "3", true}};
    for (const TRound& round : rounds) {
        SCOPED_TRACE(round.Table);
        const std::string table = std::string("\"table\":") + round.Table + ",";
        round.Player->Send(create);
        ASSERT_TRUE(WaitFor(*round.Player, "table", table));
        cid->Send(std::string("{\"type\":\"watch\",\"table\":") + round.Table + "}\n");
        ASSERT_TRUE(WaitFor(*cid, "table", "\"watchers\":1"));
        if (round.Drop)
            round.Player->Disconnect();
        else
            round.Player->Send("{\"type\":\"leave\"}\n");
        ASSERT_TRUE(WaitFor(*cid, "lobby")) << "the watcher is sent back";
        cid->Send("{\"type\":\"state\"}\n{\"type\":\"leave\"}\n{\"type\":\"chat\",\"text\":\"hello\"}\n" +
                  create);
        EXPECT_TRUE(WaitFor(*cid, "lobby"));
        EXPECT_TRUE(WaitFor(*cid, "chat"));
        EXPECT_TRUE(WaitFor(*cid, "table")) << "its own table";
        cid->Send("{\"type\":\"leave\"}\n");
        ASSERT_TRUE(WaitFor(*cid, "lobby"));
    }
    cid->Disconnect();
    ann->Send("{\"type\":\"ping\"}\n");
    EXPECT_TRUE(WaitFor(*ann, "pong"));
}

} // namespace

namespace {

TEST_F(ServerLoopbackTest, AClientThatKeepsTheLineUpButNeverSaysHelloIsDropped) {
    TClientSessions::TLimits limits;
    limits.HelloMs = 300;
    Start(limits);
    TIdentity identity = MakeIdentity("stranger");
    TTlsTestClient stranger(&identity);
    ASSERT_TRUE(stranger.Connect(Port));
    std::optional<std::string> bye;
    // A ping every 50 ms keeps it from being silent, within the rate limit.
    for (int i = 0; i < 100 && !bye; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stranger.Send("{ \"type\" : \"ping\" }\n");
        std::optional<std::string> line = stranger.ReadLine();
        ASSERT_TRUE(line);
        if (line->find("\"bye\"") != std::string::npos) bye = line;
    }
    ASSERT_TRUE(bye);
    EXPECT_NE(bye->find("did not say hello"), std::string::npos) << *bye;
}

// A fault of the server's own while it carries out one client's request.
struct TThrowingReferee : TFakeReferee {
    using TFakeReferee::TFakeReferee;
    void Play(const TPlacementMove&) override { throw std::out_of_range("map::at"); }
};

TEST_F(ServerLoopbackTest, ARequestTheServerFailsOnEndsOnlyItsOwnConnection) {
    Referees = [](int64_t, int32_t, int32_t first) { return std::make_unique<TThrowingReferee>(first); };
    Start();
    auto ann = SignIn("Ann"), bob = SignIn("Bob");
    ann->Send("{\"type\":\"create\",\"rules\":{\"same\":false,\"same_wall\":false,\"plus\":false,"
              "\"elemental\":false,\"sudden_death\":false},\"seconds\":30}\n");
    ASSERT_TRUE(WaitFor(*ann, "table"));
    bob->Send("{\"type\":\"sit\",\"table\":1}\n");
    ASSERT_TRUE(WaitFor(*ann, "match"));
    ann->Send("{\"type\":\"move\",\"slot\":0,\"x\":1,\"y\":1}\n");
    std::optional<std::string> bye = WaitFor(*ann, "bye");
    ASSERT_TRUE(bye);
    EXPECT_NE(bye->find("could not carry out your request"), std::string::npos) << *bye;
    EXPECT_TRUE(WaitFor(*bob, "away")) << "the server goes on for everyone else";
    SignIn("Cid");
}

} // namespace
