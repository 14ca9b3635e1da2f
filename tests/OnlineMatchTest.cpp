// A server's match on a table, fed the server's lines directly: a table
// built from the moves so far equals one that watched every move, the clock
// counts from the server's figure, and a table out of step asks once.
#include "GameFixture.h"
#include "net/ServerCodec.h"
#include "net/ServerMatch.h"
#include "net/TableCheck.h"

#include <random>
#include <sstream>

namespace {

constexpr int64_t Seed = 90210;

TServerMessage Line(const QString& json) {
    const ServerCodec::TDecoded decoded = ServerCodec::Decode(json.toUtf8());
    EXPECT_TRUE(decoded.Ok) << json.toStdString();
    return decoded.Message;
}

// The server's `match` (first player Blue) with its first `count` moves.
TServerMessage MatchLine(bool sudden, const std::vector<TPlacementMove>& moves, size_t count, int32_t you,
                         const QString& extra = {}) {
    QStringList made;
    for (size_t i = 0; i < count; ++i)
        made << QString("[%1,%2,%3]").arg(moves[i].Slot).arg(moves[i].X).arg(moves[i].Y);
    return Line(
        QString(R"({"type":"match","table":7,"match":70,"seed":%1,"rules":{"same":true,"same_wall":false,)"
                R"("plus":true,"elemental":false,"sudden_death":%2},"seconds":30,"first":1,)"
                R"("seats":["ann","bob"],"you":%3,"moves":[%4],"away":[false,false]%5})")
            .arg(Seed)
            .arg(sudden ? "true" : "false")
            .arg(you)
            .arg(made.join(','), extra));
}

TServerMessage MovedLine(size_t index, int32_t seat, const TPlacementMove& move, const QString& extra = {}) {
    return Line(QString(R"({"type":"moved","table":7,"index":%1,"seat":%2,"slot":%3,"x":%4,"y":%5%6})")
                    .arg(index)
                    .arg(seat)
                    .arg(move.Slot)
                    .arg(move.X)
                    .arg(move.Y)
                    .arg(extra));
}

// A whole match as the server decides it, placements by dice; each Sudden
// Death replay is dealt from the seed plus the deals before it.
std::vector<TPlacementMove> DecidedMoves(const TCardSource& cards, bool sudden, uint32_t dice,
                                         std::vector<int32_t>& seats) {
    TMatch match;
    match.Catalogue = &cards;
    TGameRules rules;
    rules.Same = rules.Plus = true;
    rules.SuddenDeath = sudden;
    match.StartMatch(Seed, 1, rules, false);
    std::mt19937 roll(dice);
    std::vector<TPlacementMove> moves;
    while (match.InProgress() && moves.size() < 40) {
        std::vector<TPlacementMove> legal;
        for (int32_t slot = 0; slot < 5; ++slot)
            for (int32_t at = 0; at < 9; ++at)
                if (match.MoveProblem(match.Turn, slot, at % 3, at / 3) == TPlacementProblem::None)
                    legal.push_back({slot, at % 3, at / 3});
        moves.push_back(legal[roll() % legal.size()]);
        seats.push_back(match.Turn);
        match.PlayMove(moves.back(), Seed + 1 + int64_t(match.Script.RedealSeeds.size()));
    }
    return moves;
}

// What the table holds and shows, in words.
std::string TableOf(const TGame& game) {
    std::ostringstream out;
    out << TableCheck::Digest(game.Match().Table(game.Phase == TGame::PhaseIdle)) << " turn " << game.Turn
        << " over " << game.GameOver << " phase " << int(game.Phase) << " cursors " << game.HandCursor << " "
        << game.BoardCursorActive << game.BoardCursorX << game.BoardCursorY << " deals";
    for (int64_t seed : game.Match().Script.RedealSeeds) out << " " << seed;
    return out.str();
}

struct TClient {
    std::unique_ptr<TGame> Game;
    std::unique_ptr<TServerMatch> Match;
    std::unique_ptr<QWidget> Widget;
    QStringList Log;
    std::vector<QByteArray> Sent;
    uint64_t NowMs = 1000;

