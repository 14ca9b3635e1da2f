#pragma once

#include "game/TableEvent.h"

#include <QString>
#include <cstdint>
#include <functional>

// Writes what happened at the table into a log: each deal with its rules and
// each ending with the winner and the score.
class TMatchLog {
public:
    using TSink = std::function<void(const QString&)>;

    explicit TMatchLog(TSink sink);

    static const QString Invitation;
    // After a server's match: the server deals, so the table leads back to its lobby.
    static const QString LobbyInvitation;
    // Before it, to a player of the match: the way to play it again.
    static const QString RematchInvitation;

    // The first line of the log, before anything was dealt.
    void Open();
    void Take(const TTableEvent& event);

    static QString StartLine(const TGameRules& rules, bool suddenDeathReplay);
    // Player 1 is Blue, player 0 Red; the winner's count comes first.
    static QString EndLine(int32_t redScore, int32_t blueScore, bool suddenDeathReplay);

private:
    // "; Blue moves first" after a Sudden Death replay's start line; empty when the table is not known.
    static QString FirstMover(const TTableEvent& event);

    TSink Sink;
};
