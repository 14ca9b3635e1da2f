#pragma once

#include <array>
#include <cstdint>
#include <string>

// Durations counted into fixed buckets, as Prometheus keeps a histogram: each
// bucket counts the observations at or under its bound, so a scrape never
// needs more than these few numbers however many were seen.
class THistogram {
public:
    // Seconds; from a quick commit on loopback to a stalled database.
    static constexpr std::array<double, 14> Bounds{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                   0.1,    0.25,  0.5,    1.0,   2.5,  5.0,   10.0};

    void Observe(double seconds);

    uint64_t Count() const { return Total; }
    double Sum() const { return SumSeconds; }
    // Observations at or under Bounds[index].
    uint64_t AtOrUnder(size_t index) const { return Buckets[index]; }

    // The histogram's lines in Prometheus's text format, under name.
    std::string Text(const std::string& name, const std::string& help) const;

private:
    std::array<uint64_t, Bounds.size()> Buckets{};
    uint64_t Total = 0;
    double SumSeconds = 0;
};
