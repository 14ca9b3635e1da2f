// A server's match on a table, fed the server's lines directly: a table
// built from the moves so far equals one that watched every move, the clock
// counts from the server's figure, and a table out of step asks for the
// match once and is built again from the answer.
#include "GameFixture.h"
#include "net/ServerCodec.h"
#include "net/ServerMatch.h"
#include "net/TableCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <random>
#include <sstream>

namespace {

constexpr int64_t Seed = 90210;
constexpr int32_t First = 1;

QJsonObject RulesObject(const TGameRules& rules) {
    return {{"same", rules.Same},
            {"same_wall", rules.SameWall},
            {"plus", rules.Plus},
            {"elemental", rules.Elemental},
            {"sudden_death", rules.SuddenDeath}};
}

TServerMessage Decoded(const QJsonObject& object) {
    const ServerCodec::TDecoded decoded = ServerCodec::Decode(QJsonDocument(object).toJson(QJsonDocument::Compact));
    EXPECT_TRUE(decoded.Ok) << decoded.Error.toStdString();
    return decoded.Message;
}

// The server's `match` with the first `count` moves; clock < 0 leaves it out.
TServerMessage MatchLine(const TGameRules& rules, const std::vector<TServerMove>& moves, size_t count,
                         int32_t you = 0, int64_t clock = -1, int32_t seconds = 60) {
    QJsonArray made;
    for (size_t i = 0; i < count; ++i) made.append(QJsonArray{moves[i].Slot, moves[i].X, moves[i].Y});
    QJsonObject line{{"type", "match"},   {"table", 7},         {"match", 70},          {"seed", double(Seed)},
                     {"rules", RulesObject(rules)}, {"seconds", seconds}, {"first", First},
                     {"seats", QJsonArray{"ann", "bob"}}, {"you", you}, {"moves", made},
                     {"away", QJsonArray{false, false}}};
    if (clock >= 0) line["clock"] = double(clock);
    return Decoded(line);
}

TServerMessage MovedLine(int32_t index, int32_t seat, const TServerMove& move, int64_t clock = -1) {
    QJsonObject line{{"type", "moved"}, {"table", 7},      {"index", index}, {"seat", seat},
                     {"slot", move.Slot}, {"x", move.X}, {"y", move.Y}};
    if (clock >= 0) line["clock"] = double(clock);
    return Decoded(line);
}

// A whole match as the server decides it: placements by dice, each Sudden
// Death replay dealt from the seed plus the deals before it. The seat of
// each mover goes in `seats`.
std::vector<TServerMove> DecidedMoves(const TCardSource& cards, const TGameRules& rules, uint32_t dice,
                                      std::vector<int32_t>& seats, int32_t& redeals) {
    TMatch match;
    match.Catalogue = &cards;
    match.StartMatch(Seed, First, rules, false);
    std::mt19937 roll(dice);
    std::vector<TServerMove> moves;
    seats.clear();
    int64_t deals = 1;
    while (match.InProgress && moves.size() < 40) {
        std::vector<TServerMove> legal;
        for (int32_t slot = 0; slot < 5; ++slot)
            for (int32_t square = 0; square < 9; ++square)
                if (match.MoveProblem(match.Turn, slot, square % 3, square / 3) == TPlacementProblem::None)
                    legal.push_back({slot, square % 3, square / 3});
        const TServerMove move = legal[roll() % legal.size()];
        seats.push_back(match.Turn);
        const size_t before = match.Script.RedealSeeds.size();
        match.PlayMove({move.Slot, move.X, move.Y}, Seed + deals);
        if (match.Script.RedealSeeds.size() != before) ++deals;
        moves.push_back(move);
    }
    redeals = int32_t(deals - 1);
    return moves;
}

// What the table shows and holds, in words, for a readable difference.
std::string TableOf(const TGame& game) {
    std::ostringstream out;
    out << "digest " << TableCheck::Digest(game.Table(game.Phase == TGame::PhaseIdle)) << " turn " << game.Turn
        << " score " << game.Score[0] << "-" << game.Score[1] << " in progress " << game.InProgress << " over "
        << game.GameOver << " phase " << int(game.Phase) << " hand cursor " << game.HandCursor << " board cursor "
        << game.BoardCursorActive << "@" << game.BoardCursorX << "," << game.BoardCursorY << " moves "
        << game.Script.Moves.size() << " redeals";
    for (int64_t seed : game.Script.RedealSeeds) out << " " << seed;
    return out.str();
}

// One client's program: a table with pictures, a server match on it, and
// the clocks in the test's hands.
struct TClient {
    std::unique_ptr<TGame> Game;
    std::unique_ptr<TServerMatch> Match;
    std::unique_ptr<QWidget> Widget;
    QStringList Log;
    std::vector<QByteArray> Sent;
    uint64_t NowMs = 1000;

