#include "GameFixture.h"

#include <map>

namespace {

constexpr float Frame50 = 0.05f;

class GameAnimations : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        Back = SolidSurface(100, 127, GameColor::CardBack);
        Game->Sprites->CardBack = std::make_unique<TSprite>();
        Game->Sprites->CardBack->AttachSurface(Back.get(), TRect{0, 0, 100, 127}, false);
    }

    // Lands a card for red on (x, y) at once, so that its captures start turning.
    void LandRed(int32_t x, int32_t y, int32_t card) {
        Game->Arrange().Turn = 0;
        Game->HandCursor = 0;
        Game->BoardCursorX = x;
        Game->BoardCursorY = y;
        Game->PlaceCard(x, y, TOwnedCard(card, 0));
        Game->StepFlight(LongFrame);
        Game->StepFlight(LongFrame);
        ASSERT_EQ(Game->Phase, TGame::PhaseFlipping);
    }

    // Runs the flip in 50 ms frames; the frame numbers at which FlipStep took
    // each new value.
    std::map<int32_t, int32_t> RunFlip(std::function<void(int32_t frame)> afterFrame = {}) {
        std::map<int32_t, int32_t> changes;
        for (int32_t frame = 1; frame <= 200 && Game->Phase == TGame::PhaseFlipping; ++frame) {
            const int32_t before = FlipStep;
            Game->StepFlip(Frame50);
            if (FlipStep != before) changes[FlipStep] = frame;
            if (afterFrame) afterFrame(frame);
            if (before == 5 && FlipStep == 1) break;
        }
        return changes;
    }

    std::unique_ptr<TSurface> Back;
};

TEST_F(GameAnimations, DealRisesIntoTheSlotsAndEndsWithTheSlotFourCards) {
    for (int i = 0; i < 4; ++i) AddCard({1, 1, 1, 1});
    Game->NewGame(1, TGameRules{}, false);
    ASSERT_EQ(Game->AnimSprites.size(), 10u);
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player) {
            const TSprite& sprite = Game->AnimSprites[size_t(player * 5 + slot)];
            EXPECT_EQ(sprite.GetSurface(), Game->Cards->GetCardPicture(Game->Hands[slot][player], player));
            EXPECT_EQ(sprite.Dest.left, player == 0 ? 10 : 417);
            EXPECT_EQ(sprite.Dest.top, 332 + 110 * slot);
            EXPECT_EQ(sprite.Dest.right - sprite.Dest.left, 85);
            EXPECT_EQ(sprite.TargetY, 29 + 55 * slot);
        }

    // 303 pixels for slot 0 and 523 for slot 4, at 700 px/s in 50 ms frames.
    int32_t frames = 0, slotZeroHome = 0;
    while (Game->Phase == TGame::PhaseDealing && frames < 100) {
        Game->StepDeal(Frame50);
        ++frames;
        if (!slotZeroHome && !Game->AnimSprites.empty() && !Game->AnimSprites[0].IsAnimating()) {
            slotZeroHome = frames;
            EXPECT_EQ(Game->AnimSprites[0].Dest.top, 29);
            EXPECT_EQ(Game->AnimSprites[5].Dest.top, 29);
        }
    }
    EXPECT_EQ(slotZeroHome, 9);
    EXPECT_EQ(frames, 15);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_TRUE(Game->AnimSprites.empty());

    // However slow the machine, one long frame ends the deal.
    Game->NewGame(1, TGameRules{}, false);
    Game->StepDeal(2.0f);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
}

TEST_F(GameAnimations, FlightRisesFromTheSlotAndDropsOntoTheSquare) {
    for (int i = 0; i < 4; ++i) AddCard({1, 1, 1, 1});
    StartMatch();
    // Frames for the rise (until the jump above the column) and for the drop.
    auto fly = [this](int32_t column, int32_t row) {
        std::pair<int32_t, int32_t> frames{0, 0};
        while (FlightLeg == 1 && ++frames.first < 100) Game->StepFlight(Frame50);
        EXPECT_EQ(Game->AnimSprites[0].X, 130 + 85 * column);
        EXPECT_EQ(Game->AnimSprites[0].Y, -170);
        while (Game->Phase == TGame::PhaseFlight && ++frames.second < 100) {
            EXPECT_EQ(Game->Board[row][column].Card, -1);
            Game->StepFlight(Frame50);
        }
        EXPECT_NE(Game->Board[row][column].Card, -1);
        EXPECT_TRUE(Game->AnimSprites.empty());
        EXPECT_EQ(FlightLeg, 1);
        return frames;
    };

    // Blue's slot 0 to row 0: 199 pixels up and 199 down at 600 px/s.
    Press(VK_RETURN);
    Press(VK_RETURN);
    ASSERT_EQ(Game->AnimSprites.size(), 1u);
    EXPECT_EQ(Game->AnimSprites[0].Dest, (TRect{397, 29, 482, 139}));
    EXPECT_EQ(fly(0, 0), std::make_pair(7, 7));

    // Red's slot 4 to row 2: 419 pixels each way.
    for (uint16_t key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN, VK_DOWN, VK_DOWN, VK_RETURN})
        Press(key);
    ASSERT_EQ(Game->AnimSprites.size(), 1u);
    EXPECT_EQ(Game->AnimSprites[0].Dest, (TRect{30, 249, 115, 359}));
    EXPECT_EQ(fly(1, 2), std::make_pair(14, 14));
}

