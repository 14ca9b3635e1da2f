// The table tells what happens at it, once and in order, with who sits where,
// for every way a match comes to the table; the rules core, replaying the
// script the table ended with, says independently what it should have told.
#include "GameFixture.h"
#include "NetFixture.h"
#include "app/ReplayView.h"
#include "game/KeyRoute.h"
#include "net/ServerCodec.h"
#include "net/ServerMatch.h"

#include <random>

namespace {

std::string Words(const TTableEvent& e) {
    static const char* const kinds[] = {"dealt ", "placed ", "group ", "redealt", "ended ", "left"};
    const std::string details[] = {std::to_string(int(e.Seats.Kind)) + "/" + std::to_string(e.Seats.Person),
                                   std::to_string(e.Move.X) + std::to_string(e.Move.Y),
                                   std::to_string(e.Group),
                                   "",
                                   e.How == TTableEvent::THow::Stopped
                                       ? "stopped"
                                       : std::to_string(e.Score[0]) + "-" + std::to_string(e.Score[1]),
                                   ""};
    return kinds[int(e.Kind)] + details[int(e.Kind)];
}

// What the rules core, with nothing shown, says the placements of `script`
// from the `from`th on should tell: each placement, its groups in showing
// order, and a Sudden Death replay or the end after the last card.
std::vector<std::string> Told(const TMatchScript& script, const TCardSource& cards, size_t from) {
    TMatch match;
    match.Catalogue = &cards;
    match.StartMatch(script.Seed, script.FirstPlayer, script.Rules, false);
    std::vector<std::string> told;
    for (size_t i = 0; i < script.Moves.size() && match.InProgress(); ++i) {
        const size_t deals = match.Script.RedealSeeds.size();
        const std::vector<TShownCaptures> groups = match.PlayMove(
            script.Moves[i], deals < script.RedealSeeds.size() ? script.RedealSeeds[deals] : script.Seed);
        if (i < from) continue;
        told.push_back("placed " + std::to_string(script.Moves[i].X) + std::to_string(script.Moves[i].Y));
        for (const TShownCaptures& group : groups) told.push_back("group " + std::to_string(group.Kind));
        if (match.Script.RedealSeeds.size() > deals) told.push_back("redealt");
        if (match.GameOver())
            told.push_back("ended " + std::to_string(match.Score[0]) + "-" + std::to_string(match.Score[1]));
    }
    return told;
}

TPlacementMove AnyMove(const TMatch& match, std::mt19937& dice) {
    std::vector<TPlacementMove> legal;
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t at = 0; at < 9; ++at)
            if (match.MoveProblem(match.Turn, slot, at % 3, at / 3) == TPlacementProblem::None)
                legal.push_back({slot, at % 3, at / 3});
    return legal[dice() % legal.size()];
}

void SettleGame(TGame& game) {
    for (int i = 0; i < 100000 && game.Phase != TGame::PhaseIdle; ++i)
        game.Phase == TGame::PhaseDealing  ? game.StepDeal(1e6f)
        : game.Phase == TGame::PhaseFlight ? game.StepFlight(1e6f)
                                           : game.StepFlip(1e6f);
}

