#pragma once

#include "protocol/ServerMessage.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// What one process of a cluster knows of the others' lobbies, and what it
// has still to tell them. Plain data: the lobby keeps it in step with its
// view (LobbyCluster.cpp).
struct TClusterPeers {
    // Bounds on what others may make this process keep.
    static constexpr size_t MaxProcesses = 64;
    static constexpr size_t MaxEntriesEach = 20'000;
    // Remote tables are listed under ids of their own, from here up, so that
    // they never meet the ids this process gives its tables.
    static constexpr int64_t FirstAlias = int64_t(1) << 52;
    // Clients of other processes seated here are known by connections of
    // their own, from here up, beyond any the transport numbers.
    static constexpr uint64_t FirstRelayed = uint64_t(1) << 62;

    struct TPlayer {
        TLobbyPlayer Entry; // its table as TableOrigin, or else the origin, numbers it
        std::string TableOrigin;
        int64_t Generation = 0;
    };
    struct TTable {
        TLobbyTable Entry; // its id as the origin numbers it
        int64_t Generation = 0;
    };
    struct TProcess {
        int64_t HeardMs = 0;
        int64_t Generation = 0; // of the whole set being heard
        std::map<int64_t, TPlayer> Players;
        std::map<int64_t, TTable> Tables;
        std::map<int64_t, int64_t> Aliases; // its table id → the id listed here
    };

    struct TTarget {
        std::string Origin;
        int64_t Table = 0;
    };

    static std::string NodeChannel(const std::string& origin) { return "node:" + origin; }
    static std::string TableChannel(const std::string& origin, int64_t table) {
        return "table:" + origin + ":" + std::to_string(table);
    }

    // The id a remote table is listed under here, given it when first named.
    int64_t AliasOf(const std::string& origin, TProcess& process, int64_t table) {
        auto [alias, added] = process.Aliases.try_emplace(table, NextAlias);
        if (added) Targets[NextAlias++] = {origin, table};
        return alias->second;
    }

    // Keeps PlayingAfar and OpenRatedAfar in step with one of origin's
    // tables, as it was (if known) and as it is now (if not gone).
    void Reseat(const std::string& origin, const TLobbyTable* was, const TLobbyTable* now) {
        if (was != nullptr) OpenRatedAfar.erase({origin, was->Id});
        if (now != nullptr && now->Rated && !now->Playing &&
            now->Seats[0].isEmpty() != now->Seats[1].isEmpty())
            OpenRatedAfar[{origin, now->Id}] = {now->Seats[0].isEmpty() ? now->Seats[1] : now->Seats[0]};
        if (was != nullptr)
            for (const QString& name : was->Seats) {
                auto seated = PlayingAfar.find(name);
                if (seated != PlayingAfar.end() && seated->second.Origin == origin &&
                    seated->second.Table == was->Id)
                    PlayingAfar.erase(seated);
            }
        if (now != nullptr && now->Playing)
            for (const QString& name : now->Seats)
                if (!name.isEmpty()) PlayingAfar[name] = {origin, now->Id};
    }

    std::string Origin; // this process's name on the bus
    bool Up = false;
    int64_t Generation = 0; // of the last whole set sent
    int64_t HeartbeatAtMs = 0;
    int64_t WholeAtMs = 0; // the next heartbeat to name every entry again
    // The whole set at the next tick: one new to it, or back on the bus, has not heard it.
    void WholeNow(int64_t nowMs) { HeartbeatAtMs = WholeAtMs = nowMs; }
    std::set<int64_t> ChangedPlayers, ChangedTables;           // local entries to tell of
    std::vector<std::pair<std::string, std::string>> Outgoing; // (channel, payload)
    std::vector<std::pair<std::string, bool>> Subscriptions;   // (channel, subscribe or leave)
    std::map<std::string, TProcess> Processes;
    int64_t NextAlias = FirstAlias;
    std::map<int64_t, TTarget> Targets; // alias → the table it lists
    // Who sits at a table in play elsewhere, by name: where one signing in
    // here finds their match, without looking through every table.
    std::map<QString, TTarget> PlayingAfar;
    // Rated tables elsewhere with one player waiting at them, for Play Now,
    // by (origin, its table id): who waits, with their id and rating once
    // found among the entries (once a table, not at every Play Now).
    struct TWaiting {
        QString Name;
        int64_t Player = 0;
        int32_t Rating = 1500;
    };
    std::map<std::pair<std::string, int64_t>, TWaiting> OpenRatedAfar;
    std::map<int64_t, std::set<uint64_t>> WatchersAfar; // alias → connections here watching it
    std::set<uint64_t> AwaitingState;                   // watchers afar not yet sent the table
    std::map<int64_t, std::set<uint64_t>> SeatedAfar;   // alias → connections here seated at it
    // Clients of other processes whose requests come here: (their process,
    // its connection) → their connection here.
    std::map<std::pair<std::string, uint64_t>, uint64_t> Relayed;
    uint64_t NextRelayed = FirstRelayed;
    size_t Dropped = 0; // messages refused as malformed or beyond the bounds
};
