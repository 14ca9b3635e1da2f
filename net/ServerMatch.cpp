#include "net/ServerMatch.h"

#include "game/KeyCodes.h"
#include "game/KeyRoute.h"
#include "net/LobbyModel.h"
#include "net/RulesText.h"
#include "net/TableCheck.h"
#include "protocol/Requests.h"

#include <algorithm>

namespace {

using TKind = TServerMessage::TKind;

// Far more frames than any deal, flight or run of flips needs.
constexpr int MaxSettleSteps = 100000;

} // namespace

TServerMatch::TServerMatch(TGame& game, TServerMatchHooks hooks) : Game(game), Hooks(std::move(hooks)) {}

int64_t TServerMatch::DealSeconds() {
    return Seed + DealsFromSeed++;
}

bool TServerMatch::Still() const {
    return Playing && !Holding && !StateAsked && !EndTable && Game.InProgress &&
           Game.Phase == TGame::PhaseIdle && !Paced.Busy() && !PlayingMove && Waiting.empty();
}

bool TServerMatch::LocalMayMove() const {
    return Still() && !LineIsDown && You >= 0 && Game.Turn == You && !AwaitingAnswer && AwaySeat < 0;
}

void TServerMatch::KeyDown(uint16_t key, uint64_t nowMs) {
    (void)nowMs;
    if (!LocalMayMove()) return;
    const bool plays = key == VK_RETURN && Game.BoardCursorActive &&
                       Game.Board[Game.BoardCursorY][Game.BoardCursorX].Card == -1;
    if (!plays) {
        Game.KeyDown(key);
        return;
    }
    AwaitingAnswer = true;
    if (Hooks.Send) Hooks.Send(Requests::Move(Game.HandCursor, Game.BoardCursorX, Game.BoardCursorY));
}

uint64_t TServerMatch::Deadline(int64_t clockMs, uint64_t nowMs) const {
    if (clockMs < 0 || Seconds <= 0) return 0;
    // The server's count, from the moment its line arrived; never more than a whole move.
    return std::max<uint64_t>(1, nowMs + uint64_t(std::min<int64_t>(clockMs, int64_t(Seconds) * 1000)));
}

void TServerMatch::Received(const TServerMessage& message, uint64_t nowMs) {
    switch (message.Kind) {
    case TKind::Match: {
        // The answer to a request for the table is no new match to announce.
        const bool answer = StateAsked && message.Match.Table == Table;
        Setup(message.Match, !answer, message.ClockMs, nowMs);
        if (Holding && You >= 0 && Hooks.TableWanted) Hooks.TableWanted();
        return;
    }
    case TKind::MoveRefused:
        Log(QStringLiteral("The server refused the move: %1").arg(message.Text));
        // The table as the server has it, whatever this one showed.
        Setup(message.Match, false, message.ClockMs, nowMs);
        return;
    case TKind::Moved: {
        // While the table is asked for, its answer holds every move before it.
        if (!Playing || message.Table != Table || StateAsked) return;
        const size_t known = Known.State.Moves.size();
        if (size_t(message.Index) < known) return; // already known
        if (size_t(message.Index) > known) {
            OutOfStep(QStringLiteral("move %1 arrived after move %2").arg(message.Index + 1).arg(known));
            return;
        }
        Known.State.Moves.push_back(message.Move);
        if (message.Seat == You) AwaitingAnswer = false;
        // The clock is the next player's from now, while the move is still being shown.
        ClockSeat = 1 - message.Seat;
        TurnDeadlineMs = Deadline(message.ClockMs, nowMs);
        if (Holding) {
            ChangedWhileHeld = true;
            return;
        }
        Waiting.push_back({false, message.Move, message.Seat, {}, {}, {}, {}, {}, {}, -1});
        // Far behind: the table catches up at once.
        if (Waiting.size() > MaxWaiting) Rebuild();
        return;
    }
    case TKind::Away:
        if (!Playing || message.Table != Table) return;
        AwaySeat = message.Seat;
        AwayDeadlineMs = nowMs + uint64_t(message.Seconds) * 1000;
        TurnDeadlineMs = 0;
        Log(QStringLiteral("%1's line dropped; the seat is kept for %2 s.")
                .arg(SeatName(message.Seat))
                .arg(message.Seconds));
        return;
    case TKind::Back:
        if (!Playing || message.Table != Table) return;
        if (AwaySeat == message.Seat) AwaySeat = -1;
        TurnDeadlineMs = Deadline(message.ClockMs, nowMs);
        Log(QStringLiteral("%1 is back.").arg(SeatName(message.Seat)));
        return;
    case TKind::Ended:
        if (!Playing || message.Table != Table) return;
        Ended(message);
        return;
    case TKind::Lobby:
    case TKind::Table:
    case TKind::Refused:
        // Asked for the table, the server has no match at it for this client (or will not say).
        if (!StateAsked || (message.Kind == TKind::Table && message.TableInfo.Id != Table)) return;
        StateAsked = false;
        if (Known.Ended) Log(Known.End.Result);
        Stop(message.Kind != TKind::Refused
                 ? QStringLiteral("The server has no match for you at this table now.")
                 : QStringLiteral("The server did not send the table; connect again to see the match."));
        return;
    default:
        return;
    }
}

