#include "server/MetricsEndpoint.h"

#include "server/ServerLog.h"

namespace {

std::string Response(const char* status, const char* type, const std::string& body) {
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

// One connection: read the request's head, answer, close.
class TMetricsEndpoint::TRequest : public std::enable_shared_from_this<TRequest> {
public:
    TRequest(TMetricsEndpoint& owner, asio::ip::tcp::socket socket)
        : Owner(owner), Socket(std::move(socket)), Deadline(Socket.get_executor()) {}

    void Start() {
        Deadline.expires_after(Owner.Limits.RequestTimeout);
        Deadline.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error) self->Finish();
        });
        Read();
    }

    void Finish() {
        asio::error_code ignored;
        Deadline.cancel();
        Socket.close(ignored);
        Owner.Requests.erase(shared_from_this());
    }

private:
    void Read() {
        Socket.async_read_some(asio::buffer(Chunk),
                               [self = shared_from_this()](const asio::error_code& error, size_t count) {
                                   if (error) return self->Finish();
                                   self->Head.append(self->Chunk.data(), count);
                                   if (self->Head.find("\r\n\r\n") != std::string::npos ||
                                       self->Head.find("\n\n") != std::string::npos)
                                       return self->Write(self->Owner.Answer(self->Head));
                                   if (self->Head.size() > self->Owner.Limits.MaxRequestBytes)
                                       return self->Write(Response("431 Request Header Fields Too Large",
                                                                   "text/plain", "too long\n"));
                                   self->Read();
                               });
    }

    void Write(std::string answer) {
        Out = std::move(answer);
        asio::async_write(Socket, asio::buffer(Out),
                          [self = shared_from_this()](const asio::error_code&, size_t) { self->Finish(); });
    }

    TMetricsEndpoint& Owner;
    asio::ip::tcp::socket Socket;
    asio::steady_timer Deadline;
    std::array<char, 1024> Chunk{};
    std::string Head;
    std::string Out;
};

TMetricsEndpoint::TMetricsEndpoint(asio::io_context& io, TServerLog& log, TTextSource metrics,
                                   THealthSource health, TLimits limits)
    : Io(io), Log(log), Metrics(std::move(metrics)), Health(std::move(health)), Limits(limits), Acceptor(io) {
}

TMetricsEndpoint::~TMetricsEndpoint() {
    Stop();
}

std::string TMetricsEndpoint::Listen(const std::string& address, uint16_t port) {
    asio::error_code error;
    const asio::ip::address ip = asio::ip::make_address(address, error);
    if (error) return "the metrics address '" + address + "' is not an IP address";
    const asio::ip::tcp::endpoint endpoint(ip, port);
    Acceptor.open(endpoint.protocol(), error);
    if (!error) Acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    if (!error) Acceptor.bind(endpoint, error);
    if (!error) Acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error)
        return "cannot serve metrics on " + address + " port " + std::to_string(port) + ": " +
               error.message();
    BoundPort = Acceptor.local_endpoint().port();
    Accept();
    return {};
}

void TMetricsEndpoint::Stop() {
    asio::error_code ignored;
    Acceptor.close(ignored);
    // Finish erases from the set: walk a copy.
    for (const std::shared_ptr<TRequest>& request : std::set<std::shared_ptr<TRequest>>(Requests))
        request->Finish();
}

void TMetricsEndpoint::Accept() {
    Acceptor.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !Acceptor.is_open()) return;
        if (!error) {
            if (Requests.size() >= Limits.MaxConnections) {
                asio::error_code ignored;
                socket.close(ignored);
            } else {
                auto request = std::make_shared<TRequest>(*this, std::move(socket));
                Requests.insert(request);
                request->Start();
            }
        } else {
            Log.Write("metrics: cannot accept: " + error.message());
        }
        Accept();
    });
}

std::string TMetricsEndpoint::Answer(const std::string& head) const {
    const std::string line = head.substr(0, head.find_first_of("\r\n"));
    const size_t space = line.find(' ');
    const size_t second = line.find(' ', space == std::string::npos ? space : space + 1);
    if (space == std::string::npos || second == std::string::npos ||
        line.compare(second + 1, 5, "HTTP/") != 0)
        return Response("400 Bad Request", "text/plain", "bad request\n");
    const std::string method = line.substr(0, space);
    std::string path = line.substr(space + 1, second - space - 1);
    path = path.substr(0, path.find('?'));
    if (path != "/metrics" && path != "/health")
        return Response("404 Not Found", "text/plain", "not found\n");
    if (method != "GET") return Response("405 Method Not Allowed", "text/plain", "only GET\n");
    if (path == "/metrics") return Response("200 OK", "text/plain; version=0.0.4; charset=utf-8", Metrics());
    const std::string problem = Health();
    return problem.empty() ? Response("200 OK", "text/plain", "ok\n")
                           : Response("503 Service Unavailable", "text/plain", problem + "\n");
}