TEST_F(GameAnimations, SubMillisecondFramesGiveTheAnimationsTheirRealLength) {
    for (int i = 0; i < 4; ++i) AddCard({1, 1, 1, 1});
    // Seconds of 0.2 ms frames, as a fast machine runs them, until the phase ends.
    auto secondsIn = [this](uint8_t phase) {
        int32_t frames = 0;
        while (Game->Phase == phase && frames < 100000) {
            FrameOf(200);
            ++frames;
        }
        return frames * 0.0002;
    };
    Game->NewGame(1, TGameRules{}, false);
    // Slot 4's 523 pixels at 700 px/s.
    EXPECT_NEAR(secondsIn(TGame::PhaseDealing), 523.0 / 700.0, 0.002);

    // Blue's slot 0 to row 0: 199 pixels up and 199 down at 600 px/s.
    Press(VK_RETURN);
    Press(VK_RETURN);
    ASSERT_EQ(Game->Phase, TGame::PhaseFlight);
    EXPECT_NEAR(secondsIn(TGame::PhaseFlight), 398.0 / 600.0, 0.002);
    EXPECT_NE(Game->Board[0][0].Card, -1);
}

TEST_F(GameAnimations, FlipStepsFollowTheTableForSidewaysAndUprightTurns) {
    const int32_t strong = AddCard({9, 9, 9, 9});
    const int32_t weak = AddCard({1, 1, 1, 1});

    // Beside the placed card's column: it turns about its vertical axis.
    Put(0, 1, weak, 1);
    LandRed(1, 1, strong);
    ASSERT_EQ(Game->AnimSprites.size(), 1u);
    TSprite* sprite = &Game->AnimSprites[0];
    EXPECT_TRUE(Game->FlipSideways[0]);
    EXPECT_EQ(sprite->GetSurface(), Game->Cards->GetCardPicture(weak, 1)); // still blue
    EXPECT_EQ(Game->Board[1][0].Card, -1);
    std::map<int32_t, std::pair<float, float>> sizes;
    std::map<int32_t, TSurface*> pictures;
    auto sideways = RunFlip([&](int32_t frame) {
        if (Game->AnimSprites.empty()) return;
        sizes[frame] = {Game->AnimSprites[0].Width, Game->AnimSprites[0].Height};
        pictures[frame] = Game->AnimSprites[0].GetSurface();
    });
    EXPECT_EQ(sideways, (std::map<int32_t, int32_t>{{2, 7}, {3, 15}, {4, 23}, {5, 31}, {1, 34}}));
    EXPECT_EQ(sizes[6], std::make_pair(1.0f, 118.0f));
    EXPECT_EQ(sizes[14], std::make_pair(118.0f, 150.0f));
    EXPECT_EQ(sizes[22], std::make_pair(1.0f, 150.0f));
    EXPECT_EQ(sizes[30], std::make_pair(118.0f, 150.0f));
    EXPECT_EQ(sizes[33], std::make_pair(85.0f, 110.0f));
    EXPECT_EQ(pictures[7], Back.get());
    EXPECT_EQ(pictures[22], Back.get());
    EXPECT_EQ(pictures[23], Game->Cards->GetCardPicture(weak, 0));
    EXPECT_EQ(Game->Board[1][0], TOwnedCard(weak, 0));
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
    EXPECT_TRUE(Game->AnimSprites.empty());
    EXPECT_EQ(FlipStep, 1);

    // In the placed card's column: it turns about its horizontal axis.
    for (auto& row : Game->Arrange().Board)
        for (TOwnedCard& square : row) square = TOwnedCard();
    Put(1, 0, weak, 1);
    LandRed(1, 1, strong);
    EXPECT_FALSE(Game->FlipSideways[0]);
    sizes.clear();
    auto upright = RunFlip([&](int32_t frame) {
        if (!Game->AnimSprites.empty())
            sizes[frame] = {Game->AnimSprites[0].Width, Game->AnimSprites[0].Height};
    });
    EXPECT_EQ(upright, (std::map<int32_t, int32_t>{{2, 12}, {3, 22}, {4, 32}, {5, 42}, {1, 45}}));
    EXPECT_EQ(sizes[11], std::make_pair(150.0f, 1.0f));
    EXPECT_EQ(sizes[31], std::make_pair(118.0f, 1.0f));
    EXPECT_EQ(sizes[44], std::make_pair(85.0f, 110.0f));
    EXPECT_EQ(Game->Board[0][1], TOwnedCard(weak, 0));
}

