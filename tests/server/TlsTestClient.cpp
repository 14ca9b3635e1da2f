#include "TlsTestClient.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

constexpr auto Wait = std::chrono::seconds(10);

} // namespace

asio::ssl::context ClientContext(const TIdentity* identity) {
    asio::ssl::context tls(asio::ssl::context::tls_client);
    // The tests look at the server's fingerprint themselves.
    tls.set_verify_mode(asio::ssl::verify_none);
    if (identity) {
        tls.use_certificate_chain(asio::buffer(identity->CertificatePem));
        tls.use_private_key(asio::buffer(identity->KeyPem), asio::ssl::context::pem);
    }
    return tls;
}

TTlsTestClient::TTlsTestClient(const TIdentity* identity) : Tls(ClientContext(identity)), Stream(Io, Tls) {}

TTlsTestClient::~TTlsTestClient() {
    Disconnect();
}

template <typename TStart> std::optional<asio::error_code> TTlsTestClient::Finish(TStart start) {
    std::optional<asio::error_code> result;
    start([&](const asio::error_code& error) { result = error; });
    Io.restart();
    Io.run_for(Wait);
    if (result) return result;
    // Cancelled, the operation still calls its handler: let it, then say it stalled.
    asio::error_code ignored;
    Stream.lowest_layer().cancel(ignored);
    Io.restart();
    Io.run_for(Wait);
    return std::nullopt;
}

template <typename TStart> bool TTlsTestClient::Run(TStart start) {
    std::optional<asio::error_code> result = Finish(start);
    return result && !*result;
}

bool TTlsTestClient::Connect(uint16_t port, const std::string& source, const std::string& prefix) {
    asio::error_code error;
    auto& socket = Stream.lowest_layer();
    socket.open(asio::ip::tcp::v4(), error);
    socket.bind({asio::ip::make_address(source), 0}, error);
    if (error) return false;
    if (!Run([&](auto done) { socket.async_connect({asio::ip::make_address("127.0.0.1"), port}, done); }))
        return false;
    if (!prefix.empty() && !Run([&](auto done) {
            asio::async_write(Stream.next_layer(), asio::buffer(prefix),
                              [done](const asio::error_code& e, size_t) { done(e); });
        }))
        return false;
    if (!Run([&](auto done) { Stream.async_handshake(asio::ssl::stream_base::client, done); })) return false;
    if (X509* certificate = SSL_get1_peer_certificate(Stream.native_handle())) {
        unsigned char* der = nullptr;
        int size = i2d_X509(certificate, &der);
        ServerFingerprint = DerFingerprint(der, size_t(size));
        OPENSSL_free(der);
        X509_free(certificate);
    }
    return true;
}

bool TTlsTestClient::ConnectPlain(uint16_t port) {
    Plain = true;
    return Run([&](auto done) {
        Stream.lowest_layer().async_connect({asio::ip::make_address("127.0.0.1"), port}, done);
    });
}

bool TTlsTestClient::Send(const std::string& bytes) {
    return Run([&](auto done) {
        asio::async_write(Stream, asio::buffer(bytes),
                          [done](const asio::error_code& error, size_t) { done(error); });
    });
}

std::optional<std::string> TTlsTestClient::ReadLine() {
    while (Pending.find('\n') == std::string::npos) {
        char buffer[4096];
        size_t got = 0;
        auto read = [&](auto done) {
            auto handler = [&got, done](const asio::error_code& error, size_t size) {
                got = size;
                done(error);
            };
            if (Plain)
                Stream.next_layer().async_read_some(asio::buffer(buffer), handler);
            else
                Stream.async_read_some(asio::buffer(buffer), handler);
        };
        if (!Run(read)) return std::nullopt;
        Pending.append(buffer, got);
    }
    size_t end = Pending.find('\n') + 1;
    std::string line = Pending.substr(0, end);
    Pending.erase(0, end);
    return line;
}

bool TTlsTestClient::WaitClosed() {
    for (int i = 0; i < 10000; ++i) {
        char buffer[4096];
        std::optional<asio::error_code> read = Finish([&](auto done) {
            auto handler = [done](const asio::error_code& error, size_t) { done(error); };
            if (Plain)
                Stream.next_layer().async_read_some(asio::buffer(buffer), handler);
            else
                Stream.async_read_some(asio::buffer(buffer), handler);
        });
        if (!read) return false;
        if (*read) return true;
    }
    return false;
}

bool TTlsTestClient::ClosedCleanly() {
    return !Plain && (SSL_get_shutdown(Stream.native_handle()) & SSL_RECEIVED_SHUTDOWN) != 0;
}

void TTlsTestClient::Disconnect() {
    asio::error_code ignored;
    Stream.lowest_layer().close(ignored);
}

std::string HttpExchange(uint16_t port, const std::string& request) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    asio::error_code error;
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
    if (error) return "connect: " + error.message();
    asio::write(socket, asio::buffer(request), error);
    std::string answer;
    std::array<char, 4096> chunk;
    while (size_t count = socket.read_some(asio::buffer(chunk), error)) answer.append(chunk.data(), count);
    return answer;
}
