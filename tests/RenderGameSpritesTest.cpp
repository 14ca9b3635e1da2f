#include "TestSupport.h"
#include "render/GameSprites.h"
#include "render/Graphics.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Magenta = 0xffff00ffu;

struct TImageFile {
    std::string path;
    int width;
    int height;
    bool keyed;
};

// Every file of the set with a size of its own, so a member loaded from the
// wrong file shows up by its size.
std::vector<TImageFile> ImageFiles() {
    std::vector<TImageFile> files = {
        {"Data/Board.bmp", 64, 48, false},      {"Data/SameText.bmp", 30, 9, true},
        {"Data/PlusText.bmp", 31, 9, true},     {"Data/ComboText.bmp", 32, 9, true},
        {"Data/HandRight.bmp", 12, 10, true},   {"Data/HandLeft.bmp", 13, 10, true},
        {"Data/Numbers/-.bmp", 5, 3, true},     {"Data/Numbers/+.bmp", 6, 3, true},
        {"Data/CardBack.bmp", 100, 127, false}, {"Data/CardNameInfoBox.bmp", 40, 8, false},
    };
    for (int n = 1; n <= 8; ++n)
        files.push_back({"Data/Elements/" + std::to_string(n) + ".bmp", 10 + n, 4, true});
    for (int n = 1; n <= 9; ++n)
        files.push_back({"Data/Numbers/" + std::to_string(n) + ".bmp", 20 + n, 5, true});
    return files;
}

class RenderGameSprites : public testing::Test {
protected:
    void SetUp() override {
        for (const TImageFile& file : ImageFiles()) {
            // Grey with a magenta patch away from the corner, as the real
            // pictures have around their shapes.
            QImage image(file.width, file.height, QImage::Format_RGB888);
            image.fill(QColor(90, 90, 90));
            image.setPixelColor(file.width - 1, file.height - 1, QColor(255, 0, 255));
            Dir.WriteImage(file.path, image);
        }
    }

    bool Load() { return Sprites.LoadSprites(Graphics, Tasks.Sink(), Messages.Sink()); }

    // Checks that a member holds the given file, loaded with its key or without.
    static void ExpectLoaded(const TSprite* sprite, const TImageFile& file) {
        SCOPED_TRACE(file.path);
        ASSERT_NE(sprite, nullptr);
        ASSERT_NE(sprite->GetSurface(), nullptr);
        EXPECT_TRUE(sprite->OwnsSurface);
        EXPECT_EQ(sprite->Source, (TRect{0, 0, file.width, file.height}));
        EXPECT_EQ(sprite->ColorKeyed, file.keyed);
        EXPECT_EQ(sprite->GetSurface()->HasColorKey(), file.keyed);
        if (file.keyed) {
            EXPECT_EQ(sprite->GetSurface()->ColorKey(), Magenta);
        }
    }

    TScopedWorkDir Dir;
    TGraphics Graphics;
    TGameSprites Sprites;
    TRecorder Tasks;
    TRecorder Messages;
};

} // namespace

TEST_F(RenderGameSprites, LoadsEveryImageWithOneProgressStep) {
    ASSERT_TRUE(Load());
    EXPECT_EQ(Tasks.Lines, std::vector<std::string>{"Loading game sprites..."});
    EXPECT_TRUE(Messages.Lines.empty());

    const std::vector<TImageFile> files = ImageFiles();
    ExpectLoaded(Sprites.BoardImage.get(), files[0]);
    ExpectLoaded(Sprites.SameText.get(), files[1]);
    ExpectLoaded(Sprites.PlusText.get(), files[2]);
    ExpectLoaded(Sprites.ComboText.get(), files[3]);
    ExpectLoaded(Sprites.HandRight.get(), files[4]);
    ExpectLoaded(Sprites.HandLeft.get(), files[5]);
    ExpectLoaded(Sprites.MinusSign.get(), files[6]);
    ExpectLoaded(Sprites.PlusSign.get(), files[7]);
    ExpectLoaded(Sprites.CardBack.get(), files[8]);
    ExpectLoaded(Sprites.CardNameInfoBox.get(), files[9]);
    ASSERT_TRUE(Sprites.ElementImages);
    for (int i = 0; i < 8; ++i) ExpectLoaded(&(*Sprites.ElementImages)[i], files[10 + i]);
    ASSERT_TRUE(Sprites.NumberImages);
    for (int i = 0; i < 9; ++i) ExpectLoaded(&(*Sprites.NumberImages)[i], files[18 + i]);

    // Every image has a surface of its own.
    std::vector<const TSurface*> surfaces = {Sprites.BoardImage->GetSurface(), Sprites.CardBack->GetSurface(),
                                             Sprites.HandLeft->GetSurface(), Sprites.HandRight->GetSurface()};
    for (const TSprite& sprite : *Sprites.ElementImages) surfaces.push_back(sprite.GetSurface());
    for (const TSprite& sprite : *Sprites.NumberImages) surfaces.push_back(sprite.GetSurface());
    for (size_t i = 0; i < surfaces.size(); ++i)
        for (size_t j = i + 1; j < surfaces.size(); ++j) EXPECT_NE(surfaces[i], surfaces[j]);
}

