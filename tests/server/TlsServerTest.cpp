// The transport on loopback with scripted TLS clients and an echo handler.
#include "TlsTestClient.h"

#include "server/ProxyHeader.h"
#include "server/ServerLog.h"
#include "server/TlsServer.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

// What the server thread saw, read by the test thread.
struct TServerSeen {
    std::mutex Lock;
    std::vector<std::string> Fingerprints;
    std::vector<std::string> LimitKeys;
    std::vector<std::string> Closed;
    std::vector<std::string> Log;
};

class TEchoHandler : public TConnectionHandler {
public:
    TEchoHandler(TConnectionLink& link, TServerSeen& seen) : Link(link), Seen(seen) {}

    void Received(std::string_view bytes, TSteadyTime) override {
        if (bytes.substr(0, 6) == "flood\n") {
            // More than the transport lets wait unwritten, in one go.
            for (int i = 0; i < 5; ++i) Link.Send(std::string(64 * 1024, 'x'));
            return;
        }
        Link.Send(std::string(bytes));
    }
    void Woken(TSteadyTime) override {}
    void Stopping(TSteadyTime) override {
        Link.Send("bye\n");
        Link.Close();
    }
    void Closed(const std::string& reason) override {
        std::lock_guard lock(Seen.Lock);
        Seen.Closed.push_back(reason);
    }

private:
    TConnectionLink& Link;
    TServerSeen& Seen;
};

class TlsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ServerIdentity = MakeIdentity("test-server");
        ClientIdentity = MakeIdentity("test-client");
        TTlsServer::TLimits limits;
        limits.HandshakeTimeout = std::chrono::milliseconds(300);
        limits.MaxQueuedBytes = 128 * 1024;
        limits.Fronts = {asio::ip::make_address(Front)};
        Server = std::make_unique<TTlsServer>(
            Io, Log, Addresses,
            [this](TConnectionLink& link, const TPeer& peer) {
                std::lock_guard lock(Seen.Lock);
                Seen.Fingerprints.push_back(peer.Fingerprint);
                Seen.LimitKeys.push_back(peer.LimitKey);
                return std::make_unique<TEchoHandler>(link, Seen);
            },
            limits);
        ASSERT_EQ(Server->UseIdentity(ServerIdentity), "");
        ASSERT_EQ(Server->Listen("127.0.0.1", 0), "");
        Thread = std::thread([this] { Io.run(); });
    }

    void TearDown() override {
        if (Thread.joinable()) {
            asio::post(Io, [this] { Server->Stop([this] { Io.stop(); }); });
            Thread.join();
        }
        Server.reset();
    }

    // Runs on the server thread and waits for the answer.
    template <typename T> T OnServer(std::function<T()> work) {
        std::promise<T> result;
        asio::post(Io, [&] { result.set_value(work()); });
        return result.get_future().get();
    }

    size_t Handlers() {
        std::lock_guard lock(Seen.Lock);
        return Seen.Fingerprints.size();
    }

    static constexpr const char* Front = "127.0.0.4"; // stands for HAProxy
    TServerSeen Seen;
    TServerLog Log{[this](const std::string& line) {
        std::lock_guard lock(Seen.Lock);
        Seen.Log.push_back(line);
    }};
    TIdentity ServerIdentity;
    TIdentity ClientIdentity;
    asio::io_context Io;
    TAddressLimits Addresses;
    std::unique_ptr<TTlsServer> Server;
    std::thread Thread;
};

TEST_F(TlsServerTest, EchoesOverTlsAndKnowsEachSideByItsCertificate) {
    TTlsTestClient client(&ClientIdentity);
    ASSERT_TRUE(client.Connect(Server->Port()));
    EXPECT_EQ(client.ServerFingerprint, CertificateFingerprint(ServerIdentity.CertificatePem));
    ASSERT_TRUE(client.Send("one\ntwo\n"));
    EXPECT_EQ(client.ReadLine(), "one\n");
    EXPECT_EQ(client.ReadLine(), "two\n");
    std::lock_guard lock(Seen.Lock);
    ASSERT_EQ(Seen.Fingerprints.size(), 1u);
    EXPECT_EQ(Seen.Fingerprints[0], CertificateFingerprint(ClientIdentity.CertificatePem));
}

