#include "server/cluster/ClusterLink.h"

#include "server/ClientSession.h"

TClusterLink::TClusterLink(asio::io_context& io, TServerLog& log, TClientSessions& sessions,
                           TRedisAddress address, std::string origin, int64_t nowMs,
                           TRedisBus::TTiming timing)
    : Sessions(sessions),
      Bus(io, log, std::move(address),
          {[this](const std::string&, const std::string& payload) {
               Sessions.Completed([&](int64_t now) { Sessions.Lobby().HandleCluster(payload, now); });
           },
           [this](bool up) {
               Sessions.Completed([&](int64_t now) { Sessions.Lobby().ClusterBus(up, now); });
           }},
          timing),
      PingTimer(io) {
    Sessions.Lobby().JoinCluster(origin, nowMs);
}

TClusterLink::~TClusterLink() {
    *Alive = false;
    Sessions.AfterFlush({});
}

void TClusterLink::TimeRoundTrips(THistogram& histogram) {
    RoundTrips = &histogram;
    Ping();
}

void TClusterLink::Ping() {
    const auto sent = std::chrono::steady_clock::now();
    Bus.Command({"PING"}, [this, sent, alive = Alive](const redisReply* reply) {
        if (*alive && reply && RoundTrips)
            RoundTrips->Observe(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count());
    });
    PingTimer.expires_after(PingMs);
    PingTimer.async_wait([this](const asio::error_code& error) {
        if (!error) Ping();
    });
}

void TClusterLink::Start() {
    Sessions.AfterFlush([this] { PublishOutgoing(); });
    Bus.Subscribe(Channel);
    // This process's own channel, for what others say to it alone.
    for (const auto& [channel, subscribe] : Sessions.Lobby().TakeClusterSubscriptions())
        if (subscribe) Bus.Subscribe(channel);
    Bus.Start();
}

// While the bus is down nothing is kept back: what others missed comes again
// in the whole set sent when it is back.
void TClusterLink::PublishOutgoing() {
    for (const auto& [channel, subscribe] : Sessions.Lobby().TakeClusterSubscriptions())
        subscribe ? Bus.Subscribe(channel) : Bus.Unsubscribe(channel);
    for (const auto& [channel, payload] : Sessions.Lobby().TakeClusterOutgoing())
        if (!Bus.Publish(channel, payload)) ++Lost;
}
