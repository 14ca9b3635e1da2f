#pragma once

#include <cstddef>
#include <cstdint>

namespace artgen {

// SplitMix64: tiny, well mixed and identical on every platform, so the same
// seed paints the same card on every build.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0xD1B54A32D192ED03ULL) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // In [0, 1), built from the top 53 bits so every value is exact.
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }

    // Inclusive on both ends.
    int range(int lo, int hi) {
        return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }

    bool chance(double p) { return unit() < p; }

    template <typename T, std::size_t N> const T& pick(const T (&items)[N]) { return items[next() % N]; }

private:
    std::uint64_t state_;
};

} // namespace artgen