TEST_F(TlsServerTest, ClientsWithoutACertificateOrWithoutTlsAreDropped) {
    TTlsTestClient anonymous(nullptr);
    anonymous.Connect(Server->Port()); // TLS 1.3 lets the client finish first
    EXPECT_FALSE(anonymous.ReadLine());
    TTlsTestClient silent(&ClientIdentity);
    ASSERT_TRUE(silent.ConnectPlain(Server->Port()));
    EXPECT_TRUE(silent.WaitClosed()) << "no handshake within its deadline";
    EXPECT_EQ(Handlers(), 0u);
    EXPECT_EQ(OnServer<size_t>([this] { return Server->ConnectionCount(); }), 0u);
}

TEST_F(TlsServerTest, AnAddressHoldsAtMostEightConnectionsAndOthersAreNotHeldBack) {
    std::vector<std::unique_ptr<TTlsTestClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<TTlsTestClient>(&ClientIdentity));
        ASSERT_TRUE(clients.back()->Connect(Server->Port(), "127.0.0.2"));
        ASSERT_TRUE(clients.back()->Send("up\n"));
        ASSERT_EQ(clients.back()->ReadLine(), "up\n");
    }
    TTlsTestClient ninth(&ClientIdentity);
    ninth.Connect(Server->Port(), "127.0.0.2");
    EXPECT_FALSE(ninth.ReadLine());
    TTlsTestClient elsewhere(&ClientIdentity);
    ASSERT_TRUE(elsewhere.Connect(Server->Port(), "127.0.0.3"));
    ASSERT_TRUE(elsewhere.Send("ok\n"));
    EXPECT_EQ(elsewhere.ReadLine(), "ok\n");

    // A connection closed gives its place back.
    clients[0]->Disconnect();
    for (int i = 0;
         i < 1000 && OnServer<int>([this] { return Server->AddressLimits().Connections("127.0.0.2"); }) > 7;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TTlsTestClient again(&ClientIdentity);
    ASSERT_TRUE(again.Connect(Server->Port(), "127.0.0.2"));
    ASSERT_TRUE(again.Send("back\n"));
    EXPECT_EQ(again.ReadLine(), "back\n");
}

TEST_F(TlsServerTest, AClientThatLetsTooMuchWaitUnwrittenIsDropped) {
    TTlsTestClient client(&ClientIdentity);
    ASSERT_TRUE(client.Connect(Server->Port()));
    ASSERT_TRUE(client.Send("flood\n"));
    EXPECT_TRUE(client.WaitClosed());
    for (int i = 0; i < 1000 && OnServer<size_t>([this] { return Server->ConnectionCount(); }) > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard lock(Seen.Lock);
    ASSERT_EQ(Seen.Closed.size(), 1u);
    EXPECT_EQ(Seen.Closed[0], "not reading what it is sent");
}

TEST_F(TlsServerTest, StoppingTellsEveryClientAndEndsOnceTheyAreClosed) {
    std::vector<std::unique_ptr<TTlsTestClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<TTlsTestClient>(&ClientIdentity));
        ASSERT_TRUE(clients.back()->Connect(Server->Port()));
        ASSERT_TRUE(clients.back()->Send("hi\n"));
        ASSERT_EQ(clients.back()->ReadLine(), "hi\n");
    }
    std::promise<void> stopped;
    asio::post(Io, [&] { Server->Stop([&] { stopped.set_value(); }); });
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadLine(), "bye\n");
        EXPECT_TRUE(client->WaitClosed());
    }
    stopped.get_future().get();
    TTlsTestClient late(&ClientIdentity);
    EXPECT_FALSE(late.Connect(Server->Port())) << "still accepting after Stop";
    Io.stop();
    Thread.join();
    EXPECT_EQ(Server->ConnectionCount(), 0u);
}

// A front's PROXY v2 header: signature, version and command, family, length.
std::string ProxyHeader(int command, int family, const std::string& addresses) {
    std::string header("\r\n\r\n\0\r\nQUIT\n", 12);
    header += char(0x20 | command);
    header += char(family);
    header += char(addresses.size() >> 8);
    header += char(addresses.size() & 0xFF);
    return header + addresses;
}

// 203.0.113.9 port 5555 to 192.0.2.1 port 47018, then a TLV a front may add.
const std::string ClientV4("\xCB\x00\x71\x09\xC0\x00\x02\x01\x15\xB3\xB7\x6A\x04\x00\x01\x00", 16);

