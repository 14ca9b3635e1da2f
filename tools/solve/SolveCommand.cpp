#include "tools/solve/SolveCommand.h"

#include "ai/MatchReview.h"
#include "ai/Position.h"
#include "ai/RecordReplay.h"
#include "ai/Solver.h"
#include "cards/CardInfo.h"
#include "cards/CardRecordReader.h"
#include "protocol/RulesJson.h"
#include "records/RecordJson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <optional>
#include <sstream>

namespace {

constexpr int32_t Refused = 2;

// A refusal: the first thing found wrong with the input.
struct TRefusal {
    std::string Reason;
};

std::optional<int64_t> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (std::floor(number) != number || std::fabs(number) > 1e15) return std::nullopt;
    return int64_t(number);
}

int32_t NumberIn(const QJsonValue& value, int64_t low, int64_t high, const std::string& what) {
    const std::optional<int64_t> number = WholeNumber(value);
    if (!number) throw TRefusal{what + " must be a whole number"};
    if (*number < low || *number > high)
        throw TRefusal{what + " is " + std::to_string(*number) + ", outside " + std::to_string(low) + " to " +
                       std::to_string(high)};
    return int32_t(*number);
}

QJsonValue Field(const QJsonObject& object, const char* name, const std::string& where) {
    if (!object.contains(QLatin1String(name))) throw TRefusal{"missing field " + where + name};
    return object.value(QLatin1String(name));
}

QJsonArray ArrayOf(const QJsonValue& value, qsizetype size, const std::string& what) {
    if (!value.isArray() || (size >= 0 && value.toArray().size() != size))
        throw TRefusal{what +
                       (size >= 0 ? " must be an array of " + std::to_string(size) : " must be an array")};
    return value.toArray();
}

TCardValues CardFrom(const QJsonValue& value, const std::string& what) {
    const QJsonArray fields = ArrayOf(value, 5, what);
    TCardValues card;
    static const char* const sides[4] = {"top", "right", "bottom", "left"};
    for (int32_t side = 0; side < 4; ++side)
        card.Ranks[side] = NumberIn(fields[side], 1, 10, what + " " + sides[side] + " rank");
    card.Element = NumberIn(fields[4], 0, 8, what + " element");
    return card;
}

struct TCatalogue {
    std::vector<TCardValues> Cards;
    std::vector<std::string> Names;
};

TCatalogue ReadCatalogue(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) throw TRefusal{"cannot read the catalogue " + path};
    const std::string text = file.readAll().toStdString();
    std::istringstream words(text);
    size_t tokens = 0;
    for (std::string word; words >> word;) ++tokens;
    if (tokens % 6 != 0) throw TRefusal{"the catalogue " + path + " ends inside a record"};
    TCardRecordReader reader(text);
    TCatalogue catalogue;
    for (size_t i = 0; i < tokens / 6; ++i) {
        TCardInfo info;
        std::string error;
        if (!reader.ReadRecord(int32_t(i + 1), info, error))
            throw TRefusal{"catalogue " + path + ": " + error};
        catalogue.Cards.push_back({info.Ranks, info.Element});
        catalogue.Names.push_back(info.Name);
    }
    return catalogue;
}

