#include "game/Game.h"

#include <ctime>

int64_t CalendarSeconds() {
    return int64_t(std::time(nullptr));
}

TGame::TGame(TCalendarClock calendarClock, TMicrosecondClock frameClock)
    : Timer(std::move(frameClock)), CalendarClock(std::move(calendarClock)) {
    Phase = PhaseIdle;
    // Board squares, the flying card and every group entry start as (-1, -1).
    InProgress = false;
    GameOver = false;
    Cards = std::make_unique<TCardsInfo>();
    Graphics = std::make_unique<TGraphics>();
    Sprites = std::make_unique<TGameSprites>();
    Timer.Start();
    CardWidth = 85;
    CardHeight = 110;
    CardSourceRect = {0, 0, TCardsInfo::FaceWidth, TCardsInfo::FaceHeight};
}

TGame::~TGame() {
    // Animation sprites borrow card faces and image-set surfaces; every surface
    // goes before the device that made it.
    AnimSprites.clear();
    BannerSprite = nullptr;
    Sprites.reset();
    Cards.reset();
    Graphics.reset();
}

void TGame::NewGame(int32_t startingPlayer, const TGameRules& rules, bool redeal) {
    if (Phase != PhaseIdle) return;
    // Without a catalogue there is nothing to deal, and every later card lookup
    // would reach into a missing table.
    if (!Cards || Cards->NumCards <= 0 || !Cards->CardTable) return;

    SeedRandom();

    HandStep = CardHeight / 2;
    if (Sprites && Sprites->HandLeft) {
        PointerOffsetY = TruncToInt(float(HandStep) - Sprites->HandLeft->Height * 0.5f);
        PointerOffsetX = TruncToInt(float(CardWidth / 2) - Sprites->HandLeft->Width);
    }
    PlaceBanners();

    HandCursor = 0;
    Turn = startingPlayer;
    BoardCursorActive = false;
    Score[0] = Score[1] = 5;

    // The redeal reads the board of the match that has just ended.
    if (redeal)
        RedealSuddenDeath();
    else
        DealFresh();

    for (auto& row : Board)
        for (TOwnedCard& square : row) square.Card = -1;

    Rules = rules; // for a redeal this is the record itself
    PlaceElements();

    InProgress = true;
    GameOver = false;
    StartDealAnimation();
    // The first dealing frame measures from here, not from the previous match.
    Timer.Tick();
}

void TGame::PlaceBanners() {
    if (!Sprites || !Graphics) return;
    const float centreX = float(Graphics->BackBufferRect.right) * 0.5f;
    const float centreY = float(Graphics->BackBufferRect.bottom) * 0.5f;
    for (TSprite* banner : {Sprites->SameText.get(), Sprites->PlusText.get(), Sprites->ComboText.get()}) {
        if (!banner) continue;
        const int32_t left = TruncToInt(centreX - banner->Width * 0.5f);
        const int32_t top = TruncToInt(centreY - banner->Height * 0.5f);
        banner->SetDestRect(
            {left, top, TruncToInt(float(left) + banner->Width), TruncToInt(float(top) + banner->Height)});
    }
}

void TGame::DealFresh() {
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) Hands[slot][player] = RandomBelow(Cards->NumCards);
}

void TGame::RedealSuddenDeath() {
    int32_t next[2] = {0, 0};
    // The one card still in a hand lies in slot 4 of the player who did not
    // make the last move; it opens its owner's new hand.
    if (Hands[4][0] != -1) {
        Hands[0][0] = Hands[4][0];
        next[0] = 1;
    } else {
        Hands[0][1] = Hands[4][1];
        next[1] = 1;
    }
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            const TOwnedCard& square = Board[row][column];
            const int32_t owner = square.Owner;
            // A drawn full board gives each side exactly five cards; anything
            // else must not write outside the hands.
            if (owner < 0 || owner > 1 || next[owner] >= 5) continue;
            Hands[next[owner]][owner] = square.Card;
            next[owner] += 1;
        }
}

void TGame::PlaceElements() {
    for (auto& row : Elements)
        for (int32_t& element : row) element = 0;
    if (!Rules.Elemental) return;
    const int32_t count = RandomBelow(5) + 1;
    for (int32_t i = 0; i < count; ++i) {
        int32_t column, row;
        do {
            column = RandomBelow(3);
            row = RandomBelow(3);
        } while (Elements[row][column] != 0);
        Elements[row][column] = RandomBelow(8) + 1;
    }
}

void TGame::SeedRandom() {
    Random.Seed(CalendarClock ? CalendarClock() : CalendarSeconds());
}

int32_t TGame::RandomBelow(int32_t bound) {
    return Random.Below(bound);
}