    // Frames until `applied` moves are on the table and nothing moves; bounded.
    bool Show(int32_t applied) {
        for (int i = 0; i < 5000; ++i) {
            if (Match->Applied() == applied && Game->Phase == TGame::PhaseIdle && i > 0) return true;
            NowMs += 40;
            Game->DoFrame();
            Match->Step(NowMs);
        }
        return false;
    }
    // The picture of the next frame.
    QImage Picture() {
        NowMs += 16;
        Game->DoFrame();
        return Game->Graphics->BackBuffer->Image().copy();
    }
};

class OnlineMatch : public TGameFixture {
protected:
    void SetUp() override {
        TGameFixture::SetUp();
        // The catalogue every client loads: forty cards with ranks by dice.
        std::mt19937 cards(5);
        std::uniform_int_distribution<int32_t> rank(1, 10), element(0, 8);
        for (int i = 0; i < 40; ++i) Ranks.push_back({{rank(cards), rank(cards), rank(cards), rank(cards)}, element(cards)});
    }

    std::unique_ptr<TClient> Client() {
        auto client = std::make_unique<TClient>();
        TClient* self = client.get();
        client->Game = std::make_unique<TGame>([self] { return self->Match->DealSeconds(); },
                                               [self] { return self->NowMs * 1000; });
        std::swap(Game, client->Game);
        Game->Cards->CardTable.reset(new TCardInfo[MaxCards]);
        for (const auto& [ranks, element] : Ranks) AddCard(ranks, element);
        OpenDevice();
        LoadImages();
        Game->ShowFrameRate = false;
        std::swap(Game, client->Game);
        client->Widget = std::move(Widget);
        TServerMatchHooks hooks;
        hooks.Log = [self](const QString& line) { self->Log << line; };
        hooks.Send = [self](const QByteArray& line) { self->Sent.push_back(line); };
        client->Match = std::make_unique<TServerMatch>(*client->Game, std::move(hooks));
        return client;
    }

    std::vector<std::pair<std::array<int32_t, 4>, int32_t>> Ranks;
};

} // namespace

