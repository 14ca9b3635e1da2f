// The bus between server processes against a real redis-server on loopback:
// what one process publishes the others hear, clusters on other database
// numbers do not, and a Redis that goes away and comes back is rejoined
// without the owner doing anything.
#include "RedisTestServer.h"

#include "server/ServerLog.h"
#include "server/bus/RedisBus.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Runs the loop until done says so, for at most ten seconds.
template <typename TDone> bool RunUntil(asio::io_context& io, TDone done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
        io.restart();
        io.run_for(std::chrono::milliseconds(20));
    }
    return done();
}

struct TListener {
    std::vector<std::pair<std::string, std::string>> Heard;
    std::vector<bool> States;
    TRedisBus::TEvents Events() {
        return {[this](const std::string& channel, const std::string& payload) {
                    Heard.emplace_back(channel, payload);
                },
                [this](bool up) { States.push_back(up); }};
    }
};

TEST(RedisBus, ProcessesHearEachOtherAndRejoinARestartedRedisByThemselves) {
    if (!TRedisTestServer::Installed()) GTEST_SKIP() << "no redis-server";
    TRedisTestServer redis;
    redis.Start();
    asio::io_context io;
    TServerLog log([](const std::string&) {});
    const TRedisBus::TTiming quick{std::chrono::milliseconds(50), std::chrono::milliseconds(200),
                                   std::chrono::milliseconds(2000)};
    const std::string url = redis.Url();
    TListener a, b, other;
    TRedisBus busA(io, log, *TRedisAddress::Parse(url + "/3"), a.Events(), quick);
    TRedisBus busB(io, log, *TRedisAddress::Parse(url + "/3"), b.Events(), quick);
    TRedisBus elsewhere(io, log, *TRedisAddress::Parse(url + "/4"), other.Events(), quick);
    busA.Subscribe("lobby");
    busA.Subscribe("table:7");
    busB.Subscribe("lobby");
    for (TRedisBus* bus : {&busA, &busB, &elsewhere}) bus->Start();
    ASSERT_TRUE(RunUntil(io, [&] { return busA.Up() && busB.Up() && elsewhere.Up(); }));

    EXPECT_TRUE(elsewhere.Publish("lobby", "another cluster"));
    EXPECT_TRUE(busB.Publish("lobby", "hello"));
    EXPECT_TRUE(busB.Publish("table:7", std::string("a\0b\n", 4)));
    EXPECT_FALSE(busB.Publish("lobby", std::string(TRedisBus::MaxPayloadBytes + 1, 'x')));
    ASSERT_TRUE(RunUntil(io, [&] { return a.Heard.size() == 2 && b.Heard.size() == 1; }));
    EXPECT_EQ(a.Heard[0], std::make_pair(std::string("lobby"), std::string("hello")));
    EXPECT_EQ(a.Heard[1], std::make_pair(std::string("table:7"), std::string("a\0b\n", 4)));
    EXPECT_EQ(b.Heard[0].second, "hello");

    redis.Stop();
    ASSERT_TRUE(RunUntil(io, [&] { return !busA.Up() && !busB.Up(); }));
    EXPECT_FALSE(busB.Publish("lobby", "lost"));
    redis.Start();
    ASSERT_TRUE(RunUntil(io, [&] { return busA.Up() && busB.Up(); }));
    EXPECT_EQ(a.States, (std::vector<bool>{true, false, true}));
    // Subscribed again without being asked: heard once more.
    a.Heard.clear();
    ASSERT_TRUE(RunUntil(io, [&] {
        busB.Publish("table:7", "again");
        io.run_for(std::chrono::milliseconds(50));
        return !a.Heard.empty();
    }));
    EXPECT_EQ(a.Heard[0], std::make_pair(std::string("table:7"), std::string("again")));
}

TEST(RedisBus, OnlyRedisUrlsAreAddresses) {
    struct TCase {
        const char* Url;
        const char* Host; // null: refused
        uint16_t Port = 0;
        int32_t Database = 0;
    } cases[] = {
        {"redis://127.0.0.1", "127.0.0.1", 6379, 0},
        {"redis://bus.example:6380/15", "bus.example", 6380, 15},
        {"redis://[::1]:7000/2", "::1", 7000, 2},
        {"redis://[::1]", "::1", 6379, 0},
        {"redis://host/16", nullptr},
        {"redis://host:0", nullptr},
        {"redis://host:99999", nullptr},
        {"redis://user@host", nullptr},
        {"redis://", nullptr},
        {"redis://[::1", nullptr},
        {"rediss://host", nullptr},
        {"http://host", nullptr},
    };
    for (const TCase& c : cases) {
        const std::optional<TRedisAddress> address = TRedisAddress::Parse(c.Url);
        ASSERT_EQ(address.has_value(), c.Host != nullptr) << c.Url;
        if (!address) continue;
        EXPECT_EQ(address->Host, c.Host) << c.Url;
        EXPECT_EQ(address->Port, c.Port) << c.Url;
        EXPECT_EQ(address->Database, c.Database) << c.Url;
    }
}

} // namespace
