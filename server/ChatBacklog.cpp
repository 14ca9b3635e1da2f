#include "server/ChatBacklog.h"

#include <algorithm>

void TChatBacklog::Add(TLine line) {
    if (line.Encoded.size() > MaxBytes || MaxLines == 0) return;
    KeptBytes += line.Encoded.size();
    Kept.push_back(std::move(line));
    while (Kept.size() > MaxLines || KeptBytes > MaxBytes) {
        KeptBytes -= Kept.front().Encoded.size();
        Kept.pop_front();
    }
}

size_t TChatBacklog::Remove(const std::string& nameKey, int64_t untilMs) {
    const size_t before = Kept.size();
    // A line said after the removal was decided stays: the removal, read
    // again from the log, does not reach forward in time.
    const auto gone = std::remove_if(Kept.begin(), Kept.end(), [&](const TLine& line) {
        const bool goes = line.NameKey == nameKey && line.AtMs <= untilMs;
        if (goes) KeptBytes -= line.Encoded.size();
        return goes;
    });
    Kept.erase(gone, Kept.end());
    return before - Kept.size();
}
