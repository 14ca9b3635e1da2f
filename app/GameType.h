#pragma once

#include <cstdint>

// Who sits on the other side of the table. Two people at one keyboard is the
// game every player starts with.
enum class TGameType : int32_t { SinglePlayer = 0, HotSeat = 1, Network = 2 };

// How well the computer plays in a single-player match.
enum class TLevel : int32_t { Easy = 0, Normal = 1, Perfect = 2 };
