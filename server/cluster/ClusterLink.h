#pragma once

#include "server/Histogram.h"
#include "server/bus/RedisBus.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class TClientSessions;
class TServerLog;

// The lobby's side of the bus: what the lobby has for the other processes is
// published once each flush, what they publish is handed to it on the loop,
// and the bus going down or coming back is told to it. The lobby itself knows
// nothing of Redis.
class TClusterLink {
public:
    static constexpr const char* Channel = "lobby";

    // sessions must outlive this; origin names this process on the bus.
    TClusterLink(asio::io_context& io, TServerLog& log, TClientSessions& sessions, TRedisAddress address,
                 std::string origin, int64_t nowMs, TRedisBus::TTiming timing = {});
    ~TClusterLink();

    void Start();
    // Messages the bus was down for or refused.
    size_t Unsent() const { return Lost; }
    // Times a round trip to Redis every PingMs into histogram, which must outlive this.
    void TimeRoundTrips(THistogram& histogram);

    static constexpr std::chrono::milliseconds PingMs{2000};

private:
    void PublishOutgoing();
    void Ping();

    TClientSessions& Sessions;
    TRedisBus Bus;
    size_t Lost = 0;
    THistogram* RoundTrips = nullptr;
    asio::steady_timer PingTimer;
    // A reply may come after this is gone: it looks here first.
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};
