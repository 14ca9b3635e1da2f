#include "app/TableDriver.h"

#include "app/ComputerSeat.h"
#include "app/DirectPlay.h"
#include "app/HintAdvisor.h"
#include "app/OnlinePlay.h"
#include "app/SideLog.h"
#include "game/Game.h"
#include "net/NetMatch.h"

TTableDriver::TTableDriver(TGame& game, TDirectPlay& direct, TOnlinePlay& online, TSideLog& log,
                           std::function<uint64_t()> nowMs)
    : Game(game), Direct(direct), Online(online), Log(log), NowMs(std::move(nowMs)),
      ComputerSeat(std::make_unique<TComputerSeat>(game, TSideLog::Note)),
      Advisor(std::make_unique<THintAdvisor>(
          game, [this](const QString& line) { Log.Answer(line); },
          [this](const QString& line) { HintLine(line); })) {}

TTableDriver::~TTableDriver() {
    // Searches end before the game whose copy they were working on.
    Advisor.reset();
    ComputerSeat.reset();
}

THeldBy TTableDriver::HeldBy() const {
    // An ended server match stays the server's while signed in: the next is the server's to deal.
    const TSeating seating = Game.Seats().Kind;
    const bool serverSeats = seating == TSeating::ServerPlayer || seating == TSeating::ServerWatcher;
    if (Online.Active() || (serverSeats && Online.SignedIn())) return THeldBy::Server;
    if (Direct.Active()) return THeldBy::Peer;
    return THeldBy::Nobody;
}

TOffers TTableDriver::OffersFor(THeldBy heldBy) const {
    return Game.Seats().Offers(heldBy);
}

TTableSeats TTableDriver::AnnouncedSeats(bool announceAtOneKeyboard) const {
    const TSeats& seats = Game.Seats();
    TTableSeats announced;
    switch (seats.Kind) {
    case TSeating::ServerPlayer:
    case TSeating::ServerWatcher:
        // A server's match: a player's own colour, or both colours named for a watcher.
        announced.You = seats.Person;
        announced.Announce = true;
        announced.Rating = Online.TheMatch().RatingLine();
        announced.Ending = Online.TheMatch().EndingLine();
        announced.Offer = Online.RematchLine();
        announced.Clock = Online.ClockText(NowMs());
        announced.ClockWarns = Online.Reconnecting() || Online.TheMatch().ClockWarns(NowMs());
        break;
    case TSeating::DirectPeer:
        announced.You = seats.Person;
        announced.LeftBy = Direct.LeftBy();
        announced.Announce = true;
        break;
    case TSeating::Computer:
        announced.You = seats.Person;
        announced.ComputerOpponent = true;
        announced.Announce = true;
        break;
    case TSeating::HotSeat:
    case TSeating::Replay:
        announced.Announce = announceAtOneKeyboard;
        break;
    }
    return announced;
}

bool TTableDriver::KeyDown(uint16_t& key) {
    if (Online.Active()) {
        // A card played here goes to the server, and is played once it is accepted.
        if (LocalPlayerMayMove && !LocalPlayerMayMove()) return false;
        Online.TheMatch().KeyDown(key, NowMs());
        return true;
    }
    // The person's keys and clicks wait while the computer is to move.
    if (ComputerSeat->HoldsTurn() || !Direct.Net().LocalMayMove()) return false;
    if (LocalPlayerMayMove && !LocalPlayerMayMove()) return false;
    if (Direct.Active()) {
        // A card played here goes across to the other table.
        Direct.Net().KeyDown(key);
        return true;
    }
    Game.KeyDown(key);
    return true;
}

bool TTableDriver::Deal(const TGameRules& rules, TGameType type, TLevel level) {
    const bool wasIdle = Game.Phase == TGame::PhaseIdle;
    const bool single = type == TGameType::SinglePlayer;
    const TSeats seats =
        single ? TSeats{TSeating::Computer, 1 - ComputerPlayer, level} : TSeats{TSeating::HotSeat};
    Game.NewGame(1, rules, seats);
    // A refused New Game (cards still moving) leaves the match and its players as they were.
    if (!wasIdle || Game.Phase != TGame::PhaseDealing) return false;
    ComputerSeat->Seat(single ? ComputerPlayer : -1, level);
    return true;
}

bool TTableDriver::AskHint() {
    if (!Offers().Hint) {
        Log.Answer("Hint is not offered at a server match you play in: the server cannot see what a "
                   "program works out, so nobody is advised there.");
        return false;
    }
    // A watcher is told the best moves of the player to move; the cursors
    // stay where the server's moves put them.
    const bool watching = Online.Active() && Online.TheMatch().LocalSeat() < 0;
    if (watching) {
        if (Online.TheMatch().Still()) return Advisor->Ask(false);
        Log.Answer("Hint: wait until the cards are still.");
        return false;
    }
    if (ComputerSeat->HoldsTurn() || !Direct.Net().LocalMayMove() ||
        (Online.Active() && !Online.TheMatch().LocalMayMove())) {
        Log.Answer("Hint: wait for your turn.");
        return false;
    }
    return Advisor->Ask();
}

int32_t TTableDriver::UndoPerson() const {
    return ComputerSeat->Player() >= 0 ? 1 - ComputerSeat->Player() : -1;
}

void TTableDriver::Cancel() {
    ComputerSeat->Cancel();
    Advisor->Cancel();
}

void TTableDriver::Unseat() {
    ComputerSeat->Seat(-1, TLevel::Perfect);
    Advisor->Cancel();
}

void TTableDriver::Step(uint64_t nowMs) {
    ComputerSeat->Step(nowMs);
    Direct.Net().Step(nowMs);
    Online.Step();
    Advisor->Step();
}

void TTableDriver::HintLine(const QString& line) {
    // A list of best moves goes under a heading naming the move it answers.
    int32_t inHands = 0;
    for (const auto& slot : Game.Hands)
        for (const int32_t card : slot) inHands += card != -1;
    const QString heading = QStringLiteral("Move %1, %2 to play \u2014 best moves:")
                                .arg(11 - inHands)
                                .arg(TTableAnnouncer::PlayerName(Game.Turn));
    if (heading != HintHeading) {
        HintHeading = heading;
        Log.Line(heading);
    }
    Log.Answer(line);
}
