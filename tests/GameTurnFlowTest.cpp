#include "GameFixture.h"

#include <algorithm>

namespace {

class GameTurnFlow : public TGameFixture {
protected:
    struct TPlay {
        int32_t Player;
        int32_t Card;
        int32_t X;
        int32_t Y;
    };

    void SetUp() override {
        TGameFixture::SetUp();
        // Equal ranks everywhere: nothing is ever captured.
        for (int i = 0; i < 12; ++i) AddCard({1, 1, 1, 1});
    }

    // Added once the hands are dealt, so that no deal holds it by chance.
    int32_t AddStrong() { return AddCard({9, 9, 9, 9}); }

    std::vector<int32_t> Hand(int32_t player) const {
        std::vector<int32_t> hand;
        for (int slot = 0; slot < 5; ++slot) hand.push_back(Game->Hands[slot][player]);
        return hand;
    }

    // Plays the selected card of the player to move on the first empty square.
    std::vector<TPlay> PlayOut(int count) {
        std::vector<TPlay> plays;
        for (int i = 0; i < count; ++i) {
            int32_t square = 0;
            while (Game->Board[square / 3][square % 3].Card != -1) ++square;
            plays.push_back({Game->Turn, Game->Hands[Game->HandCursor][Game->Turn], square % 3, square / 3});
            PlayFirstEmpty();
        }
        return plays;
    }
};

TEST_F(GameTurnFlow, HandKeysMoveTheSelectionWithinTheHand) {
    uint16_t enter = VK_RETURN;
    Game->KeyDown(enter); // no match yet
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(enter, VK_RETURN);

    StartMatch();
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->HandCursor, 0);
    Press(VK_UP);
    EXPECT_EQ(Game->HandCursor, 0);
    for (int i = 0; i < 6; ++i) Press(VK_DOWN);
    EXPECT_EQ(Game->HandCursor, 4);
    Press(VK_UP);
    EXPECT_EQ(Game->HandCursor, 3);
    Press(VK_ESCAPE);
    Press(VK_LEFT);
    Press(VK_RIGHT);
    Press(0x41);
    EXPECT_EQ(Game->HandCursor, 3);
    EXPECT_FALSE(Game->BoardCursorActive);
}

TEST_F(GameTurnFlow, BoardCursorStartsOnTheFirstEmptySquareAndStopsAtTheEdges) {
    StartMatch();
    const std::vector<int32_t> blue = Hand(1);
    Press(VK_DOWN);
    Press(VK_DOWN);
    Game->BoardCursorX = 2;
    Game->BoardCursorY = 2;
    Press(VK_RETURN);
    EXPECT_TRUE(Game->BoardCursorActive);
    EXPECT_EQ(Game->BoardCursorX, 0);
    EXPECT_EQ(Game->BoardCursorY, 0);
    Press(VK_LEFT);
    Press(VK_UP);
    EXPECT_EQ(Game->BoardCursorX, 0);
    EXPECT_EQ(Game->BoardCursorY, 0);
    for (int i = 0; i < 3; ++i) Press(VK_RIGHT);
    for (int i = 0; i < 3; ++i) Press(VK_DOWN);
    EXPECT_EQ(Game->BoardCursorX, 2);
    EXPECT_EQ(Game->BoardCursorY, 2);

    // Escape returns to the same hand card; Enter starts over at the first empty square.
    Press(VK_DOWN);
    Press(VK_DOWN);
    Press(VK_ESCAPE);
    Press(VK_ESCAPE);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(Game->HandCursor, 2);
    Put(0, 0, 0, 0);
    Put(1, 0, 0, 1);
    Press(VK_RETURN);
    EXPECT_EQ(Game->BoardCursorX, 2);
    EXPECT_EQ(Game->BoardCursorY, 0);

    // Enter on an occupied square does nothing; the cursor stays.
    Press(VK_LEFT);
    Press(VK_RETURN);
    EXPECT_TRUE(Game->BoardCursorActive);
    EXPECT_EQ(Game->BoardCursorX, 1);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Hand(1), blue);
}

TEST_F(GameTurnFlow, PlayingPassesTheTurnBeforeTheFlight) {
    StartMatch();
    const std::vector<int32_t> blue = Hand(1);
    Press(VK_DOWN);
    Press(VK_DOWN);
    Press(VK_RETURN);
    Press(VK_RIGHT);
    Press(VK_DOWN);
    Press(VK_RETURN);

    EXPECT_EQ(Game->Phase, TGame::PhaseFlight);
    EXPECT_EQ(Game->Turn, 0);
    EXPECT_EQ(Game->FlyingCard, TOwnedCard(blue[2], 1));
    EXPECT_EQ(Hand(1), (std::vector<int32_t>{-1, blue[0], blue[1], blue[3], blue[4]}));
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_EQ(Game->BoardCursorX, 1);
    EXPECT_EQ(Game->BoardCursorY, 1);
    EXPECT_EQ(Game->Board[1][1].Card, -1);

    // Keys are dropped while the card flies, not kept for later.
    Press(VK_DOWN);
    Press(VK_RETURN);
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);

    Settle();
    EXPECT_EQ(Game->Board[1][1], TOwnedCard(blue[2], 1));
    EXPECT_EQ(Game->HandCursor, 0);
    EXPECT_FALSE(Game->BoardCursorActive);

    // Red plays its top card; blue's selection then starts at its topmost card,
    // and Up cannot reach the empty slot above it.
    PlayOut(1);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->HandCursor, 1);
    Press(VK_UP);
    EXPECT_EQ(Game->HandCursor, 1);
    EXPECT_EQ(Game->Score[0] + Game->Score[1], 10);
}

