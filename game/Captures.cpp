#include "game/Game.h"

namespace {

// The neighbour across each side: 0 top, 1 right, 2 bottom, 3 left.
constexpr int32_t SideDx[4] = {0, 1, 0, -1};
constexpr int32_t SideDy[4] = {-1, 0, 1, 0};

bool OnBoard(int32_t x, int32_t y) {
    return x >= 0 && x < 3 && y >= 0 && y < 3;
}

} // namespace

void TGame::PlaceCard(int32_t x, int32_t y, TOwnedCard card) {
    PendingGroups = 0;
    if (!AwaitingLanding) {
        StartFlight(x, y, card);
        AwaitingLanding = true;
        return;
    }
    ResolvePlacement(x, y, card);
    AwaitingLanding = false;
    ShowNextGroup();
}

void TGame::ResolvePlacement(int32_t x, int32_t y, const TOwnedCard& card) {
    Board[y][x] = card;
    FindCaptures(x, y, card, PlusGroup, CapturePlus);
    FindCaptures(x, y, card, SameGroup, CaptureSame);

    if (SameGroup.Count > 0) {
        DropOwnCards(SameGroup);
        if (SameGroup.Count > 0) TakeGroup(SameGroup, GroupSame);
    }

    if (!Rules.Plus) {
        PlusGroup.Count = 0;
    } else if (PlusGroup.Count > 0) {
        // Also drops whatever the Same group has just taken off the board.
        DropOwnCards(PlusGroup);
        if (PlusGroup.Count > 0) TakeGroup(PlusGroup, GroupPlus);
    }

    // Cards already taken by Same or Plus are off the board and not found again.
    FindCaptures(x, y, card, BasicGroup, CaptureBasic);
    if (BasicGroup.Count > 0) TakeGroup(BasicGroup, GroupBasic);
}

int64_t TGame::EffectiveRank(int32_t x, int32_t y, const TOwnedCard& card, int32_t side) const {
    // 64 bits: a rank at the end of the 32-bit range plus its element bonus, or
    // two such ranks summed for Plus, must still compare exactly.
    const TCardInfo& info = Cards->CardTable[card.Card];
    const int64_t rank = info.Ranks[side];
    const int32_t element = Elements[y][x];
    if (element == 0) return rank;
    return element == info.Element ? rank + 1 : rank - 1;
}

void TGame::FindCaptures(int32_t x, int32_t y, const TOwnedCard& card, TCaptureGroup& group,
                         int32_t mode) const {
    bool wallHit = false;
    bool opponentSeen = false;
    int64_t sum[4]{};
    int32_t neighbourOwner[4]{};
    bool beside[4]{};
    bool listed[4]{};
    group.Count = 0;

    for (int32_t side = 0; side < 4; ++side) {
        const int32_t nx = x + SideDx[side], ny = y + SideDy[side];
        const int32_t back = (side + 2) % 4;
        const int64_t mine = EffectiveRank(x, y, card, side);
        if (!OnBoard(nx, ny)) {
            if (mine == 10 && Rules.SameWall) wallHit = true;
            continue;
        }
        const TOwnedCard& neighbour = Board[ny][nx];
        if (neighbour.Card == -1) continue;
        beside[side] = true;
        const int64_t theirs = EffectiveRank(nx, ny, neighbour, back);
        bool hit = false;

        if (mode == CaptureBasic) {
            hit = mine > theirs && neighbour.Owner != card.Owner;
        } else if (mode == CaptureSame) {
            if (mine == theirs) {
                hit = true;
                if (neighbour.Owner != card.Owner) opponentSeen = true;
            }
        } else if (mode == CapturePlus) {
            sum[side] = mine + theirs;
            neighbourOwner[side] = neighbour.Owner;
            for (int32_t k = 0; k < side; ++k) {
                if (!beside[k] || sum[k] != sum[side]) continue;
                if (neighbourOwner[k] == card.Owner && neighbourOwner[side] == card.Owner) continue;
                if (!listed[k]) {
                    // The earlier side goes in just before the first later side that matched it.
                    const int32_t kx = x + SideDx[k], ky = y + SideDy[k];
                    group.Append(kx, ky, TOwnedCard(Board[ky][kx].Card, card.Owner));
                    listed[k] = true;
                }
                hit = true;
                listed[side] = true;
            }
        }

        if (hit) group.Append(nx, ny, TOwnedCard(neighbour.Card, card.Owner));
    }

    if (mode == CaptureSame) {
        // Same needs an opponent card among the equal sides, and either two equal
        // sides or one together with the wall.
        if ((group.Count == 1 && !wallHit) || !opponentSeen) group.Count = 0;
        if (!Rules.Same && !wallHit) group.Count = 0;
    }
}

