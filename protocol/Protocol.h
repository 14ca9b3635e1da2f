#pragma once

#include "rules/MatchLimits.h"

#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// The bounds and names a client and a server must agree on. Each side refuses
// what breaks them, so each is written here once and read by both.
namespace Protocol {

// A client introduces itself as ProgramName, a server as ServerProgramName;
// both say the version of the protocol they speak.
inline constexpr const char* ProgramName = "vantaro";
inline constexpr const char* ServerProgramName = "vantaro-server";
inline constexpr int32_t Version = 1;

// A request is short; the longest line a server sends is a profile or a
// match record, and the lobby it sends is a bounded view.
inline constexpr size_t MaxRequestBytes = 4096;
inline constexpr qsizetype MaxServerLineBytes = 64 * 1024;

inline constexpr qsizetype MaxChatCharacters = 500;
// The server's message of the day, shown as a player signs in.
inline constexpr qsizetype MaxMotdCharacters = 500;
inline constexpr qsizetype MaxReasonCharacters = 200;
inline constexpr qsizetype MaxHowCharacters = 16;
inline constexpr qsizetype MaxProgramCharacters = 40;
// Table, match and player ids, seeds and times: whole numbers a JSON number
// holds exactly.
inline constexpr int64_t MaxId = int64_t(1) << 53;
inline constexpr size_t MaxListEntries = 20000;
// The most moves a match can hold, Sudden Death replays included; the server
// ends a match there, so more is not an honest match.
inline constexpr size_t MaxMoves = size_t(MatchLimits::MaxMoves);
// The lengths of a server's answers.
inline constexpr size_t MaxLeaders = 50;
inline constexpr size_t MaxHistory = 200;
inline constexpr size_t MaxRecent = 50;
// Ratings move by small steps from 1500; far outside this is made up.
inline constexpr int32_t MaxRating = 10000;
inline constexpr int32_t MaxDeviation = 350;
// What a player may report another for, and what a moderator may do.
inline constexpr const char* ReportReasons[] = {"abuse", "cheating", "spam", "name", "other"};
inline constexpr const char* ModerationActions[] = {
    "mute", "ban", "ban_certificate", "ban_address", "lift", "close_report", "list", "remove_chat"};
// The lobby's last lines of chat, sent to a player as they arrive: at most
// this many, together within these bytes as sent.
inline constexpr size_t MaxBacklogLines = 20;
inline constexpr size_t MaxBacklogBytes = 16 * 1024;
// The longest a moderator's mute or ban made in the client lasts, in minutes (a year).
inline constexpr int32_t MaxSanctionMinutes = 525'600;
// Players one player may block or follow; the oldest open reports and the
// newest sanctions a moderator sees at once (all within a line).
inline constexpr size_t MaxRelations = 500;
inline constexpr size_t MaxOpenReports = 10;
inline constexpr size_t MaxSanctionEntries = 50;
// A report keeps the reported player's last lines of chat, each with where it was said.
inline constexpr size_t MaxEvidenceLines = 5;
inline constexpr qsizetype MaxEvidenceCharacters = MaxChatCharacters + 40;

// No table gives a move more than a minute; an hour is a server's fault.
inline constexpr int64_t MaxClockMs = 3600 * 1000;
// The longest time away a server may allow a player in one match (its settings' range).
inline constexpr int32_t MaxAwaySeconds = 3600;
// What one Play Now request may accept: each rule set there is once, each
// move time once.
inline constexpr size_t MaxPlayNowRules = 32;
inline constexpr size_t MaxPlayNowSeconds = 3;
// How long a challenge waits for its answer.
inline constexpr int64_t ChallengeMs = 60'000;

} // namespace Protocol
