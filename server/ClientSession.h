#pragma once

#include "server/ConnectionHandler.h"
#include "server/Lobby.h"

#include <asio.hpp>

#include <functional>
#include <unordered_map>

class TAddressLimits;
class TServerLog;
struct TServerMetrics;
class TStorage;

// Connects the transport to the lobby: each connection runs the protocol core
// (TNetConnection: lines, size and rate limits, hello, silence), whose lines
// are decoded and handed to the lobby;
// the lobby's lines go out through the connections they are for, and its
// clocks run on a timer.
class TClientSessions {
public:
    struct TLimits {
        int MaxMessagesPerSecond = 60;
        int MaxBytesPerSecond = 64 * 1024;
        int64_t SilenceMs = 30'000; // a client must send a whole line (a ping will do) this often
        int64_t PartialMs = 5'000;  // and finish a line this soon after its first byte (0: no bound)
        int64_t HelloMs = 5'000;    // and introduce itself this soon after connecting
    };
    using TClock = std::function<int64_t()>; // milliseconds since 1970

    TClientSessions(asio::io_context& io, TStorage& storage, TServerLog& log, TAddressLimits& addresses,
                    TRefereeFactory referees, TLobby::TSeedSource seeds, TClock clock, TLimits limits);
    ~TClientSessions();

    std::unique_ptr<TConnectionHandler> Open(TConnectionLink& link, const TPeer& peer);
    TLobby& Lobby() { return TheLobby; }
    // For connections made from now on.
    void SetLimits(const TLimits& limits) { Limits = limits; }
    // Counts moves and refusals into metrics from now on; it must outlive this.
    void CountInto(TServerMetrics& metrics) {
        Metrics = &metrics;
        TheLobby.CountInto(metrics);
    }
    // The lobby's moves are stored through runner from now on; it must outlive this.
    void StoreThrough(TStorageRunner& runner) {
        TheLobby.StoreThrough(runner);
        StoresAside = true;
    }
    void ReadThrough(TStorageRunner& runner) { TheLobby.ReadThrough(runner); }
    // Sends what the lobby has to say and sets its timer; after any change to
    // it. Then calls afterFlush, when set (the lobby's messages for the bus).
    void Flush();
    void AfterFlush(std::function<void()> afterFlush) { AfterFlushHook = std::move(afterFlush); }
    // Runs a storage job's completion on the lobby, with the time now, and flushes.
    void Completed(const std::function<void(int64_t nowMs)>& completion);

private:
    friend class TClientSession;
    void Closed(uint64_t connection);

    asio::steady_timer Timer;
    int64_t TimerAtMs = TLobby::Never; // the lobby deadline the timer waits for
    TServerLog& Log;
    TClock Clock;
    TLimits Limits;
    TLobby TheLobby;
    std::unordered_map<uint64_t, TConnectionLink*> Links;
    TServerMetrics* Metrics = nullptr;
    bool StoresAside = false; // moves are answered after the request, when stored
    std::function<void()> AfterFlushHook;
};
