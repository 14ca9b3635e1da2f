#include "ai/RecordReplay.h"

#include "ai/Position.h"
#include "game/RandomSource.h"
#include "records/RecordCheck.h"

namespace {

std::string ScoreText(int32_t red, int32_t blue) {
    return std::to_string(red) + "–" + std::to_string(blue);
}

// The element squares of a deal, drawn the way the match draws them.
void PlaceElements(TRandomSource& random, const TGameRules& rules, int32_t (&elements)[3][3]) {
    for (auto& row : elements)
        for (int32_t& element : row) element = 0;
    if (!rules.Elemental) return;
    const int32_t count = random.Below(5) + 1;
    for (int32_t i = 0; i < count; ++i) {
        int32_t column, row;
        do {
            column = random.Below(3);
            row = random.Below(3);
        } while (elements[row][column] != 0);
        elements[row][column] = random.Below(8) + 1;
    }
}

// The table as the position holds it, on the deal's cards.
TReplayedPosition Snapshot(const TPosition& position, const TReplayedPosition& dealt) {
    TReplayedPosition now = dealt;
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) now.Setup.Board[y][x] = {position.CardAt(x, y), position.OwnerAt(x, y)};
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t player = 0; player < 2; ++player) now.Setup.Hands[slot][player] = position.HandCard(slot, player);
    now.Setup.Turn = position.Turn();
    return now;
}

// Hands of catalogue indices -> the deal's own cards, packed as dealt.
TReplayedPosition Deal(int32_t deal, const int32_t (&hands)[5][2], const TMatchRecord& record, int32_t first,
                       TRandomSource& random, const std::vector<TPositionSetup::TCard>& catalogue) {
    TReplayedPosition dealt;
    dealt.Deal = deal;
    dealt.Setup.Rules = record.Rules;
    dealt.Setup.Turn = first;
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) {
            const int32_t index = int32_t(dealt.Setup.Cards.size());
            dealt.Catalogue[index] = hands[slot][player];
            dealt.Setup.Cards.push_back(catalogue[hands[slot][player]]);
            dealt.Setup.Hands[slot][player] = index;
        }
    PlaceElements(random, record.Rules, dealt.Setup.Elements);
    return dealt;
}

} // namespace

TReplay ReplayRecord(const TMatchRecord& record, const std::vector<TPositionSetup::TCard>& catalogue) {
    TReplay replay;
    replay.Problem = RecordProblem(record);
    if (!replay.Problem.empty()) return replay;
    if (catalogue.empty()) {
        replay.Problem = "no card catalogue to deal from";
        return replay;
    }

    TRandomSource random;
    random.Seed(record.Seed);
    int32_t hands[5][2];
    for (int32_t player = 0; player < 2; ++player)
        for (int32_t slot = 0; slot < 5; ++slot) hands[slot][player] = random.Below(int32_t(catalogue.size()));
    TReplayedPosition dealt = Deal(0, hands, record, record.FirstPlayer, random, catalogue);
    TPosition position(dealt.Setup);

    for (size_t i = 0; i < record.Moves.size(); ++i) {
        if (i > 0 && i % 9 == 0) {
            // A Sudden Death replay: each side gets back the cards it owns, the
            // one still in a hand first, then the board's in reading order.
            const int32_t red = position.Owned(0);
            if (red != 5) {
                replay.Problem = "deal " + std::to_string(dealt.Deal + 1) + " ended " + ScoreText(red, 10 - red) +
                                 ", not a draw, yet the record plays on";
                return replay;
            }
            int32_t next[2] = {0, 0};
            for (int32_t player = 0; player < 2; ++player)
                if (position.HandCard(4, player) >= 0)
                    hands[next[player]++][player] = dealt.Catalogue[position.HandCard(4, player)];
            for (int32_t square = 0; square < 9; ++square) {
                const int32_t owner = position.OwnerAt(square % 3, square / 3);
                hands[next[owner]++][owner] = dealt.Catalogue[position.CardAt(square % 3, square / 3)];
            }
            random.Seed(record.Seed + dealt.Deal + 1);
            dealt = Deal(dealt.Deal + 1, hands, record, position.Turn(), random, catalogue);
            position = TPosition(dealt.Setup);
        }
        const TRecordMove& played = record.Moves[i];
        const TMove move{played.Slot, played.X, played.Y};
        if (!position.IsLegal(move)) {
            replay.Problem = "move " + std::to_string(i + 1) + " is not a legal placement";
            return replay;
        }
        replay.Positions.push_back(Snapshot(position, dealt));
        position.Make(move);
    }
    replay.Positions.push_back(Snapshot(position, dealt));
    replay.Score[0] = position.Owned(0);
    replay.Score[1] = position.Owned(1);

    if (record.Ending == TMatchEnding::Finished) {
        if (record.Rules.SuddenDeath && replay.Score[0] == 5) {
            replay.Problem = "the last deal is a draw that Sudden Death deals again, yet the match is recorded as finished";
        } else if (replay.Score[0] != record.Score[0]) {
            replay.Problem = "the moves end " + ScoreText(replay.Score[0], replay.Score[1]) + ", the record says " +
                             ScoreText(record.Score[0], record.Score[1]);
        }
    }
    if (!replay.Problem.empty()) replay.Positions.clear();
    return replay;
}
