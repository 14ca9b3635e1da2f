#include "GameFixture.h"

namespace {

class GamePresentation : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        OpenDevice();
        LoadImages();
        for (int i = 0; i < 6; ++i) AddCard({1, 1, 1, 1}, 0, "Card " + std::to_string(i));
    }

    // True when some pixel of the rectangle is (nearly) white: text was written there.
    bool AnyWhite(const TRect& area) const {
        for (int32_t y = area.top; y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x) {
                const uint32_t p = Pixel(x, y);
                if (((p >> 16) & 0xff) >= 0xc0 && ((p >> 8) & 0xff) >= 0xc0 && (p & 0xff) >= 0xc0)
                    return true;
            }
        return false;
    }

    bool OnlyBackground() const {
        for (int32_t y = 0; y < 384; ++y)
            for (int32_t x = 0; x < 512; ++x)
                if (Pixel(x, y) != GameColor::Background) return false;
        return true;
    }

    // A running match between turns, with hands and scores of our choosing.
    void SetScene() {
        StartMatch();
        for (int slot = 0; slot < 5; ++slot) {
            Game->Arrange().Hands[slot][0] = slot;
            Game->Arrange().Hands[slot][1] = 5 - slot;
        }
        Game->Arrange().Score[0] = 3;
        Game->Arrange().Score[1] = 7;
    }

    static constexpr TRect CounterArea{0, 0, 60, 16};
    static constexpr TRect NameArea{200, 351, 312, 369};
};

TEST_F(GamePresentation, BeforeTheMatchAndWhileDealingTheBoardIsNotDrawn) {
    Game->DoFrame();
    EXPECT_TRUE(OnlyBackground()); // not even the frame counter

    TGameRules rules;
    rules.Elemental = true;
    Game->NewGame(1, rules, false);
    Frame(10);
    ASSERT_EQ(Game->Phase, TGame::PhaseDealing);
    // No board, no element icons, no scores: the squares show the background.
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column)
            EXPECT_EQ(Pixel(172 + 85 * column, 84 + 110 * row), GameColor::Background)
                << column << "," << row;
    EXPECT_EQ(Pixel(39, 300), GameColor::Background);
    // Slot 0's cards have risen 7 pixels from y 332.
    EXPECT_EQ(Pixel(10, 325), GameColor::Face(Game->Hands[0][0], 0));
    EXPECT_EQ(Pixel(10, 324), GameColor::Background);
    // Moving straight up drifts a hair left of the column (the direction is
    // not exactly 3 pi / 2), and truncation shows it until the card arrives.
    EXPECT_EQ(Pixel(416, 383), GameColor::Face(Game->Hands[0][1], 1));
    EXPECT_EQ(Pixel(501, 383), GameColor::Background);
    EXPECT_TRUE(AnyWhite(CounterArea));
}

