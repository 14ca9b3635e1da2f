#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// What the bots of one phase count together (one thread, no locks).
struct TLoadStats {
    using TClock = std::chrono::steady_clock;

    int64_t Connected = 0; // handshake done (and, against the server, signed in)
    int64_t Failed = 0;    // connections lost or refused
    int64_t InMatch = 0;   // bots seated in a running match
    int64_t Moves = 0;     // moves (or echo lines) answered
    int64_t Refused = 0;   // refusals of any kind from the server
    int64_t Matches = 0;   // matches ended
    int64_t Waits = 0;     // told to wait by a rate limit, and tried again later
    int64_t Lines = 0;     // lines received, of every kind
    int64_t Bytes = 0;
    std::string FirstProblem; // the first failure or refusal, to show
    bool Recording = false;
    std::vector<float> LatencyMs; // while recording
    // A move's send time by match, until the other player hears of it.
    std::unordered_map<int64_t, TClock::time_point> SentAt;

    void Problem(const std::string& what) {
        if (FirstProblem.empty()) FirstProblem = what;
    }
    void Latency(TClock::time_point sent, TClock::time_point now) {
        ++Moves;
        if (Recording) LatencyMs.push_back(std::chrono::duration<float, std::milli>(now - sent).count());
    }
};
