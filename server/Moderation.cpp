#include "server/Moderation.h"

#include "server/StoredMatch.h"

#include <charconv>

void TModeration::SetModerators(const std::vector<std::string>& named,
                                const std::vector<std::string>& granted) {
    ModeratorKeys.clear();
    for (const std::vector<std::string>* names : {&named, &granted})
        for (const std::string& name : *names) ModeratorKeys.insert(NameKey(name));
}

bool TModeration::IsModerator(const std::string& name) const {
    return !name.empty() && ModeratorKeys.count(NameKey(name)) != 0;
}

void TModeration::SetSanctions(std::vector<TSanction> sanctions) {
    InForce = std::move(sanctions);
    Ranges.clear();
    for (const TSanction& sanction : InForce)
        Ranges.push_back(sanction.Kind == TKind::AddressBan ? TAddressRange::Parse(sanction.Target)
                                                            : std::nullopt);
}

bool TModeration::InEffect(const TSanction& sanction, int64_t nowMs) {
    return sanction.UntilMs == 0 || sanction.UntilMs > nowMs;
}

const TModeration::TSanction* TModeration::BanOf(int64_t playerId, const std::string& fingerprint,
                                                 const std::string& address, int64_t nowMs) const {
    for (size_t i = 0; i < InForce.size(); ++i) {
        const TSanction& sanction = InForce[i];
        if (!InEffect(sanction, nowMs)) continue;
        const bool applies =
            (sanction.Kind == TKind::Ban && playerId != 0 && sanction.PlayerId == playerId) ||
            (sanction.Kind == TKind::CertificateBan && !fingerprint.empty() &&
             sanction.Target == fingerprint) ||
            (sanction.Kind == TKind::AddressBan && Ranges[i] && Ranges[i]->Contains(address));
        if (applies) return &sanction;
    }
    return nullptr;
}

const TModeration::TSanction* TModeration::MuteOf(int64_t playerId, int64_t nowMs) const {
    for (const TSanction& sanction : InForce)
        if (sanction.Kind == TKind::Mute && sanction.PlayerId == playerId && InEffect(sanction, nowMs))
            return &sanction;
    return nullptr;
}

namespace {

std::string TimeLeft(int64_t ms) {
    const int64_t minutes = (ms + 59'999) / 60'000;
    if (minutes < 120) return std::to_string(minutes) + (minutes == 1 ? " more minute" : " more minutes");
    const int64_t hours = (minutes + 59) / 60;
    if (hours < 48) return std::to_string(hours) + " more hours";
    return std::to_string((hours + 23) / 24) + " more days";
}

} // namespace

std::string TModeration::Telling(const TSanction& sanction, int64_t nowMs) {
    std::string what = sanction.Kind == TKind::Mute ? "You are muted" : "You are banned from this server";
    what += sanction.UntilMs == 0 ? " for good" : " for " + TimeLeft(sanction.UntilMs - nowMs);
    if (!sanction.Reason.empty()) what += ": " + sanction.Reason;
    return what + ".";
}

std::optional<int64_t> TModeration::Duration(const std::string& text) {
    if (text == "forever") return 0;
    int64_t count = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [unit, error] = std::from_chars(first, last, count);
    if (error != std::errc() || unit + 1 != last || count <= 0 || count > 100'000) return std::nullopt;
    switch (*unit) {
    case 'm':
        return count * 60'000;
    case 'h':
        return count * 3'600'000;
    case 'd':
        return count * 86'400'000;
    default:
        return std::nullopt;
    }
}
