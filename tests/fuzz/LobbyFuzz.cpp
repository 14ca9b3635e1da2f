// Drives the server's lobby as up to four clients would: each input is a
// sequence of steps, a first byte choosing the client and what happens
// (connect, a line, a ready-made request, a dropped line, time passing),
// then for a line its bytes up to '\n', for a ready-made request one byte of
// what it names. Storage is kept in memory the way the SQL one keeps it.
#include "FakeReferee.h"

#include "protocol/Requests.h"
#include "server/AddressLimits.h"
#include "server/Lobby.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include <cstdint>
#include <cstring>
#include <map>

namespace {

class TMemoryStorage : public TStorage {
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
    TMoveResult AddMove(int64_t id, const TStoredMove& move) override {
        auto found = Matches.find(id);
        if (found == Matches.end() || found->second.Status != TMatchStatus::Playing ||
            move.Index != int32_t(found->second.Moves.size()))
            __builtin_trap(); // the lobby must only store the next move of a match in play
        found->second.Moves.push_back(move);
        return TMoveResult::Stored;
    }
    TMoveResult AddLastMove(int64_t id, const TStoredMove& move, int32_t winner, const int32_t score[2],
                            TRatingUpdate* ratings) override {
        AddMove(id, move);
        FinishMatch(id, TMatchStatus::Finished, winner, score, move.TimeMs, ratings);
        return TMoveResult::Stored;
    }
    bool FinishMatch(int64_t id, TMatchStatus status, int32_t winner, const int32_t score[2], int64_t endedMs,
                     TRatingUpdate* ratings) override {
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
        return true;
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
    std::string LastError() const override { return {}; }

private:
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
    const TKind kinds[] = {TKind::Login, TKind::CreateTable, TKind::Sit,  TKind::Watch,
                           TKind::Leave, TKind::State,       TKind::Chat, TKind::Move};
    request.Kind = kinds[kind & 7];
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
            lobby->ResumeStored(now);
            for (bool& c : connected) c = false;
            break;
        default: {
            const void* end = std::memchr(data + at, '\n', size - at);
            size_t length = end ? size_t(static_cast<const uint8_t*>(end) - (data + at)) : size - at;
            std::string_view line(reinterpret_cast<const char*>(data + at), length);
            at += length + (end ? 1 : 0);
            Requests::TDecoded decoded = Requests::Decode(line);
            if (decoded.Ok && connected[client]) lobby->Handle(client + 1, decoded.Request, now);
            break;
        }
        }
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
