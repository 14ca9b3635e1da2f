#include "server/TlsServer.h"

#include "server/ProxyHeader.h"
#include "server/ServerLog.h"
#include "server/TlsConnection.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>

namespace {

constexpr auto LingerTime = std::chrono::seconds(2);
constexpr auto AcceptRetry = std::chrono::milliseconds(100);

asio::ip::address Unmapped(asio::ip::address address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

std::string AddressText(const asio::ip::tcp::endpoint& endpoint) {
    const asio::ip::address address = Unmapped(endpoint.address());
    std::string host = address.to_string();
    return (address.is_v6() ? "[" + host + "]" : host) + ":" + std::to_string(endpoint.port());
}

std::string PeerFingerprint(SSL* ssl) {
    X509* certificate = SSL_get1_peer_certificate(ssl);
    if (certificate == nullptr) return {};
    unsigned char* der = nullptr;
    int size = i2d_X509(certificate, &der);
    std::string fingerprint = size > 0 ? DerFingerprint(der, size_t(size)) : std::string();
    OPENSSL_free(der);
    X509_free(certificate);
    return fingerprint;
}

} // namespace

TTlsConnection::TTlsConnection(TTlsServer& server, asio::ip::tcp::socket socket, TPeer peer, bool proxied)
    : Server(server), Stream(std::move(socket), server.Tls), Deadline(server.Io), WakeTimer(server.Io),
      PeerInfo(std::move(peer)), Proxied(proxied) {}

void TTlsConnection::Start() {
    auto self = shared_from_this();
    // One deadline for the front's header and the handshake together.
    Deadline.expires_after(Server.Limits.HandshakeTimeout);
    Deadline.async_wait([self](const asio::error_code& error) {
        if (!error)
            self->Finish(self->Proxied && !self->Admitted ? "no PROXY header in time"
                                                          : "no TLS handshake in time");
    });
    if (Proxied)
        ReadProxyHeader();
    else
        Handshake();
}

void TTlsConnection::ReadProxyHeader() {
    // Exactly the header's bytes: what follows is the client's TLS.
    const TProxyHeader header = TProxyHeader::Parse(ProxyBytes);
    if (header.Status == TProxyHeader::TStatus::NeedMore) {
        const size_t have = ProxyBytes.size();
        ProxyBytes.resize(header.Bytes);
        asio::async_read(Stream.next_layer(), asio::buffer(ProxyBytes.data() + have, header.Bytes - have),
                         [self = shared_from_this()](const asio::error_code& error, size_t) {
                             if (self->Finished) return;
                             if (error) return self->Finish("no PROXY header: " + error.message());
                             self->ReadProxyHeader();
                         });
        return;
    }
    if (header.Status == TProxyHeader::TStatus::Bad) return Finish(header.Error);
    if (header.Status == TProxyHeader::TStatus::Client) {
        PeerInfo.Address = AddressText(header.Source) + " (through " + PeerInfo.Address + ")";
        PeerInfo.LimitKey = TTlsServer::LimitKeyOf(Unmapped(header.Source.address()));
        PeerInfo.Ip = Unmapped(header.Source.address()).to_string();
    }
    ProxyBytes = std::string();
    if (std::string refused = Server.Admit(PeerInfo); !refused.empty()) return Finish(refused);
    Admitted = true;
    Handshake();
}

void TTlsConnection::Handshake() {
    auto self = shared_from_this();
    Stream.async_handshake(asio::ssl::stream_base::server, [self](const asio::error_code& error) {
        if (self->Finished) return;
        self->Deadline.cancel();
        if (error) {
            self->Finish("TLS handshake failed: " + error.message());
            return;
        }
        self->PeerInfo.Fingerprint = PeerFingerprint(self->Stream.native_handle());
        if (self->PeerInfo.Fingerprint.empty()) {
            self->Finish("no client certificate");
            return;
        }
        self->Established = true;
        self->Server.Log.Write("connection " + std::to_string(self->PeerInfo.Id) + " from " +
                               self->PeerInfo.Address + ", certificate " + self->PeerInfo.Fingerprint);
        self->Handler = self->Server.Factory(*self, self->PeerInfo);
        if (self->Server.Stopping) self->Stop();
        self->Read();
    });
}

void TTlsConnection::Read() {
    auto self = shared_from_this();
    Stream.async_read_some(asio::buffer(Buffer), [self](const asio::error_code& error, size_t size) {
        if (self->Finished) return;
        if (error) {
            const bool ended = error == asio::error::eof || error == asio::ssl::error::stream_truncated;
            self->Finish(ended && self->ShutDown ? std::string("closed")
                         : ended                 ? std::string("closed by the client")
                                                 : "read failed: " + error.message());
            return;
        }
        // Once closing, what still arrives is read only to let the close end cleanly.
        if (!self->Closing && self->Handler)
            self->Handler->Received(std::string_view(self->Buffer.data(), size),
                                    std::chrono::steady_clock::now());
        if (!self->Finished) self->Read();
    });
}

void TTlsConnection::Send(std::string bytes) {
    if (Finished || Closing || bytes.empty()) return;
    QueuedBytes += bytes.size();
    if (QueuedBytes > Server.Limits.MaxQueuedBytes) {
        // Not from inside the handler's own call: it may be in the middle of
        // changing its state.
        Closing = true;
        asio::post(Server.Io, [self = shared_from_this()] { self->Finish("not reading what it is sent"); });
        return;
    }
    Queue.push_back(std::move(bytes));
    if (!Writing) Write();
}

void TTlsConnection::Write() {
    Writing = true;
    // What piled up goes out as one write: TLS records and system calls per
    // write, not per line.
    if (Queue.size() > 1) {
        std::string joined;
        joined.reserve(QueuedBytes);
        for (std::string& part : Queue) joined += part;
        Queue.clear();
        Queue.push_back(std::move(joined));
    }
    auto self = shared_from_this();
    asio::async_write(Stream, asio::buffer(Queue.front()), [self](const asio::error_code& error, size_t) {
        self->Writing = false;
        if (self->Finished) return;
        if (error) {
            self->Finish("write failed: " + error.message());
            return;
        }
        self->QueuedBytes -= self->Queue.front().size();
        self->Queue.pop_front();
        if (!self->Queue.empty())
            self->Write();
        else if (self->Closing)
            self->Shutdown();
    });
}

void TTlsConnection::Close() {
    if (Finished || Closing) return;
    Closing = true;
    if (!Writing)
        asio::post(Server.Io, [self = shared_from_this()] {
            if (!self->Finished && !self->Writing) self->Shutdown();
        });
}

void TTlsConnection::Shutdown() {
    if (ShutDown || Finished) return;
    ShutDown = true;
    auto self = shared_from_this();
    Deadline.expires_after(LingerTime);
    Deadline.async_wait([self](const asio::error_code& error) {
        if (!error) self->Finish("closed");
    });
    // close_notify goes out, so that the client reads a clean end rather than
    // a truncated stream; the shutdown is done when the client answers with
    // its own, or closes (the read still running sees that first, as a rule).
    Stream.async_shutdown([self](const asio::error_code&) { self->Finish("closed"); });
}

void TTlsConnection::WakeAt(TSteadyTime when) {
    if (Finished) return;
    WakeTimer.expires_at(when);
    WakeTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
        if (!error && !self->Finished && self->Handler && !self->Closing)
            self->Handler->Woken(std::chrono::steady_clock::now());
    });
}

