// Moderation: the sanctions in force kept in step with the database, and
// everyone they keep out sent away at once.
#include "server/Lobby.h"

#include "server/ServerLog.h"

void TLobby::Apply(const TServerSettings& settings) {
    Settings = settings;
    if (Community) ReloadModeration(0);
}

void TLobby::Moderate(TCommunityStorage& community, int64_t nowMs) {
    Community = &community;
    // Only what is logged from now on is news: what came before is in the
    // sanctions read now.
    if (auto latest = community.LatestActions(1); latest && !latest->empty())
        ModerationSeen = latest->front().Id;
    ReloadModeration(nowMs);
    ModerationAtMs = nowMs + ModerationPollMs;
}

void TLobby::FollowModeration(int64_t nowMs) {
    ModerationAtMs = nowMs + ModerationPollMs;
    std::optional<std::vector<TCommunityStorage::TAction>> actions =
        Community->ActionsAfter(ModerationSeen, 100);
    if (!actions || actions->empty()) return;
    ModerationSeen = actions->back().Id;
    ReloadModeration(nowMs);
}

void TLobby::ReloadModeration(int64_t nowMs) {
    std::optional<std::vector<TCommunityStorage::TSanction>> sanctions = Community->Sanctions(nowMs);
    std::optional<std::vector<std::string>> granted = Community->Moderators();
    if (!sanctions || !granted) {
        // The sanctions kept are still enforced; the next action tries again.
        Log.Write("cannot read the moderation: " + Community->LastError());
        return;
    }
    Moderation.SetSanctions(std::move(*sanctions));
    Moderation.SetModerators(Settings.Moderators, *granted);
    if (nowMs == 0) return;
    std::vector<uint64_t> banned;
    for (const auto& [connection, client] : Clients)
        if (client.PlayerId != 0 &&
            Moderation.BanOf(client.PlayerId, client.Fingerprint, client.Address, nowMs))
            banned.push_back(connection);
    for (uint64_t connection : banned) {
        const TClient& client = Clients.at(connection);
        const TModeration::TSanction& ban =
            *Moderation.BanOf(client.PlayerId, client.Fingerprint, client.Address, nowMs);
        Log.Write(client.Name + " sent away: " + TCommunityStorage::KindName(ban.Kind) + " #" +
                  std::to_string(ban.Id));
        TServerMessage bye;
        bye.Kind = TServerMessage::TKind::Bye;
        bye.Text = QString::fromStdString(TModeration::Telling(ban, nowMs));
        Send(connection, bye, true);
        // The seat is kept as for any dropped line: the away allowance runs.
        Disconnected(connection, nowMs);
    }
}
