#pragma once

#include "GameFixture.h"
#include "rules/PlacementMove.h"

#include <random>

// A headless match on a small random catalogue, played by keys like a person.
class TAiMatchFixture : public TGameFixture {
protected:
    // Cards with ranks drawn from a few values so that equal ranks and equal
    // sums (Same, Plus, Combo) come up often, some tens for the wall, and two
    // at the ends of the 32-bit range where an element bonus overflows 32 bits.
    void AddCatalogue(uint32_t seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int32_t> rank(1, 10), few(4, 7), element(0, 8);
        for (int i = 0; i < 30; ++i) {
            auto pick = [&] { return i % 3 == 0 ? rank(random) : few(random); };
            AddCard({pick(), pick(), pick(), pick()}, element(random));
        }
        AddCard({10, 10, 1, 10}, 1);
        AddCard({INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}, 2);
        AddCard({INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}, 0);
    }

    // Selects the slot and walks the board cursor to the square with the keys,
    // plays the card and lets every animation run out.
    void PlayByKeys(const TPlacementMove& move) {
        while (Game->HandCursor > move.Slot) Press(VK_UP);
        while (Game->HandCursor < move.Slot) Press(VK_DOWN);
        ASSERT_EQ(Game->HandCursor, move.Slot);
        Press(VK_RETURN);
        ASSERT_TRUE(Game->BoardCursorActive);
        while (Game->BoardCursorX > move.X) Press(VK_LEFT);
        while (Game->BoardCursorX < move.X) Press(VK_RIGHT);
        while (Game->BoardCursorY > move.Y) Press(VK_UP);
        while (Game->BoardCursorY < move.Y) Press(VK_DOWN);
        Press(VK_RETURN);
        ASSERT_EQ(Game->Phase, TGame::PhaseFlight);
        for (int i = 0; i < 1000 && Game->Phase != TGame::PhaseIdle; ++i) Frame(5000);
        ASSERT_EQ(Game->Phase, TGame::PhaseIdle);
    }

    void StartRandomMatch(std::mt19937& random) {
        TGameRules rules;
        rules.Same = random() & 1;
        rules.SameWall = random() & 1;
        rules.Plus = random() & 1;
        rules.Elemental = random() % 4 != 0;
        Second = int64_t(random());
        StartMatch(rules);
    }
};
