#pragma once

#include "server/bus/RedisBus.h"

#include <cstdint>
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

private:
    void PublishOutgoing();

    TClientSessions& Sessions;
    TRedisBus Bus;
    size_t Lost = 0;
};
