#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

// Limits per client address, over all its connections: how many it holds at
// once and how many new names it may register an hour. Memory stays bounded
// by the connections open and the names of the last hour: an address is
// forgotten once it has no connection and its hour has passed.
class TAddressLimits {
public:
    int MaxConnections = 8;
    int MaxNewNamesPerHour = 5;

    bool TryOpen(const std::string& address);
    void Closed(const std::string& address);
    // Counts a new name for the address if it has any left this hour.
    bool TryNewName(const std::string& address, int64_t nowMs);

    // Counts one action of a kind limited to `limit` per fixed window of
    // windowMs (chat lines, tables opened) if the address has one left.
    enum class TAction { Chat, CreateTable };
    bool TryAction(const std::string& address, TAction action, int limit, int64_t windowMs, int64_t nowMs);

    // Forgets addresses with no connection whose hour of names has passed;
    // the server calls it now and then.
    void Sweep(int64_t nowMs);

    int Connections(const std::string& address) const;
    size_t AddressesKnown() const { return Addresses.size(); }

private:
    struct TAddress {
        int Connections = 0;
        std::deque<int64_t> NameTimesMs;
        int64_t WindowStartMs[2] = {0, 0};
        int WindowCount[2] = {0, 0};
    };
    void Forget(const std::string& address, int64_t nowMs);

    std::unordered_map<std::string, TAddress> Addresses;
};
