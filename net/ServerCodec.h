#pragma once

#include "protocol/PlayerName.h"
#include "protocol/Protocol.h"
#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"

// The game server's protocol as the game speaks it: the requests it sends,
// the server's lines it decodes, and the bounds it holds the server to.
namespace ServerCodec {

inline constexpr qsizetype MaxLineBytes = Protocol::MaxServerLineBytes;
inline constexpr size_t MaxListEntries = Protocol::MaxListEntries;
inline constexpr qsizetype MaxChatCharacters = Protocol::MaxChatCharacters;
inline constexpr qsizetype MaxReasonCharacters = Protocol::MaxReasonCharacters;
inline constexpr size_t MaxMoves = Protocol::MaxMoves;
inline constexpr size_t MaxLeaders = Protocol::MaxLeaders;
inline constexpr size_t MaxHistory = Protocol::MaxHistory;
inline constexpr size_t MaxRecent = Protocol::MaxRecent;
inline constexpr int32_t MaxRating = Protocol::MaxRating;
inline constexpr int32_t MaxDeviation = Protocol::MaxDeviation;
inline constexpr int64_t MaxClockMs = Protocol::MaxClockMs;
inline constexpr size_t MaxPlayNowRules = Protocol::MaxPlayNowRules;
inline constexpr size_t MaxPlayNowSeconds = Protocol::MaxPlayNowSeconds;

using ::IsPlayerName;
using ServerMessages::Decode;
using ServerMessages::TDecoded;

using Requests::Answer;
using Requests::Block;
using Requests::Challenge;
using Requests::Chat;
using Requests::Create;
using Requests::Follow;
using Requests::Leaderboard;
using Requests::Leave;
using Requests::Login;
using Requests::Moderate;
using Requests::Move;
using Requests::Ping;
using Requests::PlayNow;
using Requests::Profile;
using Requests::Record;
using Requests::Relations;
using Requests::Rematch;
using Requests::Report;
using Requests::Resign;
using Requests::Sit;
using Requests::State;
using Requests::Watch;

} // namespace ServerCodec
