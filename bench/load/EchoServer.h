#pragma once

#include "identity/Identity.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <string>

// The floor: a bare TLS echo over Asio with the server's TLS settings (TLS
// 1.3, a client certificate required, no tickets), and nothing else.
class TEchoServer {
public:
    TEchoServer(asio::io_context& io, const TIdentity& identity);
    // Binds to address on any free port; empty on success.
    std::string Listen(const std::string& address);
    uint16_t Port() const { return Acceptor.local_endpoint().port(); }

private:
    void Accept();

    asio::io_context& Io;
    asio::ssl::context Tls;
    asio::ip::tcp::acceptor Acceptor;
};
