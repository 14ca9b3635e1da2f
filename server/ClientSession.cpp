#include "server/ClientSession.h"

#include "server/ServerLog.h"
#include "server/Storage.h"

namespace {

// Until the lobby runs here, a connection is held and told when the server stops.
class TClientSession : public TConnectionHandler {
public:
    explicit TClientSession(TConnectionLink& link) : Link(link) {}

    void Received(std::string_view, TSteadyTime) override {}
    void Woken(TSteadyTime) override {}
    void Stopping(TSteadyTime) override
    {
        Link.Send("{\"type\":\"bye\",\"reason\":\"The server is stopping.\"}\n");
        Link.Close();
    }
    void Closed(const std::string&) override {}

private:
    TConnectionLink& Link;
};

} // namespace

std::unique_ptr<TConnectionHandler> TClientSessions::Open(TConnectionLink& link, const TPeer&)
{
    return std::make_unique<TClientSession>(link);
}
