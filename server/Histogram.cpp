#include "server/Histogram.h"

#include <cstdio>

namespace {

// Short and exact enough: bucket bounds read as written, sums to a nanosecond.
std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

} // namespace

void THistogram::Observe(double seconds) {
    if (!(seconds >= 0)) // a clock stepping back, or NaN
        seconds = 0;
    for (size_t i = 0; i < Bounds.size(); ++i)
        if (seconds <= Bounds[i]) ++Buckets[i];
    ++Total;
    SumSeconds += seconds;
}

std::string THistogram::Text(const std::string& name, const std::string& help) const {
    std::string text = "# HELP " + name + " " + help + "\n# TYPE " + name + " histogram\n";
    for (size_t i = 0; i < Bounds.size(); ++i)
        text += name + "_bucket{le=\"" + Number(Bounds[i]) + "\"} " + std::to_string(Buckets[i]) + "\n";
    text += name + "_bucket{le=\"+Inf\"} " + std::to_string(Total) + "\n";
    text += name + "_sum " + Number(SumSeconds) + "\n";
    text += name + "_count " + std::to_string(Total) + "\n";
    return text;
}
