#pragma once

#include "protocol/ServerMessage.h"
#include "rules/MatchLimits.h"

#include <QByteArray>
#include <QString>

// The game server's protocol as a client speaks it: one compact JSON object
// per line. Everything the server sends is checked as if anyone had written
// it: a line of an unknown kind, with a field missing, of the wrong type or
// out of range, is refused whole; names must be player names; other text is
// made plain and cut to its limit.
namespace ServerCodec {

// The longest line a server sends is a profile or a match record; the lobby
// it sends is a bounded view. This bounds what one line may cost.
inline constexpr qsizetype MaxLineBytes = 64 * 1024;
inline constexpr size_t MaxListEntries = 20000;
inline constexpr qsizetype MaxChatCharacters = 500;
inline constexpr qsizetype MaxReasonCharacters = 200;
// The most moves a match can hold, Sudden Death replays included; the server
// ends a match there, so more is not an honest match.
inline constexpr size_t MaxMoves = size_t(MatchLimits::MaxMoves);
// What the server promises for its answers; more is not an honest server.
inline constexpr size_t MaxLeaders = 50;
inline constexpr size_t MaxHistory = 200;
inline constexpr size_t MaxRecent = 50;
// Ratings move by small steps from 1500; far outside this is made up.
inline constexpr int32_t MaxRating = 10000;
inline constexpr int32_t MaxDeviation = 350;
// No table gives a move more than a minute; an hour is a server's fault.
inline constexpr int64_t MaxClockMs = 3600 * 1000;

struct TDecoded {
    bool Ok = false;
    TServerMessage Message;
    QString Error;
};
TDecoded Decode(const QByteArray& line);

// 3 to 16 of A-Z a-z 0-9 - _.
bool IsPlayerName(const QString& name);

// The client's requests, each a line ending in '\n'.
QByteArray Login(const QString& name);
QByteArray Create(const TGameRules& rules, int32_t seconds, bool rated = false);
QByteArray PlayNow(const TGameRules& rules, int32_t seconds);
QByteArray Sit(int64_t table, int32_t seat = -1);
QByteArray Watch(int64_t table);
QByteArray Leave();
QByteArray Chat(const QString& text);
QByteArray Move(int32_t slot, int32_t x, int32_t y);
QByteArray Ping();
QByteArray Leaderboard();
QByteArray Profile(const QString& name);
QByteArray Record(int64_t match);
// Asks for the table this client is at as it stands (a `match`), or the lobby.
QByteArray State();

} // namespace ServerCodec
