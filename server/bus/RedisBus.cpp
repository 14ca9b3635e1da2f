#include "server/bus/RedisBus.h"

#include "server/ServerLog.h"

#include <hiredis/hiredis.h>

TRedisBus::TRedisBus(asio::io_context& io, TServerLog& log, TRedisAddress address, TEvents events,
                     TTiming timing)
    : Io(io), Log(log), Address(std::move(address)), Events(std::move(events)), Timing(timing),
      Prefix("vantaro:" + std::to_string(Address.Database) + ":"), Backoff(timing.FirstRetry), Retry(io),
      ConnectDeadline(io) {}

TRedisBus::~TRedisBus() = default;

void TRedisBus::Start() {
    Connect();
}

void TRedisBus::Connect() {
    Ready = 0;
    auto events = [this](bool publisher) {
        TRedisLink::TEvents e;
        e.Connected = [this, publisher] {
            TRedisLink& link = publisher ? *Publisher : *Subscriber;
            if (!publisher) {
                LinkReady();
                return;
            }
            // Keys live in the cluster's database; channels do not need it.
            link.Command({"SELECT", std::to_string(Address.Database)}, [this](const redisReply* reply) {
                if (reply && reply->type == REDIS_REPLY_STATUS)
                    LinkReady();
                else
                    Down(reply && reply->type == REDIS_REPLY_ERROR ? std::string(reply->str, reply->len)
                                                                   : "cannot choose the database");
            });
        };
        e.Closed = [this](const std::string& why) { Down(why); };
        if (!publisher)
            e.Message = [this](const std::string& channel, const std::string& payload) {
                if (channel.rfind(Prefix, 0) == 0 && payload.size() <= MaxPayloadBytes && Events.Message)
                    Events.Message(channel.substr(Prefix.size()), payload);
            };
        return e;
    };
    Publisher = std::make_unique<TRedisLink>(Io, events(true));
    Subscriber = std::make_unique<TRedisLink>(Io, events(false));
    Publisher->Connect(Address.Host, Address.Port);
    Subscriber->Connect(Address.Host, Address.Port);
    // A host that swallows packets would leave both connecting for minutes.
    ConnectDeadline.expires_after(Timing.ConnectTimeout);
    ConnectDeadline.async_wait([this](const asio::error_code& error) {
        if (!error && Ready < 2)
            Down("no answer within " + std::to_string(Timing.ConnectTimeout.count()) + " ms");
    });
}

void TRedisBus::LinkReady() {
    if (++Ready < 2) return;
    ConnectDeadline.cancel();
    for (const std::string& channel : Channels) Subscriber->Subscribe(Prefix + channel);
    IsUp = true;
    Backoff = Timing.FirstRetry;
    Log.Write(std::string(WasEverUp ? "the bus is back: " : "bus on ") + "redis://" + Address.Host + ":" +
              std::to_string(Address.Port) + "/" + std::to_string(Address.Database));
    WasEverUp = true;
    if (Events.State) Events.State(true);
}

void TRedisBus::Down(const std::string& why) {
    if (!Publisher && !Subscriber) return; // already down and waiting to retry
    const bool wasUp = IsUp;
    IsUp = false;
    Ready = 0;
    ConnectDeadline.cancel();
    // Dropped from the loop's next turn: this may run inside one of their handlers.
    asio::post(Io,
               [old = std::make_shared<std::pair<std::unique_ptr<TRedisLink>, std::unique_ptr<TRedisLink>>>(
                    std::move(Publisher), std::move(Subscriber))] {});
    // Once per outage, not at every retry.
    if (wasUp || (!WasEverUp && Backoff == Timing.FirstRetry))
        Log.Write("the bus is down (" + why + "); retrying");
    if (wasUp && Events.State) Events.State(false);
    Retry.expires_after(Backoff);
    Backoff = std::min(Backoff * 2, Timing.LongestRetry);
    Retry.async_wait([this](const asio::error_code& error) {
        if (!error) Connect();
    });
}

bool TRedisBus::Publish(const std::string& channel, const std::string& payload) {
    if (!IsUp || payload.size() > MaxPayloadBytes) return false;
    return Publisher->Command({"PUBLISH", Prefix + channel, payload});
}

bool TRedisBus::Command(const std::vector<std::string>& words, TRedisLink::TReply reply) {
    return IsUp && Publisher->Command(words, std::move(reply));
}

void TRedisBus::Subscribe(const std::string& channel) {
    if (Channels.insert(channel).second && IsUp) Subscriber->Subscribe(Prefix + channel);
}

void TRedisBus::Unsubscribe(const std::string& channel) {
    if (Channels.erase(channel) && IsUp) Subscriber->Unsubscribe(Prefix + channel);
}
