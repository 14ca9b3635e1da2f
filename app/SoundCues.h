#pragma once

#include "app/Sound.h"

#include <cstdint>
#include <functional>

class TGame;
class TSprite;

// Chooses the table's sounds by watching the game, as the log does: a deal,
// a card landing on the board, cards turning (under the Same, Plus or Combo
// banner when there is one) and the end of a match. The match itself never
// waits for, or knows of, a sound.
class TSoundCues {
public:
    // The player whose result is heard as a win or a loss; -1 when two people
    // share the table and any decided match sounds as a win.
    using TPersonOf = std::function<int32_t()>;

    TSoundCues(TSoundPlayer* player, TPersonOf personOf);

    void Observe(const TGame& game);
    // A sound from outside the match (a chat line), heard when sound is on.
    void Cue(TSound sound);

    void SetPlayer(TSoundPlayer* player) { Player = player; }
    bool Enabled = true;

private:
    TSoundPlayer* Player;
    TPersonOf PersonOf;
    bool WasInProgress = false;
    bool WasOver = false;
    uint8_t LastPhase = 0;
    int32_t LastOwned = 0;
    const TSprite* LastBanner = nullptr;
};
