#include "server/CommunityStorage.h"

namespace {

// As the database and the moderation log name them.
constexpr std::pair<TCommunityStorage::TSanctionKind, const char*> KindNames[] = {
    {TCommunityStorage::TSanctionKind::Mute, "mute"},
    {TCommunityStorage::TSanctionKind::Ban, "ban"},
    {TCommunityStorage::TSanctionKind::CertificateBan, "ban certificate"},
    {TCommunityStorage::TSanctionKind::AddressBan, "ban address"},
};

} // namespace

const char* TCommunityStorage::KindName(TSanctionKind kind) {
    for (const auto& [named, name] : KindNames)
        if (named == kind) return name;
    return "";
}

std::optional<TCommunityStorage::TSanctionKind> TCommunityStorage::KindNamed(const std::string& name) {
    for (const auto& [kind, named] : KindNames)
        if (name == named) return kind;
    return std::nullopt;
}
