#pragma once

#include "server/bus/RedisAddress.h"
#include "server/bus/RedisLink.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

class TServerLog;

// What happens live between the server processes of one cluster, over Redis
// publish/subscribe: a process publishes on a channel and every process
// subscribed to it hears. Nothing here must last (that is the database's):
// while Redis is away, publishing fails at once and the bus reconnects by
// itself, backing off, and subscribes again to every channel it had; State
// tells the owner, who rebuilds what it knows from the others once the bus
// is back. Channels are kept apart per database number, so that clusters
// sharing one Redis do not hear each other. Runs on the server's thread.
class TRedisBus {
public:
    // A payload longer than this is neither sent nor delivered.
    static constexpr size_t MaxPayloadBytes = 64 * 1024;
    struct TTiming {
        std::chrono::milliseconds FirstRetry{250};
        std::chrono::milliseconds LongestRetry{5000};
        std::chrono::milliseconds ConnectTimeout{2000};
    };
    struct TEvents {
        TRedisLink::TMessage Message; // channel as subscribed, without the cluster's prefix
        std::function<void(bool up)> State;
    };

    TRedisBus(asio::io_context& io, TServerLog& log, TRedisAddress address, TEvents events, TTiming timing);
    ~TRedisBus();

    void Start();
    // False, at once, when the bus is down or the payload too long.
    bool Publish(const std::string& channel, const std::string& payload);
    void Subscribe(const std::string& channel);
    void Unsubscribe(const std::string& channel);
    bool Up() const { return IsUp; }
    // A command on the publishing connection (keys of the cluster's
    // database); false, at once, when the bus is down.
    bool Command(const std::vector<std::string>& words, TRedisLink::TReply reply = {});

private:
    void Connect();
    void Down(const std::string& why);
    void LinkReady();

    asio::io_context& Io;
    TServerLog& Log;
    TRedisAddress Address;
    TEvents Events;
    TTiming Timing;
    std::string Prefix; // "vantaro:DB:"
    std::unique_ptr<TRedisLink> Publisher, Subscriber;
    int Ready = 0; // links connected (and the database chosen) of the two
    bool IsUp = false;
    bool WasEverUp = false;
    std::chrono::milliseconds Backoff;
    asio::steady_timer Retry;
    asio::steady_timer ConnectDeadline;
    std::set<std::string> Channels;
};
