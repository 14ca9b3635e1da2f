#pragma once

#include "rules/CardValues.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The catalogue a match deals from, as the rules see it. The match reads it
// at every rule decision rather than copying it, so a catalogue loaded or
// changed later is what the next decision sees.
class TCardSource {
public:
    virtual ~TCardSource() = default;
    virtual int32_t CardCount() const = 0;
    // Only for 0 <= index < CardCount().
    virtual const TCardValues& CardValues(int32_t index) const = 0;
};

// A catalogue held as plain values: for the server, the analysis command and tests.
class TCardList final : public TCardSource {
public:
    TCardList() = default;
    explicit TCardList(std::vector<TCardValues> cards) : Cards(std::move(cards)) {}

    int32_t CardCount() const override { return int32_t(Cards.size()); }
    const TCardValues& CardValues(int32_t index) const override { return Cards[std::size_t(index)]; }

    std::vector<TCardValues> Cards;
};
