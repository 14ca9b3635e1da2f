#include "server/ClientSession.h"

#include "server/LobbyCodec.h"
#include "server/ServerLog.h"

namespace {

std::string ByeLine(const std::string& reason)
{
    std::string escaped;
    for (char c : reason)
        escaped += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return "{\"type\":\"bye\",\"reason\":\"" + escaped + "\"}\n";
}

} // namespace

// One connection: framing, limits and keep-alive; everything else is the lobby's.
class TClientSession : public TConnectionHandler {
public:
    TClientSession(TClientSessions& sessions, TConnectionLink& link, const TPeer& peer)
        : Sessions(sessions), Link(link), Id(peer.Id)
    {
        LastHeard = std::chrono::steady_clock::now();
        HelloDue = LastHeard + std::chrono::milliseconds(Sessions.Limits.HelloMs);
        Link.Send("{\"type\":\"hello\",\"program\":\"vantaro-server\",\"version\":" +
                  std::to_string(LobbyCodec::ProtocolVersion) + "}\n");
        Link.WakeAt(std::min(HelloDue, LastHeard + std::chrono::milliseconds(Sessions.Limits.SilenceMs)));
    }

    void Received(std::string_view bytes, TSteadyTime now) override
    {
        if (Ended)
            return;
        LastHeard = now;
        if (now - WindowStart >= std::chrono::seconds(1)) {
            WindowStart = now;
            Messages = 0;
            Bytes = 0;
        }
        Bytes += int64_t(bytes.size());
        if (Bytes > Sessions.Limits.MaxBytesPerSecond)
            return Fault("sent more than " + std::to_string(Sessions.Limits.MaxBytesPerSecond) + " bytes in a second");
        while (!bytes.empty()) {
            size_t end = bytes.find('\n');
            std::string_view piece = bytes.substr(0, end);
            if (Partial.size() + piece.size() > LobbyCodec::MaxLineBytes + 1)
                return Fault("sent a line longer than 4096 bytes");
            Partial.append(piece);
            if (end == std::string_view::npos)
                break;
            bytes.remove_prefix(end + 1);
            if (!Partial.empty() && Partial.back() == '\r')
                Partial.pop_back();
            std::string line = std::move(Partial);
            Partial.clear();
            if (++Messages > Sessions.Limits.MaxMessagesPerSecond)
                return Fault("sent more than " + std::to_string(Sessions.Limits.MaxMessagesPerSecond) +
                             " messages in a second");
            if (line == "{\"type\":\"ping\"}") {
                Link.Send("{\"type\":\"pong\"}\n");
                continue;
            }
            LobbyCodec::TDecoded decoded = LobbyCodec::Decode(line);
            if (!decoded.Ok)
                return Fault("sent " + decoded.Error);
            // First a hello naming the program and the protocol it speaks, once.
            bool hello = decoded.Request.Kind == TLobbyRequest::TKind::Hello;
            if (hello != !Greeted)
                return Fault(Greeted ? "sent a second hello" : "did not start with hello");
            if (hello) {
                if (decoded.Request.Program != LobbyCodec::ProgramName ||
                    decoded.Request.Version != LobbyCodec::ProtocolVersion)
                    return Fault("introduced yourself as " + decoded.Request.Program + " version " +
                                 std::to_string(decoded.Request.Version) + "; this server takes " +
                                 LobbyCodec::ProgramName + " version " +
                                 std::to_string(LobbyCodec::ProtocolVersion));
                Greeted = true;
                continue;
            }
            Sessions.TheLobby.Handle(Id, decoded.Request, Sessions.Clock());
            Sessions.Flush();
            if (Ended)
                return;
        }
        auto silent = LastHeard + std::chrono::milliseconds(Sessions.Limits.SilenceMs);
        Link.WakeAt(Greeted ? silent : std::min(HelloDue, silent));
    }

    void Woken(TSteadyTime now) override
    {
        auto silent = std::chrono::milliseconds(Sessions.Limits.SilenceMs);
        if (!Greeted && now >= HelloDue)
            Fault("did not say hello within " + std::to_string(Sessions.Limits.HelloMs / 1000) + " seconds");
        else if (now - LastHeard >= silent)
            Fault("was silent for " + std::to_string(Sessions.Limits.SilenceMs / 1000) + " seconds");
        else
            Link.WakeAt(Greeted ? LastHeard + silent : std::min(HelloDue, LastHeard + silent));
    }

    void Stopping(TSteadyTime) override
    {
        End("The server is stopping.");
    }

    void Closed(const std::string&) override
    {
        Ended = true;
        Sessions.Closed(Id);
    }

    void End(const std::string& reason)
    {
        if (Ended)
            return;
        Ended = true;
        Link.Send(ByeLine(reason));
        Link.Close();
    }

private:
    void Fault(const std::string& what)
    {
        Sessions.Log.Write("connection " + std::to_string(Id) + " " + what);
        End("You " + what + ".");
    }

    TClientSessions& Sessions;
    TConnectionLink& Link;
    uint64_t Id;
    std::string Partial;
    TSteadyTime LastHeard;
    TSteadyTime HelloDue;
    bool Greeted = false;
    TSteadyTime WindowStart{};
    int Messages = 0;
    int64_t Bytes = 0;
    bool Ended = false;
};

TClientSessions::TClientSessions(asio::io_context& io, TStorage& storage, TServerLog& log,
                                 TAddressLimits& addresses, TRefereeFactory referees, TLobby::TSeedSource seeds,
                                 TClock clock, TLimits limits)
    : Timer(io), Log(log), Clock(std::move(clock)), Limits(limits),
      TheLobby(storage, log, addresses, std::move(referees), std::move(seeds))
{
}

TClientSessions::~TClientSessions() = default;

std::unique_ptr<TConnectionHandler> TClientSessions::Open(TConnectionLink& link, const TPeer& peer)
{
    Links[peer.Id] = &link;
    TheLobby.Connected(peer.Id, peer.Fingerprint, peer.LimitKey);
    return std::make_unique<TClientSession>(*this, link, peer);
}

void TClientSessions::Closed(uint64_t connection)
{
    Links.erase(connection);
    TheLobby.Disconnected(connection, Clock());
    Flush();
}

void TClientSessions::Flush()
{
    for (TLobby::TOutgoing& out : TheLobby.TakeOutgoing()) {
        auto found = Links.find(out.Connection);
        if (found == Links.end())
            continue;
        found->second->Send(std::move(out.Line));
        if (out.Close)
            found->second->Close();
    }
    int64_t next = TheLobby.NextDeadline();
    if (next == TLobby::Never) {
        Timer.cancel();
        return;
    }
    Timer.expires_after(std::chrono::milliseconds(std::max<int64_t>(0, next - Clock())));
    Timer.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        TheLobby.Tick(Clock());
        Flush();
    });
}
