#include "GameFixture.h"
#include "game/KeyRoute.h"
#include "game/PacedKeys.h"

#include <random>

namespace {

class GameKeyRoute : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        std::mt19937 cards(11);
        std::uniform_int_distribution<int32_t> rank(1, 10);
        for (int i = 0; i < 20; ++i) AddCard({rank(cards), rank(cards), rank(cards), rank(cards)});
    }

    void PressAll(const std::vector<uint16_t>& keys) {
        for (uint16_t key : keys) Press(key);
    }

    // Leaves the cursors somewhere a player might have left them.
    void Wander(std::mt19937& rng) {
        const uint16_t keys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_RETURN, VK_ESCAPE};
        for (int i = int(rng() % 6); i > 0; --i) {
            uint16_t key = keys[rng() % 6];
            // Enter on the board would play; keep the wandering to cursor moves.
            if (key == VK_RETURN && Game->BoardCursorActive) key = VK_ESCAPE;
            Press(key);
        }
    }
};

TEST_F(GameKeyRoute, EveryRouteEndsWhereItPromisedFromAnyCursorState) {
    std::mt19937 rng(5);
    for (int match = 0; match < 60; ++match) {
        Second = int64_t(rng());
        StartMatch();
        while (Game->InProgress) {
            const int32_t turn = Game->Turn;
            std::vector<int32_t> held;
            for (int32_t slot = 0; slot < 5; ++slot)
                if (Game->Hands[slot][turn] != -1) held.push_back(slot);
            std::vector<int32_t> squares;
            for (int32_t square = 0; square < 9; ++square)
                if (Game->Board[square / 3][square % 3].Card == -1) squares.push_back(square);
            const int32_t slot = held[rng() % held.size()];
            const int32_t square = squares[rng() % squares.size()];
            const int32_t x = square % 3, y = square / 3;

            Wander(rng);
            PressAll(KeysToSelectSlot(*Game, slot));
            ASSERT_FALSE(Game->BoardCursorActive);
            ASSERT_EQ(Game->HandCursor, slot);

            Wander(rng);
            const int32_t aimX = int32_t(rng() % 3), aimY = int32_t(rng() % 3);
            PressAll(KeysToSelectSlot(*Game, slot));
            PressAll(KeysToSquare(*Game, aimX, aimY));
            ASSERT_TRUE(Game->BoardCursorActive);
            ASSERT_EQ(Game->BoardCursorX, aimX);
            ASSERT_EQ(Game->BoardCursorY, aimY);
            ASSERT_EQ(Game->HandCursor, slot);

            Wander(rng);
            const int32_t card = Game->Hands[slot][turn];
            PressAll(KeysToPlay(*Game, slot, x, y));
            ASSERT_EQ(Game->Phase, TGame::PhaseFlight) << "match " << match;
            EXPECT_EQ(Game->FlyingCard.Card, card);
            EXPECT_EQ(Game->FlyingCard.Owner, turn);
            EXPECT_EQ(Game->BoardCursorX, x);
            EXPECT_EQ(Game->BoardCursorY, y);
            Settle();
        }
    }
}

TEST_F(GameKeyRoute, ImpossibleChoicesGiveNoKeys) {
    StartMatch();
    PlayFirstEmpty(); // Blue takes the top-left square
    EXPECT_TRUE(KeysToPlay(*Game, 4, 0, 0).empty()) << "occupied square";
    EXPECT_TRUE(KeysToPlay(*Game, 4, 3, 0).empty()) << "off the board";
    EXPECT_TRUE(KeysToPlay(*Game, 5, 1, 1).empty()) << "no such slot";
    EXPECT_TRUE(KeysToSelectSlot(*Game, -1).empty());
    Game->Arrange().Hands[0][Game->Turn] = -1;
    EXPECT_TRUE(KeysToPlay(*Game, 0, 1, 1).empty()) << "empty slot";
}

TEST_F(GameKeyRoute, PacedKeysWaitForTheirTimeAndForTheTableToBeStill) {
    StartMatch();
    TPacedKeys paced;
    paced.Start(KeysToPlay(*Game, 4, 2, 2), 250, 1000);
    ASSERT_TRUE(paced.Busy());
    EXPECT_FALSE(paced.Step(*Game, 1249)) << "a key before its pause";
    EXPECT_TRUE(paced.Step(*Game, 1250));
    EXPECT_FALSE(paced.Step(*Game, 1400));
    uint64_t now = 1500;
    while (paced.Busy() && now < 10000) {
        paced.Step(*Game, now);
        now += 250;
    }
    EXPECT_FALSE(paced.Busy());
    ASSERT_EQ(Game->Phase, TGame::PhaseFlight);
    EXPECT_EQ(Game->Board[2][2].Card, -1);

    // Keys given while the card flies are held, not dropped.
    paced.Start({VK_RETURN}, 10, now);
    EXPECT_FALSE(paced.Step(*Game, now + 20));
    EXPECT_TRUE(paced.Busy());
    Settle();
    EXPECT_FALSE(paced.Step(*Game, now + 25)) << "the pause starts again once the table is still";
    EXPECT_TRUE(paced.Step(*Game, now + 40));
    EXPECT_TRUE(Game->BoardCursorActive);
    paced.Start({VK_ESCAPE}, 10, now);
    paced.Cancel();
    EXPECT_FALSE(paced.Busy());
}

} // namespace
