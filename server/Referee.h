#pragma once

#include "rules/PlacementMove.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One match's rules as the server needs them: whose turn it is, whether a
// placement is allowed (and why not), playing it, and how the match stands.
// Deals (and Sudden Death replays) come from the seed, so a stored match is
// replayed by applying its moves again.
class TReferee {
public:
    virtual ~TReferee() = default;
    virtual int32_t ToMove() const = 0;
    // Empty when seat may play the card in hand slot on square (x, y) now.
    virtual std::string MoveProblem(int32_t seat, const TPlacementMove& move) const = 0;
    // Plays a move MoveProblem allowed.
    virtual void Play(const TPlacementMove& move) = 0;
    virtual bool Over() const = 0;
    // Once over: the winning seat, or -1 for a draw; and the cards each owns.
    virtual int32_t Winner() const = 0;
    virtual int32_t Score(int32_t seat) const = 0;
    // The seed of each Sudden Death replay dealt so far.
    virtual std::vector<int64_t> RedealSeeds() const { return {}; }
};

using TRefereeFactory =
    std::function<std::unique_ptr<TReferee>(int64_t seed, int32_t rules, int32_t firstPlayer)>;
