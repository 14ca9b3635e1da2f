#include "TestSupport.h"
#include "render/Graphics.h"
#include "render/Sprite.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace TestColor;

// A sprite showing an 85 x 110 face, as a card on the board.
TSprite CardSprite(TSurface& face) {
    TSprite sprite;
    sprite.AttachSurface(&face, TRect{0, 0, 100, 127}, false);
    sprite.SetSize(85, 110);
    return sprite;
}

std::unique_ptr<TSurface> Face(uint32_t color) {
    auto face = std::make_unique<TSurface>(100, 127);
    face->EditImage().fill(color);
    return face;
}

} // namespace

TEST(RenderSprite, StartsEmptyAndIdle) {
    const TSprite sprite;
    EXPECT_EQ(sprite.X, 0);
    EXPECT_EQ(sprite.Y, 0);
    EXPECT_EQ(sprite.Speed, 0);
    EXPECT_EQ(sprite.Width, 0);
    EXPECT_FALSE(sprite.IsAnimating());
    EXPECT_FALSE(sprite.OwnsSurface);
    EXPECT_EQ(sprite.GetSurface(), nullptr);
    EXPECT_EQ(sprite.Dest, TRect{});
    TSurface target(4, 4);
    EXPECT_FALSE(sprite.Draw(&target));
    EXPECT_EQ(target.Pixel(0, 0), Black);
}

TEST(RenderSprite, MovesStraightDownAndSnapsToTheTarget) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(100, 0);
    sprite.MoveTo(100, 50);
    EXPECT_EQ(sprite.Angle, DirectionDown);
    sprite.SetSpeed(600);
    ASSERT_TRUE(sprite.IsAnimating());

    sprite.UpdateMove(0.05f);
    EXPECT_EQ(sprite.Y, 30.0f);
    EXPECT_EQ(sprite.Distance, 20.0f);
    EXPECT_NEAR(sprite.X, 100.0f, 0.001f);
    EXPECT_TRUE(sprite.IsAnimating());
    EXPECT_EQ(sprite.Dest, (TRect{100, 30, 185, 140}));

    sprite.UpdateMove(0.05f);
    EXPECT_EQ(sprite.X, 100.0f);
    EXPECT_EQ(sprite.Y, 50.0f);
    EXPECT_EQ(sprite.Distance, 0.0f);
    EXPECT_FALSE(sprite.IsAnimating());
    EXPECT_EQ(sprite.Dest, (TRect{100, 50, 185, 160}));

    // Upwards, the other vertical direction.
    sprite.MoveTo(100, 10);
    EXPECT_EQ(sprite.Angle, DirectionUp);
    sprite.UpdateMove(0.05f);
    EXPECT_NEAR(sprite.Y, 20.0f, 0.001f);
    sprite.UpdateMove(0.05f);
    EXPECT_EQ(sprite.Y, 10.0f);
    EXPECT_EQ(sprite.X, 100.0f);
    EXPECT_FALSE(sprite.IsAnimating());
}

TEST(RenderSprite, ExactlyZeroDistanceLeftDoesNotEndTheMove) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(0, 0);
    sprite.MoveTo(30, 40); // 50 pixels away, ten steps of 5
    sprite.SetSpeed(50);
    for (int frame = 1; frame <= 10; ++frame) {
        sprite.UpdateMove(0.1f);
        EXPECT_TRUE(sprite.IsAnimating()) << frame;
        EXPECT_NEAR(sprite.X, 3.0f * frame, 0.001f);
        EXPECT_NEAR(sprite.Y, 4.0f * frame, 0.001f);
    }
    EXPECT_EQ(sprite.Distance, 0.0f);
    sprite.UpdateMove(0.1f);
    EXPECT_FALSE(sprite.IsAnimating());
    EXPECT_EQ(sprite.X, 30.0f);
    EXPECT_EQ(sprite.Y, 40.0f);
    EXPECT_EQ(sprite.Dest, (TRect{30, 40, 115, 150}));
}

TEST(RenderSprite, MoveToItsOwnPositionEndsAfterOneUpdate) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(40, 60);
    sprite.MoveTo(40, 60);
    EXPECT_EQ(sprite.Distance, 0.0f);
    EXPECT_EQ(sprite.Angle, DirectionUp);
    EXPECT_TRUE(sprite.IsAnimating());
    sprite.SetSpeed(300);
    sprite.UpdateMove(0.02f);
    EXPECT_FALSE(sprite.IsAnimating());
    EXPECT_EQ(sprite.X, 40.0f);
    EXPECT_EQ(sprite.Y, 60.0f);
    EXPECT_EQ(sprite.Dest, (TRect{40, 60, 125, 170}));
}