void TTlsConnection::Stop() {
    // A connection still in its handshake is told once that ends (or is
    // dropped at the stop's deadline).
    if (Finished || !Established || !Handler) return;
    if (!Closing) Handler->Stopping(std::chrono::steady_clock::now());
    Close();
}

void TTlsConnection::Finish(const std::string& reason) {
    if (Finished) return;
    Finished = true;
    Deadline.cancel();
    WakeTimer.cancel();
    asio::error_code ignored;
    Stream.lowest_layer().close(ignored);
    if (Established)
        Server.Log.Write("connection " + std::to_string(PeerInfo.Id) + " closed: " + reason);
    else
        Server.Log.Write("connection from " + PeerInfo.Address + " dropped: " + reason);
    if (Handler) Handler->Closed(reason);
    Handler.reset();
    Server.Removed(this);
}

TTlsServer::TTlsServer(asio::io_context& io, TServerLog& log, TAddressLimits& addresses,
                       THandlerFactory factory, TLimits limits)
    : Io(io), Log(log), Factory(std::move(factory)), Limits(limits), Tls(asio::ssl::context::tls_server),
      Acceptor(io), AcceptPause(io), StopDeadline(io), Addresses(addresses) {
    Addresses.MaxConnections = Limits.MaxPerAddress;
    for (asio::ip::address& front : Limits.Fronts) front = Unmapped(front);
    SSL_CTX* context = Tls.native_handle();
    // Our own clients speak TLS 1.3; nothing older is needed.
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    // Most clients are idle most of the time: their record buffers go back
    // to the allocator between records rather than staying with each of them.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    // Clients must show a certificate, but it is their own: any will do, and
    // its fingerprint is who they are.
    Tls.set_verify_mode(asio::ssl::verify_peer | asio::ssl::verify_fail_if_no_peer_cert);
    Tls.set_verify_callback([](bool, asio::ssl::verify_context&) { return true; });
}

