#include "bench/load/BotConnection.h"

TBotConnection::TBotConnection(asio::io_context& io, asio::ssl::context& tls, X509* certificate,
                               EVP_PKEY* key)
    : Io(io), Stream(io, tls) {
    // One context for every bot, each connection with its own identity.
    SSL_use_certificate(Stream.native_handle(), certificate);
    SSL_use_PrivateKey(Stream.native_handle(), key);
}

void TBotConnection::Start(const asio::ip::address_v4& source, const asio::ip::tcp::endpoint& server) {
    asio::error_code error;
    asio::ip::tcp::socket& socket = Stream.next_layer();
    socket.open(asio::ip::tcp::v4(), error);
    if (!error) socket.bind(asio::ip::tcp::endpoint(source, 0), error);
    if (error) {
        Fail("bind: " + error.message());
        return;
    }
    auto self = shared_from_this();
    socket.async_connect(server, [this, self](const asio::error_code& failed) {
        if (failed) {
            Fail("connect: " + failed.message());
            return;
        }
        asio::error_code ignored;
        Stream.lowest_layer().set_option(asio::ip::tcp::no_delay(true), ignored);
        Stream.async_handshake(asio::ssl::stream_base::client, [this, self](const asio::error_code& failed) {
            if (failed) {
                Fail("handshake: " + failed.message());
                return;
            }
            IsEstablished = true;
            OnEstablished();
            Read();
        });
    });
}

void TBotConnection::Read() {
    auto self = shared_from_this();
    Stream.async_read_some(asio::buffer(Buffer), [this, self](const asio::error_code& failed, size_t size) {
        if (failed) {
            Fail(Closed ? "" : "read: " + failed.message());
            return;
        }
        std::string_view bytes(Buffer.data(), size);
        while (!bytes.empty()) {
            size_t end = bytes.find('\n');
            if (end == std::string_view::npos) {
                Partial.append(bytes);
                break;
            }
            if (Partial.empty()) {
                OnLine(bytes.substr(0, end));
            } else {
                Partial.append(bytes.substr(0, end));
                std::string line = std::move(Partial);
                Partial.clear();
                OnLine(line);
            }
            bytes.remove_prefix(end + 1);
        }
        if (!Closed) Read();
    });
}

void TBotConnection::SendLine(std::string line) {
    if (Closed || !IsEstablished) return;
    line += '\n';
    Queue.push_back(std::move(line));
    if (!Writing) Write();
}

void TBotConnection::Write() {
    Writing = true;
    auto self = shared_from_this();
    asio::async_write(Stream, asio::buffer(Queue.front()),
                      [this, self](const asio::error_code& failed, size_t) {
                          Writing = false;
                          if (failed) {
                              Fail("write: " + failed.message());
                              return;
                          }
                          Queue.pop_front();
                          if (!Queue.empty() && !Closed) Write();
                      });
}

void TBotConnection::Shut() {
    if (Closed) return;
    Closed = true;
    asio::error_code ignored;
    Stream.lowest_layer().close(ignored);
}

void TBotConnection::Fail(const std::string& what) {
    bool wasClosed = Closed;
    Closed = true;
    asio::error_code ignored;
    Stream.lowest_layer().close(ignored);
    if (!wasClosed && Failure.empty()) {
        Failure = what;
        OnFailed();
    }
}
