// What a peer, the server or a stored record can hand the rules: a match
// script of any content, replayed on a small catalogue. Whatever it holds,
// the replay either refuses a placement or plays it, and the match it leaves
// is always one the rules can reach.
#include "rules/Match.h"

#include <cstring>

namespace {

const TCardList& Catalogue() {
    static const TCardList catalogue = [] {
        // Few rank values, so that Same, Plus, the wall and Combo come up often.
        TCardList cards;
        for (int32_t i = 0; i < 23; ++i)
            cards.Cards.push_back({{3 + i % 5, 10 - i % 4, 4 + i % 3, 1 + (i * 7) % 10}, i % 9});
        return cards;
    }();
    return catalogue;
}

// Between placements: scores add up to ten, every card on the board or in a
// hand is one of the ten dealt, and hands stay packed toward slot 4.
bool Consistent(const TMatch& match) {
    if (match.Score[0] + match.Score[1] != 10) return false;
    int32_t cards = 0, owned[2] = {0, 0};
    for (const auto& row : match.Board)
        for (const TOwnedCard& square : row) {
            if (square.Card == -1) continue;
            if (square.Card < 0 || square.Card >= Catalogue().CardCount()) return false;
            if (square.Owner != 0 && square.Owner != 1) return false;
            ++cards;
            ++owned[square.Owner];
        }
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) {
            const int32_t card = match.Hands[slot][player];
            if (card == -1) {
                if (slot > 0 && match.Hands[slot - 1][player] != -1) return false;
                continue;
            }
            if (card < 0 || card >= Catalogue().CardCount()) return false;
            ++cards;
            ++owned[player];
        }
    return cards == 10 && owned[0] == match.Score[0] && owned[1] == match.Score[1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 10) return 0;
    TMatchScript script;
    std::memcpy(&script.Seed, data, sizeof script.Seed);
    const uint8_t rules = data[8];
    script.Rules.Same = rules & 1;
    script.Rules.SameWall = rules & 2;
    script.Rules.Plus = rules & 4;
    script.Rules.Elemental = rules & 8;
    script.Rules.SuddenDeath = rules & 16;
    script.FirstPlayer = data[9] % 3 == 2 ? int32_t(int8_t(data[9])) : data[9] % 2;
    // Slots and squares one past either end, so that refusals come up as often as moves.
    for (size_t i = 10; i + 2 < size && script.Moves.size() < 400; i += 3) {
        if (data[i] == 0xFF) {
            script.RedealSeeds.push_back(int64_t(data[i + 1]) << 8 | data[i + 2]);
            continue;
        }
        script.Moves.push_back({data[i] % 7 - 1, data[i + 1] % 5 - 1, data[i + 2] % 5 - 1});
    }
    TMatch match;
    std::string refusal;
    const bool played = ReplayScript(script, Catalogue(), match, refusal);
    if (!played && refusal.empty()) __builtin_trap();
    if ((played || match.InProgress() || match.GameOver()) && !Consistent(match)) __builtin_trap();
    return 0;
}