// After any number of moves, a client coming back (or a watcher arriving)
// shows exactly the table of one that watched every move: the same match,
// cursors and picture, with a Sudden Death replay dealt from the server's
// seeds among them.
TEST_F(OnlineMatch, ATableBuiltFromTheMovesEqualsOneThatWatchedThemPixelForPixel) {
    TGameRules plain;
    plain.Same = plain.Plus = plain.Elemental = true;
    TGameRules sudden;
    sudden.Same = sudden.SuddenDeath = true;
    for (const TGameRules& rules : {plain, sudden}) {
        std::unique_ptr<TClient> watched = Client();
        std::vector<int32_t> seats;
        int32_t redeals = 0;
        std::vector<TServerMove> moves;
        // Dice that make the Sudden Death match deal again at least once.
        for (uint32_t dice = 1; dice < 200; ++dice) {
            moves = DecidedMoves(*watched->Game->Catalogue, rules, dice, seats, redeals);
            if (!rules.SuddenDeath || redeals > 0) break;
        }
        ASSERT_TRUE(!rules.SuddenDeath || redeals > 0);

        watched->Match->Received(MatchLine(rules, moves, 0), watched->NowMs);
        ASSERT_TRUE(watched->Show(0));
        for (size_t count = 0; count <= moves.size(); ++count) {
            if (count > 0) {
                watched->Match->Received(MovedLine(int32_t(count - 1), seats[count - 1], moves[count - 1]),
                                         watched->NowMs);
                ASSERT_TRUE(watched->Show(int32_t(count))) << count;
            }
            std::unique_ptr<TClient> back = Client();
            back->Match->Received(MatchLine(rules, moves, count), back->NowMs);
            EXPECT_EQ(back->Game->Phase, count == 0 ? TGame::PhaseDealing : TGame::PhaseIdle)
                << "only a new match is dealt before the players' eyes";
            ASSERT_TRUE(back->Show(int32_t(count)));
            ASSERT_EQ(TableOf(*back->Game), TableOf(*watched->Game)) << "after " << count << " moves";
            const QImage backPicture = back->Picture(), watchedPicture = watched->Picture();
            EXPECT_TRUE(backPicture == watchedPicture) << "after " << count << " moves";
            if (backPicture != watchedPicture && qEnvironmentVariableIsSet("DUMPDIFF")) {
                backPicture.save(QString("/tmp/online-back-%1.png").arg(count));
                watchedPicture.save(QString("/tmp/online-watched-%1.png").arg(count));
            }
            if (count == 5) {
                const QString keep = qEnvironmentVariable("VANTARO_ONLINE_SHOTS");
                if (!keep.isEmpty()) back->Game->Graphics->BackBuffer->Image().save(keep + "/returning.png");
            }
        }
        EXPECT_FALSE(watched->Game->InProgress);
        EXPECT_EQ(watched->Match->Applied(), int32_t(moves.size()));
    }
}

// The time left counts down from the server's figure as it arrived, shown
// in the last ten seconds; a table without one shows none, a figure beyond
// the table's time a move is cut to it, and a dropped player's countdown
// runs from the server's seconds.
TEST_F(OnlineMatch, TheClockCountsFromTheServersFigureAsItArrived) {
    std::unique_ptr<TClient> ann = Client();
    TGameRules rules;
    std::vector<int32_t> seats;
    int32_t redeals = 0;
    const std::vector<TServerMove> moves = DecidedMoves(*ann->Game->Catalogue, rules, 3, seats, redeals);
    auto overlay = [&](uint64_t after) { return ann->Match->Overlay(ann->NowMs + after).toStdString(); };

    // Blue (seat 1) to move first, with 25 s of 30 left.
    const uint64_t arrived = ann->NowMs;
    ann->Match->Received(MatchLine(rules, moves, 0, 0, 25000, 30), arrived);
    const struct {
        uint64_t After;
        const char* Shown;
    } clock[] = {{0, ""},
                 {14999, ""},
                 {15000, "bob (Blue): 10 s"},
                 {16001, "bob (Blue): 9 s"},
                 {25000, "bob (Blue): 0 s"},
                 {90000, "bob (Blue): 0 s"}};
    for (const auto& at : clock) EXPECT_EQ(ann->Match->Overlay(arrived + at.After).toStdString(), at.Shown) << at.After;
    ASSERT_TRUE(ann->Show(0));

    // Blue has moved: Red's clock from the `moved` line, after the move has played.
    ann->Match->Received(MovedLine(0, seats[0], moves[0], 4000), ann->NowMs);
    const uint64_t movedAt = ann->NowMs;
    ASSERT_TRUE(ann->Show(1));
    EXPECT_EQ(ann->Match->Overlay(movedAt + 1500).toStdString(), "You: 3 s");

    // Away stops the clock and counts the seat's time; back brings the server's clock.
    TServerMessage away = Decoded({{"type", "away"}, {"table", 7}, {"seat", 1}, {"seconds", 45}});
    ann->Match->Received(away, ann->NowMs);
    EXPECT_EQ(overlay(0), "bob (Blue)'s line dropped: 45 s");
    EXPECT_EQ(overlay(1001), "bob (Blue)'s line dropped: 44 s");
    ann->Match->Received(Decoded({{"type", "back"}, {"table", 7}, {"seat", 1}, {"clock", 7000}}), ann->NowMs);
    EXPECT_EQ(overlay(0), "You: 7 s");
    EXPECT_FALSE(ann->Match->Held());

    // No figure, no clock; a figure beyond the table's 30 s is cut to it.
    ann->Match->Received(Decoded({{"type", "back"}, {"table", 7}, {"seat", 1}}), ann->NowMs);
    EXPECT_EQ(overlay(29000), "");
    ann->Match->Received(Decoded({{"type", "back"}, {"table", 7}, {"seat", 1}, {"clock", 3000000}}), ann->NowMs);
    EXPECT_EQ(overlay(20000), "You: 10 s");
    EXPECT_FALSE(ServerCodec::Decode(R"({"type":"back","table":7,"seat":1,"clock":-5})").Ok);
    EXPECT_FALSE(ServerCodec::Decode(R"({"type":"back","table":7,"seat":1,"clock":"soon"})").Ok);
}

