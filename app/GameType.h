#pragma once

#include "game/Seats.h"
#include "rules/Level.h"

#include <cstdint>

// Who sits on the other side of the table. Two people at one keyboard is the
// game every player starts with.
enum class TGameType : int32_t { SinglePlayer = 0, HotSeat = 1, Network = 2 };

// The kind of game a seating is counted under; every match played across a
// network, directly or at a server, is a network game.
inline TGameType GameTypeOf(const TSeats& seats) {
    if (seats.Kind == TSeating::Computer) return TGameType::SinglePlayer;
    return seats.AcrossNetwork() ? TGameType::Network : TGameType::HotSeat;
}
