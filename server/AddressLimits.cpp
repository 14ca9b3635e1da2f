#include "server/AddressLimits.h"

namespace {

constexpr int64_t HourMs = 3600 * 1000;

void ForgetOldNames(std::deque<int64_t>& times, int64_t nowMs) {
    while (!times.empty() && times.front() <= nowMs - HourMs) times.pop_front();
}

} // namespace

TAddressLimits::TAddress* TAddressLimits::Entry(const std::string& address) {
    if (auto found = Addresses.find(address); found != Addresses.end()) return &found->second;
    if (Addresses.size() >= MaxAddresses) return nullptr;
    return &Addresses[address];
}

// Nothing left to remember: no connection, no name of the last hour, and no
// action whose window is still open.
bool TAddressLimits::Idle(const TAddress& entry, int64_t nowMs) {
    if (entry.Connections > 0 || !entry.NameTimesMs.empty()) return false;
    for (int kind = 0; kind < Actions; ++kind)
        if (entry.WindowCount[kind] > 0 && nowMs - entry.WindowStartMs[kind] < entry.WindowMs[kind])
            return false;
    return true;
}

bool TAddressLimits::TryOpen(const std::string& address) {
    TAddress* entry = Entry(address);
    if (!entry || entry->Connections >= MaxConnections) return false;
    ++entry->Connections;
    return true;
}

void TAddressLimits::Closed(const std::string& address) {
    auto found = Addresses.find(address);
    if (found == Addresses.end()) return;
    TAddress& entry = found->second;
    if (entry.Connections > 0) --entry.Connections;
    // Counts still in their windows stay for Sweep; an address that never
    // acted has nothing to keep.
    bool counted = !entry.NameTimesMs.empty();
    for (int count : entry.WindowCount) counted = counted || count > 0;
    if (entry.Connections == 0 && !counted) Addresses.erase(found);
}

bool TAddressLimits::TryNewName(const std::string& address, int64_t nowMs) {
    TAddress* entry = Entry(address);
    if (!entry) return false;
    ForgetOldNames(entry->NameTimesMs, nowMs);
    if (int(entry->NameTimesMs.size()) >= MaxNewNamesPerHour) return false;
    entry->NameTimesMs.push_back(nowMs);
    return true;
}

int TAddressLimits::Connections(const std::string& address) const {
    auto found = Addresses.find(address);
    return found == Addresses.end() ? 0 : found->second.Connections;
}

void TAddressLimits::Sweep(int64_t nowMs) {
    for (auto it = Addresses.begin(); it != Addresses.end();) {
        ForgetOldNames(it->second.NameTimesMs, nowMs);
        if (Idle(it->second, nowMs))
            it = Addresses.erase(it);
        else
            ++it;
    }
}

bool TAddressLimits::TryAction(const std::string& address, TAction action, int limit, int64_t windowMs,
                               int64_t nowMs) {
    TAddress* entry = Entry(address);
    if (!entry) return false;
    int kind = int(action);
    if (nowMs - entry->WindowStartMs[kind] >= windowMs || nowMs < entry->WindowStartMs[kind]) {
        entry->WindowStartMs[kind] = nowMs;
        entry->WindowCount[kind] = 0;
    }
    entry->WindowMs[kind] = windowMs;
    if (entry->WindowCount[kind] >= limit) return false;
    ++entry->WindowCount[kind];
    return true;
}