void TGame::DropOwnCards(TCaptureGroup& group) const {
    int32_t kept = 0;
    for (int32_t i = 0; i < group.Count; ++i) {
        const TOwnedCard& square = Board[group.Ys[i]][group.Xs[i]];
        // Already the capturer's, or already taken earlier in this placement.
        if (square.Owner == group.Taken[i].Owner || square.Card == -1) continue;
        group.Xs[kept] = group.Xs[i];
        group.Ys[kept] = group.Ys[i];
        group.Taken[kept] = group.Taken[i];
        ++kept;
    }
    group.Count = kept;
}

void TGame::TakeGroup(const TCaptureGroup& group, int32_t bit) {
    for (int32_t i = 0; i < group.Count; ++i) {
        const int32_t capturer = group.Taken[i].Owner;
        Score[capturer] += 1;
        Score[1 - capturer] -= 1;
        // Off the board until its flip ends; the square keeps its old owner.
        Board[group.Ys[i]][group.Xs[i]].Card = -1;
    }
    PendingGroups |= bit;
}

bool TGame::ShowNextGroup() {
    struct TShown {
        int32_t bit;
        TCaptureGroup* group;
        TSprite* banner;
    };
    TGameSprites* images = Sprites.get();
    const TShown order[] = {
        {GroupCombo, &ComboGroup, images ? images->ComboText.get() : nullptr},
        {GroupSame, &SameGroup, images ? images->SameText.get() : nullptr},
        {GroupPlus, &PlusGroup, images ? images->PlusText.get() : nullptr},
        {GroupBasic, &BasicGroup, nullptr},
    };
    for (const TShown& shown : order) {
        if (!(PendingGroups & shown.bit)) continue;
        const TCaptureGroup& group = *shown.group;
        StartFlip(group.Xs, group.Ys, group.Taken, BoardCursorX, BoardCursorY, group.Count, shown.banner);
        return true;
    }
    PendingGroups = 0;
    BannerSprite = nullptr;
    Phase = PhaseIdle;
    CheckMatchEnd();
    return false;
}

void TGame::FlipEnded() {
    // No bit changes while a flip runs, so the group just shown is the first
    // pending one in showing order.
    int32_t shown = 0;
    for (int32_t bit : {GroupCombo, GroupSame, GroupPlus, GroupBasic})
        if (PendingGroups & bit) {
            shown = bit;
            break;
        }
    PendingGroups &= ~shown;

    if (shown == GroupSame)
        FindCombos(SameGroup.Xs, SameGroup.Ys, SameGroup.Taken, SameGroup.Count);
    else if (shown == GroupPlus)
        FindCombos(PlusGroup.Xs, PlusGroup.Ys, PlusGroup.Taken, PlusGroup.Count);
    else if (shown == GroupCombo)
        // FindCombos refills ComboGroup, so the step reads the flip's own copy.
        FindCombos(FlipXs.data(), FlipYs.data(), FlipCards.data(), FlipCount);

    ShowNextGroup();
}

void TGame::FindCombos(const int32_t* xs, const int32_t* ys, const TOwnedCard* sources, int32_t count) {
    ComboGroup.Count = 0;
    for (int32_t i = 0; i < count; ++i) {
        TCaptureGroup found;
        FindCaptures(xs[i], ys[i], sources[i], found, CaptureBasic);
        // Take each source's cards at once so later sources of this step do not
        // find them again.
        TCaptureGroup appended;
        for (int32_t j = 0; j < found.Count; ++j) {
            if (!ComboGroup.Append(found.Xs[j], found.Ys[j], found.Taken[j])) break;
            appended.Append(found.Xs[j], found.Ys[j], found.Taken[j]);
        }
        if (appended.Count > 0) TakeGroup(appended, 0);
    }
    if (ComboGroup.Count > 0) PendingGroups |= GroupCombo;
}
