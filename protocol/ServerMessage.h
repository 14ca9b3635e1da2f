#pragma once

#include "rules/GameRules.h"
#include "rules/MatchScript.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What a game server tells a client, decoded and checked for shape and range.
// Text in it has been made plain for people to read.

struct TLobbyPlayer {
    QString Name;
    int64_t Table = 0;     // 0 in the lobby
    int32_t Seat = -1;     // -1 watching (or in the lobby)
    int32_t Rating = 1500; // rounded; a server that keeps none sends none
    int32_t Deviation = 350;

    friend bool operator==(const TLobbyPlayer&, const TLobbyPlayer&) = default;
};

struct TLobbyTable {
    int64_t Id = 0;
    TGameRules Rules;
    int32_t Seconds = 60;         // per move; 0 unlimited
    std::array<QString, 2> Seats; // Red, Blue; empty when open
    int32_t Watchers = 0;
    bool Playing = false;
    bool Rated = false;

    friend bool operator==(const TLobbyTable&, const TLobbyTable&) = default;
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
    std::vector<TPlacementMove> Moves;
    std::array<bool, 2> Away{};
    bool Rated = false;
    // Each player's time away allowed in this match, spent across drops.
    int32_t AwaySeconds = 60;
};

// A seat's rating before and after a rated match.
struct TRatingChange {
    int32_t Before = 0;
    int32_t After = 0;
};

struct TLeaderboardEntry {
    QString Name;
    int32_t Rating = 0;
    int32_t Deviation = 0;
    int32_t Matches = 0;
};

// One finished match of a player, as their profile lists it.
struct TProfileMatch {
    int64_t Match = 0;
    int64_t StartedMs = 0; // since 1970
    int64_t EndedMs = 0;
    QString Opponent;
    int32_t Seat = 0; // the profile's player: 0 Red, 1 Blue
    TGameRules Rules;
    int32_t Seconds = 60;
    QString How;
    int32_t Winner = -1;
    std::array<int32_t, 2> Score{};
    bool Rated = false;
    std::optional<int32_t> Change; // the player's rating change, when the match moved it
};

struct TPlayerProfile {
    struct TPoint {
        int64_t EndedMs = 0;
        int32_t Rating = 0;
    };
    QString Name;
    int32_t Rating = 0;
    int32_t Deviation = 0;
    double Volatility = 0;
    int32_t Matches = 0;               // rated matches played
    std::vector<TPoint> History;       // oldest first
    std::vector<TProfileMatch> Recent; // newest first
};

// A player one follows: where they are, if online.
struct TFollowedPlayer {
    QString Name;
    bool Online = false;
    int64_t Table = 0; // 0 in the lobby
    int32_t Seat = -1; // -1 watching
};

// An open report, as a moderator sees it.
struct TOpenReport {
    int64_t Id = 0;
    QString Reporter, Reported, Reason, Text;
    std::vector<QString> Evidence; // the reported player's last lines
    int64_t Match = 0;
    int64_t CreatedMs = 0;
};

// A sanction in force, as a moderator sees it.
struct TSanctionEntry {
    int64_t Id = 0;
    QString Kind; // mute, ban, ban certificate, ban address
    QString Target, Reason, By;
    int64_t UntilMs = 0; // 0: for good
};

// A finished match's record as the server sent it: still to be read and
// checked as a record file is.
struct TServerRecord {
    int64_t Match = 0;
    QByteArray Json;
};

// A match one player offers another, with its terms.
struct TChallengeOffer {
    int64_t Id = 0;
    QString From;
    QString To;
    TGameRules Rules;
    int32_t Seconds = 60;
    bool Rated = false;
};

struct TServerMessage {
    enum class TKind {
        SignedIn,
        Lobby,
        Player,
        PlayerGone,
        Table,
        TableGone,
        Match,
        Moved,
        MoveRefused,
        Away,
        Back,
        Ended,
        Chat,
        Refused,
        Bye,
        Pong,
        Leaderboard,
        Profile,
        Record,
        Notice,
        Relations,
        Moderation,
        Rematch,
        Waiting,
        Challenge,
        ChallengeOver
    };
    TKind Kind = TKind::Pong;
    QString Name;                      // SignedIn, PlayerGone
    std::vector<TLobbyPlayer> Players; // Lobby
    std::vector<TLobbyTable> Tables;   // Lobby
    TLobbyPlayer Player;               // Player
    TLobbyTable TableInfo;             // Table
    TServerMatchState Match;           // Match, MoveRefused
    int64_t Table = 0;                 // TableGone, Moved, Away, Back, Ended, Chat (0: the lobby)
    int32_t Index = 0;                 // Moved
    int32_t Seat = -1;                 // Moved, Away, Back, Rematch
    TPlacementMove Move;               // Moved
    int32_t Seconds = 0;               // Away
    int64_t ClockMs = -1; // Match, MoveRefused, Moved, Back: the time the player to move has left; -1 none
    QString How;          // Ended: finished, time, forfeit, abandoned
    int32_t Winner = -1;  // Ended
    std::array<int32_t, 2> Score{};                      // Ended
    std::optional<std::array<TRatingChange, 2>> Ratings; // Ended, a rated match: by seat
    std::vector<TLeaderboardEntry> Leaders;              // Leaderboard, best first
    TPlayerProfile Profile;                              // Profile
    TServerRecord Record;                                // Record
    bool Moderator = false;                              // SignedIn: the player may moderate
    std::vector<TFollowedPlayer> Follows;                // Relations
    std::vector<QString> Blocks;                         // Relations
    std::vector<TOpenReport> Reports;                    // Moderation, oldest first
    std::vector<TSanctionEntry> Sanctions;               // Moderation, oldest first
    QString From;                                        // Chat
    // Chat: said before this client came to the lobby (at AtMs, since 1970),
    // sent as it arrives.
    bool Earlier = false;
    int64_t AtMs = 0;
    QString Text; // Chat, MoveRefused, Refused, Bye, ChallengeOver: the reason; SignedIn: the message of the
                  // day; Notice
    // Waiting: what Play Now waits for; both empty when it waits no longer.
    std::vector<TGameRules> AcceptedRules;
    std::vector<int32_t> AcceptedSeconds;
    bool Asks = true;      // Rematch: the seat asks to play again; false, it left and the offer is gone
    TChallengeOffer Offer; // Challenge; ChallengeOver: its Id
};
