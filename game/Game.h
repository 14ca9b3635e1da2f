#pragma once

#include "cards/CardsInfo.h"
#include "game/Seats.h"
#include "game/TableEvent.h"
#include "render/GameSprites.h"
#include "render/GameTimer.h"
#include "render/Graphics.h"
#include "render/Rect.h"
#include "render/Sprite.h"
#include "rules/Match.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Whole seconds of calendar time; injectable so that a test can fix the deal.
using TCalendarClock = std::function<int64_t()>;
int64_t CalendarSeconds();

// Progress of the running flight (leg 1 rises out of the window, leg 2 drops
// onto the square) and of the running flip (steps 1 to 5). They outlive a
// match and are back at 1 whenever their animation has ended.
extern int32_t FlightLeg;
extern int32_t FlipStep;

// The match on the table: it holds the rules core (TMatch: board, hands,
// rules, turns, scores and every rule decision) and drives it, and adds what
// is shown of it: the cursors, the running animation and the drawing of every
// frame. It owns the card catalogue, the shared images and the drawing device.
class TGame {
    // First, so that the views of it below are bound to a match that exists.
    TMatch MatchState;

public:
    static constexpr uint8_t PhaseIdle = 0;
    static constexpr uint8_t PhaseDealing = 1;
    static constexpr uint8_t PhaseFlight = 2;
    static constexpr uint8_t PhaseFlipping = 3;

    // The core's group bits and capture modes, under the table's name too.
    static constexpr int32_t GroupBasic = TMatch::GroupBasic;
    static constexpr int32_t GroupSame = TMatch::GroupSame;
    static constexpr int32_t GroupPlus = TMatch::GroupPlus;
    static constexpr int32_t GroupCombo = TMatch::GroupCombo;
    static constexpr int32_t CaptureBasic = TMatch::CaptureBasic;
    static constexpr int32_t CaptureSame = TMatch::CaptureSame;
    static constexpr int32_t CapturePlus = TMatch::CapturePlus;

    // Screen layout of the 512 x 384 drawing area.
    static constexpr int32_t BoardLeft = 130;
    static constexpr int32_t BoardTop = 29;
    static constexpr int32_t HandTop = 29;
    static constexpr int32_t HandX[2] = {10, 417};
    static constexpr int32_t HandSelectShift[2] = {20, -20};
    static constexpr int32_t ScoreTop = 350;
    static constexpr int32_t NameBoxTop = 345;
    static constexpr int32_t NameTextTop = 351;

    explicit TGame(TCalendarClock calendarClock = CalendarSeconds,
                   TMicrosecondClock frameClock = MonotonicMicroseconds);
    ~TGame();
    TGame(const TGame&) = delete;
    TGame& operator=(const TGame&) = delete;

    // The match this table drives, for whoever judges, records or replays it.
    const TMatch& Match() const { return MatchState; }
    // The match itself, for laying out a position by hand (tests, benchmarks).
    // Nothing is dealt, checked or told, nothing moving stops, and the next
    // frame shows whatever it then holds; play goes through the operations below.
    TMatch& Arrange() { return MatchState; }

    // The match's fields as the table's own, read-only: the drawing, the keys
    // and everyone around the table read them here.
    const int32_t& Turn = MatchState.Turn;
    const int32_t (&Score)[2] = MatchState.Score;
    const TGameRules& Rules = MatchState.Rules;
    const TOwnedCard (&Board)[3][3] = MatchState.Board;
    const int32_t (&Elements)[3][3] = MatchState.Elements;
    const int32_t (&Hands)[5][2] = MatchState.Hands;
    const bool& InProgress = MatchState.InProgress();
    const bool& GameOver = MatchState.GameOver();
    const TCaptureGroup& PlusGroup = MatchState.PlusGroup;
    const TCaptureGroup& SameGroup = MatchState.SameGroup;
    const TCaptureGroup& BasicGroup = MatchState.BasicGroup;
    const TCaptureGroup& ComboGroup = MatchState.ComboGroup;
    const int32_t& PendingGroups = MatchState.PendingGroups;

    // Match state and dealing. A new match is dealt with `seats` sitting at
    // the table; a Sudden Death replay (`redeal`) keeps the match's seats.
    void NewGame(int32_t startingPlayer, const TGameRules& rules, bool redeal);
    void NewGame(int32_t startingPlayer, const TGameRules& rules, const TSeats& seats);
    void SeedRandom();
    int32_t RandomBelow(int32_t bound);

    // Takes over a match replayed elsewhere (ReplayScript) with nothing
    // moving: the table shows what it showed right after that match's last
    // placement, with the hand cursor on the topmost card of the player to
    // move and the board cursor on the last square played. For undo, redo,
    // replays and a reconnecting table.
    void RestoreMatch(const TMatch& match);

    // Who sits at the table: set with each deal, or for a match taken over
    // without one (a server's table, a replay).
    const TSeats& Seats() const { return Seating; }
    void SeatPlayers(const TSeats& seats) { Seating = seats; }

    // Everything that happens to the match is told to each listener, in the
    // order it happens, from inside the operation that makes it happen.
    using TListener = std::function<void(const TTableEvent&)>;
    void Subscribe(TListener listener) { Listeners.push_back(std::move(listener)); }
    // The match is stopped from outside before its end (the other player
    // left, the server ended it): the table stays as it is.
    // A server that decides how the match ended says so with it.
    void StopMatch(TTableEvent::TDecision decision = TTableEvent::TDecision::None, int32_t winner = -1);
    // The program ends: a running match is given up.
    void Leave();

