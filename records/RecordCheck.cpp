#include "records/RecordCheck.h"

#include "records/MoveWording.h"

#include <array>

namespace {

bool PlainName(const std::string& name) {
    if (name.empty()) return false;
    // Counted in characters of UTF-8, not bytes; control characters are refused.
    int32_t characters = 0;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        characters += (c & 0xC0) != 0x80;
    }
    return characters <= TMatchRecord::MaxNameLength;
}

} // namespace

std::string RecordProblem(const TMatchRecord& record) {
    for (int32_t player = 0; player < 2; ++player)
        if (!PlainName(record.Players[player]))
            return std::string(player == 0 ? "Red" : "Blue") + "'s name must be 1 to " +
                   std::to_string(TMatchRecord::MaxNameLength) + " characters without control characters";
    if (record.Rated && record.Mode != TMatchMode::Server) return "only a server match can be rated";
    if (record.Seed < 0 || record.Seed > TMatchRecord::MaxSeed) return "the seed is outside 0 to 2^53-1";
    for (int64_t seed : record.RedealSeeds)
        if (seed < 0 || seed > TMatchRecord::MaxSeed) return "a Sudden Death seed is outside 0 to 2^53-1";
    // A replay is dealt after every ninth card of a draw: one seed for each
    // deal the moves reach, and one more at most for a replay dealt but not played.
    const size_t deals = (record.Moves.size() + 8) / 9;
    if (record.Moves.size() <= size_t(TMatchRecord::MaxMoves) &&
        (record.RedealSeeds.size() + 1 < deals || record.RedealSeeds.size() > record.Moves.size() / 9))
        return "the moves make " + std::to_string(deals) + " deals, but the record holds " +
               std::to_string(record.RedealSeeds.size()) + " Sudden Death seeds";
    if (record.FirstPlayer != 0 && record.FirstPlayer != 1) return "the first player must be 0 or 1";
    if (record.StartTime < TMatchRecord::EarliestTime || record.StartTime > TMatchRecord::LatestTime ||
        record.EndTime < TMatchRecord::EarliestTime || record.EndTime > TMatchRecord::LatestTime)
        return "the start and end must lie between the years 2000 and 9999";
    if (record.EndTime < record.StartTime) return "the match ends before it starts";
    if (record.Winner < -1 || record.Winner > 1) return "the winner must be -1, 0 or 1";
    if (record.Score[0] < 0 || record.Score[1] < 0 || record.Score[0] + record.Score[1] != 10)
        return "the score must be two counts of cards that add up to 10";
    if (record.Moves.size() > size_t(TMatchRecord::MaxMoves))
        return "more than " + std::to_string(TMatchRecord::MaxMoves) + " moves";

    // The moves, deal by deal: hands full at each deal, the starting player
    // placing the first, third ... ninth card, the other starting the next deal.
    int32_t mover = record.FirstPlayer;
    int32_t played[2] = {0, 0};
    std::array<bool, 9> occupied{};
    for (size_t i = 0; i < record.Moves.size(); ++i) {
        const TPlacementMove& move = record.Moves[i];
        const std::string which = "move " + std::to_string(i + 1);
        if (i > 0 && i % 9 == 0) {
            if (!record.Rules.SuddenDeath) return which + " comes after the ninth card without Sudden Death";
            occupied.fill(false);
            played[0] = played[1] = 0;
            // The player who held a card back starts the replay.
        }
        if (move.Slot < 0 || move.Slot > 4) return which + " names hand slot " + std::to_string(move.Slot);
        if (move.X < 0 || move.X > 2 || move.Y < 0 || move.Y > 2)
            return which + " names the square (" + std::to_string(move.X) + ", " + std::to_string(move.Y) +
                   ") off the board";
        // Hands stay packed toward slot 4: after n cards, slots 0 to n-1 are empty.
        if (move.Slot < played[mover])
            return which + " plays hand slot " + std::to_string(move.Slot) + ", which is empty by then";
        if (occupied[3 * move.Y + move.X])
            return which + " puts a card on the occupied " + MoveWording::SquareName(move.X, move.Y) +
                   " square";
        occupied[3 * move.Y + move.X] = true;
        ++played[mover];
        mover = 1 - mover;
    }

    const size_t count = record.Moves.size();
    const bool boardFull = count > 0 && count % 9 == 0;
    switch (record.Ending) {
    case TMatchEnding::Finished:
        if (!boardFull) return "a finished match must end with a full board";
        if (record.Winner != (record.Score[0] == 5 ? -1 : record.Score[0] > 5 ? 0 : 1))
            return "the winner does not agree with the score";
        break;
    case TMatchEnding::Abandoned:
        if (record.Winner != -1) return "an abandoned match has no winner";
        break;
    case TMatchEnding::Time:
    case TMatchEnding::Forfeit:
    case TMatchEnding::Left:
        if (record.Winner == -1) return "a match lost on time, by forfeit or by leaving needs a winner";
        break;
    }
    return std::string();
}