TEST_F(GameAnimations, AMixedGroupStepsWhenTheLastCardStops) {
    const int32_t strong = AddCard({9, 9, 9, 9});
    const int32_t weak = AddCard({1, 1, 1, 1});
    Put(1, 0, weak, 1); // upright, first in the list
    Put(2, 1, weak, 1); // sideways, last
    LandRed(1, 1, strong);
    ASSERT_EQ(Game->FlipCount, 2);
    EXPECT_FALSE(Game->FlipSideways[0]);
    EXPECT_TRUE(Game->FlipSideways[1]);

    std::map<int32_t, std::pair<float, float>> first;
    const auto changes = RunFlip([&](int32_t frame) {
        if (Game->AnimSprites.size() == 2)
            first[frame] = {Game->AnimSprites[0].Width, Game->AnimSprites[0].Height};
    });
    // The sideways card sets the pace; the upright one is re-targeted on the way.
    EXPECT_EQ(changes.at(2), 7);
    EXPECT_EQ(changes.at(3), 15);
    EXPECT_EQ(first[6], std::make_pair(121.0f, 14.0f));
    EXPECT_EQ(first[14], std::make_pair(118.0f, 142.0f));
    EXPECT_EQ(Game->Board[0][1].Owner, 0);
    EXPECT_EQ(Game->Board[1][2].Owner, 0);
    EXPECT_EQ(Game->Phase, TGame::PhaseIdle);
}

TEST_F(GameAnimations, BannerShowsFromTheFirstFlipFrameAndTheNextGroupStartsInTheLastOne) {
    OpenDevice();
    LoadImages();
    for (int i = 0; i < 4; ++i) AddCard({1, 1, 1, 1});
    const int32_t mover = AddCard({5, 3, 0, 3});
    const int32_t left = AddCard({0, 3, 0, 0});
    const int32_t right = AddCard({0, 0, 0, 3});
    const int32_t top = AddCard({0, 0, 1, 0});
    StartMatch();
    Game->Arrange().Rules.Same = true;
    Put(0, 1, left, 0);
    Put(2, 1, right, 0);
    Put(1, 0, top, 0);
    Game->Arrange().Hands[0][1] = mover;
    Press(VK_RETURN);
    Press(VK_RIGHT);
    Press(VK_DOWN);
    Press(VK_RETURN);
    for (int i = 0; i < 100 && Game->Phase == TGame::PhaseFlight; ++i) {
        Frame(50);
        EXPECT_NE(Pixel(256, 192), GameColor::SameText);
    }
    ASSERT_EQ(Game->Phase, TGame::PhaseFlipping);
    EXPECT_EQ(Game->BannerSprite, Game->Sprites->SameText.get());
    EXPECT_EQ(Game->Sprites->SameText->Dest, (TRect{156, 172, 356, 212}));

    int32_t frames = 0, bannerFrames = 0;
    while (Game->BannerSprite && frames < 100) {
        Frame(50);
        ++frames;
        if (Pixel(256, 192) == GameColor::SameText) {
            ++bannerFrames;
            EXPECT_EQ(bannerFrames, frames);
        }
    }
    // Drawn in all 33 frames of the sideways flip, gone in the frame that ends it.
    EXPECT_EQ(frames, 34);
    EXPECT_EQ(bannerFrames, 33);
    // That last frame shows the Same cards at square size in blue...
    EXPECT_EQ(Pixel(342, 194), GameColor::Face(right, 1));
    EXPECT_EQ(Pixel(172, 194), GameColor::Face(left, 1));
    // ...and already the first step of the basic group, still red and shrinking.
    ASSERT_EQ(Game->AnimSprites.size(), 1u);
    EXPECT_EQ(Game->AnimSprites[0].Width, 91.0f);
    EXPECT_EQ(Game->AnimSprites[0].Height, 94.0f);
    EXPECT_EQ(Pixel(257, 84), GameColor::Face(top, 0));
    EXPECT_EQ(Pixel(257, 30), GameColor::Background);
    EXPECT_EQ(Game->Board[0][1].Card, -1);
    EXPECT_EQ(Game->Board[1][2], TOwnedCard(right, 1));

    Settle();
    EXPECT_EQ(Game->Score[1], 8);
    EXPECT_EQ(Game->Board[0][1], TOwnedCard(top, 1));
}

} // namespace
