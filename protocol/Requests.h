#pragma once

#include "protocol/LobbyRequest.h"
#include "rules/GameRules.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

// What a client asks of a game server: one compact JSON object per line. The
// client encodes with the functions below, each line ending in '\n'; the
// server decodes with Decode.
namespace Requests {

QByteArray Hello();
QByteArray Login(const QString& name);
QByteArray Create(const TGameRules& rules, int32_t seconds, bool rated = false);
// Play Now for any of the rule sets (TRuleBits) and move times given, the
// most wanted first; or for one of each.
QByteArray PlayNow(const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds);
QByteArray PlayNow(const TGameRules& rules, int32_t seconds);
// A match offered to the player `name`; Answer accepts or declines it, or
// from its challenger withdraws it.
QByteArray Challenge(const QString& name, const TGameRules& rules, int32_t seconds, bool rated);
QByteArray Answer(int64_t challenge, bool accept);
// seat -1: whichever is free.
QByteArray Sit(int64_t table, int32_t seat = -1);
QByteArray Watch(int64_t table);
QByteArray Leave();
QByteArray Chat(const QString& text);
QByteArray Move(int32_t slot, int32_t x, int32_t y);
QByteArray Ping();
QByteArray Leaderboard();
QByteArray Profile(const QString& name);
QByteArray Record(int64_t match);
// The table the client is at as it stands (a `match`), or the lobby.
QByteArray State();
QByteArray Block(const QString& name, bool on);
QByteArray Follow(const QString& name, bool on);
// reason: one of Protocol::ReportReasons.
QByteArray Report(const QString& name, const QString& reason, const QString& text);
QByteArray Relations();
// What a moderator asks: an action of Protocol::ModerationActions and what it needs.
struct TModerate {
    QString Action;
    QString Name;
    int32_t Minutes = 0; // 0: for good (a ban)
    int64_t Id = 0;      // a sanction to lift, a report to close
    QString Target;      // an address range
    QString Reason;
};
QByteArray Moderate(const TModerate& action);
// At a match in play: gives it up. After a match: asks its other player to
// play again (both asking starts it).
QByteArray Resign();
QByteArray Rematch();

struct TDecoded {
    bool Ok = false;
    TLobbyRequest Request;
    std::string Error; // why the line was refused
};

// Decodes one line (without its '\n'). Anything but a well-formed request of
// a known kind with every field in range is refused; unknown fields are
// ignored. Chat is refused, not mended, unless it is plain text already.
TDecoded Decode(std::string_view line);

} // namespace Requests
