#pragma once

#include "server/ConnectionHandler.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <array>
#include <deque>

class TTlsServer;

// One client's connection: the TLS handshake under a deadline, then bytes
// in to the handler and its bytes out, in order, with a bound on what may
// wait unwritten. Closing writes what is queued, shuts TLS down (its
// close_notify, so that the client reads a clean end), and waits a little for
// the client to close its side, so that the last message is not lost to a
// reset.
class TTlsConnection : public TConnectionLink, public std::enable_shared_from_this<TTlsConnection> {
public:
    // A proxied connection (from a front the server trusts) begins with the
    // front's PROXY header naming the client; the address limits are taken
    // once it is read.
    TTlsConnection(TTlsServer& server, asio::ip::tcp::socket socket, TPeer peer, bool proxied);

    void Start();
    // The server is stopping: the handler says goodbye and closes.
    void Stop();
    // Ends the connection now, whatever is still queued.
    void Finish(const std::string& reason);

    void Send(std::string bytes) override;
    void Close() override;
    void WakeAt(TSteadyTime when) override;

    const TPeer& Peer() const { return PeerInfo; }
    // Whether it holds a place in its address's count.
    bool Counted() const { return !Proxied || Admitted; }

private:
    void ReadProxyHeader();
    void Handshake();
    void Read();
    void Write();
    void Shutdown();

    TTlsServer& Server;
    asio::ssl::stream<asio::ip::tcp::socket> Stream;
    asio::steady_timer Deadline; // the handshake's, then the closing's
    asio::steady_timer WakeTimer;
    TPeer PeerInfo;
    std::unique_ptr<TConnectionHandler> Handler;
    std::deque<std::string> Queue;
    size_t QueuedBytes = 0;
    const bool Proxied;
    bool Admitted = false;
    std::string ProxyBytes;
    bool Established = false;
    bool Writing = false;
    bool Closing = false;
    bool ShutDown = false;
    bool Finished = false;
    // Client lines are short; a longer one arrives over several reads.
    std::array<char, 1024> Buffer{};
};