TEST(RenderSprite, ALongFrameEndsTheMoveAtTheTarget) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(417, 29);
    sprite.MoveTo(215, -120);
    sprite.SetSpeed(1000);
    sprite.UpdateMove(3.0f);
    EXPECT_FALSE(sprite.IsAnimating());
    EXPECT_EQ(sprite.X, 215.0f);
    EXPECT_EQ(sprite.Y, -120.0f);
    EXPECT_EQ(sprite.Dest, (TRect{215, -120, 300, -10}));

    // The speed set earlier stays in force for the next movement.
    sprite.MoveTo(215, 0);
    EXPECT_EQ(sprite.Speed, 1000.0f);
    sprite.UpdateMove(0.1f);
    EXPECT_NEAR(sprite.Y, -20.0f, 0.01f);
    EXPECT_TRUE(sprite.IsAnimating());
}

TEST(RenderSprite, SpeedZeroStopsTheSpriteWhereItIs) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(0, 0);
    sprite.MoveTo(200, 0);
    sprite.SetSpeed(100);
    sprite.UpdateMove(0.5f);
    ASSERT_NEAR(sprite.X, 50.0f, 0.001f);

    sprite.SetSpeed(0);
    EXPECT_FALSE(sprite.IsAnimating());
    const float x = sprite.X, y = sprite.Y, distance = sprite.Distance;
    sprite.SetDestRect({1, 2, 3, 4}); // an update that did anything would recompute it
    sprite.UpdateMove(0.5f);
    EXPECT_EQ(sprite.X, x);
    EXPECT_EQ(sprite.Y, y);
    EXPECT_EQ(sprite.Distance, distance);
    EXPECT_EQ(sprite.Dest, (TRect{1, 2, 3, 4}));

    // A frame of no length does nothing either.
    sprite.SetSpeed(100);
    sprite.UpdateMove(0);
    EXPECT_EQ(sprite.X, x);
    EXPECT_EQ(sprite.Dest, (TRect{1, 2, 3, 4}));
}

TEST(RenderSprite, ShrinksAboutItsCentreToASliver) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(200, 100); // centre at (242.5, 155)
    sprite.ResizeTo(1, 118, 320, 120);
    EXPECT_TRUE(sprite.IsAnimating());

    // Each 0.05 s frame: width -16 (left edge +8), height +6 (top edge -3).
    const float widths[] = {69, 53, 37, 21, 5, 1};
    const float lefts[] = {208, 216, 224, 232, 240, 242};
    for (int frame = 0; frame < 6; ++frame) {
        SCOPED_TRACE(frame + 1);
        sprite.UpdateResize(0.05f);
        EXPECT_EQ(sprite.Width, widths[frame]);
        EXPECT_EQ(sprite.X, lefts[frame]);
        if (frame == 0) {
            EXPECT_EQ(sprite.Height, 116.0f);
            EXPECT_EQ(sprite.Y, 97.0f);
        } else {
            // 122 would overshoot in the second frame: the height stops at 118.
            EXPECT_EQ(sprite.Height, 118.0f);
            EXPECT_EQ(sprite.Y, 96.0f);
        }
        EXPECT_EQ(sprite.IsAnimating(), frame < 5);
        EXPECT_EQ(sprite.Dest.left, int32_t(lefts[frame]));
    }
    EXPECT_EQ(sprite.X + sprite.Width / 2, 242.5f);
    EXPECT_EQ(sprite.Y + sprite.Height / 2, 155.0f);
    EXPECT_EQ(sprite.Dest, (TRect{242, 96, 243, 214}));

    // And back out again to the full face.
    sprite.ResizeTo(85, 110, 320, 120);
    int frames = 0;
    while (sprite.IsAnimating() && frames < 100) {
        sprite.UpdateResize(0.05f);
        ++frames;
    }
    EXPECT_EQ(frames, 6);
    EXPECT_EQ(sprite.Width, 85.0f);
    EXPECT_EQ(sprite.Height, 110.0f);
    EXPECT_EQ(sprite.X, 200.0f);
    EXPECT_EQ(sprite.Y, 100.0f);
}

