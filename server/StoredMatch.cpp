#include "server/StoredMatch.h"

#include "protocol/PlayerName.h"

#include <iterator>

namespace {

constexpr const char* StatusNames[] = {"playing", "finished", "time", "forfeit", "abandoned", "resigned"};

} // namespace

const char* StatusName(TMatchStatus status) {
    return StatusNames[int(status)];
}

bool StatusFromName(const std::string& name, TMatchStatus& status) {
    for (int i = 0; i < int(std::size(StatusNames)); ++i)
        if (name == StatusNames[i]) {
            status = TMatchStatus(i);
            return true;
        }
    return false;
}

bool IsValidPlayerName(const std::string& name) {
    return IsPlayerName(QString::fromStdString(name));
}

std::string NameKey(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return key;
}