TPositionSetup SetupFrom(const QJsonObject& root, const std::optional<std::string>& catalogue) {
    TPositionSetup setup;
    std::vector<bool> checked;
    if (catalogue) {
        if (root.contains(QLatin1String("cards"))) throw TRefusal{"cards given together with --catalogue"};
        setup.Cards = ReadCatalogue(*catalogue).Cards;
        checked.assign(setup.Cards.size(), false);
    } else {
        const QJsonArray cards = ArrayOf(Field(root, "cards", ""), -1, "cards");
        for (qsizetype i = 0; i < cards.size(); ++i)
            setup.Cards.push_back(CardFrom(cards[i], "cards[" + std::to_string(i) + "]"));
        checked.assign(setup.Cards.size(), true);
    }
    const int64_t lastCard = int64_t(setup.Cards.size()) - 1;
    // A catalogue card is checked only once a position uses it.
    auto use = [&](int32_t index, const std::string& what) {
        if (checked[index]) return;
        const TCardValues& card = setup.Cards[index];
        for (int32_t side = 0; side < 4; ++side)
            if (card.Ranks[side] < 1 || card.Ranks[side] > 10)
                throw TRefusal{what + ": catalogue record " + std::to_string(index) + " has rank " +
                               std::to_string(card.Ranks[side]) + ", outside 1 to 10"};
        checked[index] = true;
    };

    const QJsonValue rulesValue = Field(root, "rules", "");
    if (!rulesValue.isObject()) throw TRefusal{"rules must be an object"};
    const QJsonObject rules = rulesValue.toObject();
    // Sudden Death decides nothing about one position, so a position need not say it.
    for (const RulesJson::TSwitch& entry : RulesJson::Switches) {
        if (entry.Field == &TGameRules::SuddenDeath) continue;
        const QJsonValue value = Field(rules, entry.Name, "rules.");
        if (!value.isBool()) throw TRefusal{std::string("rules.") + entry.Name + " must be true or false"};
        setup.Rules.*entry.Field = value.toBool();
    }

    if (root.contains(QLatin1String("elements"))) {
        const QJsonArray rows = ArrayOf(root.value(QLatin1String("elements")), 3, "elements");
        for (int32_t y = 0; y < 3; ++y) {
            const std::string row = "elements[" + std::to_string(y) + "]";
            const QJsonArray squares = ArrayOf(rows[y], 3, row);
            for (int32_t x = 0; x < 3; ++x) {
                const int32_t element = NumberIn(squares[x], 0, 8, row + "[" + std::to_string(x) + "]");
                // Element squares count only under the Elemental rule.
                setup.Elements[y][x] = setup.Rules.Elemental ? element : 0;
            }
        }
    }

    int32_t onBoard = 0;
    const QJsonArray rows = ArrayOf(Field(root, "board", ""), 3, "board");
    for (int32_t y = 0; y < 3; ++y) {
        const std::string row = "board[" + std::to_string(y) + "]";
        const QJsonArray squares = ArrayOf(rows[y], 3, row);
        for (int32_t x = 0; x < 3; ++x) {
            const std::string what = row + "[" + std::to_string(x) + "]";
            if (squares[x].isNull()) continue;
            if (!squares[x].isObject()) throw TRefusal{what + " must be null or {\"card\", \"owner\"}"};
            const QJsonObject square = squares[x].toObject();
            const int32_t card = NumberIn(Field(square, "card", what + "."), 0, lastCard, what + ".card");
            use(card, what);
            setup.Board[y][x] = {card, NumberIn(Field(square, "owner", what + "."), 0, 1, what + ".owner")};
            ++onBoard;
        }
    }

    int32_t held[2] = {0, 0};
    const QJsonArray hands = ArrayOf(Field(root, "hands", ""), 2, "hands");
    for (int32_t player = 0; player < 2; ++player) {
        const std::string hand = "hands[" + std::to_string(player) + "]";
        const QJsonArray entries = ArrayOf(hands[player], 5, hand);
        for (int32_t slot = 0; slot < 5; ++slot) {
            const std::string what = hand + "[" + std::to_string(slot) + "]";
            const int32_t card = NumberIn(entries[slot], -1, lastCard, what);
            if (card >= 0) {
                use(card, what);
                ++held[player];
            } else if (held[player] > 0) {
                throw TRefusal{hand + " has an empty slot below a card; hands are packed toward slot 4"};
            }
            setup.Hands[slot][player] = card;
        }
    }
    setup.Turn = NumberIn(Field(root, "turn", ""), 0, 1, "turn");

    if (onBoard == 9) throw TRefusal{"the board is full: there is no move to make"};
    if (onBoard + held[0] + held[1] != 10)
        throw TRefusal{"board and hands hold " + std::to_string(onBoard + held[0] + held[1]) +
                       " cards together, not 10"};
    const int32_t mover = held[setup.Turn], other = held[1 - setup.Turn];
    if (mover < other || mover > other + 1)
        throw TRefusal{"the player to move holds " + std::to_string(mover) + " cards and the other " +
                       std::to_string(other) + "; the player to move holds as many or one more"};
    return setup;
}

QJsonObject MoveObject(const TScoredMove& scored) {
    QJsonObject move;
    move.insert(QStringLiteral("slot"), scored.Move.Slot);
    move.insert(QStringLiteral("x"), scored.Move.X);
    move.insert(QStringLiteral("y"), scored.Move.Y);
    move.insert(QStringLiteral("score"), scored.Score);
    return move;
}

QJsonObject MoveOf(const TPlacementMove& move, int32_t card, const TCatalogue& catalogue) {
    return QJsonObject{{"slot", move.Slot},
                       {"x", move.X},
                       {"y", move.Y},
                       {"card", card},
                       {"name", QString::fromStdString(catalogue.Names[card])}};
}

