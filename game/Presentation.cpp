#include "game/Game.h"
#include "rules/Ranks.h"

#include <cstdio>

namespace {

// The elemental sign stands left of the square's centre, the digit right of it.
constexpr float MarkerShift = 9;
// The left pointer overlaps the shifted card's right edge by this much, the
// right pointer its left edge.
constexpr int32_t PointerOverlap = 10;

} // namespace

TSurface* TGame::BackBuffer() const {
    return Graphics ? Graphics->BackBuffer.get() : nullptr;
}

const TCardInfo* TGame::CardInfo(int32_t card) const {
    if (!Cards || !Cards->CardTable || card < 0 || card >= Cards->NumCards) return nullptr;
    return &Cards->CardTable[card];
}

TSurface* TGame::CardPicture(int32_t card, int32_t player) const {
    if (!CardInfo(card)) return nullptr;
    return Cards->GetCardPicture(card, player);
}

TRect TGame::SquareRect(int32_t column, int32_t row) const {
    const int32_t left = BoardLeft + CardWidth * column, top = BoardTop + CardHeight * row;
    return {left, top, left + CardWidth, top + CardHeight};
}

void TGame::DrawCard(const TRect& dest, int32_t card, int32_t player) {
    TSurface* target = BackBuffer();
    TSurface* picture = CardPicture(card, player);
    if (target && picture) target->Blt(dest, picture, CardSourceRect, BltWait);
}

void TGame::DrawAt(TSprite* sprite, float x, float y) {
    if (!sprite) return;
    sprite->SetPosition(x, y);
    sprite->Draw(BackBuffer());
}

void TGame::DrawInRect(TSprite* sprite, int32_t left, int32_t top) {
    if (!sprite) return;
    sprite->SetDestRect(
        {left, top, TruncToInt(float(left) + sprite->Width), TruncToInt(float(top) + sprite->Height)});
    sprite->Draw(BackBuffer());
}

void TGame::DrawCardName(int32_t card) {
    const TCardInfo* info = CardInfo(card);
    TSprite* background = Sprites->BoardImage.get();
    // Box and text are centred on the background picture.
    if (!info || !background) return;
    const float centre = background->Width * 0.5f;
    if (TSprite* box = Sprites->CardNameInfoBox.get())
        DrawInRect(box, TruncToInt(centre - box->Width * 0.5f), NameBoxTop);
    Graphics->WriteText(info->Name, TruncToInt(centre), NameTextTop, TA_CENTER, ColorWhite);
}

void TGame::DoFrame() {
    TSprite* background = Sprites ? Sprites->BoardImage.get() : nullptr;
    if (!InProgress) {
        // After a match the last composed picture stays as it is.
        if (!GameOver && background) background->Draw(BackBuffer());
        if (Graphics) Graphics->Present();
        return;
    }

    if (background) background->Draw(BackBuffer());
    Timer.Tick();
    const float elapsed = Timer.Elapsed;
    switch (Phase) {
    case PhaseIdle:
        DrawScene(false);
        break;
    case PhaseDealing:
        StepDeal(elapsed);
        break;
    case PhaseFlight:
        DrawScene(true);
        StepFlight(elapsed);
        break;
    case PhaseFlipping:
        DrawScene(true);
        StepFlip(elapsed);
        break;
    default:
        break;
    }

    FinishFrame();
}

void TGame::FinishFrame() {
    if (Overlay) Overlay();
    char counter[32];
    std::snprintf(counter, sizeof counter, "FPS: %d", int(Timer.FramesPerSecond));
    if (Graphics) {
        if (ShowFrameRate) Graphics->WriteText(counter, 0, 0, TA_LEFT | TA_TOP, ColorWhite);
        Graphics->Present();
    }
}

void TGame::RedrawEnded() {
    if (InProgress || !GameOver) return;
    TSprite* background = Sprites ? Sprites->BoardImage.get() : nullptr;
    if (background) background->Draw(BackBuffer());
    DrawScene(true);
    FinishFrame();
}

void TGame::DrawScene(bool animating) {
    if (!BackBuffer() || !Sprites) return;
    TGameSprites& images = *Sprites;

    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            const TOwnedCard& square = Board[row][column];
            const int32_t element = Elements[row][column];
            const float cx = float(BoardLeft + CardWidth * column + CardWidth / 2);
            const float cy = float(BoardTop + CardHeight * row + CardHeight / 2);
            if (square.Card == -1) {
                if (element >= 1 && element <= 8 && images.ElementImages) {
                    TSprite& icon = (*images.ElementImages)[size_t(element - 1)];
                    DrawAt(&icon, cx - icon.Width * 0.5f, cy - icon.Height * 0.5f);
                }
                continue;
            }
            DrawCard(SquareRect(column, row), square.Card, square.Owner);
            if (element == 0) continue;
            const TCardInfo* info = CardInfo(square.Card);
            // A card without an element loses on every element square.
            TSprite* sign = info && Ranks::ElementStep(info->Element, element) > 0 ? images.PlusSign.get()
                                                                                   : images.MinusSign.get();
            if (sign) DrawAt(sign, cx - sign->Width * 0.5f - MarkerShift, cy - sign->Height * 0.5f);
            if (images.NumberImages) {
                TSprite& one = (*images.NumberImages)[0];
                DrawAt(&one, cx - one.Width * 0.5f + MarkerShift, cy - one.Height * 0.5f);
            }
        }

    for (int32_t player = 0; player < 2; ++player) {
        for (int32_t slot = 0; slot < 5; ++slot) {
            const int32_t card = Hands[slot][player];
            if (card == -1) continue;
            if (!animating && player == Turn && slot == LiftedSlot) continue;
            const bool selected = !animating && player == Turn && slot == HandCursor;
            const int32_t left = HandX[player] + (selected ? HandSelectShift[player] : 0);
            const int32_t top = HandTop + HandStep * slot;
            DrawCard({left, top, left + CardWidth, top + CardHeight}, card, player);
            if (!selected || BoardCursorActive) continue;
            if (player == 0) {
                DrawInRect(images.HandLeft.get(), HandX[0] + CardWidth + HandSelectShift[0] - PointerOverlap,
                           top + PointerOffsetY);
            } else if (TSprite* pointer = images.HandRight.get()) {
                const float pointerLeft =
                    float(HandX[1] + PointerOverlap) - pointer->Width + float(HandSelectShift[1]);
                DrawInRect(pointer, TruncToInt(pointerLeft), top + PointerOffsetY);
            }
        }
        // Only the digits 1 to 9 have images; any other score is not drawn.
        const int32_t score = Score[player];
        if (score >= 1 && score <= 9 && images.NumberImages) {
            TSprite& digit = (*images.NumberImages)[size_t(score - 1)];
            DrawInRect(&digit, TruncToInt(float(HandX[player] + CardWidth / 2) - digit.Width * 0.5f),
                       ScoreTop);
        }
    }

    if (animating) return;
    if (!BoardCursorActive) {
        DrawCardName(Hands[HandCursor][Turn]);
        return;
    }
    const TOwnedCard& square = Board[BoardCursorY][BoardCursorX];
    if (square.Card != -1) DrawCardName(square.Card);
    // The board cursor is the right-hand pointer whoever is to move.
    DrawInRect(images.HandRight.get(), BoardLeft + CardWidth * BoardCursorX + PointerOffsetX,
               BoardTop + CardHeight * BoardCursorY + PointerOffsetY);
}