void TServerMatch::SayRatings(const TServerMessage& ended, TWaiting& waiting) const {
    if (!ended.Ratings) return;
    const std::array<TRatingChange, 2>& change = *ended.Ratings;
    if (You >= 0) {
        waiting.OwnRating = QStringLiteral("Rating ") + TLobbyModel::RatingChangeText(change[size_t(You)]);
        waiting.Ratings = waiting.OwnRating + QLatin1Char('.');
        return;
    }
    waiting.Ratings = QStringLiteral("Ratings: %1 %2; %3 %4.")
                          .arg(SeatName(0), TLobbyModel::RatingChangeText(change[0]), SeatName(1),
                               TLobbyModel::RatingChangeText(change[1]));
}

QString TServerMatch::Banner(const TServerMessage& ended, bool loserAway) const {
    if (ended.How == QLatin1String("finished")) return {};
    if (ended.How != QLatin1String("time") && ended.How != QLatin1String("forfeit") &&
        ended.How != QLatin1String("resigned"))
        return QStringLiteral("Match abandoned");
    // The banner's lettering has the en dash, not the em dash.
    const QString dash = QStringLiteral(" \u2013 ");
    const int32_t winner = ended.Winner, loser = 1 - winner;
    if (winner < 0 || winner > 1) return QStringLiteral("Match abandoned");
    const QString colour = loser == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
    const QString winnerColour = winner == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
    if (ended.How == QLatin1String("time")) {
        if (You == loser) return QStringLiteral("You lose on time");
        return colour + QStringLiteral(" ran out of time") + dash +
               (You == winner ? QStringLiteral("you win") : winnerColour + QStringLiteral(" wins"));
    }
    if (ended.How == QLatin1String("resigned")) {
        // By name: "Bob wins" says more than a colour to whoever is left at the table.
        const auto name = [this](int32_t seat) {
            return Seats[size_t(seat)].isEmpty()
                       ? (seat == 0 ? QStringLiteral("Red") : QStringLiteral("Blue"))
                       : Seats[size_t(seat)];
        };
        if (You == loser)
            return QStringLiteral("You resigned") + dash + name(winner) + QStringLiteral(" wins");
        return name(loser) + QStringLiteral(" resigned") + dash +
               (You == winner ? QStringLiteral("you win") : name(winner) + QStringLiteral(" wins"));
    }
    if (You == loser)
        return QStringLiteral("You lose") + dash +
               (loserAway ? QStringLiteral("you did not come back") : QStringLiteral("you left the match"));
    const QString how = loserAway ? QStringLiteral(" did not come back") : QStringLiteral(" left the match");
    return (You == winner ? QStringLiteral("You win") : winnerColour + QStringLiteral(" wins")) + dash +
           colour + how;
}

