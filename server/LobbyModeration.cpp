// Moderation: the sanctions in force kept in step with the database, and
// everyone they keep out sent away at once.
#include "server/Lobby.h"

#include "server/ServerLog.h"

#include <QStringList>

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
    for (const TCommunityStorage::TAction& action : *actions) ActOnLogged(action);
    ReloadModeration(nowMs);
}

void TLobby::ActOnLogged(const TCommunityStorage::TAction& action) {
    if (action.Action == TCommunityStorage::RemoveChatAction)
        Backlog.Remove(NameKey(action.Target), action.AtMs);
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

void TLobby::Moderate(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    if (!Community || !Moderation.IsModerator(client.Name)) {
        Log.Write(client.Name + " asked to moderate (" + request.Reason + ") and is no moderator");
        Refuse(connection, "Only moderators may do that.");
        return;
    }
    auto notice = [&](const std::string& text) {
        TServerMessage told;
        told.Kind = TServerMessage::TKind::Notice;
        told.Text = QString::fromStdString(text);
        Send(connection, told);
    };
    const std::string& action = request.Reason;
    using TKind = TCommunityStorage::TSanctionKind;
    if (action == "list") {
        if (TryQuery(connection, client, nowMs)) SendModeration(connection, nowMs);
        return;
    }
    if (action == "remove_chat") {
        RemoveChat(connection, client, request, nowMs);
        return;
    }
    if (action == "lift" || action == "close_report") {
        const bool lift = action == "lift";
        const bool done = lift ? Community->LiftSanction(request.Id, client.Name, request.Text, nowMs)
                               : Community->CloseReport(request.Id, client.Name, request.Text, nowMs);
        if (!done) {
            Refuse(connection, lift ? "No such sanction is in force." : "No such report is open.");
            return;
        }
        if (lift) ReloadModeration(nowMs);
        notice(std::string(lift ? "Sanction #" : "Report #") + std::to_string(request.Id) +
               (lift ? " lifted." : " closed."));
        SendModeration(connection, nowMs);
        return;
    }
    // A sanction: on a player by name, a player's certificate, or an address range.
    TCommunityStorage::TSanction sanction;
    sanction.Kind = action == "mute"              ? TKind::Mute
                    : action == "ban"             ? TKind::Ban
                    : action == "ban_certificate" ? TKind::CertificateBan
                                                  : TKind::AddressBan;
    sanction.Reason = request.Text;
    sanction.By = client.Name;
    sanction.CreatedMs = nowMs;
    sanction.UntilMs = request.Minutes > 0 ? nowMs + request.Minutes * 60'000LL : 0;
    if (sanction.Reason.empty() || (sanction.Kind == TKind::Mute && request.Minutes == 0)) {
        Refuse(connection, sanction.Reason.empty() ? "Say why." : "A mute needs a time.");
        return;
    }
    if (sanction.Kind == TKind::AddressBan) {
        std::optional<TAddressRange> range = TAddressRange::Parse(request.Target);
        if (!range) {
            Refuse(connection, "That is not an address or range.");
            return;
        }
        sanction.Target = range->Text();
    } else {
        std::optional<TStorage::TPlayer> player = Storage.FindPlayer(request.Name);
        if (!player) {
            Refuse(connection, "No player is named " + request.Name + ".");
            return;
        }
        // A moderator's own standing is the administrator's business.
        if (Moderation.IsModerator(player->Name)) {
            Refuse(connection, player->Name + " is a moderator; ask the server's administrator.");
            return;
        }
        sanction.PlayerId = sanction.Kind == TKind::CertificateBan ? 0 : player->Id;
        sanction.Target = sanction.Kind == TKind::CertificateBan ? player->Fingerprint : player->Name;
    }
    const int64_t id = Community->AddSanction(sanction);
    if (id == 0) {
        Log.Write("cannot keep a sanction: " + Community->LastError());
        Refuse(connection, "The server cannot keep that now.", TRefusal::Storage);
        return;
    }
    Log.Write(client.Name + ": " + TCommunityStorage::KindName(sanction.Kind) + " " + sanction.Target + " #" +
              std::to_string(id) + ": " + sanction.Reason);
    // At once here; other servers sharing the database follow their log.
    ReloadModeration(nowMs);
    notice("Sanction #" + std::to_string(id) + ": " + TCommunityStorage::KindName(sanction.Kind) + " " +
           (request.Name.empty() ? sanction.Target : request.Name) + ".");
    if (Clients.count(connection)) SendModeration(connection, nowMs);
}

void TLobby::RemoveChat(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    if (request.Text.empty()) {
        Refuse(connection, "Say why.");
        return;
    }
    std::optional<TStorage::TPlayer> player = Storage.FindPlayer(request.Name);
    if (!player) {
        Refuse(connection, "No player is named " + request.Name + ".");
        return;
    }
    // Logged first: the log is how every other server sharing the database hears of it.
    if (!Community->LogAction(
            {0, client.Name, TCommunityStorage::RemoveChatAction, player->Name, request.Text, nowMs})) {
        Log.Write("cannot log a removal of chat: " + Community->LastError());
        Refuse(connection, "The server cannot keep that now.", TRefusal::Storage);
        return;
    }
    const size_t removed = Backlog.Remove(NameKey(player->Name), nowMs);
    Log.Write(client.Name + ": remove chat " + player->Name + " (" + std::to_string(removed) +
              " lines): " + request.Text);
    TServerMessage told;
    told.Kind = TServerMessage::TKind::Notice;
    told.Text = QString::fromStdString(player->Name + "'s lines are gone from what new arrivals see (" +
                                       std::to_string(removed) + " here).");
    Send(connection, told);
}

void TLobby::SendModeration(uint64_t connection, int64_t nowMs) {
    std::optional<std::vector<TCommunityStorage::TReport>> reports =
        Community->OpenReports(int32_t(Protocol::MaxOpenReports));
    std::optional<std::vector<TCommunityStorage::TSanction>> sanctions = Community->Sanctions(nowMs);
    if (!reports || !sanctions) {
        Log.Write("cannot read the moderation: " + Community->LastError());
        Refuse(connection, "The server cannot read its reports now.", TRefusal::Storage);
        return;
    }
    TServerMessage moderation;
    moderation.Kind = TServerMessage::TKind::Moderation;
    for (const TCommunityStorage::TReport& report : *reports) {
        TOpenReport open;
        open.Id = report.Id;
        open.Reporter = QString::fromStdString(report.Reporter);
        open.Reported = QString::fromStdString(report.Reported);
        open.Reason = QString::fromStdString(report.Reason);
        open.Text = QString::fromStdString(report.Text);
        for (const QString& line : QString::fromStdString(report.Evidence).split('\n', Qt::SkipEmptyParts))
            if (open.Evidence.size() < Protocol::MaxEvidenceLines) open.Evidence.push_back(line);
        open.Match = report.MatchId;
        open.CreatedMs = report.CreatedMs;
        moderation.Reports.push_back(open);
    }
    // The newest, when there are more than a line holds.
    const size_t skip = sanctions->size() > Protocol::MaxSanctionEntries
                            ? sanctions->size() - Protocol::MaxSanctionEntries
                            : 0;
    for (size_t i = skip; i < sanctions->size(); ++i) {
        const TCommunityStorage::TSanction& sanction = (*sanctions)[i];
        moderation.Sanctions.push_back(
            {sanction.Id, TCommunityStorage::KindName(sanction.Kind), QString::fromStdString(sanction.Target),
             QString::fromStdString(sanction.Reason), QString::fromStdString(sanction.By), sanction.UntilMs});
    }
    SendAnswer(connection, moderation);
}
