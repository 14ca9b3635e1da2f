#pragma once

#include <cstdint>

// The match's pseudo-random generator. Its exact sequence matters: two matches
// seeded within the same second must deal the same hands.
class TRandomSource {
public:
    static constexpr uint32_t SeedMultiplier = 22695477u;
    static constexpr uint64_t Multiplier = (uint64_t(0x15A) << 32) | 0x4E35u;

    // The high half starts at 0; the low half takes the seconds and is stirred once.
    void Seed(int64_t seconds) {
        const uint32_t low = uint32_t(seconds) * SeedMultiplier + 1u;
        State = low;
    }

    // A value from 0 to 2^31 - 1: the high half of the advanced state, top bit cleared.
    int32_t Next() {
        State = State * Multiplier + 1u;
        return int32_t((State >> 32) & 0x7FFFFFFFu);
    }

    // 0 to bound - 1; a bound of 0 gives 0 and leaves the sequence untouched.
    int32_t Below(int32_t bound) {
        if (bound == 0) return 0;
        return Next() % bound;
    }

    uint64_t State = 0;
};
