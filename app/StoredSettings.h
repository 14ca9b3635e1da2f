#pragma once

#include "app/GameType.h"
#include "rules/GameRules.h"

#include <QPoint>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// What the program remembers between runs. A default record is what a first
// run starts with.
struct TStoredSettings {
    TGameRules Rules;
    TGameType GameType = TGameType::HotSeat;
    TLevel Level = TLevel::Normal;
    int32_t Zoom = 1;
    // View › Announce Turns and Results (at one keyboard) and View › Show Frame Rate.
    bool AnnounceTurns = false;
    bool ShowFrameRate = true;
    // The table's sounds (View › Sound).
    bool Sound = true;
    // The main window's outer top-left corner; none when it is to stand where
    // a first run puts it.
    std::optional<QPoint> Position;
    // The game server last played on (HOST[:PORT]) and the name used there.
    QString OnlineServer;
    QString OnlineName;
    // Whether the lobby's Create Table asks for a rated table.
    bool OnlineRated = false;
    // What Play Now accepts: rule sets (TRuleBits) and seconds a move (0 unlimited).
    std::vector<int32_t> PlayNowRules = {0, 1, 4, 5}; // Open, Same, Plus, Same + Plus
    std::vector<int32_t> PlayNowSeconds = {30, 60};
};
