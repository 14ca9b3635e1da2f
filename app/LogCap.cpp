#include "app/LogCap.h"

#include <algorithm>

TLogCap::TLogCap(int32_t maxLines, qsizetype maxCharacters, qsizetype maxLineCharacters)
    : MaxLines(std::max(1, maxLines)), MaxCharacters(std::max<qsizetype>(1, maxCharacters)),
      MaxLineCharacters(std::clamp<qsizetype>(maxLineCharacters, 1, MaxCharacters)) {}

QString TLogCap::Clip(const QString& line) const {
    if (line.size() <= MaxLineCharacters) return line;
    qsizetype keep = MaxLineCharacters - 1;
    // Never half a surrogate pair.
    if (keep > 0 && line[keep - 1].isHighSurrogate()) --keep;
    return line.left(keep) + QChar(0x2026);
}

int32_t TLogCap::Add(qsizetype characters) {
    Lengths.push_back(characters);
    Total += characters;
    int32_t drop = 0;
    while (Lengths.size() > 1 && (int32_t(Lengths.size()) > MaxLines || Total > MaxCharacters)) {
        Total -= Lengths.front();
        Lengths.pop_front();
        ++drop;
    }
    return drop;
}

void TLogCap::Clear() {
    Lengths.clear();
    Total = 0;
}
