#include "rules/Match.h"

#include "rules/Ranks.h"

#include <algorithm>

using Ranks::SideDx;
using Ranks::SideDy;

const char* Describe(TPlacementProblem problem) {
    switch (problem) {
    case TPlacementProblem::None:
        return "";
    case TPlacementProblem::NoMatch:
        return "no match is in progress";
    case TPlacementProblem::Moving:
        return "the table is still moving";
    case TPlacementProblem::NoSuchPlayer:
        return "there is no such player";
    case TPlacementProblem::NotTheirTurn:
        return "it is not that player's turn";
    case TPlacementProblem::NoSuchSlot:
        return "that hand slot does not exist";
    case TPlacementProblem::EmptySlot:
        return "that hand slot is empty";
    case TPlacementProblem::OffBoard:
        return "that square is off the board";
    case TPlacementProblem::Taken:
        return "that square is taken";
    }
    return "unknown problem";
}

TPlacementProblem PlacementProblem(const TTableState& table, int32_t player, int32_t slot, int32_t x,
                                   int32_t y) {
    if (!table.InProgress) return TPlacementProblem::NoMatch;
    if (!table.Idle) return TPlacementProblem::Moving;
    if (player != 0 && player != 1) return TPlacementProblem::NoSuchPlayer;
    if (table.Turn != player) return TPlacementProblem::NotTheirTurn;
    if (slot < 0 || slot > 4) return TPlacementProblem::NoSuchSlot;
    if (table.Hands[slot][player] == -1) return TPlacementProblem::EmptySlot;
    if (!Ranks::OnBoard(x, y)) return TPlacementProblem::OffBoard;
    if (table.Board[y][x].Card != -1) return TPlacementProblem::Taken;
    return TPlacementProblem::None;
}

namespace {

class TFnv1a {
public:
    void Add(int64_t value) {
        // Every field as eight little-endian bytes, so both ends hash the same
        // bytes whatever their integer widths.
        for (int i = 0; i < 8; ++i) {
            Hash ^= uint32_t(uint64_t(value) >> (8 * i)) & 0xFFu;
            Hash *= 16777619u;
        }
    }
    uint32_t Hash = 2166136261u;
};

} // namespace

uint32_t TableDigest(const TTableState& table) {
    TFnv1a fnv;
    fnv.Add(table.InProgress);
    fnv.Add(table.Turn);
    fnv.Add(table.Score[0]);
    fnv.Add(table.Score[1]);
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            // An emptied square keeps the owner of the card it last held;
            // only the owner of a card on the board counts.
            const TOwnedCard& square = table.Board[row][column];
            fnv.Add(square.Card);
            fnv.Add(square.Card == -1 ? -1 : square.Owner);
            fnv.Add(table.Elements[row][column]);
        }
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) fnv.Add(table.Hands[slot][player]);
    return fnv.Hash;
}

void TMatch::StartMatch(int64_t seed, int32_t startingPlayer, const TGameRules& rules, bool redeal) {
    if (!Catalogue || Catalogue->CardCount() <= 0) return;
    // For a replay `rules` is this match's own record.
    const TGameRules chosen = rules;
    Random.Seed(seed);
    Turn = startingPlayer;
    Score[0] = Score[1] = 5;
    // The redeal reads the board of the match that has just ended.
    if (redeal)
        RedealSuddenDeath();
    else
        DealFresh();
    for (auto& row : Board)
        for (TOwnedCard& square : row) square.Card = -1;
    Rules = chosen;
    PlaceElements();
    Running = true;
    Ended = false;

    if (redeal) {
        Script.RedealSeeds.push_back(seed);
    } else {
        Script = TMatchScript{};
        Script.Seed = seed;
        Script.Rules = chosen;
        Script.FirstPlayer = startingPlayer;
    }
}

void TMatch::DealFresh() {
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) Hands[slot][player] = Random.Below(Catalogue->CardCount());
}