    // Frames until `applied` moves are on the table and nothing moves; bounded.
    bool Show(int32_t applied) {
        for (int i = 1; i < 5000; ++i) {
            NowMs += 40;
            Game->DoFrame();
            Match->Step(NowMs);
            if (Match->Applied() == applied && Game->Phase == TGame::PhaseIdle) return true;
        }
        return false;
    }
    QImage Picture() {
        Game->DoFrame();
        return Game->Graphics->BackBuffer->Image().copy();
    }
};

// Each client a table with the fixture's pictures and the same forty cards.
class OnlineMatch : public TGameFixture {
protected:
    std::unique_ptr<TClient> Client() {
        auto client = std::make_unique<TClient>();
        TClient* self = client.get();
        client->Game = std::make_unique<TGame>([self] { return self->Match->DealSeconds(); },
                                               [self] { return self->NowMs * 1000; });
        std::swap(Game, client->Game);
        Game->Cards->CardTable.reset(new TCardInfo[MaxCards]);
        std::mt19937 cards(5);
        for (int i = 0; i < 40; ++i)
            AddCard({int32_t(cards() % 10 + 1), int32_t(cards() % 10 + 1), int32_t(cards() % 10 + 1),
                     int32_t(cards() % 10 + 1)},
                    int32_t(cards() % 9));
        OpenDevice();
        LoadImages();
        Game->ShowFrameRate = false;
        std::swap(Game, client->Game);
        client->Widget = std::move(Widget);
        TServerMatchHooks hooks{[self](const QString& line) { self->Log << line; },
                                [self](const QByteArray& line) { self->Sent.push_back(line); },
                                {}};
        client->Match = std::make_unique<TServerMatch>(*client->Game, std::move(hooks));
        return client;
    }
};

} // namespace

// After any number of moves, a client coming back (or a watcher arriving)
// shows exactly the table of one that watched every move, Sudden Death
// replays dealt from the server's seeds among them.
TEST_F(OnlineMatch, ATableBuiltFromTheMovesEqualsOneThatWatchedThemPixelForPixel) {
    for (bool sudden : {false, true}) {
        std::unique_ptr<TClient> watched = Client();
        std::vector<int32_t> seats;
        std::vector<TPlacementMove> moves;
        for (uint32_t dice = 1; dice < 200 && moves.size() <= (sudden ? 9u : 0u); ++dice)
            moves = DecidedMoves(*watched->Game->Match().Catalogue, sudden, dice, seats = {});
        ASSERT_GT(moves.size(), sudden ? 9u : 0u) << "a Sudden Death replay";
        watched->Match->Received(MatchLine(sudden, moves, 0, 0), watched->NowMs);
        for (size_t count = 0; count <= moves.size(); ++count) {
            if (count > 0)
                watched->Match->Received(MovedLine(count - 1, seats[count - 1], moves[count - 1]), 0);
            ASSERT_TRUE(watched->Show(int32_t(count))) << count;
            std::unique_ptr<TClient> back = Client();
            back->Match->Received(MatchLine(sudden, moves, count, 0), back->NowMs);
            EXPECT_EQ(back->Game->Phase, count == 0 ? TGame::PhaseDealing : TGame::PhaseIdle)
                << "dealt in view only when new";
            ASSERT_TRUE(back->Show(int32_t(count)));
            ASSERT_EQ(TableOf(*back->Game), TableOf(*watched->Game)) << "after " << count << " moves";
            EXPECT_TRUE(back->Picture() == watched->Picture()) << "after " << count << " moves";
            if (count == 5 && qEnvironmentVariableIsSet("VANTARO_ONLINE_SHOTS"))
                back->Picture().save(qEnvironmentVariable("VANTARO_ONLINE_SHOTS") + "/returning.png");
        }
        EXPECT_FALSE(watched->Game->InProgress);
    }
}

// The time left counts down from the server's figure as it arrived, shown
// all along; none without a figure, never more than the table's
// time a move; a dropped player's countdown from the server's seconds.
TEST_F(OnlineMatch, TheClockCountsFromTheServersFigureAsItArrived) {
    std::unique_ptr<TClient> ann = Client();
    std::vector<int32_t> seats;
    const std::vector<TPlacementMove> moves = DecidedMoves(*ann->Game->Match().Catalogue, false, 3, seats);
    const struct {
        TServerMessage Line;
        uint64_t After;
        const char* Shown;
    } clock[] = {
        {MatchLine(false, moves, 0, 0, R"(,"clock":25000)"), 14999, "bob (Blue): 11 s"},
        {MatchLine(false, moves, 0, 0, R"(,"clock":25000)"), 16001, "bob (Blue): 9 s"},
        {MatchLine(false, moves, 0, 0, R"(,"clock":25000)"), 90000, "bob (Blue): 0 s"},
        {MatchLine(false, moves, 0, 0), 29000, ""},
        {MatchLine(false, moves, 0, 0, R"(,"clock":3000000)"), 20000, "bob (Blue): 10 s"},
        {Line(R"({"type":"away","table":7,"seat":1,"seconds":45})"), 1001, "bob (Blue)'s line dropped: 44 s"},
        {Line(R"({"type":"back","table":7,"seat":1,"clock":7000})"), 0, "bob (Blue): 7 s"},
        {MovedLine(0, seats[0], moves[0], R"(,"clock":4000)"), 1500,
         "You: 3 s"}, // before Blue's card is down
    };
    for (const auto& at : clock) {
        ann->Match->Received(at.Line, ann->NowMs);
        EXPECT_EQ(ann->Match->Overlay(ann->NowMs + at.After).toStdString(), at.Shown) << at.After;
    }
    ASSERT_TRUE(ann->Show(1));
    EXPECT_FALSE(ServerCodec::Decode(R"({"type":"back","table":7,"seat":1,"clock":-5})").Ok);
}

