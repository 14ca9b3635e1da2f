#pragma once

#include "game/PacedKeys.h"
#include "game/Seats.h"
#include "records/MatchRecord.h"
#include "rules/Match.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

class TGame;

// A recorded match shown on the table in place of the one being played. The
// table shows the record after any number of its placements exactly as it
// stood when the match was played: each step replays the record's script
// that far with nothing shown and lets the table take the result over. Play
// on animates the next placement through the keys a person would press, as
// the computer's moves are played. Leaving puts back the match that was on
// the table, as it was.
class TReplayView {
public:
    static constexpr uint32_t StepMs = 250;

    explicit TReplayView(TGame& game);

    // Takes the table over for `record`, keeping what it held; false with the
    // reason when the record does not replay on this catalogue or the table
    // is moving.
    bool Open(const TMatchRecord& record, std::string& problem);
    // Puts back the match that was on the table when the replay opened.
    void Leave();
    bool Active() const { return IsActive; }

    // The placements shown, of Count().
    int32_t Shown() const { return Placed; }
    int32_t Count() const { return int32_t(Script.Moves.size()); }
    // Shows the table after `moves` placements (clamped), stopping any play.
    void ShowAfter(int32_t moves);
    void Forward() { ShowAfter(Placed + 1); }
    void Back() { ShowAfter(Placed - 1); }
    void ToStart() { ShowAfter(0); }
    void ToEnd() { ShowAfter(Count()); }
    // Starts or stops playing on from the table shown, one placement after
    // another at the game's pace.
    void TogglePlay(uint64_t nowMs);
    bool Playing() const { return IsPlaying; }
    // Once per frame while playing: presses the next key of the placement
    // under way, and goes on to the next placement once the table is still.
    void Step(uint64_t nowMs);

    const TMatchRecord& Record() const { return Opened; }
    // "Red vs Blue, 2026-12-08 16:20 — placement 3 of 9".
    QString Title() const;
    // What the turn line says of it before whose move it shows: "Replay 4/9 ·
    // Ann vs Bob", or "Replay 4/9" when the names would not fit.
    QString Heading() const;
    static constexpr qsizetype MaxHeadingCharacters = 24;

private:
    // The table after `moves` placements, without stopping play.
    void RestoreAfter(int32_t moves);
    void StartPlacement(uint64_t nowMs);

    TGame& Game;
    bool IsActive = false;
    bool IsPlaying = false;
    TMatchRecord Opened;
    TMatchScript Script;
    int32_t Placed = 0;
    TPacedKeys Walk;
    // The table as the replay found it.
    TMatch Kept;
    TSeats KeptSeats;
    int32_t KeptHandCursor = 0;
    bool KeptBoardCursorActive = false;
    int32_t KeptBoardCursorX = 0;
    int32_t KeptBoardCursorY = 0;
};
