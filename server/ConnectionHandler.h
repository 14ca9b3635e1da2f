#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using TSteadyTime = std::chrono::steady_clock::time_point;

// Who is at the other end of a connection, once TLS has shown it.
struct TPeer {
    uint64_t Id = 0;         // unique for the server's run
    std::string Address;     // as printed in the log
    std::string LimitKey;    // what the per-address limits count (an IPv6 address by its /64)
    std::string Ip;          // the address alone, as an address ban matches it
    std::string Fingerprint; // of the client's certificate
};

// What a connection's handler may ask of the transport.
class TConnectionLink {
public:
    virtual ~TConnectionLink() = default;
    virtual void Send(std::string bytes) = 0;
    // Closes once everything sent so far is written.
    virtual void Close() = 0;
    // Calls the handler's Woken at (or soon after) this time; a later call replaces it.
    virtual void WakeAt(TSteadyTime when) = 0;
};

// The protocol run for one connection, fed what arrives and the time. It
// never touches the socket; it answers through its link.
class TConnectionHandler {
public:
    virtual ~TConnectionHandler() = default;
    virtual void Received(std::string_view bytes, TSteadyTime now) = 0;
    virtual void Woken(TSteadyTime now) = 0;
    // The server is stopping: say so and close.
    virtual void Stopping(TSteadyTime now) = 0;
    // The connection is gone (either side closed it, or it failed); the
    // link must not be used any more.
    virtual void Closed(const std::string& reason) = 0;
};
