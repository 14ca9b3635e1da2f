#pragma once

#include "rules/PlacementMove.h"

#include <cstdint>
#include <string>
#include <vector>

// One thing a client asks of the lobby, decoded and checked for shape and
// range (never for permission: the lobby checks that).
struct TLobbyRequest {
    enum class TKind {
        Hello,
        Ping,
        Login,
        CreateTable,
        Sit,
        Watch,
        Leave,
        PlayNow,
        Chat,
        Move,
        Leaderboard,
        Profile,
        Record,
        State,
        Block,
        Follow,
        Report,
        Relations,
        Moderate,
        Resign,
        Rematch,
        Challenge,
        Answer
    };
    TKind Kind = TKind::Leave;
    std::string Program; // Hello: the client program's name and protocol version
    int32_t Version = 0;
    std::string Name;         // Login, Profile, Block, Follow, Report, Moderate, Challenge
    int32_t Rules = 0;        // CreateTable, Challenge: TRuleBits
    int32_t MoveSeconds = 60; // CreateTable, Challenge: 30, 60 or 0 (unlimited)
    bool Rated = false;       // CreateTable, Challenge (Play Now is always rated)
    // PlayNow: every rule set (TRuleBits) and move time the player accepts,
    // the most wanted first, each once; never empty. Leave stops the wait.
    std::vector<int32_t> AcceptedRules;
    std::vector<int32_t> AcceptedSeconds;
    int64_t Table = 0;     // Sit, Watch
    int32_t Seat = -1;     // Sit: 0 or 1, -1 for whichever is free
    std::string Text;      // Chat; Report: the reporter's words; Moderate: the reason
    TPlacementMove Move;   // Move
    int64_t Match = 0;     // Record
    bool On = true;        // Block, Follow: false undoes
    std::string Reason;    // Report: one of Protocol::ReportReasons; Moderate: the action
    int32_t Minutes = 0;   // Moderate: how long a mute or ban lasts, 0 for good (a ban)
    int64_t Id = 0;        // Moderate: the sanction or report acted on
    std::string Target;    // Moderate: an address range, for a ban by address
    int64_t Challenge = 0; // Answer: the challenge answered (or, by its challenger, withdrawn)
    bool Accept = false;   // Answer
};