TEST_F(GameTurnFlow, NewGameIsRefusedWhileCardsMoveAndAcceptedBetweenTurns) {
    StartMatch();
    PlayOut(1); // blue on (0, 0)
    Game->Hands[Game->HandCursor][0] = AddStrong();
    Press(VK_RETURN);
    Press(VK_RETURN); // red's strong card lands on (1, 0) and takes (0, 0)

    TGameRules same;
    same.Same = true;
    const std::vector<int32_t> red = Hand(0);
    Game->NewGame(1, same, false); // in flight
    EXPECT_EQ(Game->Phase, TGame::PhaseFlight);
    Frame(5000);
    Frame(5000);
    ASSERT_EQ(Game->Phase, TGame::PhaseFlipping);
    Game->NewGame(1, same, false);
    Press(VK_RETURN);
    EXPECT_EQ(Game->Phase, TGame::PhaseFlipping);
    EXPECT_FALSE(Game->BoardCursorActive);
    EXPECT_FALSE(Game->Rules.Same);
    EXPECT_EQ(Hand(0), red);
    Settle();
    EXPECT_EQ(Game->Board[0][0].Owner, 0);
    EXPECT_EQ(Game->Score[0], 6);

    // Between turns a new game abandons the match at once.
    Game->NewGame(1, same, false);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    EXPECT_TRUE(Game->Rules.Same);
    EXPECT_EQ(Game->Turn, 1);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    for (const auto& row : Game->Board)
        for (const TOwnedCard& square : row) EXPECT_EQ(square.Card, -1);
}

TEST_F(GameTurnFlow, ADrawEndsTheMatchWhenSuddenDeathIsOff) {
    StartMatch();
    const auto plays = PlayOut(9);
    EXPECT_EQ(plays.front().Player, 1);
    EXPECT_EQ(plays.back().Player, 1);
    EXPECT_FALSE(Game->InProgress);
    EXPECT_TRUE(Game->GameOver);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    EXPECT_NE(Game->Hands[4][0], -1); // red's card in hand counts for red
    EXPECT_EQ(Game->Turn, 0);

    // Nothing answers any more.
    const int32_t cursor = Game->HandCursor;
    for (uint16_t key : {VK_DOWN, VK_UP, VK_RETURN, VK_RETURN}) Press(key);
    EXPECT_EQ(Game->HandCursor, cursor);
    EXPECT_FALSE(Game->BoardCursorActive);
}

TEST_F(GameTurnFlow, SuddenDeathReplaysADrawWithTheCardsEachSideOwned) {
    TGameRules rules;
    rules.SuddenDeath = true;
    StartMatch(rules);
    const auto plays = PlayOut(8);
    const int32_t leftover = Game->Hands[4][0];
    const TPlay last{1, Game->Hands[Game->HandCursor][1], 2, 2};
    Press(VK_RETURN);
    Press(VK_RETURN);
    for (int i = 0; i < 4 && Game->Phase == TGame::PhaseFlight; ++i) Frame(5000);

    // The replay is dealt at once; red, who did not place the ninth card, starts.
    EXPECT_TRUE(Game->InProgress);
    EXPECT_FALSE(Game->GameOver);
    EXPECT_EQ(Game->Phase, TGame::PhaseDealing);
    EXPECT_EQ(Game->Turn, 0);
    EXPECT_EQ(Game->Score[0], 5);
    EXPECT_EQ(Game->Score[1], 5);
    EXPECT_TRUE(Game->Rules.SuddenDeath);
    for (const auto& row : Game->Board)
        for (const TOwnedCard& square : row) EXPECT_EQ(square.Card, -1);

    std::vector<int32_t> red{leftover}, blue;
    std::vector<TPlay> all = plays;
    all.push_back(last);
    std::sort(all.begin(), all.end(),
              [](const TPlay& a, const TPlay& b) { return a.Y * 3 + a.X < b.Y * 3 + b.X; });
    for (const TPlay& play : all) (play.Player == 0 ? red : blue).push_back(play.Card);
    EXPECT_EQ(Hand(0), red);
    EXPECT_EQ(Hand(1), blue);

    // The starting player alternates from replay to replay.
    Settle();
    EXPECT_EQ(PlayOut(9).back().Player, 0);
    EXPECT_TRUE(Game->InProgress);
    EXPECT_EQ(Game->Turn, 1);
    for (const auto& row : Game->Board)
        for (const TOwnedCard& square : row) EXPECT_EQ(square.Card, -1);
}

TEST_F(GameTurnFlow, AWonMatchEndsEvenUnderSuddenDeath) {
    TGameRules rules;
    rules.SuddenDeath = true;
    StartMatch(rules);
    const int32_t strong = AddStrong();
    for (int slot = 0; slot < 5; ++slot) Game->Hands[slot][1] = strong;
    PlayOut(9);
    EXPECT_FALSE(Game->InProgress);
    EXPECT_TRUE(Game->GameOver);
    EXPECT_EQ(Game->Score[0] + Game->Score[1], 10);
    EXPECT_GT(Game->Score[1], 5);
    int32_t blueOnBoard = 0;
    for (const auto& row : Game->Board)
        for (const TOwnedCard& square : row) blueOnBoard += square.Owner == 1;
    EXPECT_EQ(Game->Score[1], blueOnBoard);
}

} // namespace
