#include "game/Game.h"

#include <ctime>

int64_t CalendarSeconds() {
    return int64_t(std::time(nullptr));
}

TGame::TGame(TCalendarClock calendarClock, TMicrosecondClock frameClock)
    : Timer(std::move(frameClock)), CalendarClock(std::move(calendarClock)) {
    Phase = PhaseIdle;
    // Board squares, the flying card and every group entry start as (-1, -1).
    Cards = std::make_unique<TCardsInfo>();
    MatchState.Catalogue = &LiveCatalogue;
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
    Deal(startingPlayer, rules, redeal, Seating);
}

void TGame::NewGame(int32_t startingPlayer, const TGameRules& rules, const TSeats& seats) {
    Deal(startingPlayer, rules, false, seats);
}

void TGame::Deal(int32_t startingPlayer, const TGameRules& rules, bool redeal, const TSeats& seats) {
    if (Phase != PhaseIdle) return;
    // Without a catalogue there is nothing to deal, and every later card lookup
    // would reach into a missing table.
    if (!Cards || Cards->NumCards <= 0 || !Cards->CardTable) return;

    // A match dealt over leaves with the seats it was played by.
    if (!redeal && InProgress) Tell(Event(TTableEvent::TKind::Left));
    Seating = seats;
    const int64_t seed = CalendarClock ? CalendarClock() : CalendarSeconds();
    PlaceLayout();
    HandCursor = 0;
    BoardCursorActive = false;
    MatchState.StartMatch(seed, startingPlayer, rules, redeal);

    StartDealAnimation();
    // The first dealing frame measures from here, not from the previous match.
    Timer.Tick();
    TTableEvent dealt = Event(redeal ? TTableEvent::TKind::Redealt : TTableEvent::TKind::Dealt);
    dealt.Seed = seed;
    Tell(dealt);
}

void TGame::StopMatch(TTableEvent::TDecision decision, int32_t winner) {
    if (MatchState.Stop()) {
        TTableEvent ended = Event(TTableEvent::TKind::Ended);
        ended.How = TTableEvent::THow::Stopped;
        ended.Decision = decision;
        ended.Winner = winner;
        Tell(ended);
    }
}

void TGame::Leave() {
    if (InProgress) Tell(Event(TTableEvent::TKind::Left));
}

TTableEvent TGame::Event(TTableEvent::TKind kind) const {
    TTableEvent event;
    event.Kind = kind;
    event.Seats = Seating;
    event.Seed = MatchState.Script.Seed;
    event.Rules = Rules;
    if (!MatchState.Script.Moves.empty()) event.Move = MatchState.Script.Moves.back();
    event.Score[0] = Score[0];
    event.Score[1] = Score[1];
    event.Match = &MatchState;
    return event;
}

void TGame::Tell(const TTableEvent& event) {
    // A listener may subscribe another; those hear from the next event on.
    for (size_t i = 0, count = Listeners.size(); i < count; ++i) Listeners[i](event);
}

void TGame::RestoreMatch(const TMatch& match) {
    const TCardSource* catalogue = MatchState.Catalogue;
    MatchState = match;
    MatchState.Catalogue = catalogue;
    MatchState.PendingGroups = 0;

    // Whatever was moving stops where it is.
    AnimSprites.clear();
    BannerSprite = nullptr;
    FlipXs.clear();
    FlipYs.clear();
    FlipCards.clear();
    FlipCount = 0;
    FlyingCard = TOwnedCard();
    AwaitingLanding = false;
    FlightLeg = 1;
    FlipStep = 1;
    Phase = PhaseIdle;

    // The cursors as a placement leaves them.
    PlaceLayout();
    const int32_t top = MatchState.TopSlot(Turn);
    HandCursor = top >= 0 ? top : 0;
    BoardCursorActive = false;
    if (!MatchState.Script.Moves.empty()) {
        BoardCursorX = MatchState.Script.Moves.back().X;
        BoardCursorY = MatchState.Script.Moves.back().Y;
    }
}

void TGame::PlaceLayout() {
    HandStep = CardHeight / 2;
    if (Sprites && Sprites->HandLeft) {
        PointerOffsetY = TruncToInt(float(HandStep) - Sprites->HandLeft->Height * 0.5f);
        PointerOffsetX = TruncToInt(float(CardWidth / 2) - Sprites->HandLeft->Width);
    }
    PlaceBanners();
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

void TGame::SeedRandom() {
    MatchState.Random.Seed(CalendarClock ? CalendarClock() : CalendarSeconds());
}

int32_t TGame::RandomBelow(int32_t bound) {
    return MatchState.Random.Below(bound);
}
