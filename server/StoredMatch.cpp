#include "server/StoredMatch.h"

namespace {

constexpr const char* StatusNames[] = {"playing", "finished", "time", "forfeit", "abandoned"};

} // namespace

const char* StatusName(TMatchStatus status)
{
    return StatusNames[int(status)];
}

bool StatusFromName(const std::string& name, TMatchStatus& status)
{
    for (int i = 0; i < 5; ++i)
        if (name == StatusNames[i]) {
            status = TMatchStatus(i);
            return true;
        }
    return false;
}

bool IsValidPlayerName(const std::string& name)
{
    if (name.size() < 3 || name.size() > 16)
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

std::string NameKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return key;
}
