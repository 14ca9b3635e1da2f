#pragma once

#include "game/GameRules.h"

#include <QString>
#include <cstdint>
#include <functional>

class TGame;

// Writes what happened at the table into a log: each deal with its rules and
// each ending with the winner and the score. The match tells nobody when it
// starts or ends, so the log looks at the game after every frame and command
// and reads the changes from its state.
class TMatchLog {
public:
    using TSink = std::function<void(const QString&)>;

    explicit TMatchLog(TSink sink);

    static const QString Invitation;

    // The first line of the log, before anything was dealt.
    void Open();
    void Observe(const TGame& game);

    static QString StartLine(const TGameRules& rules, bool suddenDeathReplay);
    // Player 1 is Blue, player 0 Red; the winner's count comes first.
    static QString EndLine(int32_t redScore, int32_t blueScore, bool suddenDeathReplay);

private:
    TSink Sink;
    bool WasInProgress = false;
    bool WasOver = false;
    uint8_t LastPhase = 0;
};
