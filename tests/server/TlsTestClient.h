#pragma once

#include "identity/Identity.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <optional>
#include <string>

// A scripted TLS client for the tests: every step waits at most a few
// seconds on its own io_context, so a test never hangs on the server.
class TTlsTestClient {
public:
    // Without an identity the client shows no certificate.
    explicit TTlsTestClient(const TIdentity* identity);
    ~TTlsTestClient();

    // Connects from source (a loopback address), sends prefix as it is (a
    // front's PROXY header) and completes the handshake.
    bool Connect(uint16_t port, const std::string& source = "127.0.0.1", const std::string& prefix = {});
    // Connects without starting TLS at all.
    bool ConnectPlain(uint16_t port);
    bool Send(const std::string& bytes);
    // The next line with its '\n', or nothing when the server closed or was silent.
    std::optional<std::string> ReadLine();
    // Reads until the server closes; false if it did not within the wait.
    bool WaitClosed();
    // The server ended TLS with its close_notify, not by dropping the stream.
    bool ClosedCleanly();
    void Disconnect();

    std::string ServerFingerprint;

private:
    // Starts an operation and runs it to its end, for Wait at the most: the
    // error it ended with, or nothing when it stalled and was cancelled.
    template <typename TStart> std::optional<asio::error_code> Finish(TStart start);
    // The operation ended in time and without an error.
    template <typename TStart> bool Run(TStart start);

    asio::io_context Io;
    asio::ssl::context Tls;
    asio::ssl::stream<asio::ip::tcp::socket> Stream;
    std::string Pending;
    bool Plain = false;
};

// One plain HTTP exchange on loopback: sends request, returns all that comes
// back before the server closes (empty when it closes without a word).
std::string HttpExchange(uint16_t port, const std::string& request);
