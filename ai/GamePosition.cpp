#include "ai/GamePosition.h"

#include <map>

TPositionSetup SetupFromGame(const TMatch& game) {
    TPositionSetup setup;
    setup.Rules = game.Rules;
    setup.Turn = game.Turn;
    // Only the cards in play are copied; catalogue index -> setup index.
    std::map<int32_t, int32_t> used;
    auto cardOf = [&](int32_t catalogueIndex) {
        const auto [where, added] = used.emplace(catalogueIndex, int32_t(setup.Cards.size()));
        if (added) {
            setup.Cards.push_back(game.Catalogue->CardValues(catalogueIndex));
        }
        return where->second;
    };
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            setup.Elements[y][x] = game.Elements[y][x];
            const TOwnedCard& square = game.Board[y][x];
            if (square.Card >= 0) setup.Board[y][x] = {cardOf(square.Card), square.Owner};
        }
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player) {
            const int32_t card = game.Hands[slot][player];
            setup.Hands[slot][player] = card < 0 ? -1 : cardOf(card);
        }
    return setup;
}

TPosition PositionFromGame(const TMatch& game) {
    return TPosition(SetupFromGame(game));
}
