#pragma once

#include "ai/Level.h"

#include <cstdint>

// Who sits on the other side of the table. Two people at one keyboard is the
// game every player starts with.
enum class TGameType : int32_t { SinglePlayer = 0, HotSeat = 1, Network = 2 };
