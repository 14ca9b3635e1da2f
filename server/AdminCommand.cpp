#include "server/AdminCommand.h"

#include "server/AddressRange.h"
#include "server/CommunityStorage.h"
#include "server/Moderation.h"
#include "server/Storage.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace AdminCommand {

namespace {

using TKind = TCommunityStorage::TSanctionKind;

std::string Joined(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
    return text;
}

std::string When(int64_t ms) {
    if (ms == 0) return "for good";
    const std::time_t seconds = std::time_t(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

// A certificate's fingerprint as the server keeps it: 64 lowercase hex
// digits, whether written with colons or in capitals.
std::string Fingerprint(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != ':') digits += char(std::tolower(static_cast<unsigned char>(c)));
    const bool hex = std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(c); });
    return digits.size() == 64 && hex ? digits : std::string();
}

std::optional<int64_t> Number(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
    return value;
}

class TRunner {
public:
    TRunner(const std::vector<std::string>& words, TContext& context) : Words(words), C(context) {}

    int Run() {
        const std::string& command = Words[0];
        if (command == "grant" || command == "revoke") return Need(2, 2) ? Grant(command == "grant") : 2;
        if (command == "moderators") return Need(1, 1) ? Moderators() : 2;
        if (command == "mute" || command == "ban")
            return Need(4) ? Sanction(command == "mute" ? TKind::Mute : TKind::Ban) : 2;
        if (command == "ban-certificate") return Need(4) ? Sanction(TKind::CertificateBan) : 2;
        if (command == "ban-address") return Need(4) ? Sanction(TKind::AddressBan) : 2;
        if (command == "sanctions") return Need(1, 1) ? Sanctions() : 2;
        if (command == "lift") return Need(2) ? ActOnNumbered(true) : 2;
        if (command == "reports") return Need(1, 1) ? Reports() : 2;
        if (command == "close-report") return Need(3) ? ActOnNumbered(false) : 2;
        if (command == "log") return Need(1, 2) ? Log() : 2;
        if (command == "remove-chat") return Need(3) ? RemoveChat() : 2;
        C.Out("unknown command '" + command + "'; see vantaro-server admin help");
        return 2;
    }

private:
    bool Need(size_t least, size_t most = SIZE_MAX) {
        if (Words.size() >= least && Words.size() <= most) return true;
        C.Out("wrong number of words for '" + Words[0] + "'; see vantaro-server admin help");
        return false;
    }
    int Failed(const std::string& what) {
        C.Out(what + ": " + C.Community.LastError());
        return 1;
    }

    int Grant(bool grant) {
        std::optional<TStorage::TPlayer> player = C.Storage.FindPlayer(Words[1]);
        if (!player) {
            C.Out("no player is named " + Words[1]);
            return 1;
        }
        if (!C.Community.SetModerator(player->Id, grant, C.By, C.NowMs))
            return Failed("cannot change the moderators");
        C.Out(player->Name + (grant ? " is a moderator" : " is no longer a moderator granted here"));
        return 0;
    }

    int Moderators() {
        std::optional<std::vector<std::string>> granted = C.Community.Moderators();
        if (!granted) return Failed("cannot read the moderators");
        for (const std::string& name : C.NamedModerators) C.Out(name + " (settings file)");
        for (const std::string& name : *granted) C.Out(name + " (granted)");
        return 0;
    }

    int Sanction(TKind kind) {
        TCommunityStorage::TSanction sanction;
        sanction.Kind = kind;
        sanction.By = C.By;
        sanction.CreatedMs = C.NowMs;
        sanction.Reason = Joined(Words, 3);
        std::optional<int64_t> duration = TModeration::Duration(Words[2]);
        if (!duration || (kind == TKind::Mute && *duration == 0)) {
            C.Out("'" + Words[2] + "' is not a time: write 30m, 12h, 7d" +
                  (kind == TKind::Mute ? "" : " or forever"));
            return 2;
        }
        sanction.UntilMs = *duration == 0 ? 0 : C.NowMs + *duration;
        if (kind == TKind::Mute || kind == TKind::Ban) {
            std::optional<TStorage::TPlayer> player = C.Storage.FindPlayer(Words[1]);
            if (!player) {
                C.Out("no player is named " + Words[1]);
                return 1;
            }
            sanction.PlayerId = player->Id;
            sanction.Target = player->Name;
        } else if (kind == TKind::CertificateBan) {
            sanction.Target = Fingerprint(Words[1]);
            if (sanction.Target.empty()) {
                C.Out("'" + Words[1] + "' is not a certificate's fingerprint (64 hex digits)");
                return 2;
            }
        } else {
            std::optional<TAddressRange> range = TAddressRange::Parse(Words[1]);
            if (!range) {
                C.Out("'" + Words[1] + "' is not an address or range (203.0.113.0/24, 2001:db8::/32)");
                return 2;
            }
            sanction.Target = range->Text();
        }
        const int64_t id = C.Community.AddSanction(sanction);
        if (id == 0) return Failed("cannot keep the sanction");
        C.Out("#" + std::to_string(id) + " " + TCommunityStorage::KindName(kind) + " " + sanction.Target +
              (sanction.UntilMs ? " until " : " ") + When(sanction.UntilMs));
        return 0;
    }