class GameTableEvents : public TGameFixture {
protected:
    void Listen(TGame& game) {
        game.Subscribe([this](const TTableEvent& event) {
            Heard.push_back(Words(event));
            Seatings.push_back(event.Seats);
        });
    }
    // Placements at one keyboard, by the keys a person presses.
    void PlayByKeys(TGame& game, size_t placements) {
        for (size_t i = 0; i < placements && game.InProgress; ++i) {
            const TPlacementMove move = AnyMove(game.Match(), Dice);
            for (uint16_t key : KeysToPlay(game, move.Slot, move.X, move.Y)) game.KeyDown(key);
            SettleGame(game);
        }
    }
    // A match a server decides by dice, shown on a table of its own from its
    // `shownAtStart`th placement on.
    TMatchScript AtServer(int32_t you, qsizetype shownAtStart) {
        ServerTable =
            std::make_unique<TGame>([this] { return Server->DealSeconds(); }, [this] { return Now; });
        ServerTable->Cards->CardTable.reset(new TCardInfo[40]);
        for (int i = 0; i < 40; ++i)
            static_cast<TCardValues&>(ServerTable->Cards->CardTable[i]) = Game->Cards->CardTable[i];
        ServerTable->Cards->NumCards = 40;
        Listen(*ServerTable);
        Server = std::make_unique<TServerMatch>(
            *ServerTable, TServerMatchHooks{[](const QString&) {}, [](const QByteArray&) {}, {}});
        TMatch decided;
        decided.Catalogue = ServerTable->Match().Catalogue;
        decided.StartMatch(Second, 1, Rules, false);
        QStringList moves, moved;
        for (TPlacementMove move; decided.InProgress(); decided.PlayMove(move, Second)) {
            move = AnyMove(decided, Dice);
            moves << QString::asprintf("[%d,%d,%d]", move.Slot, move.X, move.Y);
            moved << QString::asprintf(
                R"({"type":"moved","table":7,"index":%d,"seat":%d,"slot":%d,"x":%d,"y":%d})",
                int(moves.size() - 1), decided.Turn, move.Slot, move.X, move.Y);
        }
        const auto tell = [this](const QString& line) {
            Server->Received(ServerCodec::Decode(line.toUtf8()).Message, Now / 1000);
        };
        tell(QString::asprintf(
            R"({"type":"match","table":7,"match":70,"seed":%lld,"rules":{"same":true,)"
            R"("same_wall":false,"plus":true,"elemental":false,"sudden_death":false},)"
            R"("seconds":30,"first":1,"seats":["a","b"],"you":%d,"moves":[%s],"away":[false,false]})",
            (long long)Second, you, qPrintable(moves.mid(0, shownAtStart).join(','))));
        for (qsizetype i = shownAtStart; i < moved.size(); ++i) {
            tell(moved[i]);
            for (int frame = 0; frame < 5000 && !(Server->Applied() == i + 1 && ServerTable->Phase == 0);
                 ++frame) {
                Now += 40000;
                ServerTable->DoFrame();
                Server->Step(Now / 1000);
            }
        }
        return ServerTable->Match().Script;
    }

    std::mt19937 Dice{5};
    TGameRules Rules;
    std::vector<std::string> Heard;
    std::vector<TSeats> Seatings;
    std::unique_ptr<TGame> ServerTable;
    std::unique_ptr<TServerMatch> Server;
};

