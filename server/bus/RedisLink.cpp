#include "server/bus/RedisLink.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

// What hiredis and the socket waits point at. hiredis holds a raw pointer
// (ev.data) until its cleanup hook; the waits hold weak pointers, so a wait
// that completes after the link is gone does nothing.
struct TRedisLink::TState : std::enable_shared_from_this<TState> {
    TState(asio::io_context& io, TEvents events) : Socket(io), Events(std::move(events)) {}

    asio::posix::stream_descriptor Socket;
    TEvents Events;
    redisAsyncContext* Context = nullptr;
    bool Connected = false;
    bool WantRead = false, WantWrite = false;
    bool Reading = false, Writing = false;
    bool Destroying = false; // replies are dropped, not delivered, once the owner is gone

    void Wait(asio::posix::stream_descriptor::wait_type type) {
        const bool read = type == asio::posix::stream_descriptor::wait_read;
        bool& busy = read ? Reading : Writing;
        if (busy || !Socket.is_open()) return;
        busy = true;
        Socket.async_wait(type, [weak = weak_from_this(), read](const asio::error_code& error) {
            std::shared_ptr<TState> self = weak.lock();
            if (!self) return;
            (read ? self->Reading : self->Writing) = false;
            if (error || !self->Context) return;
            if (read)
                redisAsyncHandleRead(self->Context);
            else
                redisAsyncHandleWrite(self->Context);
            // hiredis may have freed the context (a closed socket) or still want more.
            if (self->Context && (read ? self->WantRead : self->WantWrite))
                self->Wait(read ? asio::posix::stream_descriptor::wait_read
                                : asio::posix::stream_descriptor::wait_write);
        });
    }

    static TState* Of(void* data) { return static_cast<TState*>(data); }
    static void AddRead(void* data) {
        Of(data)->WantRead = true;
        Of(data)->Wait(asio::posix::stream_descriptor::wait_read);
    }
    static void DelRead(void* data) { Of(data)->WantRead = false; }
    static void AddWrite(void* data) {
        Of(data)->WantWrite = true;
        Of(data)->Wait(asio::posix::stream_descriptor::wait_write);
    }
    static void DelWrite(void* data) { Of(data)->WantWrite = false; }
    // hiredis closes the socket itself: give it back without closing it.
    static void Cleanup(void* data) {
        TState* self = Of(data);
        self->WantRead = self->WantWrite = false;
        asio::error_code ignored;
        self->Socket.cancel(ignored);
        if (self->Socket.is_open()) self->Socket.release();
    }

    static void OnConnect(const redisAsyncContext* context, int status) {
        TState* self = Of(context->data);
        if (status != REDIS_OK) {
            // hiredis frees the context after this returns.
            self->Context = nullptr;
            self->Close(context->errstr ? context->errstr : "cannot connect");
            return;
        }
        self->Connected = true;
        if (self->Events.Connected) self->Events.Connected();
    }

    static void OnDisconnect(const redisAsyncContext* context, int status) {
        TState* self = Of(context->data);
        self->Context = nullptr;
        self->Connected = false;
        self->Close(status == REDIS_OK ? "closed" : (context->errstr ? context->errstr : "connection lost"));
    }

    void Close(const std::string& why) {
        if (Destroying || !Events.Closed) return;
        // Told once, from the loop rather than from inside hiredis, so that
        // the owner may destroy the link in its handler.
        asio::post(Socket.get_executor(), [weak = weak_from_this(), why] {
            if (std::shared_ptr<TState> self = weak.lock();
                self && !self->Destroying && self->Events.Closed) {
                auto closed = std::move(self->Events.Closed);
                self->Events.Closed = nullptr;
                closed(why);
            }
        });
    }

    static void OnReply(redisAsyncContext* context, void* reply, void* data) {
        std::unique_ptr<TReply> callback(static_cast<TReply*>(data));
        TState* self = Of(context->data);
        if (*callback && !self->Destroying) (*callback)(static_cast<const redisReply*>(reply));
    }

    // Stays registered for as long as the channel is subscribed: hiredis
    // calls it for the subscription's confirmation and for each message.
    static void OnMessage(redisAsyncContext* context, void* reply, void*) {
        TState* self = Of(context->data);
        const redisReply* r = static_cast<const redisReply*>(reply);
        if (self->Destroying || !r || r->type != REDIS_REPLY_ARRAY || r->elements != 3) return;
        const redisReply* kind = r->element[0];
        if (kind->type != REDIS_REPLY_STRING || std::string(kind->str, kind->len) != "message") return;
        const redisReply* channel = r->element[1];
        const redisReply* payload = r->element[2];
        if (channel->type == REDIS_REPLY_STRING && payload->type == REDIS_REPLY_STRING &&
            self->Events.Message)
            self->Events.Message(std::string(channel->str, channel->len),
                                 std::string(payload->str, payload->len));
    }
};

TRedisLink::TRedisLink(asio::io_context& io, TEvents events)
    : State(std::make_shared<TState>(io, std::move(events))) {}

TRedisLink::~TRedisLink() {
    State->Destroying = true;
    if (redisAsyncContext* context = State->Context) {
        State->Context = nullptr;
        // Calls every pending reply with nothing (dropped above) and the cleanup hook.
        redisAsyncFree(context);
    }
}

void TRedisLink::Connect(const std::string& host, uint16_t port) {
    redisAsyncContext* context = redisAsyncConnect(host.c_str(), port);
    if (!context) {
        State->Close("out of memory");
        return;
    }
    if (context->err) {
        const std::string why = context->errstr;
        redisAsyncFree(context);
        State->Close(why);
        return;
    }
    State->Context = context;
    context->data = State.get();
    context->ev.data = State.get();
    context->ev.addRead = TState::AddRead;
    context->ev.delRead = TState::DelRead;
    context->ev.addWrite = TState::AddWrite;
    context->ev.delWrite = TState::DelWrite;
    context->ev.cleanup = TState::Cleanup;
    State->Socket.assign(context->c.fd);
    redisAsyncSetConnectCallback(context, TState::OnConnect);
    redisAsyncSetDisconnectCallback(context, TState::OnDisconnect);
    // The connection completes when the socket becomes writable.
    TState::AddWrite(State.get());
}

bool TRedisLink::Up() const {
    return State->Context && State->Connected;
}

bool TRedisLink::Command(const std::vector<std::string>& words, TReply reply) {
    if (!Up()) return false;
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& word : words) {
        argv.push_back(word.data());
        lengths.push_back(word.size());
    }
    auto callback = std::make_unique<TReply>(std::move(reply));
    if (redisAsyncCommandArgv(State->Context, TState::OnReply, callback.get(), int(argv.size()), argv.data(),
                              lengths.data()) != REDIS_OK)
        return false;
    callback.release(); // OnReply owns it now
    return true;
}

bool TRedisLink::Subscribe(const std::string& channel) {
    if (!Up()) return false;
    const char* argv[] = {"SUBSCRIBE", channel.data()};
    const size_t lengths[] = {9, channel.size()};
    return redisAsyncCommandArgv(State->Context, TState::OnMessage, nullptr, 2, argv, lengths) == REDIS_OK;
}

bool TRedisLink::Unsubscribe(const std::string& channel) {
    if (!Up()) return false;
    const char* argv[] = {"UNSUBSCRIBE", channel.data()};
    const size_t lengths[] = {11, channel.size()};
    return redisAsyncCommandArgv(State->Context, TState::OnMessage, nullptr, 2, argv, lengths) == REDIS_OK;
}
