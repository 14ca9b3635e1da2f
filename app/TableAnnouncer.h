#pragma once

#include "render/Lettering.h"

#include <QString>
#include <cstdint>
#include <memory>

class TDataFolder;
class TGame;
class TGraphics;
class TSurface;

// Who sits at the table, as far as the announcements care.
struct TTableSeats {
    // The player at this computer; -1 when both sit here (hot-seat).
    int32_t You = -1;
    // The other seat is the computer, and it is working out its move.
    bool ComputerOpponent = false;
    // Whether anything is announced at all.
    bool Announce = false;
    // Set when the match was stopped before its end: the colour that left it,
    // or empty when it stopped for another reason.
    QString LeftBy;
    // Under the result of a rated match: the player's rating change.
    QString Rating;
    // How a server's match ended before its last card, in the server's
    // words; shown instead of what the board says.
    QString Ending;
    // The move clock, when the table has one ("42 s", "Red away 57 s"),
    // written after the turn; in the warning colour in its last seconds.
    QString Clock;
    bool ClockWarns = false;
    // A replay's heading (its players and placement), written before whose move it shows.
    QString Replay;
    // Under the result of a server's match: an offer to play again ("Bob
    // asks for a rematch").
    QString Offer;
};

// Writes whose turn it is in a name box along the table's top edge and, once
// a match has ended, paints its result on a banner in the middle of the
// table, in the lettering the art generator paints in the rule banners' style.
class TTableAnnouncer {
public:
    // Loads the lettering and the banner plate; false when any is missing,
    // and then nothing is drawn.
    bool Load(TGraphics& graphics, const TDataFolder& data);

    static QString PlayerName(int32_t player);
    // "Your turn", "Red is thinking…", "Waiting for Red", "Blue to move",
    // with the clock after it; empty when the table shows no match in play.
    static QString TurnLine(const TGame& game, const TTableSeats& seats);
    // "You win 6–4", "Blue wins 6–4", "Draw 5–5", "Red left the match",
    // "You lose on time"; empty while the match runs.
    static QString ResultLine(const TGame& game, const TTableSeats& seats);

    // Draws onto the game's back buffer what the seats call for: the rating
    // line, when there is one, in a name box under the result's banner.
    void Draw(TGame& game, const TTableSeats& seats) const;

private:
    TLettering Large;
    std::unique_ptr<TSurface> Plate;
};