void TServerMatch::Ended(const TServerMessage& message) {
    const bool loserAway = message.Winner >= 0 && AwaySeat == 1 - message.Winner;
    TWaiting& ended = Known.End;
    ended = {};
    ended.Ended = true;
    ended.How = message.How;
    ended.Winner = message.Winner;
    using TDecision = TTableEvent::TDecision;
    // A match resigned is given up as one left is: a record and the
    // statistics know it as a forfeit.
    ended.Decision = message.How == QLatin1String("time") ? TDecision::Time
                     : message.How == QLatin1String("forfeit") || message.How == QLatin1String("resigned")
                         ? TDecision::Forfeit
                         : TDecision::Abandoned;
    const QString winner = message.Winner >= 0 ? SeatName(message.Winner) : QString();
    if (message.How == QLatin1String("finished"))
        ended.Result = message.Winner < 0
                           ? QStringLiteral("Draw %1–%2.").arg(message.Score[0]).arg(message.Score[1])
                           : QStringLiteral("%1 wins %2–%3.")
                                 .arg(winner)
                                 .arg(message.Score[message.Winner])
                                 .arg(message.Score[1 - message.Winner]);
    else if (message.How == QLatin1String("time"))
        ended.Result =
            QStringLiteral("%1 ran out of time; %2 wins.").arg(SeatName(1 - message.Winner), winner);
    else if (message.How == QLatin1String("forfeit"))
        ended.Result =
            QStringLiteral("%1 gave up the match; %2 wins.").arg(SeatName(1 - message.Winner), winner);
    else if (message.How == QLatin1String("resigned") && message.Winner >= 0)
        ended.Result = QStringLiteral("%1 resigned; %2 wins.").arg(SeatName(1 - message.Winner), winner);
    else
        ended.Result = QStringLiteral("The match was abandoned.");
    SayRatings(message, ended);
    ended.Banner = Banner(message, loserAway);
    Known.Ended = true;
    TurnDeadlineMs = 0;
    AwaySeat = -1;
    if (Holding) {
        ChangedWhileHeld = true;
        return;
    }
    // Shown once the moves before it have been played (or once the table asked for has come).
    if (!StateAsked) Waiting.push_back(ended);
}

void TServerMatch::Setup(const TServerMatchState& state, bool announce, int64_t clockMs, uint64_t nowMs) {
    const bool sameMatch =
        Playing && Table == state.Table && Known.State.Match == state.Match && Seed == state.Seed;
    const int32_t wasAway = AwaySeat;
    if (!sameMatch) {
        ShownRating.clear();
        ShownEnding.clear();
    }
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    AwaitingAnswer = false;
    EndTable = false;
    StateAsked = false;
    LineIsDown = false;
    if (!sameMatch) {
        Known.Ended = false;
        StopDecision = TTableEvent::TDecision::None;
        StopWinner = -1;
    }
    Known.State = state;
    Table = state.Table;
    Seed = state.Seed;
    You = state.You;
    Seconds = state.Seconds;
    Seats = state.Seats;
    AwaySeat = -1;
    for (int32_t seat = 0; seat < 2; ++seat)
        if (state.Away[size_t(seat)]) {
            // The countdown goes on if it was running; otherwise it shows from the next message.
            if (!sameMatch || wasAway != seat) AwayDeadlineMs = 0;
            AwaySeat = seat;
        }
    Playing = true;
    ClockSeat = -1;
    if (announce)
        Log(QStringLiteral("Table %1: %2 (Red) against %3 (Blue); rules %4; %5 a move. %6")
                .arg(Table)
                .arg(Seats[0], Seats[1], RulesText(state.Rules), TLobbyModel::SecondsText(Seconds))
                .arg(You < 0 ? QStringLiteral("You are watching.")
                             : QStringLiteral("You play %1.").arg(You == 0 ? "Red" : "Blue")));
    TurnDeadlineMs = AwaySeat < 0 && !Known.Ended ? Deadline(clockMs, nowMs) : 0;
    if (Holding) {
        ChangedWhileHeld = true;
        return;
    }
    if (announce && state.Moves.empty()) {
        // A new match is dealt before the players' eyes; whatever is moving
        // belongs to the table it replaces.
        Settle();
        DealsFromSeed = 0;
        AppliedMoves = 0;
        Game.NewGame(state.First, state.Rules, TableSeats());
        return;
    }
    if (Rebuild() && announce)
        Log(QStringLiteral("%1 moves made so far are on the table.").arg(AppliedMoves));
}

