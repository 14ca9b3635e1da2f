#include "server/ClientSession.h"

#include "server/ServerLog.h"
#include "server/ServerMetrics.h"

#include "net/NetConnection.h"
#include "protocol/Protocol.h"
#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"

#include <algorithm>
#include <limits>

namespace {

// Runs one of the lobby's operations for a connection. What it throws is one
// connection's failure, not the end of the process for every client: it is
// caught here and its words returned (empty when it did not throw).
template <typename TWork> std::string FailureOf(TWork&& work) {
    try {
        work();
        return {};
    } catch (const std::exception& error) {
        return std::string("the lobby failed: ") + error.what();
    } catch (...) {
        return "the lobby failed";
    }
}

int64_t Ms(TSteadyTime time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

int ClampMs(int64_t ms) {
    return int(std::clamp<int64_t>(ms, 1, std::numeric_limits<int>::max()));
}

TNetLimits ConnectionLimits(const TClientSessions::TLimits& limits) {
    TNetLimits net;
    net.HandshakeMs = ClampMs(limits.HelloMs);
    net.SilenceMs = ClampMs(limits.SilenceMs);
    net.PingMs = 0; // the clients keep the line alive
    net.PartialMs = limits.PartialMs > 0 ? ClampMs(limits.PartialMs) : 0;
    net.MaxMessagesPerSecond = limits.MaxMessagesPerSecond;
    net.MaxBytesPerSecond = limits.MaxBytesPerSecond;
    net.MaxLineBytes = int(Protocol::MaxRequestBytes);
    return net;
}

} // namespace

// One connection: the protocol core (framing, limits, hello, silence) runs in
// a TNetConnection; what it hands on is the lobby's.
class TClientSession : public TConnectionHandler, private TNetLineProtocol {
public:
    TClientSession(TClientSessions& sessions, TConnectionLink& link, const TPeer& peer)
        : Sessions(sessions), Link(link), Id(peer.Id), Connection(*this, ConnectionLimits(sessions.Limits)) {
        Connection.Accepted(Ms(std::chrono::steady_clock::now()), {});
        Pump();
    }

