// Players' own lists (the players they block or follow) and their reports.
#include "server/Lobby.h"

#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"

#include "server/ServerLog.h"

namespace {

constexpr int64_t DayMs = 24 * 3'600'000LL;

} // namespace

void TLobby::LoadRelations(TClient& client, TSignInRead* read) {
    client.Blocks.clear();
    client.Follows.clear();
    if (!Community) return;
    using TRelation = TCommunityStorage::TRelation;
    TSignInRead now;
    if (!read || !read->RelationsRead) {
        now.Blocks = Community->Related(client.PlayerId, TRelation::Block);
        now.Follows = Community->Related(client.PlayerId, TRelation::Follow);
        read = &now;
    }
    for (auto [list, into] : {std::pair{&read->Blocks, &client.Blocks}, {&read->Follows, &client.Follows}})
        if (*list)
            for (auto& [id, name] : **list) (*into)[id] = std::move(name);
}

bool TLobby::Blocked(const TClient& client, int64_t otherId) const {
    if (client.Blocks.count(otherId)) return true;
    const uint64_t other = ConnectionOf(otherId);
    return other != 0 && Clients.at(other).Blocks.count(client.PlayerId) != 0;
}

bool TLobby::Hears(uint64_t connection, int64_t fromId) const {
    auto found = Clients.find(connection);
    return found != Clients.end() && found->second.Blocks.count(fromId) == 0;
}

void TLobby::SendBacklog(uint64_t connection, const TClient& client) {
    std::string earlier;
    for (const TChatBacklog::TLine& line : Backlog.Lines())
        if (!client.Blocks.count(line.PlayerId)) earlier += line.Encoded;
    if (!earlier.empty()) SendLine(connection, std::move(earlier));
}

void TLobby::KeepInBacklog(TServerMessage line, int64_t playerId, int64_t nowMs) {
    line.Earlier = true;
    line.AtMs = nowMs;
    Backlog.Add(
        {playerId, NameKey(line.From.toStdString()), nowMs, ServerMessages::Encode(line).toStdString()});
}

void TLobby::Relate(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    const bool block = request.Kind == TLobbyRequest::TKind::Block;
    if (!Community) {
        Refuse(connection, "This server keeps no lists of players.");
        return;
    }
    std::optional<TStorage::TPlayer> other = Storage.FindPlayer(request.Name);
    if (!other) {
        Refuse(connection, "No player is named " + request.Name + ".");
        return;
    }
    if (other->Id == client.PlayerId) {
        Refuse(connection, block ? "You cannot block yourself." : "You cannot follow yourself.");
        return;
    }
    std::map<int64_t, std::string>& list = block ? client.Blocks : client.Follows;
    if (request.On && !list.count(other->Id) && list.size() >= Protocol::MaxRelations) {
        Refuse(connection,
               std::string("Your list is full: ") + (block ? "unblock" : "unfollow") + " someone first.",
               TRefusal::Limit);
        return;
    }
    if (!Community->SetRelation(client.PlayerId, other->Id,
                                block ? TCommunityStorage::TRelation::Block
                                      : TCommunityStorage::TRelation::Follow,
                                request.On, nowMs)) {
        Log.Write("cannot keep a player's list: " + Community->LastError());
        Refuse(connection, "The server cannot keep that now.", TRefusal::Storage);
        return;
    }
    if (request.On)
        list[other->Id] = other->Name;
    else
        list.erase(other->Id);
    // The process its table or Play Now request is at hears the blocks with
    // every request passed on; this one tells them at once.
    if (block && Cluster && !client.RemoteOrigin.empty())
        Relay(connection, client, client.RemoteOrigin, Requests::Ping());
    TServerMessage notice;
    notice.Kind = TServerMessage::TKind::Notice;
    notice.Text = QString::fromStdString(
        block
            ? (request.On ? "You block " + other->Name +
                                ": their chat no longer reaches you, and you are not paired."
                          : "You no longer block " + other->Name + ".")
            : (request.On ? "You follow " + other->Name + "." : "You no longer follow " + other->Name + "."));
    Send(connection, notice);
    SendRelations(connection, client);
}

void TLobby::SendRelations(uint64_t connection, const TClient& client) {
    TServerMessage relations;
    relations.Kind = TServerMessage::TKind::Relations;
    for (const auto& [id, name] : client.Follows) {
        TFollowedPlayer followed;
        followed.Name = QString::fromStdString(name);
        if (uint64_t at = ConnectionOf(id)) {
            const TClient& other = Clients.at(at);
            followed.Online = true;
            followed.Table = other.Table;
            followed.Seat = other.Table ? other.Seat : -1;
        }
        relations.Follows.push_back(followed);
    }
    for (const auto& [id, name] : client.Blocks) relations.Blocks.push_back(QString::fromStdString(name));
    Send(connection, relations);
}

void TLobby::Report(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    if (!Community) {
        Refuse(connection, "This server takes no reports.");
        return;
    }
    std::optional<TStorage::TPlayer> other = Storage.FindPlayer(request.Name);
    if (!other || other->Id == client.PlayerId) {
        Refuse(connection,
               other ? "You cannot report yourself." : "No player is named " + request.Name + ".");
        return;
    }
    const int32_t filed = Community->ReportsSince(client.PlayerId, nowMs - DayMs);
    if (filed < 0) {
        Log.Write("cannot count reports: " + Community->LastError());
        Refuse(connection, "The server cannot take reports now.", TRefusal::Storage);
        return;
    }
    if (filed >= Settings.ReportsPerDay) {
        Refuse(connection,
               "You have filed " + std::to_string(filed) +
                   " reports today; the moderators will read those first.",
               TRefusal::Limit);
        return;
    }
    TCommunityStorage::TReport report;
    report.ReporterId = client.PlayerId;
    report.ReportedId = other->Id;
    report.Reason = request.Reason;
    report.Text = request.Text;
    report.CreatedMs = nowMs;
    if (uint64_t at = ConnectionOf(other->Id))
        for (const std::string& line : Clients.at(at).Said)
            report.Evidence += (report.Evidence.empty() ? "" : "\n") + line;
    if (const TTable* table = TableOf(client);
        table && table->Referee && (table->Seats[0] == other->Id || table->Seats[1] == other->Id))
        report.MatchId = table->Match.Id;
    const int64_t id = Community->AddReport(report);
    if (id == 0) {
        Log.Write("cannot keep a report: " + Community->LastError());
        Refuse(connection, "The server cannot take reports now.", TRefusal::Storage);
        return;
    }
    Log.Write("report #" + std::to_string(id) + ": " + client.Name + " reports " + other->Name + " (" +
              request.Reason + ")");
    TServerMessage notice;
    notice.Kind = TServerMessage::TKind::Notice;
    notice.Text = QString::fromStdString("Thank you: your report on " + other->Name +
                                         " is received. A moderator will look at it.");
    Send(connection, notice);
}