// A move missing or one that does not play here: the table asks for the match
// once (one request, one log line, later moves ignored meanwhile) and is
// built from the answer; an answer that does not replay stops the table.
TEST_F(OnlineMatch, ATableOutOfStepAsksOnceAndIsBuiltFromTheAnswer) {
    std::unique_ptr<TClient> reference = Client();
    std::vector<int32_t> seats;
    const std::vector<TPlacementMove> moves =
        DecidedMoves(*reference->Game->Match().Catalogue, false, 11, seats);
    reference->Match->Received(MatchLine(false, moves, 7, -1), 0);
    TPlacementMove occupied = moves[0];
    occupied.Slot = 0;
    std::vector<TPlacementMove> broken = moves;
    broken[3] = occupied;
    for (const TServerMessage& fault : {MovedLine(4, seats[4], moves[4]), MovedLine(3, seats[3], occupied)})
        for (bool sound : {true, false}) {
            std::unique_ptr<TClient> cid = Client();
            cid->Match->Received(MatchLine(false, moves, 3, 0), cid->NowMs);
            ASSERT_TRUE(cid->Show(3));
            cid->Match->Received(fault, cid->NowMs);
            for (size_t later = 4; later < 7; ++later)
                cid->Match->Received(MovedLine(later, seats[later], moves[later]), 0);
            cid->Show(3);
            EXPECT_FALSE(cid->Match->LocalMayMove());
            EXPECT_EQ(cid->Match->Applied(), 3);
            cid->Match->Received(MatchLine(false, sound ? moves : broken, 7, -1), cid->NowMs);
            // Play goes on after a sound answer; a stopped table asks no more.
            cid->Match->Received(sound ? MovedLine(7, seats[7], moves[7]) : MovedLine(9, seats[0], moves[0]),
                                 0);
            EXPECT_EQ(std::count(cid->Sent.begin(), cid->Sent.end(), ServerCodec::State()), 1);
            EXPECT_EQ(cid->Log.filter("out of step").size(), 1);
            EXPECT_EQ(cid->Log.filter("Table 7").size(), 1) << "the answer is no new match";
            EXPECT_EQ(cid->Match->Active(), sound);
            if (sound) {
                EXPECT_EQ(TableOf(*cid->Game), TableOf(*reference->Game));
                EXPECT_TRUE(cid->Show(8));
            }
        }

    // Asked, the server has no match at this table any more: the table stops rather than wait.
    std::unique_ptr<TClient> eve = Client();
    eve->Match->Received(MatchLine(false, moves, 3, 0), 0);
    eve->Match->Received(MovedLine(6, seats[6], moves[6]), 0);
    eve->Match->Received(
        Line(R"({"type":"table","table":8,"rules":{"same":true,"same_wall":false,"plus":true,)"
             R"("elemental":false,"sudden_death":false},"seconds":30,"seats":["ann",""],)"
             R"("watchers":0,"playing":false})"),
        0);
    EXPECT_TRUE(eve->Match->Active()) << "another table's news";
    eve->Match->Received(Line(R"({"type":"lobby","players":[],"tables":[]})"), 0);
    EXPECT_FALSE(eve->Match->Active());

    // A match of this player's own arriving while the table is held asks for it back.
    int wanted = 0;
    TServerMatch ann(*reference->Game, {{}, {}, [&] { ++wanted; }});
    ann.Hold();
    ann.Received(MatchLine(false, moves, 0, -1), 0);
    ann.Received(MatchLine(false, moves, 0, 1), 0);
    EXPECT_EQ(wanted, 1);
}
