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
    // played: nothing may be taken back. A server's matches are rated, so
    // nobody advises at them.
    bool OffersUndo() const { return Kind == TSeating::HotSeat || Kind == TSeating::Computer; }
    bool OffersHint() const { return OffersUndo() || Kind == TSeating::DirectPeer; }
    // A match someone here played is kept in the history and counted in the statistics.
    bool KeepsRecords() const { return Kind != TSeating::ServerWatcher && Kind != TSeating::Replay; }
    // Across a network, one colour is this computer's; at one keyboard both are.
    bool AcrossNetwork() const { return Kind == TSeating::DirectPeer || Kind == TSeating::ServerPlayer; }
};
