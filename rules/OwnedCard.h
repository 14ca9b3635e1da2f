#pragma once

#include <cstdint>

// A catalogue card together with the player who owns it; -1 and -1 mean no
// card and nobody (an empty square).
struct TOwnedCard {
    TOwnedCard() = default;
    TOwnedCard(int32_t card, int32_t owner) : Card(card), Owner(owner) {}

    int32_t Card = -1;
    int32_t Owner = -1;

    friend bool operator==(const TOwnedCard&, const TOwnedCard&) = default;
};
