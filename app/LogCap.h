#pragma once

#include <QString>
#include <cstdint>
#include <deque>

// The bound on the side window's log: at most MaxLines lines and MaxCharacters
// characters in all, whatever is written to it and however often; a line is
// cut to MaxLineCharacters. The oldest lines go first.
class TLogCap {
public:
    static constexpr int32_t DefaultLines = 2000;
    static constexpr qsizetype DefaultCharacters = 256 * 1024;
    static constexpr qsizetype DefaultLineCharacters = 1024;

    TLogCap(int32_t maxLines = DefaultLines, qsizetype maxCharacters = DefaultCharacters,
            qsizetype maxLineCharacters = DefaultLineCharacters);

    // The line as it is kept: cut, with "…", when too long.
    QString Clip(const QString& line) const;
    // Counts a kept line of `characters`; returns how many of the oldest lines
    // must go for the log to stay within its bound.
    int32_t Add(qsizetype characters);

    int32_t Lines() const { return int32_t(Lengths.size()); }
    qsizetype Characters() const { return Total; }
    void Clear();

private:
    int32_t MaxLines;
    qsizetype MaxCharacters;
    qsizetype MaxLineCharacters;
    std::deque<qsizetype> Lengths;
    qsizetype Total = 0;
};
