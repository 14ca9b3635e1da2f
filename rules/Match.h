#pragma once

#include "rules/CaptureGroup.h"
#include "rules/CardSource.h"
#include "rules/GameRules.h"
#include "rules/MatchScript.h"
#include "rules/OwnedCard.h"
#include "rules/RandomSource.h"
#include "rules/TableState.h"

#include <cstdint>
#include <string>
#include <vector>

// Why a placement is refused; None when it may be made.
enum class TPlacementProblem {
    None,
    NoMatch,      // no match is in progress
    Moving,       // the table is still moving
    NoSuchPlayer, // the player is neither 0 nor 1
    NotTheirTurn,
    NoSuchSlot, // the slot is not 0 to 4
    EmptySlot,
    OffBoard,
    Taken, // the square holds a card
};
const char* Describe(TPlacementProblem problem);

// Whether `player` may put the card in hand `slot` on square (x, y) of `table`.
TPlacementProblem PlacementProblem(const TTableState& table, int32_t player, int32_t slot, int32_t x,
                                   int32_t y);

// A short digest of the cards on the board with their owners, element squares,
// scores, hands, turn and whether the match runs (FNV-1a over the fields in a
// fixed order); the network compares it after every placement, so its value
// must never change.
uint32_t TableDigest(const TTableState& table);

// One group of captured cards as it is shown: which rule took it and the cards.
struct TShownCaptures {
    int32_t Kind = 0; // TMatch::GroupSame, GroupPlus, GroupCombo or GroupBasic
    TCaptureGroup Group;
};

// The rules of a match, with no pictures: the board, the hands, the element
// squares, whose turn, the scores, the deal from a seed, a placement and its
// captures in the order they are shown, the end of a match and the Sudden
// Death replay. The table (TGame) holds one and animates what it reports;
// everything else that judges a match (the solver's tables, the network's
// checks, a replay) calls the same operations. Whether a match runs or has
// ended is changed only by these operations.
//
// A placement is resolved in steps, because the table shows its groups one
// after another and a Combo step only starts when the group before it has
// turned over: ResolvePlacement takes the Same, Plus and basic groups off the
// board at once; then, as long as NextGroup names one, the group is shown and
// FinishGroup writes it back with its new owner and looks for its Combo step.
// PlacePlayed runs all of that at once.
class TMatch {
public:
    static constexpr int32_t GroupBasic = 1;
    static constexpr int32_t GroupSame = 2;
    static constexpr int32_t GroupPlus = 4;
    static constexpr int32_t GroupCombo = 8;

    static constexpr int32_t CaptureBasic = -1;
    static constexpr int32_t CaptureSame = 0;
    static constexpr int32_t CapturePlus = 2;

    // Dealing. Seeds the random source with `seed` and deals: a fresh deal of
    // ten cards drawn from the whole catalogue, or for a Sudden Death replay
    // (`redeal`) the cards each player owns on the board that has just ended;
    // then the element squares. Nothing happens without a catalogue.
    void StartMatch(int64_t seed, int32_t startingPlayer, const TGameRules& rules, bool redeal);
    void DealFresh();
    void RedealSuddenDeath();
    void PlaceElements();

    // Turns. The card in `slot` of the player to move leaves the hand for
    // square (x, y), and the move is written into Script.
    TOwnedCard TakeCard(int32_t slot, int32_t x, int32_t y);
    // Closes the gap at `slot` that a played card left: the hand stays packed toward slot 4.
    void CompactHand(int32_t player, int32_t slot);
    void EndTurn() { Turn = 1 - Turn; }
    // The topmost slot holding a card, or -1 for an empty hand.
    int32_t TopSlot(int32_t player) const;
    TPlacementProblem MoveProblem(int32_t player, int32_t slot, int32_t x, int32_t y) const;

    // Placement and captures.
    int64_t EffectiveRank(int32_t x, int32_t y, const TOwnedCard& card, int32_t side) const;
    void FindCaptures(int32_t x, int32_t y, const TOwnedCard& card, TCaptureGroup& group, int32_t mode) const;
    void DropOwnCards(TCaptureGroup& group) const;
    void FindCombos(const int32_t* xs, const int32_t* ys, const TOwnedCard* sources, int32_t count);
    void ResolvePlacement(int32_t x, int32_t y, const TOwnedCard& card);
    void TakeGroup(const TCaptureGroup& group, int32_t bit);
    // The pending group to show next (Combo, Same, Plus, basic), 0 when none.
    int32_t NextGroup() const;
    TCaptureGroup& GroupOf(int32_t bit);
    // The group `bit` has been shown: its cards go back on the board with their
    // new owner, and the cards of a Same, Plus or Combo group attack in turn.
    void FinishGroup(int32_t bit);
    // The same for cards shown from a copy of their own.
    void FinishGroup(int32_t bit, const int32_t* xs, const int32_t* ys, const TOwnedCard* cards,
                     int32_t count);

    // The end of a match.
    bool BoardFull() const;
    // Ends the match when the board is full; true when it did.
    bool EndIfFull();
    // Ends a running match before its board is full (stopped from outside);
    // true when there was one to end.
    bool Stop();
    // A position laid out by hand rather than dealt (a test, a study) is
    // played on from as it stands: the match runs.
    void Resume();
    // A drawn match under Sudden Death is dealt again at once.
    bool RedealDue() const { return Ended && Rules.SuddenDeath && Score[0] == 5; }

    // A match runs: placements are accepted. A match has ended and its last
    // board stays. Both are false before the first deal; by reference, so
    // that a view of them kept elsewhere stays current.
    const bool& InProgress() const { return Running; }
    const bool& GameOver() const { return Ended; }

    // The whole placement with nothing to show in between: the card in `slot`
    // of the player to move goes to (x, y), the turn passes, every group is
    // taken with its Combo steps, and the match ends or is dealt again
    // (`redealSeed`) when the board is full. Returns the groups in the order
    // the table shows them. The move must have been checked (MoveProblem).
    std::vector<TShownCaptures> PlayMove(const TPlacementMove& move, int64_t redealSeed);

    TTableState Table(bool idle = true) const;

    const TCardSource* Catalogue = nullptr;
    TRandomSource Random;
    int32_t Turn = 0;
    int32_t Score[2]{};
    TGameRules Rules;
    TOwnedCard Board[3][3];
    int32_t Elements[3][3]{};
    int32_t Hands[5][2]{};
    TCaptureGroup PlusGroup;
    TCaptureGroup SameGroup;
    TCaptureGroup BasicGroup;
    TCaptureGroup ComboGroup;
    int32_t PendingGroups = 0;
    // How this match came about, from its deal; a replay of it gives back this state.
    TMatchScript Script;

private:
    bool Running = false;
    bool Ended = false;
};

// Plays `script` from its deal through its first `moves` placements (all of
// them when negative) on `catalogue`, with nothing shown. False, with the
// reason in `refusal`, when a placement is one the rules refuse; `match`
// then holds the state before that placement.
bool ReplayScript(const TMatchScript& script, const TCardSource& catalogue, TMatch& match,
                  std::string& refusal, int64_t moves = -1);