TEST(RenderSprite, ResizingTowardsTheCurrentSizeOnOneAxisChangesOnlyTheOther) {
    auto face = Face(Red);
    TSprite sprite = CardSprite(*face);
    sprite.SetPosition(10, 20);
    sprite.ResizeTo(85, 130, 100, 80);
    for (int frame = 0; frame < 3; ++frame) {
        sprite.UpdateResize(0.1f);
        EXPECT_EQ(sprite.Width, 85.0f);
        EXPECT_EQ(sprite.X, 10.0f);
    }
    EXPECT_EQ(sprite.Height, 130.0f);
    EXPECT_EQ(sprite.Y, 10.0f);
    EXPECT_FALSE(sprite.IsAnimating());

    TSprite narrow = CardSprite(*face);
    narrow.SetPosition(10, 20);
    narrow.ResizeTo(45, 110, 80, 300);
    narrow.UpdateResize(0.25f);
    EXPECT_EQ(narrow.Width, 65.0f);
    EXPECT_EQ(narrow.X, 20.0f);
    EXPECT_EQ(narrow.Height, 110.0f);
    EXPECT_EQ(narrow.Y, 20.0f);
    narrow.UpdateResize(0.25f);
    EXPECT_EQ(narrow.Width, 45.0f);
    EXPECT_EQ(narrow.X, 30.0f);
    EXPECT_FALSE(narrow.IsAnimating());

    // Towards the size it already has: the first update ends it unchanged.
    TSprite still = CardSprite(*face);
    still.SetPosition(5, 5);
    still.ResizeTo(85, 110, 100, 100);
    EXPECT_TRUE(still.IsAnimating());
    still.UpdateResize(0.05f);
    EXPECT_FALSE(still.IsAnimating());
    EXPECT_EQ(still.X, 5.0f);
    EXPECT_EQ(still.Width, 85.0f);
}

TEST(RenderSprite, DestinationTruncatesTowardZero) {
    TSprite sprite;
    sprite.Width = 10.75f;
    sprite.Height = 20.5f;
    sprite.SetPosition(-0.5f, -0.9f);
    EXPECT_EQ(sprite.Dest, (TRect{0, 0, 10, 20}));
    EXPECT_EQ(sprite.X, -0.5f);
    EXPECT_EQ(sprite.Y, -0.9f);

    sprite.SetPosition(-1.5f, 3.99f);
    EXPECT_EQ(sprite.Dest, (TRect{-1, 3, 9, 23}));

    sprite.SetPosition(3.9f, 2.2f);
    EXPECT_EQ(sprite.Dest, (TRect{3, 2, 13, 22}));

    // Dest stays as set until the next position is given.
    sprite.SetDestRect({5, 6, 7, 8});
    sprite.SetSize(40, 40);
    EXPECT_EQ(sprite.Dest, (TRect{5, 6, 7, 8}));
    EXPECT_EQ(sprite.X, 3.9f);
    sprite.SetPosition(1, 1);
    EXPECT_EQ(sprite.Dest, (TRect{1, 1, 41, 41}));
}

TEST(RenderSprite, DrawStretchesKeysAndIsCutAtTheBackBuffer) {
    QWidget panel;
    panel.resize(64, 48);
    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(&panel));
    TSurface& back = *graphics.BackBuffer;

    TSurface face(2, 2);
    face.SetPixel(0, 0, Red);
    face.SetPixel(1, 0, Magenta);
    face.SetPixel(0, 1, Green);
    face.SetPixel(1, 1, Green);
    face.SetColorKey(Magenta);

    TSprite sprite;
    sprite.AttachSurface(&face, TRect{0, 0, 2, 2}, true);
    sprite.SetSize(8, 8);
    sprite.SetPosition(-4, -2);
    back.EditImage().fill(Blue);
    EXPECT_TRUE(sprite.Draw(&back));
    EXPECT_EQ(back.Pixel(0, 0), Blue); // magenta half, keyed out
    EXPECT_EQ(back.Pixel(3, 1), Blue);
    EXPECT_EQ(back.Pixel(0, 2), Green);
    EXPECT_EQ(back.Pixel(3, 5), Green);
    EXPECT_EQ(back.Pixel(4, 0), Blue);
    EXPECT_EQ(back.Pixel(0, 6), Blue);

    // Without the key the magenta half is drawn.
    sprite.AttachSurface(&face, std::nullopt, false);
    EXPECT_EQ(sprite.Width, 8.0f); // no source given: the size stays as it was
    EXPECT_EQ(sprite.Source, (TRect{0, 0, 2, 2}));
    sprite.SetPosition(56, 44);
    EXPECT_TRUE(sprite.Draw(&back));
    EXPECT_EQ(back.Pixel(56, 44), Red);
    EXPECT_EQ(back.Pixel(60, 44), Magenta);
    EXPECT_EQ(back.Pixel(63, 47), Magenta);

    // Wholly outside: nothing drawn, nothing harmed.
    sprite.SetPosition(-100, 500);
    sprite.Draw(&back);
    EXPECT_EQ(back.Pixel(10, 40), Blue);
}