TTlsServer::~TTlsServer() {
    while (!Connections.empty()) Connections.begin()->second->Finish("server ended");
}

std::string TTlsServer::UseIdentity(const TIdentity& identity) {
    asio::error_code error;
    Tls.use_certificate_chain(asio::buffer(identity.CertificatePem), error);
    if (!error) Tls.use_private_key(asio::buffer(identity.KeyPem), asio::ssl::context::pem, error);
    if (error) return "cannot use the certificate: " + error.message();
    return {};
}

std::string TTlsServer::Listen(const std::string& address, uint16_t port) {
    asio::error_code error;
    asio::ip::address host = asio::ip::make_address(address, error);
    if (error) return "'" + address + "' is not an IP address";
    asio::ip::tcp::endpoint endpoint(host, port);
    Acceptor.open(endpoint.protocol(), error);
    if (!error) Acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    if (!error && host.is_v6()) Acceptor.set_option(asio::ip::v6_only(false), error);
    if (!error) Acceptor.bind(endpoint, error);
    if (!error) Acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        asio::error_code ignored;
        Acceptor.close(ignored);
        return "cannot listen on " + AddressText(endpoint) + ": " + error.message();
    }
    BoundPort = Acceptor.local_endpoint().port();
    Accept();
    return {};
}

std::string TTlsServer::LimitKeyOf(const asio::ip::address& address) {
    if (address.is_v4()) return address.to_string();
    asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    // One home or one host gets a whole /64: count it as one address.
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    for (size_t i = 8; i < bytes.size(); ++i) bytes[i] = 0;
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

void TTlsServer::Accept() {
    Acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || Stopping) return;
        if (error) {
            // Out of descriptors, most likely: wait a little rather than spin.
            Log.Write("cannot accept a connection: " + error.message());
            AcceptPause.expires_after(AcceptRetry);
            AcceptPause.async_wait([this](const asio::error_code& waited) {
                if (!waited && !Stopping) Accept();
            });
            return;
        }
        asio::error_code ignored;
        asio::ip::tcp::endpoint remote = socket.remote_endpoint(ignored);
        TPeer peer;
        peer.Id = NextId++;
        peer.Address = AddressText(remote);
        peer.LimitKey = LimitKeyOf(remote.address());
        peer.Ip = Unmapped(remote.address()).to_string();
        const bool proxied = std::find(Limits.Fronts.begin(), Limits.Fronts.end(),
                                       Unmapped(remote.address())) != Limits.Fronts.end();
        std::string refused;
        if (int(Connections.size()) >= Limits.MaxConnections)
            Log.Write("refused " + peer.Address + ": the server is full");
        else if (!proxied && !(refused = Admit(peer)).empty())
            Log.Write("refused " + peer.Address + ": " + refused);
        else {
            socket.set_option(asio::ip::tcp::no_delay(true), ignored);
            auto connection =
                std::make_shared<TTlsConnection>(*this, std::move(socket), std::move(peer), proxied);
            Connections.emplace(connection.get(), connection);
            connection->Start();
        }
        Accept();
    });
}

std::string TTlsServer::Admit(const TPeer& peer) {
    if (Addresses.TryOpen(peer.LimitKey)) return {};
    return Addresses.Connections(peer.LimitKey) > 0
               ? "more than " + std::to_string(Limits.MaxPerAddress) + " connections from " + peer.LimitKey
               : std::string("too many addresses to keep count of");
}

void TTlsServer::Removed(TTlsConnection* connection) {
    auto found = Connections.find(connection);
    if (found == Connections.end()) return;
    if (connection->Counted()) Addresses.Closed(connection->Peer().LimitKey);
    // The connection may be running this very call; keep it alive until it returns.
    asio::post(Io, [keep = std::move(found->second)] {});
    Connections.erase(found);
    CheckStopped();
}

void TTlsServer::Stop(std::function<void()> done) {
    Stopping = true;
    StopDone = std::move(done);
    asio::error_code ignored;
    Acceptor.close(ignored);
    AcceptPause.cancel();
    std::vector<std::shared_ptr<TTlsConnection>> open;
    for (auto& [pointer, connection] : Connections) open.push_back(connection);
    for (auto& connection : open) connection->Stop();
    StopDeadline.expires_after(Limits.StopTimeout);
    StopDeadline.async_wait([this](const asio::error_code& error) {
        if (error) return;
        while (!Connections.empty())
            Connections.begin()->second->Finish("server stopped before the connection closed");
    });
    CheckStopped();
}

void TTlsServer::CheckStopped() {
    if (!Stopping || !Connections.empty() || !StopDone) return;
    StopDeadline.cancel();
    auto done = std::move(StopDone);
    StopDone = nullptr;
    done();
}
