#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <openssl/ssl.h>

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

// One bot's TLS connection from its own loopback address, showing its own
// certificate: lines in to OnLine, lines out in order. Subclasses say what
// the bot does; the connection only carries bytes.
class TBotConnection : public std::enable_shared_from_this<TBotConnection> {
public:
    TBotConnection(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key);
    virtual ~TBotConnection() = default;

    // Binds to source, connects to server, handshakes, then calls OnEstablished.
    void Start(const asio::ip::address_v4& source, const asio::ip::tcp::endpoint& server);
    void SendLine(std::string line);
    void Shut();
    bool Established() const { return IsEstablished; }
    bool Failed() const { return !Failure.empty(); }
    const std::string& FailureReason() const { return Failure; }

protected:
    virtual void OnEstablished() = 0;
    virtual void OnLine(std::string_view line) = 0;
    virtual void OnFailed() {}
    asio::io_context& Io;

private:
    void Fail(const std::string& what);
    void Read();
    void Write();

    asio::ssl::stream<asio::ip::tcp::socket> Stream;
    std::deque<std::string> Queue;
    std::string Partial;
    std::string Failure;
    bool Writing = false;
    bool IsEstablished = false;
    bool Closed = false;
    std::array<char, 4096> Buffer{};
};
