#include "game/Game.h"

#include <algorithm>
#include <optional>

int32_t FlightLeg = 1;
int32_t FlipStep = 1;

namespace {

constexpr float DealSpeed = 700;
constexpr int32_t DealStartTop = 332;
constexpr float FlightSpeed = 600;
constexpr float FastRate = 320;
constexpr float SlowRate = 120;
constexpr float RaisedWidth = 118;
constexpr float RaisedHeight = 150;
constexpr float EdgeOn = 1;

} // namespace

void TGame::StartDealAnimation() {
    AnimSprites.clear();
    AnimSprites.resize(10);
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player : {1, 0}) {
            TSprite& sprite = AnimSprites[size_t(player * 5 + slot)];
            sprite.AttachSurface(CardPicture(Hands[slot][player], player), CardSourceRect, false);
            sprite.SetSize(CardWidth, CardHeight);
            sprite.SetSpeed(DealSpeed);
            sprite.SetPosition(float(HandX[player]), float(DealStartTop + CardHeight * slot));
            sprite.MoveTo(HandX[player], HandTop + HandStep * slot);
        }
    Phase = PhaseDealing;
}

void TGame::StepDeal(float elapsed) {
    for (TSprite& sprite : AnimSprites) {
        sprite.UpdateMove(elapsed);
        sprite.Draw(BackBuffer());
    }
    // The slot-4 cards have the longest way; everything else is already home.
    const bool moving =
        AnimSprites.size() >= 10 && (AnimSprites[4].IsAnimating() || AnimSprites[9].IsAnimating());
    if (!moving) {
        Phase = PhaseIdle;
        AnimSprites.clear();
    }
}

void TGame::StartFlight(int32_t /*x*/, int32_t /*y*/, TOwnedCard card) {
    AnimSprites.clear();
    AnimSprites.resize(1);
    TSprite& sprite = AnimSprites[0];
    sprite.AttachSurface(CardPicture(card.Card, card.Owner), CardSourceRect, false);
    sprite.SetSize(CardWidth, CardHeight);
    // It leaves from where the selected card was drawn.
    const int32_t x = HandX[Turn] + HandSelectShift[Turn];
    sprite.SetPosition(float(x), float(HandTop + HandStep * HandCursor));
    sprite.MoveTo(x, -CardHeight - 60);
    sprite.SetSpeed(FlightSpeed);
    FlyingCard = card;
    Phase = PhaseFlight;
}

void TGame::StepFlight(float elapsed) {
    if (!AnimSprites.empty()) {
        TSprite& sprite = AnimSprites[0];
        sprite.UpdateMove(elapsed);
        sprite.Draw(BackBuffer());
        if (sprite.IsAnimating()) return;
    }

    if (FlightLeg == 1) {
        // Out of the window at the top: jump above the chosen column and drop.
        FlightLeg = 2;
        if (AnimSprites.empty()) return;
        TSprite& sprite = AnimSprites[0];
        const int32_t x = BoardLeft + CardWidth * BoardCursorX;
        sprite.SetPosition(float(x), float(-CardHeight - 60));
        sprite.MoveTo(x, BoardTop + CardHeight * BoardCursorY);
        sprite.SetSpeed(FlightSpeed);
    } else {
        FlightLeg = 1;
        Phase = PhaseIdle;
        AnimSprites.clear();
        PlaceCard(BoardCursorX, BoardCursorY, FlyingCard);
    }
}