TEST(RenderSprite, BorrowedSurfacesOutliveTheSpritesShowingThem) {
    auto face = Face(Green);
    TSurface target(100, 127);
    {
        TSprite first = CardSprite(*face);
        TSprite second = CardSprite(*face);
        first.SetPosition(0, 0);
        EXPECT_TRUE(first.Draw(&target));
        EXPECT_FALSE(first.OwnsSurface);
    }
    // Both sprites are gone; the face still belongs to its owner and draws.
    ASSERT_EQ(face->Width(), 100);
    EXPECT_EQ(face->Pixel(50, 60), Green);
    TSprite third = CardSprite(*face);
    third.SetPosition(5, 5);
    target.EditImage().fill(Black);
    EXPECT_TRUE(third.Draw(&target));
    EXPECT_EQ(target.Pixel(5, 5), Green);

    // Loading a file into a sprite that showed a borrowed face leaves the face alone.
    TScopedWorkDir dir;
    dir.WriteBitmap("Data/Own.bmp", 4, 4, QColor(255, 0, 0));
    TGraphics graphics;
    third.LoadFromFile(graphics, "Data/Own.bmp", false, false);
    EXPECT_TRUE(third.OwnsSurface);
    EXPECT_NE(third.GetSurface(), face.get());
    EXPECT_EQ(face->Pixel(0, 0), Green);
    // And attaching a face in place of its own file releases only the file.
    third.AttachSurface(face.get(), TRect{0, 0, 100, 127}, false);
    EXPECT_FALSE(third.OwnsSurface);
    EXPECT_EQ(third.GetSurface(), face.get());
}

TEST(RenderSprite, LoadFromFileTakesTheImageAtItsOwnSize) {
    TScopedWorkDir dir;
    dir.WriteBitmap("Data/First.bmp", 4, 5, QColor(255, 0, 0));
    dir.WriteBitmap("Data/Second.bmp", 7, 3, QColor(0, 255, 0));
    TGraphics graphics;

    TSprite sprite;
    sprite.SetPosition(30, 40);
    sprite.LoadFromFile(graphics, "Data/First.bmp", false, false);
    EXPECT_TRUE(sprite.OwnsSurface);
    EXPECT_FALSE(sprite.ColorKeyed);
    EXPECT_EQ(sprite.Source, (TRect{0, 0, 4, 5}));
    EXPECT_EQ(sprite.Dest, sprite.Source);
    EXPECT_EQ(sprite.Width, 4.0f);
    EXPECT_EQ(sprite.Height, 5.0f);
    EXPECT_EQ(sprite.X, 30.0f); // the position is kept
    EXPECT_EQ(sprite.Y, 40.0f);
    ASSERT_TRUE(sprite.GetSurface());
    EXPECT_EQ(sprite.GetSurface()->Pixel(0, 0), Red);

    // A second file replaces the first: the sprite shows only the new one.
    sprite.LoadFromFile(graphics, "Data/Second.bmp", true, false);
    ASSERT_TRUE(sprite.GetSurface());
    EXPECT_EQ(sprite.GetSurface()->Width(), 7);
    EXPECT_EQ(sprite.GetSurface()->Pixel(0, 0), Green);
    EXPECT_TRUE(sprite.GetSurface()->HasColorKey());
    EXPECT_TRUE(sprite.ColorKeyed);
    EXPECT_EQ(sprite.Source, (TRect{0, 0, 7, 3}));
    TSurface target(10, 10);
    sprite.SetPosition(0, 0);
    EXPECT_TRUE(sprite.Draw(&target));
    EXPECT_EQ(target.Pixel(6, 2), Green);
    EXPECT_EQ(target.Pixel(0, 4), Black);
}

TEST(RenderSprite, LoadFromFileFailureNamesTheFile) {
    TScopedWorkDir dir;
    dir.WriteBitmap("Data/First.bmp", 4, 5, QColor(255, 0, 0));
    TGraphics graphics;
    TSprite sprite;
    sprite.LoadFromFile(graphics, "Data/First.bmp", false, false);

    try {
        sprite.LoadFromFile(graphics, "Data/Numbers/+.bmp", true, false);
        FAIL() << "no error raised";
    } catch (const TImageLoadError& error) {
        EXPECT_STREQ(error.what(), "Could not load image Data/Numbers/+.bmp");
    }
    EXPECT_EQ(sprite.GetSurface(), nullptr);
    EXPECT_TRUE(sprite.OwnsSurface);
    EXPECT_EQ(sprite.Source, (TRect{0, 0, 4, 5})); // left as it was
    TSurface target(4, 4);
    EXPECT_FALSE(sprite.Draw(&target));

    // A fresh sprite reports the same way, and the error is an ordinary runtime error.
    TSprite fresh;
    EXPECT_THROW(fresh.LoadFromFile(graphics, "Data/Board.bmp", false, false), std::runtime_error);
    EXPECT_TRUE(fresh.OwnsSurface);
    EXPECT_EQ(fresh.Source, TRect{});
}
