// Drives the server's lobby as up to four clients would: each input is a
// sequence of steps, a first byte choosing the client and what happens
// (connect, a line, a dropped line, time passing), then for a line its bytes
// up to '\n'. Storage is kept in memory the way the SQL one keeps it.
#include "FakeReferee.h"

#include "server/AddressLimits.h"
#include "server/Lobby.h"
#include "server/LobbyCodec.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include <cstdint>
#include <cstring>
#include <map>

namespace {

class TMemoryStorage : public TStorage {
public:
    TBinding BindName(const std::string& name, const std::string& fingerprint, int64_t) override
    {
        TBinding binding;
        if (!IsValidPlayerName(name) || fingerprint.empty()) {
            binding.Result = TBindResult::Invalid;
            return binding;
        }
        auto [it, created] = Names.try_emplace(NameKey(name), TPlayer{int64_t(Names.size() + 1), name, fingerprint});
        binding.Result = it->second.Fingerprint != fingerprint ? TBindResult::Taken
                         : created                            ? TBindResult::Created
                                                              : TBindResult::Known;
        binding.PlayerId = it->second.Id;
        binding.Name = it->second.Name;
        return binding;
    }
    std::optional<TPlayer> FindPlayer(const std::string& name) override
    {
        auto found = Names.find(NameKey(name));
        return found == Names.end() ? std::nullopt : std::optional<TPlayer>(found->second);
    }
    std::optional<std::string> PlayerName(int64_t id) override
    {
        for (auto& [key, player] : Names)
            if (player.Id == id)
                return player.Name;
        return std::nullopt;
    }
    int64_t CreateMatch(const TMatchRecord& match) override
    {
        int64_t id = int64_t(Matches.size() + 1);
        Matches[id] = match;
        Matches[id].Id = id;
        return id;
    }
    bool AddMove(int64_t id, const TMoveRecord& move) override
    {
        auto found = Matches.find(id);
        if (found == Matches.end() || found->second.Status != TMatchStatus::Playing ||
            move.Index != int32_t(found->second.Moves.size()))
            __builtin_trap(); // the lobby must only store the next move of a match in play
        found->second.Moves.push_back(move);
        return true;
    }
    bool FinishMatch(int64_t id, TMatchStatus status, int32_t, const int32_t[2], int64_t) override
    {
        auto found = Matches.find(id);
        if (found == Matches.end() || found->second.Status != TMatchStatus::Playing)
            __builtin_trap(); // a match ends once
        found->second.Status = status;
        return true;
    }
    std::optional<TMatchRecord> LoadMatch(int64_t id) override
    {
        auto found = Matches.find(id);
        return found == Matches.end() ? std::nullopt : std::optional<TMatchRecord>(found->second);
    }
    std::vector<TMatchRecord> MatchesInPlay() override
    {
        std::vector<TMatchRecord> playing;
        for (auto& [id, match] : Matches)
            if (match.Status == TMatchStatus::Playing)
                playing.push_back(match);
        return playing;
    }
    std::string LastError() const override { return {}; }

private:
    std::map<std::string, TPlayer> Names;
    std::map<int64_t, TMatchRecord> Matches;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStorage storage;
    TServerLog log([](const std::string&) {});
    TAddressLimits limits;
    auto lobby = std::make_unique<TLobby>(
        storage, log, limits, [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
        [] { return int64_t(5); });
    bool connected[4] = {};
    int64_t now = 1'000'000;
    size_t at = 0;
    while (at < size) {
        uint8_t step = data[at++];
        uint64_t client = step & 3;
        switch ((step >> 2) & 7) {
        case 0:
        case 1:
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
            if (lobby->NextDeadline() <= now)
                __builtin_trap(); // whatever was due is done
            break;
        case 4:
            // The server restarts: the lobby goes, the storage stays.
            lobby = std::make_unique<TLobby>(
                storage, log, limits,
                [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
                [] { return int64_t(5); });
            lobby->ResumeStored(now);
            for (bool& c : connected)
                c = false;
            break;
        default: {
            const void* end = std::memchr(data + at, '\n', size - at);
            size_t length = end ? size_t(static_cast<const uint8_t*>(end) - (data + at)) : size - at;
            std::string_view line(reinterpret_cast<const char*>(data + at), length);
            at += length + (end ? 1 : 0);
            LobbyCodec::TDecoded decoded = LobbyCodec::Decode(line);
            if (decoded.Ok && connected[client])
                lobby->Handle(client + 1, decoded.Request, now);
            break;
        }
        }
        for (const TLobby::TOutgoing& out : lobby->TakeOutgoing())
            if (out.Line.empty() || out.Line.back() != '\n' || out.Line.front() == '\n' ||
                out.Line.find("\n\n") != std::string::npos)
                __builtin_trap(); // whole lines, none empty
    }
    return 0;
}