// A move missing or one that does not play here: the table asks for the
// match once (one request, one line in the log, nothing more while it is
// asked), is built from the answer and goes on; an answer that does not
// replay, or none, stops the table rather than asking again.
TEST_F(OnlineMatch, ATableOutOfStepAsksOnceAndIsBuiltFromTheAnswer) {
    TGameRules rules;
    rules.Plus = true;
    std::vector<int32_t> seats;
    int32_t redeals = 0;
    std::unique_ptr<TClient> reference = Client();
    const std::vector<TServerMove> moves = DecidedMoves(*reference->Game->Catalogue, rules, 11, seats, redeals);
    ASSERT_EQ(moves.size(), 9u);
    reference->Match->Received(MatchLine(rules, moves, 7, -1), reference->NowMs);

    const auto asked = [](const TClient& client) {
        return std::count(client.Sent.begin(), client.Sent.end(), ServerCodec::State());
    };
    const auto outOfStep = [](const TClient& client) {
        return client.Log.filter("out of step").size();
    };
    TServerMove occupied = moves[0];
    occupied.Slot = 0;
    const struct {
        const char* Fault;
        TServerMessage Line;
    } faults[] = {
        {"a move missing", MovedLine(4, seats[4], moves[4])},
        {"a move that does not play here", MovedLine(3, seats[3], occupied)},
    };
    for (const auto& fault : faults) {
        std::unique_ptr<TClient> cid = Client();
        cid->Match->Received(MatchLine(rules, moves, 3, -1), cid->NowMs);
        ASSERT_TRUE(cid->Show(3));
        cid->Match->Received(fault.Line, cid->NowMs);
        cid->Show(3);
        EXPECT_TRUE(cid->Match->AwaitingState()) << fault.Fault;
        for (int32_t later = 4; later < 7; ++later) cid->Match->Received(MovedLine(later, seats[later], moves[later]), cid->NowMs);
        cid->Show(3);
        EXPECT_EQ(asked(*cid), 1) << fault.Fault;
        EXPECT_EQ(outOfStep(*cid), 1) << fault.Fault;
        EXPECT_EQ(cid->Match->Applied(), 3) << fault.Fault;

        cid->Match->Received(MatchLine(rules, moves, 7, -1), cid->NowMs);
        EXPECT_FALSE(cid->Match->AwaitingState());
        EXPECT_EQ(cid->Game->Phase, TGame::PhaseIdle) << "built without animation";
        EXPECT_EQ(TableOf(*cid->Game), TableOf(*reference->Game)) << fault.Fault;
        EXPECT_EQ(cid->Log.filter("Table 7").size(), 1) << "the answer is no new match";
        cid->Match->Received(MovedLine(7, seats[7], moves[7]), cid->NowMs);
        ASSERT_TRUE(cid->Show(8)) << "play goes on";
        EXPECT_EQ(asked(*cid), 1);
    }

    // An answer that does not replay stops the table; a second fault asks no more.
    std::unique_ptr<TClient> dee = Client();
    dee->Match->Received(MatchLine(rules, moves, 3, -1), dee->NowMs);
    ASSERT_TRUE(dee->Show(3));
    dee->Match->Received(MovedLine(5, seats[5], moves[5]), dee->NowMs);
    std::vector<TServerMove> broken(moves.begin(), moves.begin() + 4);
    broken[3] = occupied;
    dee->Match->Received(MatchLine(rules, broken, 4, -1), dee->NowMs);
    dee->Show(3);
    EXPECT_FALSE(dee->Match->Active());
    EXPECT_FALSE(dee->Game->InProgress) << "the table stops as it stands";
    dee->Match->Received(MovedLine(9, seats[0], moves[0]), dee->NowMs);
    EXPECT_EQ(asked(*dee), 1);

    // Asked, the server has this client at no table.
    std::unique_ptr<TClient> eve = Client();
    eve->Match->Received(MatchLine(rules, moves, 3, 0), eve->NowMs);
    ASSERT_TRUE(eve->Show(3));
    eve->Match->Received(MovedLine(6, seats[6], moves[6]), eve->NowMs);
    EXPECT_FALSE(eve->Match->LocalMayMove());
    eve->Match->Received(Decoded({{"type", "lobby"}, {"players", QJsonArray{}}, {"tables", QJsonArray{}}}), eve->NowMs);
    EXPECT_FALSE(eve->Match->Active());
    EXPECT_EQ(asked(*eve), 1);
}

