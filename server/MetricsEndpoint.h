#pragma once

#include <asio.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

class TServerLog;

// Plain HTTP for whoever watches the server: `GET /metrics` answers the
// figures in Prometheus's text format, `GET /health` answers whether this
// process serves (for a front's health checks). One request per connection;
// a request is bounded in size and time and the connections in number, since
// anyone who can reach the address can connect. Runs on the server's thread.
class TMetricsEndpoint {
public:
    struct TLimits {
        size_t MaxRequestBytes = 8 * 1024;
        std::chrono::milliseconds RequestTimeout{5000};
        size_t MaxConnections = 32;
    };
    using TTextSource = std::function<std::string()>;
    // Empty when healthy, else why not (answered with 503).
    using THealthSource = std::function<std::string()>;

    TMetricsEndpoint(asio::io_context& io, TServerLog& log, TTextSource metrics, THealthSource health,
                     TLimits limits);
    ~TMetricsEndpoint();

    // Binds and starts accepting; empty on success.
    std::string Listen(const std::string& address, uint16_t port);
    uint16_t Port() const { return BoundPort; }
    // Stops accepting and drops every request in progress.
    void Stop();

    // The answer to one request's head: status line, headers and body.
    std::string Answer(const std::string& head) const;

private:
    class TRequest;
    void Accept();

    asio::io_context& Io;
    TServerLog& Log;
    TTextSource Metrics;
    THealthSource Health;
    TLimits Limits;
    asio::ip::tcp::acceptor Acceptor;
    std::set<std::shared_ptr<TRequest>> Requests;
    uint16_t BoundPort = 0;
};
