#pragma once

#include "bench/load/BotConnection.h"
#include "bench/load/LoadStats.h"

#include <random>

// The floor's client: after the same think times as a player it sends a
// line of a move's size and waits for it to come back.
class TEchoBot : public TBotConnection {
public:
    TEchoBot(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key,
             TLoadStats& stats, int thinkMinMs, int thinkMaxMs, uint32_t seed);

private:
    void OnEstablished() override;
    void OnLine(std::string_view line) override;
    void OnFailed() override;
    void AfterThink();

    TLoadStats& Stats;
    int ThinkMinMs;
    int ThinkMaxMs;
    std::mt19937 Random;
    asio::steady_timer Timer;
    TLoadStats::TClock::time_point SentAt;
};