TEST_F(TlsServerTest, AFrontsPROXYHeaderNamesTheClientWhoseAddressCounts) {
    TTlsTestClient proxied(&ClientIdentity);
    ASSERT_TRUE(proxied.Connect(Server->Port(), Front, ProxyHeader(1, 0x11, ClientV4)));
    ASSERT_TRUE(proxied.Send("up\n"));
    ASSERT_EQ(proxied.ReadLine(), "up\n");
    TTlsTestClient check(&ClientIdentity); // the front's own health check
    ASSERT_TRUE(check.Connect(Server->Port(), Front, ProxyHeader(0, 0, "")));
    ASSERT_TRUE(check.Send("up\n"));
    ASSERT_EQ(check.ReadLine(), "up\n");
    EXPECT_EQ(OnServer<int>([this] { return Server->AddressLimits().Connections("203.0.113.9"); }), 1);
    EXPECT_EQ(OnServer<int>([this] { return Server->AddressLimits().Connections(Front); }), 1);
    {
        std::lock_guard lock(Seen.Lock);
        EXPECT_EQ(Seen.LimitKeys, (std::vector<std::string>{"203.0.113.9", Front}));
    }
    // From the front, TLS without a header is refused; from anyone else a
    // header is not believed (it is not TLS).
    TTlsTestClient bare(&ClientIdentity);
    EXPECT_FALSE(bare.Connect(Server->Port(), Front));
    TTlsTestClient forger(&ClientIdentity);
    EXPECT_FALSE(forger.Connect(Server->Port(), "127.0.0.5", ProxyHeader(1, 0x11, ClientV4)));
    EXPECT_EQ(Handlers(), 2u);
}

TEST(ProxyHeader, TheHeaderIsReadOrRefusedWhole) {
    const std::string v6(36, '\x01');
    struct TCase {
        std::string Bytes;
        TProxyHeader::TStatus Status;
        const char* Source = "";
        size_t Size = 0;
    } cases[] = {
        {ProxyHeader(1, 0x11, ClientV4), TProxyHeader::TStatus::Client, "203.0.113.9:5555", 32},
        {ProxyHeader(1, 0x21, v6), TProxyHeader::TStatus::Client, "[101:101:101:101:101:101:101:101]:257",
         52},
        {ProxyHeader(0, 0, ""), TProxyHeader::TStatus::Local, "", 16},
        {ProxyHeader(1, 0x11, ClientV4).substr(0, 10), TProxyHeader::TStatus::NeedMore, "", 16},
        {ProxyHeader(1, 0x11, ClientV4).substr(0, 20), TProxyHeader::TStatus::NeedMore, "", 32},
        {ProxyHeader(1, 0x11, ClientV4.substr(0, 8)), TProxyHeader::TStatus::Bad},
        {ProxyHeader(1, 0x31, std::string(216, 'u')), TProxyHeader::TStatus::Bad}, // a UNIX socket
        {ProxyHeader(2, 0x11, ClientV4), TProxyHeader::TStatus::Bad},
        {ProxyHeader(1, 0x11, std::string(600, 'x')), TProxyHeader::TStatus::Bad},
        {"PROXY TCP4 203.0.113.9 192.0.2.1 5555 47018\r\n", TProxyHeader::TStatus::Bad},
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xFC\x03\x03\x00\x00\x00\x00\x00", 16),
         TProxyHeader::TStatus::Bad}, // a TLS hello
    };
    for (const TCase& c : cases) {
        const TProxyHeader header = TProxyHeader::Parse(c.Bytes);
        EXPECT_EQ(header.Status, c.Status) << c.Bytes.size() << " " << header.Error;
        if (c.Status == TProxyHeader::TStatus::Client) {
            std::ostringstream source;
            source << header.Source;
            EXPECT_EQ(source.str(), c.Source);
        }
        if (c.Status != TProxyHeader::TStatus::Bad) {
            EXPECT_EQ(header.Bytes, c.Size);
        }
    }
    std::string odd = ProxyHeader(1, 0x11, ClientV4);
    odd[12] = char(0x11); // version 1 in the binary form
    EXPECT_EQ(TProxyHeader::Parse(odd).Status, TProxyHeader::TStatus::Bad);
}

TEST(TlsServerLimitKey, AnIpv6HostCountsByItsSlash64) {
    struct TCase {
        const char* Address;
        const char* Key;
    } cases[] = {
        {"127.0.0.9", "127.0.0.9"},
        {"::ffff:192.0.2.7", "192.0.2.7"},
        {"2001:db8:1:2:aaaa::1", "2001:db8:1:2::/64"},
        {"2001:db8:1:2:bbbb:cccc:dddd:eeee", "2001:db8:1:2::/64"},
        {"2001:db8:1:3::1", "2001:db8:1:3::/64"},
        {"::1", "::/64"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TTlsServer::LimitKeyOf(asio::ip::make_address(c.Address)), c.Key) << c.Address;
}

} // namespace
