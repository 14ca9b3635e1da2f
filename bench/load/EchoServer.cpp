#include "bench/load/EchoServer.h"

#include <array>
#include <memory>

namespace {

class TEchoConnection : public std::enable_shared_from_this<TEchoConnection> {
public:
    TEchoConnection(asio::ip::tcp::socket socket, asio::ssl::context& tls) : Stream(std::move(socket), tls) {}

    void Start() {
        auto self = shared_from_this();
        Stream.async_handshake(asio::ssl::stream_base::server, [this, self](const asio::error_code& failed) {
            if (!failed) Read();
        });
    }

private:
    void Read() {
        auto self = shared_from_this();
        Stream.async_read_some(asio::buffer(Buffer),
                               [this, self](const asio::error_code& failed, size_t size) {
                                   if (failed) return;
                                   asio::async_write(Stream, asio::buffer(Buffer.data(), size),
                                                     [this, self](const asio::error_code& failed, size_t) {
                                                         if (!failed) Read();
                                                     });
                               });
    }

    asio::ssl::stream<asio::ip::tcp::socket> Stream;
    std::array<char, 1024> Buffer{};
};

} // namespace

TEchoServer::TEchoServer(asio::io_context& io, const TIdentity& identity)
    : Io(io), Tls(asio::ssl::context::tls_server), Acceptor(io) {
    SSL_CTX* context = Tls.native_handle();
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    // As the server does, so that the floor stays a fair comparison.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    Tls.use_certificate_chain(asio::buffer(identity.CertificatePem));
    Tls.use_private_key(asio::buffer(identity.KeyPem), asio::ssl::context::pem);
    Tls.set_verify_mode(asio::ssl::verify_peer | asio::ssl::verify_fail_if_no_peer_cert);
    Tls.set_verify_callback([](bool, asio::ssl::verify_context&) { return true; });
}

std::string TEchoServer::Listen(const std::string& address) {
    asio::error_code error;
    asio::ip::tcp::endpoint endpoint(asio::ip::make_address(address, error), 0);
    if (!error) Acceptor.open(endpoint.protocol(), error);
    if (!error) Acceptor.bind(endpoint, error);
    if (!error) Acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) return error.message();
    Accept();
    return {};
}

void TEchoServer::Accept() {
    Acceptor.async_accept([this](const asio::error_code& failed, asio::ip::tcp::socket socket) {
        if (!failed) {
            asio::error_code ignored;
            socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            std::make_shared<TEchoConnection>(std::move(socket), Tls)->Start();
        }
        Accept();
    });
}