void TMatch::RedealSuddenDeath() {
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

void TMatch::PlaceElements() {
    for (auto& row : Elements)
        for (int32_t& element : row) element = 0;
    if (!Rules.Elemental) return;
    const int32_t count = Random.Below(5) + 1;
    for (int32_t i = 0; i < count; ++i) {
        int32_t column, row;
        do {
            column = Random.Below(3);
            row = Random.Below(3);
        } while (Elements[row][column] != 0);
        Elements[row][column] = Random.Below(8) + 1;
    }
}

TOwnedCard TMatch::TakeCard(int32_t slot, int32_t x, int32_t y) {
    const TOwnedCard played(Hands[slot][Turn], Turn);
    Hands[slot][Turn] = -1;
    Script.Moves.push_back({slot, x, y});
    return played;
}

void TMatch::CompactHand(int32_t player, int32_t slot) {
    for (int32_t n = slot - 1; n >= 0; --n) {
        Hands[n + 1][player] = Hands[n][player];
        Hands[n][player] = -1;
    }
}

int32_t TMatch::TopSlot(int32_t player) const {
    int32_t top = -1;
    for (int32_t slot = 4; slot >= 0; --slot)
        if (Hands[slot][player] != -1) top = slot;
    return top;
}

TPlacementProblem TMatch::MoveProblem(int32_t player, int32_t slot, int32_t x, int32_t y) const {
    return PlacementProblem(Table(), player, slot, x, y);
}

int64_t TMatch::EffectiveRank(int32_t x, int32_t y, const TOwnedCard& card, int32_t side) const {
    return Ranks::EffectiveRank(Catalogue->CardValues(card.Card), Elements[y][x], side);
}

void TMatch::FindCaptures(int32_t x, int32_t y, const TOwnedCard& card, TCaptureGroup& group,
                          int32_t mode) const {
    bool wallHit = false;
    bool opponentSeen = false;
    int32_t equalSides = 0;
    int64_t sum[4]{};
    int32_t neighbourOwner[4]{};
    bool beside[4]{};
    bool listed[4]{};
    group.Count = 0;

    for (int32_t side = 0; side < 4; ++side) {
        const int32_t nx = x + SideDx[side], ny = y + SideDy[side];
        const int64_t mine = EffectiveRank(x, y, card, side);
        if (!Ranks::OnBoard(nx, ny)) {
            if (Ranks::WallCounts(mine, Rules)) wallHit = true;
            continue;
        }
        const TOwnedCard& neighbour = Board[ny][nx];
        if (neighbour.Card == -1) continue;
        beside[side] = true;
        const int64_t theirs = EffectiveRank(nx, ny, neighbour, Ranks::FacingSide(side));
        bool hit = false;

        if (mode == CaptureBasic) {
            hit = Ranks::Beats(mine, theirs) && neighbour.Owner != card.Owner;
        } else if (mode == CaptureSame) {
            if (Ranks::Equal(mine, theirs)) {
                hit = true;
                ++equalSides;
                if (neighbour.Owner != card.Owner) opponentSeen = true;
            }
        } else if (mode == CapturePlus) {
            sum[side] = Ranks::PlusSum(mine, theirs);
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

    if (mode == CaptureSame && !Ranks::SameTakes(equalSides, opponentSeen, wallHit, Rules)) group.Count = 0;
}

void TMatch::DropOwnCards(TCaptureGroup& group) const {
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

void TMatch::ResolvePlacement(int32_t x, int32_t y, const TOwnedCard& card) {
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

void TMatch::TakeGroup(const TCaptureGroup& group, int32_t bit) {
    for (int32_t i = 0; i < group.Count; ++i) {
        const int32_t capturer = group.Taken[i].Owner;
        Score[capturer] += 1;
        Score[1 - capturer] -= 1;
        // Off the board until it has been shown; the square keeps its old owner.
        Board[group.Ys[i]][group.Xs[i]].Card = -1;
    }
    PendingGroups |= bit;
}

void TMatch::FindCombos(const int32_t* xs, const int32_t* ys, const TOwnedCard* sources, int32_t count) {
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

int32_t TMatch::NextGroup() const {
    for (int32_t bit : {GroupCombo, GroupSame, GroupPlus, GroupBasic})
        if (PendingGroups & bit) return bit;
    return 0;
}

TCaptureGroup& TMatch::GroupOf(int32_t bit) {
    switch (bit) {
    case GroupCombo:
        return ComboGroup;
    case GroupSame:
        return SameGroup;
    case GroupPlus:
        return PlusGroup;
    default:
        return BasicGroup;
    }
}

void TMatch::FinishGroup(int32_t bit) {
    // FindCombos refills ComboGroup, so the step reads a copy.
    const TCaptureGroup shown = GroupOf(bit);
    FinishGroup(bit, shown.Xs, shown.Ys, shown.Taken, shown.Count);
}

void TMatch::FinishGroup(int32_t bit, const int32_t* xs, const int32_t* ys, const TOwnedCard* cards,
                         int32_t count) {
    for (int32_t i = 0; i < count; ++i) Board[ys[i]][xs[i]] = cards[i];
    PendingGroups &= ~bit;
    // The basic group starts no combo step.
    if (bit == GroupSame || bit == GroupPlus || bit == GroupCombo) FindCombos(xs, ys, cards, count);
}

bool TMatch::BoardFull() const {
    for (const auto& row : Board)
        for (const TOwnedCard& square : row)
            if (square.Card == -1) return false;
    return true;
}

bool TMatch::EndIfFull() {
    if (!BoardFull()) return false;
    Running = false;
    Ended = true;
    return true;
}

bool TMatch::Stop() {
    if (!Running) return false;
    Running = false;
    Ended = true;
    return true;
}

void TMatch::Resume() {
    Running = true;
    Ended = false;
}

std::vector<TShownCaptures> TMatch::PlayMove(const TPlacementMove& move, int64_t redealSeed) {
    const TOwnedCard played = TakeCard(move.Slot, move.X, move.Y);
    CompactHand(played.Owner, move.Slot);
    EndTurn();
    PendingGroups = 0;
    ResolvePlacement(move.X, move.Y, played);
    std::vector<TShownCaptures> shown;
    for (int32_t bit = NextGroup(); bit != 0; bit = NextGroup()) {
        shown.push_back({bit, GroupOf(bit)});
        FinishGroup(bit);
    }
    PendingGroups = 0;
    if (EndIfFull() && RedealDue()) StartMatch(redealSeed, Turn, Rules, true);
    return shown;
}

TTableState TMatch::Table(bool idle) const {
    TTableState table;
    table.InProgress = Running;
    table.Idle = idle;
    table.Turn = Turn;
    table.Score[0] = Score[0];
    table.Score[1] = Score[1];
    std::copy(&Board[0][0], &Board[0][0] + 9, &table.Board[0][0]);
    std::copy(&Elements[0][0], &Elements[0][0] + 9, &table.Elements[0][0]);
    std::copy(&Hands[0][0], &Hands[0][0] + 10, &table.Hands[0][0]);
    return table;
}

bool ReplayScript(const TMatchScript& script, const TCardSource& catalogue, TMatch& match,
                  std::string& refusal, int64_t moves) {
    match = TMatch{};
    match.Catalogue = &catalogue;
    if (catalogue.CardCount() <= 0) {
        refusal = "there is no card to deal";
        return false;
    }
    if (script.FirstPlayer != 0 && script.FirstPlayer != 1) {
        refusal = "the first player is neither 0 nor 1";
        return false;
    }
    match.StartMatch(script.Seed, script.FirstPlayer, script.Rules, false);
    const size_t count = moves < 0 ? script.Moves.size() : std::min(size_t(moves), script.Moves.size());
    for (size_t i = 0; i < count; ++i) {
        const TPlacementMove& move = script.Moves[i];
        const TPlacementProblem problem = match.MoveProblem(match.Turn, move.Slot, move.X, move.Y);
        if (problem != TPlacementProblem::None) {
            refusal = "placement " + std::to_string(i + 1) + ": " + Describe(problem);
            return false;
        }
        const size_t redeals = match.Script.RedealSeeds.size();
        match.PlayMove(move, redeals < script.RedealSeeds.size() ? script.RedealSeeds[redeals] : script.Seed);
    }
    return true;
}