void TGame::StartFlip(const int32_t* xs, const int32_t* ys, const TOwnedCard* cards, int32_t originX,
                      int32_t /*originY*/, int32_t count, TSprite* banner) {
    count = std::clamp(count, 0, 4);
    Phase = PhaseFlipping;
    FlipXs.assign(xs, xs + count);
    FlipYs.assign(ys, ys + count);
    FlipCards.assign(cards, cards + count);
    FlipOriginX = originX;
    FlipCount = count;
    BannerSprite = banner;
    AnimSprites.clear();
    AnimSprites.resize(size_t(count));

    for (int32_t i = 0; i < count; ++i) {
        // Cards beside the placed card's column turn about their vertical axis,
        // cards above or below it about their horizontal axis.
        FlipSideways[i] = xs[i] != originX;
        TSprite& sprite = AnimSprites[size_t(i)];
        const int32_t oldOwner = cards[i].Owner == 0 ? 1 : 0;
        sprite.AttachSurface(CardPicture(cards[i].Card, oldOwner), CardSourceRect, false);
        sprite.SetSize(CardWidth, CardHeight);
        sprite.SetPosition(float(BoardLeft + CardWidth * xs[i]), float(BoardTop + CardHeight * ys[i]));
        if (FlipSideways[i])
            sprite.ResizeTo(EdgeOn, RaisedWidth, FastRate, SlowRate);
        else
            sprite.ResizeTo(RaisedHeight, EdgeOn, SlowRate, FastRate);
    }
}

void TGame::RetargetFlip(int32_t step) {
    TSurface* back = Sprites && Sprites->CardBack ? Sprites->CardBack->GetSurface() : nullptr;
    for (int32_t i = 0; i < FlipCount && i < int32_t(AnimSprites.size()); ++i) {
        TSprite& sprite = AnimSprites[size_t(i)];
        const bool sideways = FlipSideways[i];
        // A new picture keeps the card's source rectangle and current size.
        switch (step) {
        case 1:
            sprite.AttachSurface(back, std::nullopt, false);
            if (sideways)
                sprite.ResizeTo(RaisedWidth, RaisedHeight, FastRate, SlowRate);
            else
                sprite.ResizeTo(RaisedWidth, RaisedHeight, SlowRate, FastRate);
            break;
        case 2:
            sprite.AttachSurface(back, std::nullopt, false);
            if (sideways)
                sprite.ResizeTo(EdgeOn, RaisedHeight, FastRate, SlowRate);
            else
                sprite.ResizeTo(RaisedWidth, EdgeOn, SlowRate, FastRate);
            break;
        case 3:
            sprite.AttachSurface(CardPicture(FlipCards[size_t(i)].Card, FlipCards[size_t(i)].Owner),
                                 std::nullopt, false);
            if (sideways)
                sprite.ResizeTo(RaisedWidth, RaisedHeight, FastRate, SlowRate);
            else
                sprite.ResizeTo(RaisedWidth, RaisedHeight, SlowRate, FastRate);
            break;
        case 4:
            sprite.ResizeTo(float(CardWidth), float(CardHeight), FastRate, FastRate);
            break;
        default:
            break;
        }
    }
}

void TGame::AdvanceFlipSprites(float elapsed) {
    for (TSprite& sprite : AnimSprites) {
        sprite.UpdateResize(elapsed);
        sprite.Draw(BackBuffer());
    }
}

void TGame::StepFlip(float elapsed) {
    // A step ends when the last card of the list has finished; the others are
    // re-targeted from wherever they have got to.
    const bool lastStopped = AnimSprites.empty() || !AnimSprites.back().IsAnimating();
    if (lastStopped) {
        if (FlipStep < 5) {
            RetargetFlip(FlipStep);
            FlipStep += 1;
        } else {
            FlipStep = 1;
            // One more drawing shows the cards at square size in their new colour.
            AdvanceFlipSprites(elapsed);
            AnimSprites.clear();
            // The cards go back on the board in their new colour.
            FlipEnded();
            // A group that follows starts turning in this same frame, under its banner.
            if (Phase == PhaseFlipping) {
                AdvanceFlipSprites(elapsed);
                if (BannerSprite) BannerSprite->Draw(BackBuffer());
            }
            return;
        }
    }
    AdvanceFlipSprites(elapsed);
    if (BannerSprite) BannerSprite->Draw(BackBuffer());
}