bool TServerMatch::Rebuild() {
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    EndTable = false;
    TMatchScript script;
    script.Seed = Seed;
    script.Rules = Known.State.Rules;
    script.FirstPlayer = Known.State.First;
    script.Moves = Known.State.Moves;
    // The server deals each Sudden Death replay from the seed plus the deals before it.
    for (int64_t deal = 1; deal <= MaxRedeals; ++deal) script.RedealSeeds.push_back(Seed + deal);
    TMatch replayed;
    std::string refusal = "no cards";
    if (!Game.Match().Catalogue || !ReplayScript(script, *Game.Match().Catalogue, replayed, refusal)) {
        Stop(QStringLiteral("The server's match does not replay here (%1); connect again to see the match.")
                 .arg(QString::fromStdString(refusal)));
        return false;
    }
    Game.SeatPlayers(TableSeats());
    Game.RestoreMatch(replayed);
    // A match already over draws its table once, as it stood at the end.
    Game.RedrawEnded();
    DealsFromSeed = 1 + int32_t(replayed.Script.RedealSeeds.size());
    AppliedMoves = int32_t(script.Moves.size());
    if (Known.Ended) Waiting.push_back(Known.End);
    return true;
}

void TServerMatch::OutOfStep(const QString& problem) {
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    if (StateAsked) return;
    StateAsked = true;
    Log(QStringLiteral("This table is out of step with the server (%1); asking for the table as it stands.")
            .arg(problem));
    if (Hooks.Send) Hooks.Send(Requests::State());
}

void TServerMatch::Hold() {
    if (Holding) return;
    Holding = true;
    // What was still to be shown is among the known moves; the table is built from them on release.
    ChangedWhileHeld = PlayingMove || !Waiting.empty() || Paced.Busy();
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
}

void TServerMatch::Release() {
    if (!Holding) return;
    Holding = false;
    // Built again whenever a match is on: what held the table may have dealt from its clock.
    if (!Playing && !ChangedWhileHeld) return;
    ChangedWhileHeld = false;
    if (!Playing) return;
    const bool stopped = EndTable;
    if (Rebuild() && stopped) StopTable();
}

void TServerMatch::Settle() {
    for (int step = 0; step < MaxSettleSteps && Game.Phase != TGame::PhaseIdle; ++step) {
        switch (Game.Phase) {
        case TGame::PhaseDealing:
            Game.StepDeal(1e6f);
            break;
        case TGame::PhaseFlight:
            Game.StepFlight(1e6f);
            break;
        case TGame::PhaseFlipping:
            Game.StepFlip(1e6f);
            break;
        default:
            return;
        }
    }
}

void TServerMatch::Step(uint64_t nowMs) {
    if (Holding) return;
    if (PlayingMove) {
        const bool pressed = Paced.Step(Game, nowMs);
        if (pressed && Game.Turn != TurnBeforeMove) {
            PlayingMove = false;
            Paced.Cancel();
            ++AppliedMoves;
        } else if (!Paced.Busy() && !pressed) {
            PlayingMove = false;
            OutOfStep(QStringLiteral("its move did not play here"));
            return;
        }
    }
    PlayWaiting(nowMs);
    if (EndTable && Game.Phase == TGame::PhaseIdle && !PlayingMove) StopTable();
}

void TServerMatch::PlayWaiting(uint64_t nowMs) {
    if (!Playing || PlayingMove || Paced.Busy() || Waiting.empty() || Game.Phase != TGame::PhaseIdle) return;
    const TWaiting next = Waiting.front();
    Waiting.pop_front();
    if (next.Ended) {
        Log(next.Result);
        if (!next.Ratings.isEmpty()) Log(next.Ratings);
        ShownRating = next.OwnRating;
        ShownEnding = next.Banner;
        StopDecision = next.Decision;
        StopWinner = next.Winner;
        // A finished match ends on the table by itself with its last card.
        if (next.How != QLatin1String("finished") || Game.InProgress)
            EndTable = true;
        else
            Playing = false;
        return;
    }
    const QString problem =
        TableCheck::MoveProblem(TableState(), next.Seat, next.Move.Slot, next.Move.X, next.Move.Y);
    if (!problem.isEmpty()) {
        OutOfStep(problem);
        return;
    }
    const bool own = next.Seat == You;
    if (own) AwaitingAnswer = false;
    TurnBeforeMove = Game.Turn;
    PlayingMove = true;
    // Our own card goes down at once: the cursors are already on it.
    Paced.Start(KeysToPlay(Game, next.Move.Slot, next.Move.X, next.Move.Y), own ? 0 : KeyStepMs, nowMs);
}

