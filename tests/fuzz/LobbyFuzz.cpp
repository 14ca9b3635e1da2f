// Drives the server's lobby as up to four clients would: each input is a
// sequence of steps, a first byte choosing the client and what happens
// (connect, a line, a ready-made request, a dropped line, time passing),
// then for a line its bytes up to '\n', for a ready-made request one byte of
// what it names. The lobby is one of a cluster, and some lines are messages
// from the bus. Storage is kept in memory the way the SQL one keeps it.
#include "FakeReferee.h"

#include "protocol/Requests.h"
#include "server/AddressLimits.h"
#include "server/Lobby.h"
#include "server/ServerLog.h"
#include "server/Storage.h"
#include "server/cluster/ClusterMessage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace {

class TMemoryStorage : public TStorage, public TCommunityStorage {
public:
    TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t) override {
        TBinding binding;
        if (!IsValidPlayerName(name) || fingerprint.empty()) {
            binding.Result = TBindResult::Invalid;
            return binding;
        }
        auto [it, created] =
            Names.try_emplace(NameKey(name), TPlayer{int64_t(Names.size() + 1), name, fingerprint});
        binding.Result = it->second.Fingerprint != fingerprint ? TBindResult::Taken
                         : created                             ? TBindResult::Created
                                                               : TBindResult::Known;
        binding.PlayerId = it->second.Id;
        binding.Name = it->second.Name;
        return binding;
    }
    std::optional<TPlayer> FindPlayer(const std::string& name) override {
        auto found = Names.find(NameKey(name));
        return found == Names.end() ? std::nullopt : std::optional<TPlayer>(found->second);
    }
    std::optional<std::string> PlayerName(int64_t id) override {
        for (auto& [key, player] : Names)
            if (player.Id == id) return player.Name;
        return std::nullopt;
    }
    int64_t CreateMatch(const TStoredMatch& match) override {
        int64_t id = int64_t(Matches.size() + 1);
        Matches[id] = match;
        Matches[id].Id = id;
        return id;
    }
    TMoveResult AddMove(int64_t id, int64_t, const TStoredMove& move) override {
        auto found = Matches.find(id);
        if (found == Matches.end() || found->second.Status != TMatchStatus::Playing ||
            move.Index != int32_t(found->second.Moves.size()))
            __builtin_trap(); // the lobby must only store the next move of a match in play
        found->second.Moves.push_back(move);
        return TMoveResult::Stored;
    }
    TMoveResult AddLastMove(int64_t id, int64_t epoch, const TStoredMove& move, int32_t winner,
                            const int32_t score[2], TRatingUpdate* ratings) override {
        AddMove(id, epoch, move);
        FinishMatch(id, epoch, TMatchStatus::Finished, winner, score, move.TimeMs, ratings);
        return TMoveResult::Stored;
    }
    TMoveResult FinishMatch(int64_t id, int64_t, TMatchStatus status, int32_t winner, const int32_t score[2],
                            int64_t endedMs, TRatingUpdate* ratings) override {
        auto found = Matches.find(id);
        if (found == Matches.end() || found->second.Status != TMatchStatus::Playing)
            __builtin_trap(); // a match ends once
        TStoredMatch& match = found->second;
        match.Status = status;
        match.Winner = winner;
        match.Score[0] = score[0];
        match.Score[1] = score[1];
        match.EndedMs = endedMs;
        if (ratings && match.Rated && status != TMatchStatus::Abandoned) {
            // Not Glicko-2: a fixed step is enough to drive the lobby.
            ratings->Rated = true;
            for (int seat = 0; seat < 2; ++seat) {
                TStanding& standing = Standings[match.Players[seat]];
                ratings->Before[seat] = standing.Rating;
                standing.Rating.Rating += winner == -1 ? 0 : winner == seat ? 10 : -10;
                ++standing.RatedMatches;
                ratings->After[seat] = standing.Rating;
            }
        }
        return TMoveResult::Stored;
    }
    std::optional<TStanding> Standing(int64_t id) override {
        std::optional<std::string> name = PlayerName(id);
        if (!name) return std::nullopt;
        TStanding standing = Standings[id];
        standing.Name = *name;
        return standing;
    }
    std::vector<TStanding> Leaderboard(int32_t minMatches, int32_t count) override {
        std::vector<TStanding> leaders;
        for (auto& [key, player] : Names)
            if (Standings[player.Id].RatedMatches >= minMatches && int32_t(leaders.size()) < count)
                leaders.push_back(*Standing(player.Id));
        return leaders;
    }
    std::optional<TProfile> Profile(const std::string& name, int32_t, int32_t recentCount) override {
        std::optional<TPlayer> player = FindPlayer(name);
        if (!player) return std::nullopt;
        TProfile profile;
        profile.PlayerId = player->Id;
        profile.Standing = *Standing(player->Id);
        for (auto& [id, match] : Matches)
            if (match.Status != TMatchStatus::Playing && int32_t(profile.Recent.size()) < recentCount &&
                (match.Players[0] == player->Id || match.Players[1] == player->Id)) {
                TPlayedMatch played;
                played.Match = match;
                played.Seat = match.Players[0] == player->Id ? 0 : 1;
                played.Opponent = PlayerName(match.Players[1 - played.Seat]).value_or("?");
                profile.Recent.push_back(played);
            }
        return profile;
    }
    std::optional<TStoredMatch> LoadMatch(int64_t id) override {
        auto found = Matches.find(id);
        return found == Matches.end() ? std::nullopt : std::optional<TStoredMatch>(found->second);
    }
    std::vector<TStoredMatch> MatchesInPlay() override {
        std::vector<TStoredMatch> playing;
        for (auto& [id, match] : Matches)
            if (match.Status == TMatchStatus::Playing) playing.push_back(match);
        return playing;
    }
    TCommunityStorage* Community() override { return this; }
    std::string LastError() const override { return {}; }

    // The community, as plainly as the lobby needs it.
    int64_t AddSanction(const TSanction& sanction) override {
        Sanctioned.push_back(sanction);
        Sanctioned.back().Id = int64_t(Sanctioned.size());
        Log(sanction.By, KindName(sanction.Kind));
        return Sanctioned.back().Id;
    }
    bool LiftSanction(int64_t id, const std::string& by, const std::string&, int64_t nowMs) override {
        if (id < 1 || id > int64_t(Sanctioned.size()) || Lifted.count(id) ||
            (Sanctioned[size_t(id - 1)].UntilMs != 0 && Sanctioned[size_t(id - 1)].UntilMs <= nowMs))
            return false;
        Lifted.insert(id);
        Log(by, "lift");
        return true;
    }
    std::optional<std::vector<TSanction>> Sanctions(int64_t nowMs) override {
        std::vector<TSanction> inForce;
        for (const TSanction& sanction : Sanctioned)
            if (!Lifted.count(sanction.Id) && (sanction.UntilMs == 0 || sanction.UntilMs > nowMs))
                inForce.push_back(sanction);
        return inForce;
    }
    bool SetModerator(int64_t, bool, const std::string&, int64_t) override { return true; }
    std::optional<std::vector<std::string>> Moderators() override { return std::vector<std::string>(); }
    int64_t AddReport(const TReport& report) override {
        Reports.push_back(report);
        Reports.back().Id = int64_t(Reports.size());
        return Reports.back().Id;
    }
    int32_t ReportsSince(int64_t reporter, int64_t sinceMs) override {
        return int32_t(std::count_if(Reports.begin(), Reports.end(), [&](const TReport& report) {
            return report.ReporterId == reporter && report.CreatedMs >= sinceMs;
        }));
    }
    std::optional<std::vector<TReport>> OpenReports(int32_t count) override {
        std::vector<TReport> open;
        for (const TReport& report : Reports)
            if (!Closed.count(report.Id) && int32_t(open.size()) < count) open.push_back(report);
        return open;
    }
    bool CloseReport(int64_t id, const std::string&, const std::string&, int64_t) override {
        return id >= 1 && id <= int64_t(Reports.size()) && Closed.insert(id).second;
    }
    bool LogAction(const TAction& action) override {
        Actions.push_back(action);
        Actions.back().Id = int64_t(Actions.size());
        return true;
    }
    std::optional<std::vector<TAction>> ActionsAfter(int64_t id, int32_t count) override {
        std::vector<TAction> after;
        for (const TAction& action : Actions)
            if (action.Id > id && int32_t(after.size()) < count) after.push_back(action);
        return after;
    }
    std::optional<std::vector<TAction>> LatestActions(int32_t count) override {
        std::vector<TAction> latest(Actions.rbegin(),
                                    Actions.rbegin() + std::min<ptrdiff_t>(count, Actions.size()));
        return latest;
    }
    bool SetRelation(int64_t player, int64_t other, TRelation relation, bool on, int64_t) override {
        if (on)
            Relations.insert({player, int(relation), other});
        else
            Relations.erase({player, int(relation), other});
        return true;
    }
    std::optional<std::vector<std::pair<int64_t, std::string>>> Related(int64_t player,
                                                                        TRelation relation) override {
        std::vector<std::pair<int64_t, std::string>> related;
        for (const auto& [from, kind, other] : Relations)
            if (from == player && kind == int(relation))
                related.emplace_back(other, PlayerName(other).value_or("?"));
        return related;
    }

