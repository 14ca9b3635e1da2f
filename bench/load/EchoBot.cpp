#include "bench/load/EchoBot.h"

TEchoBot::TEchoBot(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key,
                   TLoadStats& stats, int thinkMinMs, int thinkMaxMs, uint32_t seed)
    : TBotConnection(io, tls, certificate, key), Stats(stats), ThinkMinMs(thinkMinMs), ThinkMaxMs(thinkMaxMs),
      Random(seed), Timer(io) {}

void TEchoBot::OnEstablished() {
    ++Stats.Connected;
    AfterThink();
}

void TEchoBot::OnFailed() {
    Timer.cancel();
    --Stats.Connected;
    ++Stats.Failed;
    if (!FailureReason().empty()) Stats.Problem("echo: " + FailureReason());
}

void TEchoBot::AfterThink() {
    Timer.expires_after(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(ThinkMinMs, ThinkMaxMs)(Random)));
    auto self = shared_from_this();
    Timer.async_wait([this, self](const asio::error_code& cancelled) {
        if (cancelled || Failed()) return;
        SentAt = TLoadStats::TClock::now();
        // About as long as the "moved" line the server sends.
        SendLine("{\"index\":3,\"seat\":1,\"slot\":2,\"table\":1234,\"type\":\"moved\",\"x\":1,\"y\":0}");
    });
}

void TEchoBot::OnLine(std::string_view) {
    Stats.Latency(SentAt, TLoadStats::TClock::now());
    AfterThink();
}
