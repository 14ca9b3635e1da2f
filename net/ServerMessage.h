#pragma once

#include "game/GameRules.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

// What a game server tells a client, decoded and checked for shape and range.
// Text in it has been made plain for people to read.

struct TLobbyPlayer {
    QString Name;
    int64_t Table = 0; // 0 in the lobby
    int32_t Seat = -1; // -1 watching (or in the lobby)
};

struct TLobbyTable {
    int64_t Id = 0;
    TGameRules Rules;
    int32_t Seconds = 60; // per move; 0 unlimited
    std::array<QString, 2> Seats; // Red, Blue; empty when open
    int32_t Watchers = 0;
    bool Playing = false;
};

struct TServerMove {
    int32_t Slot = 0;
    int32_t X = 0;
    int32_t Y = 0;
};

// A match as it stands: enough to deal it and play it up to now.
struct TServerMatchState {
    int64_t Table = 0;
    int64_t Match = 0;
    int64_t Seed = 0;
    TGameRules Rules;
    int32_t Seconds = 60;
    int32_t First = 1;
    std::array<QString, 2> Seats;
    int32_t You = -1; // the seat of this client, -1 watching
    std::vector<TServerMove> Moves;
    std::array<bool, 2> Away{};
};

struct TServerMessage {
    enum class TKind {
        SignedIn, Lobby, Player, PlayerGone, Table, TableGone, Match, Moved, MoveRefused,
        Away, Back, Ended, Chat, Refused, Bye, Pong
    };
    TKind Kind = TKind::Pong;
    QString Name;                       // SignedIn, PlayerGone
    std::vector<TLobbyPlayer> Players;  // Lobby
    std::vector<TLobbyTable> Tables;    // Lobby
    TLobbyPlayer Player;                // Player
    TLobbyTable TableInfo;              // Table
    TServerMatchState Match;            // Match, MoveRefused
    int64_t Table = 0;                  // TableGone, Moved, Away, Back, Ended, Chat (0: the lobby)
    int32_t Index = 0;                  // Moved
    int32_t Seat = -1;                  // Moved, Away, Back
    TServerMove Move;                   // Moved
    int32_t Seconds = 0;                // Away
    int64_t ClockMs = -1;               // Match, MoveRefused, Moved, Back: the time the player to move has left; -1 none
    QString How;                        // Ended: finished, time, forfeit, abandoned
    int32_t Winner = -1;                // Ended
    std::array<int32_t, 2> Score{};     // Ended
    QString From;                       // Chat
    QString Text;                       // Chat, MoveRefused, Refused, Bye: the reason
};