private:
    void Log(const std::string& by, const std::string& what) { LogAction({0, by, what, "", "", 0}); }

    std::vector<TSanction> Sanctioned;
    std::set<int64_t> Lifted, Closed;
    std::vector<TReport> Reports;
    std::vector<TAction> Actions;
    std::set<std::tuple<int64_t, int, int64_t>> Relations;

    std::map<std::string, TPlayer> Names;
    std::map<int64_t, TStoredMatch> Matches;
    std::map<int64_t, TStanding> Standings;
};

// The requests that move clients between tables, as the lobby reads them:
// a few names (shared, so a second connection takes over a first), a few
// tables, the seats and the squares, so that tables are opened, watched,
// left and removed within a handful of steps.
TLobbyRequest ReadyMade(int kind, uint8_t what) {
    using TKind = TLobbyRequest::TKind;
    TLobbyRequest request;
    const TKind kinds[] = {TKind::Login, TKind::CreateTable, TKind::Sit,    TKind::Watch,
                           TKind::Leave, TKind::State,       TKind::Chat,   TKind::Move,
                           TKind::Block, TKind::Follow,      TKind::Report, TKind::Moderate};
    request.Kind = kinds[((kind & 7) | (what & 128 ? 8 : 0)) % std::size(kinds)];
    request.On = (what & 1) != 0;
    request.Reason = request.Kind == TKind::Report
                         ? "spam"
                         : Protocol::ModerationActions[what % std::size(Protocol::ModerationActions)];
    request.Minutes = what % 3 * 30;
    request.Id = 1 + what % 3;
    request.Target = "192.0.2.0/31";
    request.Name = std::string("Player") + char('A' + what % 3);
    request.Rules = what & 31;
    request.MoveSeconds = (what & 32) ? 30 : 60;
    request.Rated = (what & 64) != 0;
    request.Table = 1 + what % 4;
    request.Seat = int32_t(what >> 6) % 3 - 1;
    request.Text = "hi";
    request.Move = {int32_t(what % 5), int32_t((what >> 3) % 3), int32_t((what >> 5) % 3)};
    return request;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStorage storage;
    TServerLog log([](const std::string&) {});
    TAddressLimits limits;
    auto lobby = std::make_unique<TLobby>(
        storage, log, limits,
        [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
        [] { return int64_t(5); });
    // PlayerA moderates: every moderator's action is reachable, and so is
    // every refusal for the others.
    TServerSettings settings;
    settings.Moderators = {"PlayerA"};
    settings.ReportsPerDay = 2;
    auto open = [&](TLobby& fresh, int64_t nowMs) {
        fresh.Apply(settings);
        fresh.Moderate(storage, nowMs);
        fresh.JoinCluster("here", nowMs);
        fresh.ClusterBus(true, nowMs);
    };
    open(*lobby, 1'000'000);
    bool connected[4] = {};
    int64_t now = 1'000'000;
    size_t at = 0;
    while (at < size) {
        uint8_t step = data[at++];
        uint64_t client = step & 3;
        switch ((step >> 2) & 7) {
        case 1:
            if (connected[client] && at < size)
                lobby->Handle(client + 1, ReadyMade(step >> 5, data[at]), now);
            at += at < size ? 1 : 0;
            break;
        case 0:
            if (!connected[client]) {
                // Two clients share a certificate, so one can take over the other's name.
                lobby->Connected(client + 1, client < 2 ? "same" : "fp" + std::to_string(client),
                                 "192.0.2." + std::to_string(client & 1),
                                 "192.0.2." + std::to_string(client & 1));
                connected[client] = true;
            }
            break;
        case 2:
            if (connected[client]) {
                lobby->Disconnected(client + 1, now);
                connected[client] = false;
            }
            break;
        case 3:
            now += int64_t(step >> 5) * 20'000;
            lobby->Tick(now);
            if (lobby->NextDeadline() <= now) __builtin_trap(); // whatever was due is done
            break;
        case 4:
            // The server restarts: the lobby goes, the storage stays.
            lobby = std::make_unique<TLobby>(
                storage, log, limits,
                [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
                [] { return int64_t(5); });
            open(*lobby, now);
            lobby->ResumeStored(now);
            for (bool& c : connected) c = false;
            break;
        default: {
            const void* end = std::memchr(data + at, '\n', size - at);
            size_t length = end ? size_t(static_cast<const uint8_t*>(end) - (data + at)) : size - at;
            std::string_view line(reinterpret_cast<const char*>(data + at), length);
            at += length + (end ? 1 : 0);
            if (((step >> 2) & 7) == 7 && client == 3) {
                lobby->HandleCluster(std::string(line), now);
                break;
            }
            Requests::TDecoded decoded = Requests::Decode(line);
            if (decoded.Ok && connected[client]) lobby->Handle(client + 1, decoded.Request, now);
            break;
        }
        }
        lobby->TakeClusterSubscriptions();
        // What this process tells the others, they take.
        for (const auto& [channel, payload] : lobby->TakeClusterOutgoing())
            if (!TClusterMessage::Decode(payload)) __builtin_trap();
        for (const TLobby::TOutgoing& out : lobby->TakeOutgoing()) {
            // A write may gather several lines; each is whole, not empty and
            // within what a client reads.
            if (out.Line.empty() || out.Line.back() != '\n' || out.Line.front() == '\n' ||
                out.Line.find("\n\n") != std::string::npos)
                __builtin_trap();
            for (size_t from = 0; from < out.Line.size();) {
                const size_t end = out.Line.find('\n', from);
                if (end - from + 1 > TLobby::MaxAnswerBytes) __builtin_trap();
                from = end + 1;
            }
        }
    }
    return 0;
}
