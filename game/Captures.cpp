#include "game/Game.h"

// The table's side of a placement: the flight between the two PlaceCard calls
// and the groups shown one by one; what they capture is the core's decision.

void TGame::PlaceCard(int32_t x, int32_t y, TOwnedCard card) {
    MatchState.PendingGroups = 0;
    if (!AwaitingLanding) {
        StartFlight(x, y, card);
        AwaitingLanding = true;
        return;
    }
    MatchState.ResolvePlacement(x, y, card);
    AwaitingLanding = false;
    Tell(Event(TTableEvent::TKind::Placed));
    ShowNextGroup();
}

bool TGame::ShowNextGroup() {
    if (const int32_t bit = MatchState.NextGroup()) {
        TGameSprites* images = Sprites.get();
        TSprite* banner = nullptr;
        if (images && bit == GroupCombo) banner = images->ComboText.get();
        if (images && bit == GroupSame) banner = images->SameText.get();
        if (images && bit == GroupPlus) banner = images->PlusText.get();
        const TCaptureGroup& group = MatchState.GroupOf(bit);
        StartFlip(group.Xs, group.Ys, group.Taken, BoardCursorX, BoardCursorY, group.Count, banner);
        TTableEvent shown = Event(TTableEvent::TKind::GroupShown);
        shown.Group = bit;
        Tell(shown);
        return true;
    }
    MatchState.PendingGroups = 0;
    BannerSprite = nullptr;
    Phase = PhaseIdle;
    CheckMatchEnd();
    return false;
}

void TGame::FlipEnded() {
    // No bit changes while a flip runs, so the group just shown is the first
    // pending one in showing order. The flip's own copy is what goes back on
    // the board and attacks: a Combo step refills ComboGroup.
    MatchState.FinishGroup(MatchState.NextGroup(), FlipXs.data(), FlipYs.data(), FlipCards.data(), FlipCount);
    ShowNextGroup();
}
