#include "server/AddressLimits.h"

namespace {

constexpr int64_t HourMs = 3600 * 1000;

} // namespace

bool TAddressLimits::TryOpen(const std::string& address)
{
    TAddress& entry = Addresses[address];
    if (entry.Connections >= MaxConnections)
        return false;
    ++entry.Connections;
    return true;
}

void TAddressLimits::Closed(const std::string& address)
{
    auto found = Addresses.find(address);
    if (found == Addresses.end())
        return;
    if (found->second.Connections > 0)
        --found->second.Connections;
    if (found->second.Connections == 0 && found->second.NameTimesMs.empty())
        Addresses.erase(found);
}

void TAddressLimits::Forget(const std::string& address, int64_t nowMs)
{
    auto found = Addresses.find(address);
    if (found == Addresses.end())
        return;
    auto& times = found->second.NameTimesMs;
    while (!times.empty() && times.front() <= nowMs - HourMs)
        times.pop_front();
}

bool TAddressLimits::TryNewName(const std::string& address, int64_t nowMs)
{
    Forget(address, nowMs);
    TAddress& entry = Addresses[address];
    if (int(entry.NameTimesMs.size()) >= MaxNewNamesPerHour)
        return false;
    entry.NameTimesMs.push_back(nowMs);
    return true;
}

int TAddressLimits::Connections(const std::string& address) const
{
    auto found = Addresses.find(address);
    return found == Addresses.end() ? 0 : found->second.Connections;
}

void TAddressLimits::Sweep(int64_t nowMs)
{
    for (auto it = Addresses.begin(); it != Addresses.end();) {
        auto& times = it->second.NameTimesMs;
        while (!times.empty() && times.front() <= nowMs - HourMs)
            times.pop_front();
        if (it->second.Connections == 0 && times.empty())
            it = Addresses.erase(it);
        else
            ++it;
    }
}

bool TAddressLimits::TryAction(const std::string& address, TAction action, int limit, int64_t windowMs,
                               int64_t nowMs)
{
    TAddress& entry = Addresses[address];
    int kind = int(action);
    if (nowMs - entry.WindowStartMs[kind] >= windowMs || nowMs < entry.WindowStartMs[kind]) {
        entry.WindowStartMs[kind] = nowMs;
        entry.WindowCount[kind] = 0;
    }
    if (entry.WindowCount[kind] >= limit)
        return false;
    ++entry.WindowCount[kind];
    return true;
}