TEST_F(GamePresentation, IdleSceneShowsCardsSelectionPointerScoresAndName) {
    SetScene();
    Put(0, 0, 2, 1);
    Press(VK_DOWN);
    Press(VK_DOWN);
    Frame(16);

    // A board card fills its square, in its owner's colour.
    EXPECT_EQ(Pixel(130, 29), GameColor::Face(2, 1));
    EXPECT_EQ(Pixel(214, 138), GameColor::Face(2, 1));
    EXPECT_EQ(Pixel(129, 29), GameColor::Background);
    EXPECT_EQ(Pixel(215, 29), GameColor::Background);

    // Blue's slot 2 is selected: shifted 20 pixels toward the board.
    EXPECT_EQ(Pixel(397, 139), GameColor::Face(3, 1));
    EXPECT_EQ(Pixel(396, 139), GameColor::Background);
    EXPECT_EQ(Pixel(417, 84), GameColor::Face(4, 1));
    EXPECT_EQ(Pixel(416, 84), GameColor::Background);
    // Its pointer at (407 - 37, 139 + 42), over the card's left edge.
    EXPECT_EQ(Pixel(370, 181), GameColor::HandRight);
    EXPECT_EQ(Pixel(406, 205), GameColor::HandRight);
    EXPECT_EQ(Pixel(369, 181), GameColor::Background);
    EXPECT_EQ(Pixel(370, 180), GameColor::Background);
    EXPECT_EQ(Pixel(407, 181), GameColor::Face(3, 1));
    // Red's hand lies unshifted.
    EXPECT_EQ(Pixel(10, 29), GameColor::Face(0, 0));
    EXPECT_EQ(Pixel(10, 358), GameColor::Face(4, 0));

    // Score digits at trunc(10 + 42 - 12.5) and trunc(417 + 42 - 12.5), over the hands.
    EXPECT_EQ(Pixel(39, 350), GameColor::Digit(3));
    EXPECT_EQ(Pixel(63, 381), GameColor::Digit(3));
    EXPECT_EQ(Pixel(38, 350), GameColor::Face(4, 0));
    EXPECT_EQ(Pixel(64, 350), GameColor::Face(4, 0));
    EXPECT_EQ(Pixel(446, 350), GameColor::Digit(7));
    EXPECT_EQ(Pixel(445, 350), GameColor::Face(1, 1));

    // The name box at trunc(256 - 150.5) = 105, with the selected card's name.
    EXPECT_EQ(Pixel(105, 345), GameColor::NameBox);
    EXPECT_EQ(Pixel(405, 368), GameColor::NameBox);
    EXPECT_EQ(Pixel(104, 345), GameColor::Background);
    EXPECT_EQ(Pixel(105, 344), GameColor::Background);
    EXPECT_TRUE(AnyWhite(NameArea));
    EXPECT_TRUE(AnyWhite(CounterArea));

    // Red to move, slot 1 selected: the left pointer stands at x 105.
    Game->Arrange().Turn = 0;
    Game->HandCursor = 1;
    Frame(16);
    EXPECT_EQ(Pixel(30, 84), GameColor::Face(1, 0));
    EXPECT_EQ(Pixel(105, 126), GameColor::HandLeft);
    EXPECT_EQ(Pixel(141, 150), GameColor::HandLeft);
    EXPECT_EQ(Pixel(104, 126), GameColor::Face(1, 0));
    EXPECT_EQ(Pixel(397, 139), GameColor::Background); // blue's card is back in line
    EXPECT_EQ(Game->PointerOffsetX, 5);
    EXPECT_EQ(Game->PointerOffsetY, 42);
}

TEST_F(GamePresentation, BoardModeShowsTheCursorAndNamesOnlyOccupiedSquares) {
    SetScene();
    Press(VK_DOWN);
    Press(VK_DOWN);
    Press(VK_RETURN);
    Game->BoardCursorX = 2;
    Game->BoardCursorY = 1;
    Frame(16);
    EXPECT_EQ(Pixel(305, 181), GameColor::HandRight);
    EXPECT_EQ(Pixel(341, 205), GameColor::HandRight);
    EXPECT_EQ(Pixel(304, 181), GameColor::Background);
    EXPECT_EQ(Pixel(305, 180), GameColor::Background);
    // The selected card stays shifted, without its pointer; no name over an empty square.
    EXPECT_EQ(Pixel(397, 139), GameColor::Face(3, 1));
    EXPECT_EQ(Pixel(370, 181), GameColor::Background);
    EXPECT_EQ(Pixel(105, 345), GameColor::Background);
    EXPECT_FALSE(AnyWhite(NameArea));

    Put(2, 1, 5, 0);
    Frame(16);
    EXPECT_EQ(Pixel(105, 345), GameColor::NameBox);
    EXPECT_TRUE(AnyWhite(NameArea));
    EXPECT_EQ(Pixel(305, 181), GameColor::HandRight);
    EXPECT_EQ(Pixel(304, 181), GameColor::Face(5, 0));
}

