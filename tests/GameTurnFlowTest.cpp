#include "GameFixture.h"

#include <algorithm>

namespace {

class GameTurnFlow : public TGameFixture {
protected:
    struct TPlay {
        int32_t Player, Card, Square;
    };

    // Equal ranks everywhere: nothing is ever captured.
    void AddPlainCards() {
        for (int i = 0; i < 12; ++i) AddCard({1, 1, 1, 1});
    }

    std::vector<int32_t> Hand(int32_t player) const {
        std::vector<int32_t> hand;
        for (int slot = 0; slot < 5; ++slot) hand.push_back(Game->Hands[slot][player]);
        return hand;
    }

    bool BoardEmpty() const {
        for (const auto& row : Game->Board)
            for (const TOwnedCard& square : row)
                if (square.Card != -1) return false;
        return true;
    }

    // The player to move plays the selected card on the first empty square.
    TPlay Play(bool settle = true) {
        int32_t square = 0;
        while (Game->Board[square / 3][square % 3].Card != -1) ++square;
        const TPlay play{Game->Turn, Game->Hands[Game->HandCursor][Game->Turn], square};
        Press(VK_RETURN);
        Press(VK_RETURN);
        if (settle) Settle();
        return play;
    }
};

TEST_F(GameTurnFlow, KeysMoveTheCursorsWithinHandAndBoard) {
    AddPlainCards();
    Press(VK_RETURN); // no match yet
    EXPECT_FALSE(Game->BoardCursorActive);
    StartMatch();
    const std::vector<int32_t> blue = Hand(1);

    Press(VK_UP);
    EXPECT_EQ(Game->HandCursor, 0);
    for (int i = 0; i < 6; ++i) Press(VK_DOWN);
    EXPECT_EQ(Game->HandCursor, 4);
    for (uint16_t key : {VK_UP, VK_UP, VK_ESCAPE, VK_LEFT, VK_RIGHT, uint16_t(0x41)}) Press(key);
    EXPECT_EQ(Game->HandCursor, 2);
    EXPECT_FALSE(Game->BoardCursorActive);

    // Enter puts the board cursor on the first empty square wherever it was.
    Game->BoardCursorX = Game->BoardCursorY = 2;
    Press(VK_RETURN);
    EXPECT_TRUE(Game->BoardCursorActive);
    EXPECT_EQ(std::make_pair(Game->BoardCursorX, Game->BoardCursorY), std::make_pair(0, 0));
    for (uint16_t key : {VK_LEFT, VK_UP}) Press(key);
    EXPECT_EQ(std::make_pair(Game->BoardCursorX, Game->BoardCursorY), std::make_pair(0, 0));
    for (int i = 0; i < 3; ++i) {
        Press(VK_RIGHT);
        Press(VK_DOWN);
    }
    EXPECT_EQ(std::make_pair(Game->BoardCursorX, Game->BoardCursorY), std::make_pair(2, 2));

    // Escape goes back to the same hand card; Enter starts over on the board.
    Press(VK_ESCAPE);
    Press(VK_ESCAPE);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(Game->HandCursor, 2);
    Put(0, 0, 0, 0);
    Put(1, 0, 0, 1);
    Press(VK_RETURN);
    EXPECT_EQ(std::make_pair(Game->BoardCursorX, Game->BoardCursorY), std::make_pair(2, 0));

    // Enter on an occupied square is dropped.
    Press(VK_LEFT);
    Press(VK_RETURN);
    EXPECT_TRUE(Game->BoardCursorActive);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_EQ(Hand(1), blue);
}

TEST_F(GameTurnFlow, PlayingPassesTheTurnBeforeTheFlight) {
    AddPlainCards();
    StartMatch();
    const std::vector<int32_t> blue = Hand(1);
    for (uint16_t key : {VK_DOWN, VK_DOWN, VK_RETURN, VK_RIGHT, VK_DOWN, VK_RETURN}) Press(key);

    EXPECT_EQ(Game->Phase, TGame::PhaseFlight);
    EXPECT_EQ(Game->Turn, 0);
    EXPECT_EQ(Game->FlyingCard, TOwnedCard(blue[2], 1));
    EXPECT_EQ(Hand(1), (std::vector<int32_t>{-1, blue[0], blue[1], blue[3], blue[4]}));
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(Game->Board[1][1].Card, -1);
    // Keys during the flight are dropped, not kept for later.
    Press(VK_DOWN);
    Press(VK_RETURN);
    Settle();
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(Game->Board[1][1], TOwnedCard(blue[2], 1));

    // After red's play, blue's selection starts at its topmost card, and Up
    // cannot climb into the empty slot above it.
    Play();
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->HandCursor, 1);
    Press(VK_UP);
    EXPECT_EQ(Game->HandCursor, 1);
}

