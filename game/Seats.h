#pragma once

#include "rules/Level.h"

#include <cstdint>

// Who sits at the table for the match on it.
enum class TSeating : int32_t {
    HotSeat,       // two people at one keyboard
    Computer,      // a person against the computer
    DirectPeer,    // this computer against another one across the network
    ServerPlayer,  // a seat at a server's table
    ServerWatcher, // looking at a server's table
    Replay,        // a kept match played back
};

// Who besides this computer holds the match on the table right now.
enum class THeldBy : int32_t {
    Nobody,
    Peer,   // another computer is connected across the network
    Server, // a server's table is open here
};

// What the person at this computer may do with the match on the table.
struct TOffers {
    bool Undo = false;    // take a placement back, or forward again
    bool Hint = false;    // ask for the best moves
    bool Deal = false;    // F2 deals a new match (across the network, the host deals)
    bool Records = false; // the match is kept in the history and counted in the statistics
};

// The seating of a match, carried by every event of it, and what the table
// offers because of it: whatever depends on who sits where asks here.
struct TSeats {
    TSeating Kind = TSeating::HotSeat;
    // The player whose results count on this computer: the person against the
    // computer, this computer's colour across the network, Blue at one
    // keyboard; -1 for a watcher or a replay.
    int32_t Person = 1;
    // The computer's strength, when it plays.
    TLevel Level = TLevel::Normal;

    bool operator==(const TSeats&) const = default;

    // A server, or the player across the network, holds the match as it was
    // played: nothing may be taken back. A server cannot see what a program
    // works out, so a player seated at its match is not advised (a watcher
    // is: they move nothing), and only the server deals its matches.
    TOffers Offers(THeldBy heldBy = THeldBy::Nobody) const {
        const bool here = Kind == TSeating::HotSeat || Kind == TSeating::Computer;
        TOffers offers;
        offers.Undo = here && heldBy == THeldBy::Nobody;
        offers.Hint = Kind != TSeating::ServerPlayer;
        offers.Deal = heldBy != THeldBy::Server;
        offers.Records = Kind != TSeating::ServerWatcher && Kind != TSeating::Replay;
        return offers;
    }
    // Across a network, one colour is this computer's; at one keyboard both are.
    bool AcrossNetwork() const { return Kind == TSeating::DirectPeer || Kind == TSeating::ServerPlayer; }
};