TEST_F(GamePresentation, ElementSquaresShowTheIconOrTheCardsSignAndDigit) {
    const int32_t fire = AddCard({1, 1, 1, 1}, 3);
    const int32_t water = AddCard({1, 1, 1, 1}, 5);
    SetScene();
    Game->Arrange().Elements[0][0] = 3;
    Frame(16);
    EXPECT_EQ(Pixel(172, 84), GameColor::Element(3));
    EXPECT_EQ(Pixel(162, 74), GameColor::Element(3));
    EXPECT_EQ(Pixel(161, 84), GameColor::Background);

    // Sign at (172 - 5 - 9, 84 - 6), digit 1 at trunc(172 - 12.5 + 9) = 168.
    const std::pair<int32_t, uint32_t> cases[] = {
        {fire, GameColor::PlusSign}, {water, GameColor::MinusSign}, {0, GameColor::MinusSign}};
    for (auto [card, sign] : cases) {
        Put(0, 0, card, 0);
        Frame(16);
        EXPECT_EQ(Pixel(158, 78), sign) << card;
        EXPECT_EQ(Pixel(167, 89), sign) << card;
        EXPECT_EQ(Pixel(168, 84), GameColor::Digit(1)) << card;
        EXPECT_EQ(Pixel(192, 99), GameColor::Digit(1)) << card;
        EXPECT_EQ(Pixel(157, 78), GameColor::Face(card, 0)) << card;
        EXPECT_EQ(Pixel(162, 74), GameColor::Face(card, 0)) << card; // no icon under a card
    }
}

TEST_F(GamePresentation, MovingCardsHideTheSelectionAndScoresOutsideTheDigitsAreSkipped) {
    SetScene();
    Press(VK_RETURN);
    Press(VK_RETURN);
    Frame(16);
    ASSERT_EQ(Game->Phase, TGame::PhaseFlight);
    // Red is to move with slot 0 selected, yet nothing is shifted or named.
    EXPECT_EQ(Pixel(10, 29), GameColor::Face(0, 0));
    EXPECT_EQ(Pixel(105, 71), GameColor::Background);
    EXPECT_EQ(Pixel(105, 345), GameColor::Background);
    EXPECT_TRUE(AnyWhite(CounterArea));
    Settle();

    Game->Arrange().Score[0] = 0;
    Game->Arrange().Score[1] = 10;
    Frame(16);
    EXPECT_EQ(Pixel(39, 350), GameColor::Face(4, 0));
    EXPECT_EQ(Pixel(446, 350), GameColor::Face(1, 1));
}

TEST_F(GamePresentation, TheFinalPictureStaysAfterTheMatch) {
    StartMatch();
    for (int play = 0; play < 9; ++play) PlayFirstEmpty();
    ASSERT_TRUE(Game->GameOver);
    const QImage ended = Game->Graphics->BackBuffer->Image().copy();
    EXPECT_EQ(Pixel(39, 350), GameColor::Digit(5));
    EXPECT_EQ(Pixel(446, 350), GameColor::Digit(5));

    Game->Arrange().Score[0] = 9;
    Put(0, 0, 1, 0);
    for (int i = 0; i < 3; ++i) Frame(1500);
    EXPECT_EQ(Game->Graphics->BackBuffer->Image(), ended);
}

TEST(GameWithoutDevice, PlaysAndDrawsNothingWithoutDeviceOrImages) {
    for (int variant = 0; variant < 3; ++variant) {
        uint64_t now = 0;
        TGame game([] { return int64_t(42); }, [&now] { return now; });
        QWidget widget;
        widget.resize(512, 384);
        if (variant == 1) game.Graphics->OpenDevice(&widget);
        if (variant == 2) game.Sprites->BoardImage = std::make_unique<TSprite>();
        game.Cards->CardTable.reset(new TCardInfo[1]);
        game.Cards->NumCards = 1;
        TGameRules rules;
        rules.Same = rules.Plus = rules.Elemental = true;
        game.DoFrame();
        game.NewGame(1, rules, false);
        for (int step = 0; step < 400 && game.InProgress; ++step) {
            now += 700000;
            game.DoFrame();
            uint16_t enter = VK_RETURN;
            game.KeyDown(enter);
        }
        EXPECT_TRUE(game.GameOver) << variant;
        EXPECT_EQ(game.Score[0] + game.Score[1], 10);
        game.DoFrame();
    }
}

} // namespace
