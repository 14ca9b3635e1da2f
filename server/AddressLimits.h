#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

// Limits per client address, over all its connections: how many it holds at
// once, how many new names it may register an hour, and how often it may act
// (chat, open tables, ask questions). What an address has used is kept for as
// long as its window lasts, whatever its connections do, so reconnecting
// gives nothing back. An address is forgotten once it has no connection and
// every window it used has passed, by Sweep.
//
// Memory is bounded by MaxAddresses. At the bound nobody already known is
// forgotten early (that would hand back their allowances to whoever filled
// the table); instead an address not yet known is turned away, its
// connection and its actions alike, until Sweep makes room.
class TAddressLimits {
public:
    int MaxConnections = 8;
    int MaxNewNamesPerHour = 5;
    size_t MaxAddresses = 50'000;
    // Whether two names from one address are one person to the lobby: a rated
    // match between them plays casual. Off where every client shares an
    // address by design (the tests' loopback server).
    bool OneAddressOnePerson = true;

    // Counts a connection; false when the address holds MaxConnections or the
    // table has no room for a new address.
    bool TryOpen(const std::string& address);
    void Closed(const std::string& address);
    // Counts a new name for the address if it has any left this hour.
    bool TryNewName(const std::string& address, int64_t nowMs);

    // Counts one action of a kind limited to `limit` per fixed window of
    // windowMs (chat lines, tables opened, questions) if the address has one left.
    enum class TAction { Chat, CreateTable, Query, Count };
    bool TryAction(const std::string& address, TAction action, int limit, int64_t windowMs, int64_t nowMs);

    // Forgets addresses with no connection whose windows have all passed.
    void Sweep(int64_t nowMs);

    int Connections(const std::string& address) const;
    size_t AddressesKnown() const { return Addresses.size(); }

private:
    static constexpr int Actions = int(TAction::Count);
    struct TAddress {
        int Connections = 0;
        std::deque<int64_t> NameTimesMs;
        int64_t WindowStartMs[Actions] = {};
        int64_t WindowMs[Actions] = {}; // 0 until the action is first counted
        int WindowCount[Actions] = {};
    };
    // The address's entry, made if there is room; null when there is none.
    TAddress* Entry(const std::string& address);
    static bool Idle(const TAddress& entry, int64_t nowMs);

    std::unordered_map<std::string, TAddress> Addresses;
};