void TServerMatch::LineLost() {
    if (!Playing) return;
    LineIsDown = true;
    AwaitingAnswer = false;
    TurnDeadlineMs = 0;
    AwaySeat = -1;
}

void TServerMatch::Stop(const QString& why, const QString& banner) {
    if (!why.isEmpty()) Log(why);
    LineIsDown = false;
    if (Playing && !banner.isEmpty()) ShownEnding = banner;
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    AwaitingAnswer = false;
    StateAsked = false;
    TurnDeadlineMs = 0;
    AwaySeat = -1;
    if (!Playing) return;
    EndTable = true;
    if (Holding) return; // the table is stopped when it comes back
    if (Game.Phase == TGame::PhaseIdle) StopTable();
}

void TServerMatch::StopTable() {
    EndTable = false;
    Playing = false;
    TurnDeadlineMs = 0;
    // The table stays as it is and keys do nothing until the next match.
    Game.StopMatch(StopDecision, StopWinner);
}

QString TServerMatch::Overlay(uint64_t nowMs) const {
    if (!Playing || EndTable || Holding) return {};
    if (AwaySeat >= 0) {
        if (AwayDeadlineMs == 0) return QStringLiteral("%1's line dropped").arg(SeatName(AwaySeat));
        const uint64_t left = AwayDeadlineMs > nowMs ? (AwayDeadlineMs - nowMs + 999) / 1000 : 0;
        return QStringLiteral("%1's line dropped: %2 s").arg(SeatName(AwaySeat)).arg(left);
    }
    if (TurnDeadlineMs == 0 || !Game.InProgress) return {};
    const int32_t toMove = ClockSeat >= 0 ? ClockSeat : Game.Turn;
    return QStringLiteral("%1: %2 s")
        .arg(toMove == You ? QStringLiteral("You") : SeatName(toMove))
        .arg(SecondsLeft(nowMs));
}

QString TServerMatch::ClockText(uint64_t nowMs) const {
    if (Overlay(nowMs).isEmpty()) return {};
    if (AwaySeat >= 0) {
        const QString colour = AwaySeat == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
        if (AwayDeadlineMs == 0) return colour + QStringLiteral(" away");
        const uint64_t left = AwayDeadlineMs > nowMs ? (AwayDeadlineMs - nowMs + 999) / 1000 : 0;
        return QStringLiteral("%1 away %2 s").arg(colour).arg(left);
    }
    return QStringLiteral("%1 s").arg(SecondsLeft(nowMs));
}

bool TServerMatch::ClockWarns(uint64_t nowMs) const {
    if (Overlay(nowMs).isEmpty()) return false;
    return AwaySeat >= 0 || SecondsLeft(nowMs) <= uint64_t(ClockWarnSeconds);
}

bool TServerMatch::TakeClockWarning(uint64_t nowMs) {
    if (!Playing || EndTable || Holding || AwaySeat >= 0 || TurnDeadlineMs == 0 || !Game.InProgress)
        return false;
    const int32_t toMove = ClockSeat >= 0 ? ClockSeat : Game.Turn;
    if (toMove != You || WarnedDeadlineMs == TurnDeadlineMs ||
        SecondsLeft(nowMs) > uint64_t(ClockWarnSeconds))
        return false;
    WarnedDeadlineMs = TurnDeadlineMs;
    return true;
}

uint64_t TServerMatch::SecondsLeft(uint64_t nowMs) const {
    return TurnDeadlineMs > nowMs ? (TurnDeadlineMs - nowMs + 999) / 1000 : 0;
}

TTableState TServerMatch::TableState() const {
    return Game.Match().Table(Game.Phase == TGame::PhaseIdle);
}

TSeats TServerMatch::TableSeats() const {
    return You >= 0 ? TSeats{TSeating::ServerPlayer, You} : TSeats{TSeating::ServerWatcher, -1};
}

QString TServerMatch::SeatName(int32_t seat) const {
    if (seat < 0 || seat > 1) return {};
    const QString colour = seat == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
    return Seats[size_t(seat)].isEmpty() ? colour
                                         : QStringLiteral("%1 (%2)").arg(Seats[size_t(seat)], colour);
}

void TServerMatch::Log(const QString& line) const {
    if (Hooks.Log) Hooks.Log(line);
}