TEST_F(GameTableEvents, EveryKindOfMatchTellsWhatHappensInOrderWithItsSeats) {
    for (int i = 0; i < 40; ++i)
        AddCard({int32_t(Dice() % 10 + 1), int32_t(Dice() % 10 + 1), int32_t(Dice() % 10 + 1),
                 int32_t(Dice() % 10 + 1)},
                int32_t(Dice() % 9));
    Rules.Same = Rules.Plus = true;
    std::unique_ptr<TNetSide> host;
    std::unique_ptr<TScriptedPeer> peer;
    // A match as played: its script and cards, the first placement heard,
    // whether its deal was seen, and what the rules core cannot tell: how it
    // was stopped or left.
    struct TPlayed {
        TMatchScript Script;
        const TCardSource* Cards;
        size_t From = 0;
        bool Dealt = true;
        std::string Ending;
    };
    const struct {
        const char* Name;
        TSeats Seats;
        std::function<TPlayed()> Play;
    } cases[] = {
        {"against the computer, dealt over after three cards", TSeats{TSeating::Computer, 0, TLevel::Easy},
         [&] {
             Game->NewGame(1, Rules, TSeats{TSeating::Computer, 0, TLevel::Easy});
             SettleGame(*Game);
             PlayByKeys(*Game, 3);
             const TMatchScript played = Game->Match().Script;
             // F2 over it: it leaves with its own seats, the new match comes with the new ones.
             Game->NewGame(1, Rules, TSeats{});
             SettleGame(*Game);
             EXPECT_EQ(Heard.back(), "dealt 0/1");
             EXPECT_EQ(Seatings.back(), TSeats{});
             Heard.pop_back();
             Seatings.pop_back();
             return TPlayed{played, Game->Match().Catalogue, 0, true, "left"};
         }},
        {"a direct peer whose other player leaves", TSeats{TSeating::DirectPeer, 1},
         [&] {
             host = std::make_unique<TNetSide>();
             Listen(*host->Game);
             EXPECT_TRUE(host->Session->Host(0, QHostAddress::LocalHost));
             peer = std::make_unique<TScriptedPeer>();
             peer->Connect(host->Session->ListeningPort());
             peer->SayHello();
             EXPECT_TRUE(PumpUntil([&] { return host->Match->Active(); }));
             host->NewGame();
             const auto framesUntil = [&](auto done) {
                 return PumpUntil([&] { return host->Frame(), done(); });
             };
             EXPECT_TRUE(framesUntil([&] { return host->Idle() && host->Match->LocalMayMove(); }));
             EXPECT_TRUE(host->PlayAnyMove(Dice));
             EXPECT_TRUE(framesUntil([&] { return host->Idle(); }));
             peer->Socket.disconnectFromHost();
             EXPECT_TRUE(framesUntil([&] { return !host->Game->InProgress; }));
             return TPlayed{host->Game->Match().Script, host->Game->Match().Catalogue, 0, true,
                            "ended stopped"};
         }},
        {"a player at a server's table", TSeats{TSeating::ServerPlayer, 0},
         [&] {
             return TPlayed{AtServer(0, 0), ServerTable->Match().Catalogue, 0, true, {}};
         }},
        {"a watcher arriving after three cards", TSeats{TSeating::ServerWatcher, -1},
         [&] {
             return TPlayed{AtServer(-1, 3), ServerTable->Match().Catalogue, 3, false, {}};
         }},
        {"hot-seat, dealt again under Sudden Death", TSeats{TSeating::HotSeat, 1},
         [&] {
             Game->StopMatch(); // the computer case's last deal
             Heard.clear();
             // Cards that never take each other: every deal is drawn.
             Game->Cards->NumCards = 0;
             for (int i = 0; i < 10; ++i) AddCard({5, 5, 5, 5});
             TGameRules sudden;
             sudden.SuddenDeath = true;
             Game->NewGame(1, sudden, TSeats{TSeating::HotSeat, 1});
             SettleGame(*Game);
             PlayByKeys(*Game, 12);
             return TPlayed{Game->Match().Script, Game->Match().Catalogue, 0, true, {}};
         }},
        {"a replay of that match", TSeats{TSeating::Replay, -1},
         [&] {
             const TMatchScript played = Game->Match().Script;
             TMatchRecord record;
             record.Rules = played.Rules;
             record.Seed = played.Seed;
             record.RedealSeeds = played.RedealSeeds;
             record.Moves = played.Moves;
             TReplayView replay(*Game);
             std::string problem;
             EXPECT_TRUE(replay.Open(record, problem)) << problem;
             replay.TogglePlay(0);
             for (uint64_t ms = 0; ms < 600000 && replay.Playing(); ms += 50) {
                 Now += 50000;
                 Game->DoFrame();
                 replay.Step(ms);
             }
             replay.Leave();
             EXPECT_EQ(Game->Seats(), (TSeats{TSeating::HotSeat, 1})) << "the table's own seats come back";
             return TPlayed{played, Game->Match().Catalogue, 0, false, {}};
         }},
    };
    Listen(*Game);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Heard.clear();
        Seatings.clear();
        const TPlayed played = c.Play();
        std::vector<std::string> expected;
        if (played.Dealt)
            expected.push_back("dealt " + std::to_string(int(c.Seats.Kind)) + "/" +
                               std::to_string(c.Seats.Person));
        for (const std::string& told : Told(played.Script, *played.Cards, played.From))
            expected.push_back(told);
        if (!played.Ending.empty()) expected.push_back(played.Ending);
        EXPECT_EQ(Heard, expected);
        for (const TSeats& seats : Seatings) EXPECT_EQ(seats, c.Seats);
    }
}

} // namespace

namespace {

// Undo only where nothing outside this computer keeps the match; the solver's
// hint wherever nobody plays a server's match here (a watcher moves nothing);
// deals wherever no server holds the table.
TEST(GameSeats, EachSeatingIsOfferedWhatFitsIt) {
    const struct {
        TSeating Kind;
        THeldBy HeldBy;
        bool Undo, Hint, Deal;
    } cases[] = {
        {TSeating::HotSeat, THeldBy::Nobody, true, true, true},
        {TSeating::Computer, THeldBy::Nobody, true, true, true},
        {TSeating::DirectPeer, THeldBy::Peer, false, true, true},
        {TSeating::ServerPlayer, THeldBy::Server, false, false, false},
        {TSeating::ServerWatcher, THeldBy::Server, false, true, false},
        {TSeating::Replay, THeldBy::Nobody, false, true, true},
        // A match played here with a server's table open (lent to a replay, say).
        {TSeating::HotSeat, THeldBy::Server, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Kind));
        const TOffers offers = TSeats{c.Kind, 0}.Offers(c.HeldBy);
        EXPECT_EQ(offers.Undo, c.Undo);
        EXPECT_EQ(offers.Hint, c.Hint);
        EXPECT_EQ(offers.Deal, c.Deal);
    }
}

} // namespace
