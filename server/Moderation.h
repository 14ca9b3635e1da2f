#pragma once

#include "server/AddressRange.h"
#include "server/CommunityStorage.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

// What the lobby enforces of its moderators' decisions: the sanctions in
// force and who may moderate, as last read from the database, so that a
// sign-in or a chat line is checked without a query.
class TModeration {
public:
    using TSanction = TCommunityStorage::TSanction;
    using TKind = TCommunityStorage::TSanctionKind;

    // Moderators: those the settings name and those granted in the database.
    void SetModerators(const std::vector<std::string>& named, const std::vector<std::string>& granted);
    bool IsModerator(const std::string& name) const;
    void SetSanctions(std::vector<TSanction> sanctions);
    const std::vector<TSanction>& Sanctions() const { return InForce; }

    // The sanction that keeps this player, certificate or address out, if any.
    const TSanction* BanOf(int64_t playerId, const std::string& fingerprint, const std::string& address,
                           int64_t nowMs) const;
    const TSanction* MuteOf(int64_t playerId, int64_t nowMs) const;
    // What a player is told: "You are banned for 2 more hours: spam." and the like.
    static std::string Telling(const TSanction& sanction, int64_t nowMs);
    // "30m", "2h", "7d", "forever" (0) as milliseconds; nothing when unreadable.
    static std::optional<int64_t> Duration(const std::string& text);

private:
    static bool InEffect(const TSanction& sanction, int64_t nowMs);
    std::vector<TSanction> InForce;
    std::vector<std::optional<TAddressRange>> Ranges; // beside InForce, for address bans
    std::set<std::string> ModeratorKeys;
};