    int Sanctions() {
        std::optional<std::vector<TCommunityStorage::TSanction>> sanctions = C.Community.Sanctions(C.NowMs);
        if (!sanctions) return Failed("cannot read the sanctions");
        for (const TCommunityStorage::TSanction& s : *sanctions)
            C.Out("#" + std::to_string(s.Id) + " " + TCommunityStorage::KindName(s.Kind) + " " + s.Target +
                  " " + (s.UntilMs ? "until " : "") + When(s.UntilMs) + " by " + s.By + ": " + s.Reason);
        if (sanctions->empty()) C.Out("no sanctions in force");
        return 0;
    }

    // Lifts a sanction or closes a report, named by its number ("12" or "#12").
    int ActOnNumbered(bool lift) {
        const char* what = lift ? "sanction" : "report";
        std::string id = Words[1];
        if (!id.empty() && id[0] == '#') id.erase(0, 1);
        std::optional<int64_t> number = Number(id);
        if (!number) {
            C.Out("'" + Words[1] + "' is not a " + what + "'s number");
            return 2;
        }
        const std::string reason = Joined(Words, 2);
        const bool done = lift ? C.Community.LiftSanction(*number, C.By, reason, C.NowMs)
                               : C.Community.CloseReport(*number, C.By, reason, C.NowMs);
        const std::string named = "#" + std::to_string(*number);
        if (!done) {
            if (!C.Community.LastError().empty())
                return Failed(lift ? "cannot lift the sanction" : "cannot close the report");
            C.Out(lift ? "no sanction " + named + " is in force" : "no open report " + named);
            return 1;
        }
        C.Out(lift ? named + " lifted" : "report " + named + " closed");
        return 0;
    }

    int Reports() {
        std::optional<std::vector<TCommunityStorage::TReport>> reports = C.Community.OpenReports(100);
        if (!reports) return Failed("cannot read the reports");
        for (const TCommunityStorage::TReport& r : *reports) {
            C.Out("#" + std::to_string(r.Id) + " " + When(r.CreatedMs) + " " + r.Reporter + " reports " +
                  r.Reported + ": " + r.Reason + (r.Text.empty() ? "" : " — " + r.Text) +
                  (r.MatchId ? " (match " + std::to_string(r.MatchId) + ")" : ""));
            size_t start = 0;
            while (start < r.Evidence.size()) {
                size_t end = r.Evidence.find('\n', start);
                if (end == std::string::npos) end = r.Evidence.size();
                C.Out("    " + r.Evidence.substr(start, end - start));
                start = end + 1;
            }
        }
        if (reports->empty()) C.Out("no open reports");
        return 0;
    }

    // "remove-chat NAME REASON" or, as scripts may write it, "remove-chat NAME --reason REASON".
    int RemoveChat() {
        const std::string reason = Joined(Words, Words[2] == "--reason" ? 3 : 2);
        if (reason.empty()) {
            C.Out("say why: remove-chat NAME --reason REASON");
            return 2;
        }
        std::optional<TStorage::TPlayer> player = C.Storage.FindPlayer(Words[1]);
        if (!player) {
            C.Out("no player is named " + Words[1]);
            return 1;
        }
        if (!C.Community.LogAction(
                {0, C.By, TCommunityStorage::RemoveChatAction, player->Name, reason, C.NowMs}))
            return Failed("cannot log the removal");
        C.Out(player->Name + "'s lobby chat is gone from what new arrivals see");
        return 0;
    }

    int Log() {
        int64_t count = 50;
        if (Words.size() == 2) {
            std::optional<int64_t> number = Number(Words[1]);
            if (!number || *number > 10'000) {
                C.Out("'" + Words[1] + "' is not a count from 1 to 10000");
                return 2;
            }
            count = *number;
        }
        std::optional<std::vector<TCommunityStorage::TAction>> actions =
            C.Community.LatestActions(int32_t(count));
        if (!actions) return Failed("cannot read the moderation log");
        for (auto action = actions->rbegin(); action != actions->rend(); ++action)
            C.Out(When(action->AtMs) + " " + action->By + ": " + action->Action + " " + action->Target +
                  (action->Reason.empty() ? "" : " — " + action->Reason));
        return 0;
    }

    const std::vector<std::string>& Words;
    TContext& C;
};

} // namespace

int Run(const std::vector<std::string>& words, TContext& context) {
    if (words.empty() || words[0] == "help") {
        context.Out(Usage());
        return words.empty() ? 2 : 0;
    }
    return TRunner(words, context).Run();
}

std::string Usage() {
    return "Usage: vantaro-server admin [--data DIR | --database URL] [--config FILE] COMMAND\n"
           "Acts on the server's database as its administrator; running servers follow within seconds.\n"
           "\n"
           "  moderators                       list the moderators (settings file and granted)\n"
           "  grant NAME, revoke NAME          make a player a moderator, or no longer\n"
           "  mute NAME TIME REASON            refuse the player's chat for a time (30m, 12h, 7d)\n"
           "  ban NAME TIME|forever REASON     refuse the player's sign-in\n"
           "  ban-certificate FINGERPRINT TIME|forever REASON\n"
           "  ban-address RANGE TIME|forever REASON   an address or prefix, IPv4 or IPv6\n"
           "  sanctions                        list the sanctions in force, with their numbers\n"
           "  lift NUMBER [REASON]             lift a sanction\n"
           "  reports                          list the open reports with their evidence\n"
           "  close-report NUMBER OUTCOME      close a report, saying what was done\n"
           "  log [COUNT]                      the latest moderation actions (50)\n"
           "  remove-chat NAME [--reason] REASON   take the player's lines out of the lobby's\n"
           "                                   backlog that new arrivals are shown\n";
}

} // namespace AdminCommand