    void Received(std::string_view bytes, TSteadyTime now) override {
        if (Ended) return;
        Connection.Received(Ms(now), QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        Pump();
    }

    void Woken(TSteadyTime now) override {
        if (Ended) return;
        Connection.Wake(Ms(now));
        Pump();
    }

    void Stopping(TSteadyTime) override {
        if (Ended) return;
        Connection.Close({}, QStringLiteral("The server is stopping."));
        Pump();
    }

    void Closed(const std::string&) override {
        Ended = true;
        Connection.TransportClosed(0);
        Sessions.Closed(Id);
    }

private:
    // Writes what the connection has to send, logs its faults, and closes the
    // link or sets its next wake-up.
    void Pump() {
        if (Ended) // the link is closed or gone
            return;
        SendOutput();
        for (const TNetEvent& event : Connection.TakeEvents())
            if (event.Kind == TNetEvent::TKind::Closed && !event.Text.isEmpty())
                Sessions.Log.Write(event.Text.toStdString());
        if (Connection.Finished()) {
            if (!Ended) {
                Ended = true;
                Link.Close();
            }
            return;
        }
        Link.WakeAt(TSteadyTime(std::chrono::milliseconds(Connection.NextWake())));
    }

    void SendOutput() {
        QByteArray out = Connection.TakeOutput();
        if (!out.isEmpty()) Link.Send(out.toStdString());
    }

    QByteArray Greeting() const override { return ServerMessages::Hello(); }

    QByteArray Bye(const QString& reason) const override {
        TServerMessage bye;
        bye.Kind = TServerMessage::TKind::Bye;
        bye.Text = reason;
        return ServerMessages::Encode(bye);
    }

    QByteArray KeepAlive() const override { return {}; }

    TWords Fault(const std::string& what) const {
        return {QString::fromStdString("connection " + std::to_string(Id) + " " + what),
                QString::fromStdString("You " + what + ".")};
    }

    TWords Words(TFault fault) const override {
        const TClientSessions::TLimits& limits = Sessions.Limits;
        switch (fault) {
        case TFault::TooManyBytes:
            return Fault("sent more than " + std::to_string(limits.MaxBytesPerSecond) + " bytes in a second");
        case TFault::LineTooLong:
            return Fault("sent a line longer than " + std::to_string(Protocol::MaxRequestBytes) + " bytes");
        case TFault::TooManyMessages:
            return Fault("sent more than " + std::to_string(limits.MaxMessagesPerSecond) +
                         " messages in a second");
        case TFault::NoHello:
            return Fault("did not say hello within " + std::to_string(limits.HelloMs / 1000) + " seconds");
        case TFault::Silent:
            return Fault("was silent for " + std::to_string(limits.SilenceMs / 1000) + " seconds");
        case TFault::Partial:
            return Fault("did not finish a line within " + std::to_string(limits.PartialMs / 1000) +
                         " seconds");
        case TFault::NoAnswer: // never here: the client connects
            break;
        }
        return Fault("stopped in the middle of a line");
    }

    TAnswer Line(TNetConnection& connection, QByteArrayView bytes, bool greeted) override {
        using TVerdict = TAnswer::TVerdict;
        const std::string_view line(bytes.data(), size_t(bytes.size()));
        Requests::TDecoded decoded = Requests::Decode(line);
        if (!decoded.Ok) {
            if (Sessions.Metrics) Sessions.Metrics->Refused(TRefusal::BadLine);
            return {TVerdict::Fault, Fault("sent " + decoded.Error)};
        }
        // A keep-alive is welcome at any time, before the hello too.
        if (decoded.Request.Kind == TLobbyRequest::TKind::Ping) {
            static const QByteArray pong = [] {
                TServerMessage answer;
                answer.Kind = TServerMessage::TKind::Pong;
                return ServerMessages::Encode(answer);
            }();
            connection.SendLine(pong);
            return {};
        }
        // First a hello naming the program and the protocol it speaks, once.
        const bool hello = decoded.Request.Kind == TLobbyRequest::TKind::Hello;
        if (hello != !greeted)
            return {TVerdict::Fault, Fault(greeted ? "sent a second hello" : "did not start with hello")};
        if (hello) {
            if (decoded.Request.Program != Protocol::ProgramName ||
                decoded.Request.Version != Protocol::Version)
                return {TVerdict::Fault,
                        Fault("introduced yourself as " + decoded.Request.Program + " version " +
                              std::to_string(decoded.Request.Version) + "; this server takes " +
                              Protocol::ProgramName + " version " + std::to_string(Protocol::Version))};
            return {TVerdict::Greeted, {}};
        }
        // The connection's own answers so far go out before the lobby's.
        SendOutput();
        const auto start = std::chrono::steady_clock::now();
        const std::string failure =
            FailureOf([&] { Sessions.TheLobby.Handle(Id, decoded.Request, Sessions.Clock()); });
        Sessions.Flush();
        // Stored on the loop, a move is answered before Handle returns, so
        // this is what the players wait; stored aside, the lobby times it.
        if (Sessions.Metrics && !Sessions.StoresAside && decoded.Request.Kind == TLobbyRequest::TKind::Move)
            Sessions.Metrics->MoveSeconds.Observe(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!failure.empty())
            return {TVerdict::Fault,
                    {QString::fromStdString("connection " + std::to_string(Id) + ": " + failure),
                     QStringLiteral("The server could not carry out your request.")}};
        return {Ended ? TVerdict::Stop : TVerdict::Handled, {}};
    }

    TClientSessions& Sessions;
    TConnectionLink& Link;
    uint64_t Id;
    TNetConnection Connection;
    bool Ended = false;
};

TClientSessions::TClientSessions(asio::io_context& io, TStorage& storage, TServerLog& log,
                                 TAddressLimits& addresses, TRefereeFactory referees,
                                 TLobby::TSeedSource seeds, TClock clock, TLimits limits)
    : Timer(io), Log(log), Clock(std::move(clock)), Limits(limits),
      TheLobby(storage, log, addresses, std::move(referees), std::move(seeds)) {}

TClientSessions::~TClientSessions() = default;

std::unique_ptr<TConnectionHandler> TClientSessions::Open(TConnectionLink& link, const TPeer& peer) {
    Links[peer.Id] = &link;
    TheLobby.Connected(peer.Id, peer.Fingerprint, peer.LimitKey, peer.Ip);
    return std::make_unique<TClientSession>(*this, link, peer);
}

void TClientSessions::Closed(uint64_t connection) {
    Links.erase(connection);
    if (std::string failure = FailureOf([&] { TheLobby.Disconnected(connection, Clock()); });
        !failure.empty())
        Log.Write("connection " + std::to_string(connection) + " closing: " + failure);
    Flush();
}

void TClientSessions::Completed(const std::function<void(int64_t nowMs)>& completion) {
    if (std::string failure = FailureOf([&] { completion(Clock()); }); !failure.empty())
        Log.Write("storage completion: " + failure);
    Flush();
}

void TClientSessions::Flush() {
    for (TLobby::TOutgoing& out : TheLobby.TakeOutgoing()) {
        auto found = Links.find(out.Connection);
        if (found == Links.end()) continue;
        found->second->Send(std::move(out.Line));
        if (out.Close) found->second->Close();
    }
    if (AfterFlushHook) AfterFlushHook();
    // Most messages leave the lobby's next deadline where it was; setting the
    // timer again for each would cancel and queue a wait every time.
    int64_t next = TheLobby.NextDeadline();
    if (next == TimerAtMs) return;
    TimerAtMs = next;
    if (next == TLobby::Never) {
        Timer.cancel();
        return;
    }
    Timer.expires_after(std::chrono::milliseconds(std::max<int64_t>(0, next - Clock())));
    Timer.async_wait([this](const asio::error_code& error) {
        if (error) return;
        TimerAtMs = TLobby::Never;
        TheLobby.Tick(Clock());
        Flush();
    });
}
