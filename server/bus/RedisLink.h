#pragma once

#include <asio.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct redisAsyncContext;
struct redisReply;

// One connection to Redis through hiredis, its socket driven by the server's
// Asio loop: hiredis parses and writes the protocol, Asio says when the
// socket is ready. Everything runs on the loop's thread. Once it is down
// (Closed called) a link stays down: the owner makes a new one to reconnect.
class TRedisLink {
public:
    // The reply to one command; null when the link went down before it came.
    using TReply = std::function<void(const redisReply* reply)>;
    // A message on a subscribed channel: the channel and its payload.
    using TMessage = std::function<void(const std::string& channel, const std::string& payload)>;
    struct TEvents {
        std::function<void()> Connected;
        std::function<void(const std::string& why)> Closed; // once, never after the link is destroyed
        TMessage Message;
    };

    TRedisLink(asio::io_context& io, TEvents events);
    ~TRedisLink();
    TRedisLink(const TRedisLink&) = delete;
    TRedisLink& operator=(const TRedisLink&) = delete;

    // Starts connecting; Connected or Closed follows.
    void Connect(const std::string& host, uint16_t port);
    // Sends one command; false (and no reply) when the link is down.
    bool Command(const std::vector<std::string>& words, TReply reply = {});
    // SUBSCRIBE / UNSUBSCRIBE; what arrives on a channel goes to Message.
    bool Subscribe(const std::string& channel);
    bool Unsubscribe(const std::string& channel);
    bool Up() const;

private:
    struct TState;
    std::shared_ptr<TState> State; // shared with the pending socket waits, which may outlive this
};