    // Placement: the first call starts the card's flight, the second (on
    // landing) resolves it and starts showing its groups. The capture rules
    // themselves are the core's; the table only passes them on.
    void PlaceCard(int32_t x, int32_t y, TOwnedCard card);
    bool ShowNextGroup();
    int64_t EffectiveRank(int32_t x, int32_t y, const TOwnedCard& card, int32_t side) const {
        return MatchState.EffectiveRank(x, y, card, side);
    }
    void FindCaptures(int32_t x, int32_t y, const TOwnedCard& card, TCaptureGroup& group,
                      int32_t mode) const {
        MatchState.FindCaptures(x, y, card, group, mode);
    }
    void DropOwnCards(TCaptureGroup& group) const { MatchState.DropOwnCards(group); }
    void FindCombos(const int32_t* xs, const int32_t* ys, const TOwnedCard* sources, int32_t count) {
        MatchState.FindCombos(xs, ys, sources, count);
    }

    // Turns, keys and the end of a match.
    void KeyDown(uint16_t& key);
    void CompactHand(int32_t player);
    void CheckMatchEnd();

    // Animations.
    void StartDealAnimation();
    void StepDeal(float elapsed);
    void StartFlight(int32_t x, int32_t y, TOwnedCard card);
    void StepFlight(float elapsed);
    void StartFlip(const int32_t* xs, const int32_t* ys, const TOwnedCard* cards, int32_t originX,
                   int32_t originY, int32_t count, TSprite* banner);
    void StepFlip(float elapsed);

    // Presentation.
    void DoFrame();
    void DrawScene(bool animating);

    std::unique_ptr<TCardsInfo> Cards;
    std::unique_ptr<TGameSprites> Sprites;
    std::unique_ptr<TGraphics> Graphics;
    TGameTimer Timer;
    uint8_t Phase = PhaseIdle;
    int32_t HandCursor = 0;
    bool BoardCursorActive = false;
    int32_t BoardCursorX = 0;
    int32_t BoardCursorY = 0;
    std::vector<TSprite> AnimSprites;
    int32_t CardWidth = 0;
    int32_t CardHeight = 0;
    int32_t HandStep = 0;
    int32_t PointerOffsetY = 0;
    int32_t PointerOffsetX = 0;
    TOwnedCard FlyingCard;
    std::vector<int32_t> FlipXs;
    std::vector<int32_t> FlipYs;
    std::vector<TOwnedCard> FlipCards;
    int32_t FlipOriginX = 0;
    int32_t FlipCount = 0;
    TSprite* BannerSprite = nullptr;
    bool FlipSideways[4]{};
    TRect CardSourceRect;

    // Around the table, not of the match: drawn over each frame's scene just
    // before the frame counter (unset: nothing), whether the counter is
    // drawn, and a hand card of the player to move lifted out of the hand
    // (dragged by the mouse) that the scene leaves out (-1: none).
    std::function<void()> Overlay;
    bool ShowFrameRate = true;
    int32_t LiftedSlot = -1;
    // Draws an ended match's table again, without selection or pointers, with
    // the overlay and the counter as they are set now, and presents it.
    void RedrawEnded();

private:
    // The layout fields and banner rectangles a match is drawn with.
    void PlaceLayout();
    void PlaceBanners();

    // Captures.
    void FlipEnded();

    // Turns.
    void PlayCard();

    void Deal(int32_t startingPlayer, const TGameRules& rules, bool redeal, const TSeats& seats);
    TTableEvent Event(TTableEvent::TKind kind) const;
    void Tell(const TTableEvent& event);

    // Animations.
    void AdvanceFlipSprites(float elapsed);
    void RetargetFlip(int32_t step);

    // The overlay, the frame counter and presenting, at the end of a frame.
    void FinishFrame();
    // Drawing helpers; absent images and an unopened device draw nothing.
    TSurface* CardPicture(int32_t card, int32_t player) const;
    const TCardInfo* CardInfo(int32_t card) const;
    TSurface* BackBuffer() const;
    void DrawCard(const TRect& dest, int32_t card, int32_t player);
    void DrawAt(TSprite* sprite, float x, float y);
    void DrawInRect(TSprite* sprite, int32_t left, int32_t top);
    void DrawCardName(int32_t card);
    TRect SquareRect(int32_t column, int32_t row) const;

    // The rules read the catalogue through this, so that they always see the
    // one in Cards, even after it has been replaced.
    class TLiveCatalogue final : public TCardSource {
    public:
        explicit TLiveCatalogue(const std::unique_ptr<TCardsInfo>& cards) : Cards(cards) {}
        int32_t CardCount() const override { return Cards ? Cards->NumCards : 0; }
        const TCardValues& CardValues(int32_t index) const override { return Cards->CardTable[index]; }

    private:
        const std::unique_ptr<TCardsInfo>& Cards;
    };

    TCalendarClock CalendarClock;
    TLiveCatalogue LiveCatalogue{Cards};
    // Set by the first PlaceCard of a placement (the flight starts), cleared by
    // the second (the card has landed).
    bool AwaitingLanding = false;
    TSeats Seating;
    std::vector<TListener> Listeners;
};