// A table lent to a replay: the server's moves and end are followed but
// never reach the table; given back, it is the table as the server has it.
TEST_F(OnlineMatch, AHeldTableIsBroughtUpToDateWhenGivenBack) {
    TGameRules rules;
    rules.Same = true;
    std::vector<int32_t> seats;
    int32_t redeals = 0;
    std::unique_ptr<TClient> reference = Client();
    const std::vector<TServerMove> moves = DecidedMoves(*reference->Game->Catalogue, rules, 21, seats, redeals);
    ASSERT_EQ(moves.size(), 9u);

    std::unique_ptr<TClient> cid = Client();
    cid->Match->Received(MatchLine(rules, moves, 2, -1), cid->NowMs);
    ASSERT_TRUE(cid->Show(2));
    const std::string before = TableOf(*cid->Game);
    cid->Match->Hold();
    EXPECT_FALSE(cid->Match->Seated());
    for (int32_t index = 2; index < 9; ++index) {
        cid->Match->Received(MovedLine(index, seats[index], moves[index], 20000), cid->NowMs);
        cid->Show(2);
    }
    cid->Match->Received(Decoded({{"type", "ended"}, {"table", 7}, {"how", "finished"}, {"winner", 0},
                                  {"score", QJsonArray{6, 4}}}),
                         cid->NowMs);
    cid->Show(2);
    EXPECT_EQ(TableOf(*cid->Game), before) << "nothing reaches a held table";
    EXPECT_EQ(cid->Match->Overlay(cid->NowMs + 15000), "");
    cid->Match->Release();
    ASSERT_TRUE(cid->Show(9));
    reference->Match->Received(MatchLine(rules, moves, 9, -1), reference->NowMs);
    EXPECT_EQ(TableOf(*cid->Game), TableOf(*reference->Game));
    EXPECT_TRUE(cid->Log.join("|").contains("wins 6–4")) << cid->Log.join("|").toStdString();
    EXPECT_FALSE(cid->Match->Active());

    // A match this player sits in, arriving while held, asks for the table back.
    int wanted = 0;
    TServerMatchHooks hooks;
    hooks.TableWanted = [&] { ++wanted; };
    TServerMatch ann(*cid->Game, std::move(hooks));
    ann.Hold();
    ann.Received(MatchLine(rules, moves, 0, -1), cid->NowMs);
    EXPECT_EQ(wanted, 0) << "watching waits";
    ann.Received(MatchLine(rules, moves, 0, 1), cid->NowMs);
    EXPECT_EQ(wanted, 1);
    EXPECT_TRUE(ann.Seated());
}
