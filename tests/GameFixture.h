#pragma once

#include "TestSupport.h"
#include "game/Game.h"
#include "game/KeyCodes.h"

#include <QWidget>
#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// Colours of the fixture images, as the back buffer stores them (0xffRRGGBB).
namespace GameColor {
inline constexpr uint32_t Background = 0xFF204020;
inline constexpr uint32_t HandLeft = 0xFF30A0A0;
inline constexpr uint32_t HandRight = 0xFFA0A030;
inline constexpr uint32_t CardBack = 0xFF505050;
inline constexpr uint32_t SameText = 0xFF11EE11;
inline constexpr uint32_t PlusText = 0xFF22DD22;
inline constexpr uint32_t ComboText = 0xFF33CC33;
inline constexpr uint32_t NameBox = 0xFF000040;
inline constexpr uint32_t PlusSign = 0xFFF0F000;
inline constexpr uint32_t MinusSign = 0xFFF000F0;
inline uint32_t Element(int32_t e) {
    return 0xFF600000u | uint32_t(e);
}
inline uint32_t Digit(int32_t n) {
    return 0xFF006000u | uint32_t(n);
}
// Card faces: one colour per card and owner.
inline uint32_t Face(int32_t card, int32_t owner) {
    return owner == 0 ? 0xFFC00000u | (uint32_t(card) << 8) : 0xFF0000C0u | (uint32_t(card) << 8);
}
} // namespace GameColor

// A flip as it started: the copies StartFlip made, and its banner.
struct TShownGroup {
    std::vector<int32_t> Xs;
    std::vector<int32_t> Ys;
    std::vector<TOwnedCard> Cards;
    TSprite* Banner = nullptr;
};

// A match on a small catalogue, with both clocks in the test's hands.
class TGameFixture : public ::testing::Test {
protected:
    static constexpr int32_t MaxCards = 128;
    static constexpr float LongFrame = 5.0f;

    void SetUp() override {
        FlightLeg = 1;
        FlipStep = 1;
        Game = std::make_unique<TGame>([this] { return Second; }, [this] { return Now; });
        Game->Cards->CardTable.reset(new TCardInfo[MaxCards]);
    }

    void TearDown() override {
        Game.reset();
        FlightLeg = 1;
        FlipStep = 1;
    }

    // Adds a card with its ranks (top, right, bottom, left) and element; its
    // faces are solid 100 x 127 pictures in the card's two colours.
    int32_t AddCard(std::array<int32_t, 4> ranks, int32_t element = 0, const std::string& name = "Card") {
        const int32_t index = Game->Cards->NumCards;
        EXPECT_LT(index, MaxCards);
        TCardInfo& card = Game->Cards->CardTable[index];
        card.Ranks = ranks;
        card.Element = element;
        card.Name = name;
        card.RedPicture = SolidSurface(100, 127, GameColor::Face(index, 0));
        card.BluePicture = SolidSurface(100, 127, GameColor::Face(index, 1));
        Game->Cards->NumCards = index + 1;
        return index;
    }

    static std::unique_ptr<TSurface> SolidSurface(int32_t width, int32_t height, uint32_t color) {
        auto surface = std::make_unique<TSurface>(width, height);
        surface->EditImage().fill(color);
        return surface;
    }

    void OpenDevice() {
        Widget = std::make_unique<QWidget>();
        Widget->resize(512, 384);
        ASSERT_TRUE(Game->Graphics->OpenDevice(Widget.get()));
    }

    // Writes the image set as bitmap files and loads it the way the program does.
    void LoadImages() {
        TScopedWorkDir dir;
        auto write = [&dir](const std::string& path, int width, int height, uint32_t color) {
            dir.WriteBitmap(path, width, height, QColor::fromRgb(color));
        };
        write("Data/Board.bmp", 512, 384, GameColor::Background);
        write("Data/SameText.bmp", 200, 40, GameColor::SameText);
        write("Data/PlusText.bmp", 200, 40, GameColor::PlusText);
        write("Data/ComboText.bmp", 200, 40, GameColor::ComboText);
        write("Data/HandRight.bmp", 37, 25, GameColor::HandRight);
        write("Data/HandLeft.bmp", 37, 25, GameColor::HandLeft);
        write("Data/Numbers/-.bmp", 10, 12, GameColor::MinusSign);
        write("Data/Numbers/+.bmp", 10, 12, GameColor::PlusSign);
        write("Data/CardBack.bmp", 100, 127, GameColor::CardBack);
        write("Data/CardNameInfoBox.bmp", 301, 24, GameColor::NameBox);
        for (int e = 1; e <= 8; ++e)
            write("Data/Elements/" + std::to_string(e) + ".bmp", 20, 20, GameColor::Element(e));
        for (int n = 1; n <= 9; ++n)
            write("Data/Numbers/" + std::to_string(n) + ".bmp", 25, 32, GameColor::Digit(n));
        TRecorder messages;
        ASSERT_TRUE(Game->Sprites->LoadSprites(*Game->Graphics, {}, messages.Sink()));
    }

    uint32_t Pixel(int32_t x, int32_t y) const { return Game->Graphics->BackBuffer->Pixel(x, y); }

    void Frame(uint32_t milliseconds) { FrameOf(uint64_t(milliseconds) * 1000); }
    void FrameOf(uint64_t microseconds) {
        Now += microseconds;
        Game->DoFrame();
    }

    // Long frames until nothing moves: each step of an animation needs one frame.
    void Settle() {
        for (int i = 0; i < 1000 && Game->InProgress && Game->Phase != TGame::PhaseIdle; ++i) Frame(5000);
        ASSERT_EQ(Game->Phase, TGame::PhaseIdle);
    }

    void Press(uint16_t key) { Game->KeyDown(key); }

    void StartMatch(const TGameRules& rules = {}, int32_t startingPlayer = 1) {
        Game->NewGame(startingPlayer, rules, false);
        ASSERT_EQ(Game->Phase, TGame::PhaseDealing);
        Settle();
    }

    // Plays the selected card of the player to move on the first empty square
    // and lets every animation run out.
    void PlayFirstEmpty() {
        Press(VK_RETURN);
        Press(VK_RETURN);
        Settle();
    }

    void Put(int32_t x, int32_t y, int32_t card, int32_t owner) {
        Game->Arrange().Board[y][x] = TOwnedCard(card, owner);
    }

    // Places a card for its owner by the two PlaceCard calls with the flight
    // between them, then runs every flip, recording each group as it starts.
    std::vector<TShownGroup> Place(int32_t x, int32_t y, int32_t card, int32_t owner) {
        Game->Arrange().Turn = owner;
        Game->HandCursor = 0;
        Game->BoardCursorX = x;
        Game->BoardCursorY = y;
        Game->PlaceCard(x, y, TOwnedCard(card, owner));
        EXPECT_EQ(Game->Phase, TGame::PhaseFlight);
        for (int i = 0; i < 4 && Game->Phase == TGame::PhaseFlight; ++i) Game->StepFlight(LongFrame);
        std::vector<TShownGroup> shown;
        while (Game->Phase == TGame::PhaseFlipping && shown.size() < 20) {
            shown.push_back({Game->FlipXs, Game->FlipYs, Game->FlipCards, Game->BannerSprite});
            for (int i = 0; i < 20; ++i) {
                const int32_t before = FlipStep;
                Game->StepFlip(LongFrame);
                if (before == 5 && FlipStep == 1) break;
            }
        }
        return shown;
    }

    int64_t Second = 1234567;
    uint64_t Now = 5000000; // microseconds
    std::unique_ptr<TGame> Game;
    std::unique_ptr<QWidget> Widget;
};