TEST_F(RenderGameSprites, MissingBoardStopsBeforeAnyOtherImage) {
    Dir.Remove("Data/Board.bmp");
    EXPECT_FALSE(Load());
    EXPECT_EQ(Tasks.Lines, std::vector<std::string>{"Loading game sprites..."});
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load image Data/Board.bmp"});
    if (Sprites.BoardImage) {
        EXPECT_EQ(Sprites.BoardImage->GetSurface(), nullptr);
    }
    EXPECT_FALSE(Sprites.SameText);
    EXPECT_FALSE(Sprites.PlusText);
    EXPECT_FALSE(Sprites.ComboText);
    EXPECT_FALSE(Sprites.HandRight);
    EXPECT_FALSE(Sprites.HandLeft);
    EXPECT_FALSE(Sprites.MinusSign);
    EXPECT_FALSE(Sprites.PlusSign);
    EXPECT_FALSE(Sprites.CardBack);
    EXPECT_FALSE(Sprites.CardNameInfoBox);
    EXPECT_FALSE(Sprites.ElementImages);
    EXPECT_FALSE(Sprites.NumberImages);
}

TEST_F(RenderGameSprites, MissingPlusSignIsNamedAndEarlierImagesStay) {
    Dir.Remove("Data/Numbers/+.bmp");
    EXPECT_FALSE(Load());
    EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load image Data/Numbers/+.bmp"});
    const std::vector<TImageFile> files = ImageFiles();
    ExpectLoaded(Sprites.BoardImage.get(), files[0]);
    ExpectLoaded(Sprites.HandLeft.get(), files[5]);
    ExpectLoaded(Sprites.MinusSign.get(), files[6]);
    if (Sprites.PlusSign) {
        EXPECT_EQ(Sprites.PlusSign->GetSurface(), nullptr);
    }
    EXPECT_FALSE(Sprites.CardBack);
    EXPECT_FALSE(Sprites.CardNameInfoBox);
    EXPECT_FALSE(Sprites.ElementImages);
    EXPECT_FALSE(Sprites.NumberImages);
}

TEST_F(RenderGameSprites, TheLastElementAndDigitAreNeededToo) {
    {
        Dir.Remove("Data/Elements/8.bmp");
        EXPECT_FALSE(Load());
        EXPECT_EQ(Messages.Lines, std::vector<std::string>{"Could not load image Data/Elements/8.bmp"});
        ASSERT_TRUE(Sprites.ElementImages);
        const std::vector<TImageFile> files = ImageFiles();
        for (int i = 0; i < 7; ++i) ExpectLoaded(&(*Sprites.ElementImages)[i], files[10 + i]);
        EXPECT_EQ((*Sprites.ElementImages)[7].GetSurface(), nullptr);
        EXPECT_FALSE(Sprites.NumberImages);
    }
    {
        TGameSprites sprites;
        TRecorder messages;
        Dir.WriteImage("Data/Elements/8.bmp", QImage(3, 3, QImage::Format_RGB888));
        Dir.Remove("Data/Numbers/9.bmp");
        EXPECT_FALSE(sprites.LoadSprites(Graphics, {}, messages.Sink()));
        EXPECT_EQ(messages.Lines, std::vector<std::string>{"Could not load image Data/Numbers/9.bmp"});
        ASSERT_TRUE(sprites.NumberImages);
        EXPECT_NE((*sprites.NumberImages)[7].GetSurface(), nullptr);
        EXPECT_EQ((*sprites.NumberImages)[8].GetSurface(), nullptr);
    }
}

TEST_F(RenderGameSprites, AnImageBeyondTheSizeLimitIsNamedWithWhatIsWrong) {
    Dir.WriteBytes("Data/CardBack.bmp", RunLengthBitmap(5600, 5600));
    EXPECT_FALSE(Load());
    EXPECT_EQ(Messages.Lines,
              std::vector<std::string>{"Could not load image Data/CardBack.bmp: the picture is 5600 x "
                                       "5600 pixels, larger than the 4096 x 4096 the game accepts"});
    EXPECT_FALSE(Sprites.CardNameInfoBox);
}