TEST_F(GameTurnFlow, NewGameIsRefusedWhileCardsMoveAndAcceptedBetweenTurns) {
    TGameRules same;
    same.Same = true;
    Game->NewGame(1, same, false); // no catalogue
    EXPECT_FALSE(Game->InProgress);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);

    AddPlainCards();
    Game->NewGame(1, TGameRules{}, false);
    const std::vector<int32_t> dealt = Hand(0);
    Second += 60;
    Game->NewGame(0, same, false); // while dealing
    EXPECT_EQ(Hand(0), dealt);
    EXPECT_EQ(Game->Turn, 1);
    Settle();

    Play(); // blue on (0, 0)
    Game->Arrange().Hands[Game->HandCursor][0] = AddCard({9, 9, 9, 9});
    Play(false); // red's strong card for (1, 0)
    Game->NewGame(1, same, false);
    EXPECT_EQ(Game->Phase, TGame::PhaseFlight);
    Frame(5000);
    Frame(5000);
    ASSERT_EQ(Game->Phase, TGame::PhaseFlipping);
    Game->NewGame(1, same, false);
    Press(VK_RETURN);
    EXPECT_FALSE(Game->BoardCursorActive);
    Settle();
    EXPECT_FALSE(Game->Rules.Same);
    EXPECT_EQ(Game->Board[0][0].Owner, 0);
    EXPECT_EQ(Game->Score[0], 6);

    // Between turns a new game abandons the match at once.
    Game->NewGame(1, same, false);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    EXPECT_TRUE(Game->Rules.Same);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_TRUE(BoardEmpty());
}

TEST_F(GameTurnFlow, ADrawEndsTheMatchOrWithSuddenDeathIsReplayedWithTheCardsEachSideOwned) {
    AddPlainCards();
    StartMatch();
    for (int i = 0; i < 9; ++i) Play();
    EXPECT_FALSE(Game->InProgress);
    EXPECT_TRUE(Game->GameOver);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    EXPECT_NE(Game->Hands[4][0], -1); // red's card in hand counts for red
    for (uint16_t key : {VK_UP, VK_RETURN}) Press(key);
    EXPECT_EQ(Game->HandCursor, 4);
    EXPECT_FALSE(Game->BoardCursorActive);

    TGameRules rules;
    rules.SuddenDeath = true;
    StartMatch(rules);
    std::vector<TPlay> plays;
    for (int i = 0; i < 8; ++i) plays.push_back(Play());
    const int32_t leftover = Game->Hands[4][0];
    plays.push_back(Play(false));
    for (int i = 0; i < 4 && Game->Phase == TGame::PhaseFlight; ++i) Frame(5000);

    // Dealt at once; red, who did not place the ninth card, starts.
    EXPECT_TRUE(Game->InProgress && !Game->GameOver);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    EXPECT_EQ(Game->Turn, 0);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_TRUE(BoardEmpty());
    std::sort(plays.begin(), plays.end(), [](const TPlay& a, const TPlay& b) { return a.Square < b.Square; });
    std::vector<int32_t> red{leftover}, blue;
    for (const TPlay& play : plays) (play.Player == 0 ? red : blue).push_back(play.Card);
    EXPECT_EQ(Hand(0), red);
    EXPECT_EQ(Hand(1), blue);

    // The starting player alternates from replay to replay.
    Settle();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Play().Player, i % 2 == 0 ? 0 : 1);
    EXPECT_TRUE(Game->InProgress);
    EXPECT_EQ(Game->Turn, 1);
}

TEST_F(GameTurnFlow, AWonMatchEndsEvenUnderSuddenDeath) {
    AddPlainCards();
    TGameRules rules;
    rules.SuddenDeath = true;
    StartMatch(rules);
    const int32_t strong = AddCard({9, 9, 9, 9});
    for (int slot = 0; slot < 5; ++slot) Game->Arrange().Hands[slot][1] = strong;
    for (int i = 0; i < 9; ++i) Play();
    EXPECT_TRUE(Game->GameOver && !Game->InProgress);
    EXPECT_EQ(Game->Score[1], 9);
    EXPECT_EQ(Game->Score[0], 1);
}

} // namespace