// Every move of a match record with what it forced and the best available.
QByteArray Review(const std::string& file, const std::string& cataloguePath) {
    const TRecordReading reading = ReadRecordFile(QString::fromStdString(file));
    if (!reading.Record) throw TRefusal{reading.Problem};
    const TMatchRecord& record = *reading.Record;
    const TCatalogue catalogue = ReadCatalogue(cataloguePath);
    for (const TCardValues& card : catalogue.Cards)
        for (int32_t rank : card.Ranks)
            if (rank < 1 || rank > 10)
                throw TRefusal{"the catalogue " + cataloguePath + " has a rank outside 1 to 10"};
    const TReplay replay = ReplayRecord(record, catalogue.Cards);
    if (!replay.Problem.empty()) throw TRefusal{file + ": " + replay.Problem};

    QElapsedTimer clock;
    clock.start();
    const std::optional<TMatchReview> review = ReviewMatch(record, replay);
    QJsonArray moves;
    for (const TReviewedMove& move : review->Moves) {
        QJsonObject entry = MoveOf(move.Move, move.Card, catalogue);
        entry.insert(QStringLiteral("number"), move.Number);
        entry.insert(QStringLiteral("deal"), move.Deal);
        entry.insert(QStringLiteral("player"), move.Player);
        entry.insert(QStringLiteral("forced"), move.Forced);
        entry.insert(QStringLiteral("best"), move.Best);
        entry.insert(QStringLiteral("best_move"), MoveOf(move.BestMove, move.BestCard, catalogue));
        entry.insert(QStringLiteral("threw_away_result"), move.ThrewAwayResult());
        entry.insert(QStringLiteral("text"), QString::fromStdString(ReviewLine(move, catalogue.Names)));
        moves.append(entry);
    }
    QJsonObject answer;
    answer.insert(QStringLiteral("moves"), moves);
    answer.insert(QStringLiteral("score"), QJsonArray{replay.Score[0], replay.Score[1]});
    answer.insert(QStringLiteral("ms"), clock.elapsed());
    return QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int RunSolveCommand(const std::vector<std::string>& arguments, const QByteArray& input, QByteArray& output,
                    std::string& error) {
    try {
        bool bestOnly = false;
        std::optional<std::string> catalogue, review;
        for (size_t i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == "--best") {
                bestOnly = true;
            } else if (arguments[i] == "--review") {
                if (i + 1 >= arguments.size()) throw TRefusal{"--review needs a match record"};
                review = arguments[++i];
            } else if (arguments[i] == "--catalogue") {
                if (i + 1 >= arguments.size()) throw TRefusal{"--catalogue needs a file"};
                catalogue = arguments[++i];
            } else {
                throw TRefusal{"unknown argument " + arguments[i] +
                               "; usage: vantaro-solve [--best] [--catalogue FILE] < position.json, or "
                               "vantaro-solve --review RECORD [--catalogue FILE]"};
            }
        }
        if (review) {
            if (bestOnly) throw TRefusal{"--best does not go with --review"};
            // A record names cards by their place in the catalogue the game reads.
            output = Review(*review, catalogue.value_or("Data/Cards.dat"));
            return 0;
        }

        QJsonParseError parse;
        const QJsonDocument document = QJsonDocument::fromJson(input, &parse);
        if (parse.error != QJsonParseError::NoError)
            throw TRefusal{"not JSON: " + parse.errorString().toStdString() + " at offset " +
                           std::to_string(parse.offset)};
        if (!document.isObject()) throw TRefusal{"the position must be a JSON object"};
        const TPosition position(SetupFrom(document.object(), catalogue));

        QElapsedTimer clock;
        clock.start();
        TSolver solver;
        const std::optional<TSolution> solution =
            bestOnly ? solver.SolveBest(position) : solver.SolveAll(position);
        const qint64 elapsed = clock.elapsed();

        QJsonArray moves;
        for (const TScoredMove& move : solution->Moves) moves.append(MoveObject(move));
        QJsonObject answer;
        answer.insert(QStringLiteral("score"), solution->Score);
        answer.insert(QStringLiteral("moves"), moves);
        answer.insert(QStringLiteral("nodes"), qint64(solution->Nodes));
        answer.insert(QStringLiteral("ms"), elapsed);
        output = QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n';
        return 0;
    } catch (const TRefusal& refusal) {
        error = refusal.Reason;
        return Refused;
    }
}
