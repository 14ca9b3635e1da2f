#pragma once

#include "identity/Identity.h"
#include "server/AddressLimits.h"
#include "server/ConnectionHandler.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class TServerLog;
class TTlsConnection;

// Accepts TLS connections on one io_context and runs a handler per
// connection. Every client shows a certificate, self-signed as a rule: the
// server does not judge it, it only takes its fingerprint as the player's
// identity. Everything runs on the thread that runs the io_context; the
// io_context must not run after this object is destroyed.
class TTlsServer {
public:
    struct TLimits {
        int MaxConnections = 20000;
        int MaxPerAddress = 8;
        std::chrono::milliseconds HandshakeTimeout{10000};
        std::chrono::milliseconds StopTimeout{4000};
        // A client that lets this much pile up unread is dropped.
        size_t MaxQueuedBytes = 256 * 1024;
        // TCP fronts whose connections begin with a PROXY protocol v2 header
        // naming the client, whose address then counts for every limit.
        std::vector<asio::ip::address> Fronts;
    };
    using THandlerFactory =
        std::function<std::unique_ptr<TConnectionHandler>(TConnectionLink& link, const TPeer& peer)>;

    // The per-address limits are shared with the lobby, which counts new names.
    TTlsServer(asio::io_context& io, TServerLog& log, TAddressLimits& addresses, THandlerFactory factory,
               TLimits limits);
    ~TTlsServer();

    // Loads the identity into the TLS context; empty on success.
    std::string UseIdentity(const TIdentity& identity);
    // Binds and starts accepting; empty on success.
    std::string Listen(const std::string& address, uint16_t port);
    uint16_t Port() const { return BoundPort; }

    // Stops accepting, lets every handler say goodbye, waits for the writes
    // (at most StopTimeout), then calls done.
    void Stop(std::function<void()> done);

    size_t ConnectionCount() const { return Connections.size(); }
    // Both bound new connections only: none is dropped for a lower bound.
    void SetConnectionLimits(int maxConnections, int maxPerAddress) {
        Limits.MaxConnections = maxConnections;
        Limits.MaxPerAddress = Addresses.MaxConnections = maxPerAddress;
    }
    TAddressLimits& AddressLimits() { return Addresses; }

    static std::string LimitKeyOf(const asio::ip::address& address);

private:
    friend class TTlsConnection;
    void Accept();
    // Takes a place for the peer in its address's count; empty, or why not.
    std::string Admit(const TPeer& peer);
    void Removed(TTlsConnection* connection);
    void CheckStopped();

    asio::io_context& Io;
    TServerLog& Log;
    THandlerFactory Factory;
    TLimits Limits;
    asio::ssl::context Tls;
    asio::ip::tcp::acceptor Acceptor;
    asio::steady_timer AcceptPause;
    asio::steady_timer StopDeadline;
    TAddressLimits& Addresses;
    std::unordered_map<TTlsConnection*, std::shared_ptr<TTlsConnection>> Connections;
    uint64_t NextId = 1;
    uint16_t BoundPort = 0;
    bool Stopping = false;
    std::function<void()> StopDone;
};
