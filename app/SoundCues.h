#pragma once

#include "app/Sound.h"
#include "game/TableEvent.h"

// Chooses the table's sounds from what happens at it: a deal, a card landing
// on the board, cards turning (under the Same, Plus or Combo banner when
// there is one) and the end of a match. The match itself never waits for, or
// knows of, a sound.
class TSoundCues {
public:
    explicit TSoundCues(TSoundPlayer* player);

    void Take(const TTableEvent& event);
    // A sound from outside the match (a chat line), heard when sound is on.
    void Cue(TSound sound);

    void SetPlayer(TSoundPlayer* player) { Player = player; }
    bool Enabled = true;

private:
    TSoundPlayer* Player;
};
