#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// The lobby's last lines of chat, kept for players who arrive after they
// were said: the newest lines, at most Lines of them and together at most
// Bytes as sent, each kept ready to send. Kept in memory only: a restart
// starts the lobby's talk afresh.
class TChatBacklog {
public:
    struct TLine {
        int64_t PlayerId = 0;
        std::string NameKey; // of who said it, as a moderator's removal names them
        int64_t AtMs = 0;
        std::string Encoded; // the whole line a client is sent, '\n' included
    };

    TChatBacklog(size_t lines, size_t bytes) : MaxLines(lines), MaxBytes(bytes) {}

    // The oldest lines go to make room; a line longer than Bytes alone is not kept.
    void Add(TLine line);
    // The lines of a player (by name key) said at or before untilMs; how many went.
    size_t Remove(const std::string& nameKey, int64_t untilMs);
    const std::deque<TLine>& Lines() const { return Kept; }
    size_t Bytes() const { return KeptBytes; }

private:
    size_t MaxLines;
    size_t MaxBytes;
    std::deque<TLine> Kept; // the oldest first
    size_t KeptBytes = 0;
};
