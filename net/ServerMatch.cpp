#include "net/ServerMatch.h"

#include "game/KeyCodes.h"
#include "game/KeyRoute.h"
#include "net/LobbyModel.h"
#include "net/ServerCodec.h"
#include "net/TableCheck.h"

namespace {

using TKind = TServerMessage::TKind;

// Far more frames than any deal, flight or run of flips needs.
constexpr int MaxSettleSteps = 100000;

} // namespace

TServerMatch::TServerMatch(TGame& game, TServerMatchHooks hooks) : Game(game), Hooks(std::move(hooks)) {}

int64_t TServerMatch::DealSeconds() {
    return Seed + DealsFromSeed++;
}

bool TServerMatch::LocalMayMove() const {
    return Playing && !EndTable && You >= 0 && Game.InProgress && Game.Phase == TGame::PhaseIdle &&
           Game.Turn == You && !Paced.Busy() && !PlayingMove && Waiting.empty() && !AwaitingAnswer &&
           AwaySeat < 0;
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
    if (Hooks.Send) Hooks.Send(ServerCodec::Move(Game.HandCursor, Game.BoardCursorX, Game.BoardCursorY));
}

void TServerMatch::Received(const TServerMessage& message, uint64_t nowMs) {
    switch (message.Kind) {
    case TKind::Match:
        Setup(message.Match, true, nowMs);
        return;
    case TKind::MoveRefused:
        Log(QStringLiteral("The server refused the move: %1").arg(message.Text));
        AwaitingAnswer = false;
        // The table as the server has it, whatever this one showed.
        Setup(message.Match, false, nowMs);
        return;
    case TKind::Moved:
        if (!Playing || message.Table != Table) return;
        if (message.Index < AcceptedMoves) return; // already on the table
        if (message.Index > AcceptedMoves || Waiting.size() >= MaxWaiting) {
            Stop(QStringLiteral("This table is out of step with the server; connect again to see the match."));
            return;
        }
        ++AcceptedMoves;
        Waiting.push_back({false, message.Move, message.Seat, {}, {}, {}, {}});
        TurnDeadlineMs = Seconds > 0 ? nowMs + uint64_t(Seconds) * 1000 : 0;
        return;
    case TKind::Away:
        if (!Playing || message.Table != Table) return;
        AwaySeat = message.Seat;
        AwayDeadlineMs = nowMs + uint64_t(message.Seconds) * 1000;
        TurnDeadlineMs = 0;
        Log(QStringLiteral("%1's line dropped; the seat is kept for %2 s.").arg(SeatName(message.Seat)).arg(message.Seconds));
        return;
    case TKind::Back:
        if (!Playing || message.Table != Table) return;
        if (AwaySeat == message.Seat) AwaySeat = -1;
        TurnDeadlineMs = Seconds > 0 ? nowMs + uint64_t(Seconds) * 1000 : 0;
        Log(QStringLiteral("%1 is back.").arg(SeatName(message.Seat)));
        return;
    case TKind::Ended: {
        if (!Playing || message.Table != Table) return;
        TWaiting ended;
        ended.Ended = true;
        ended.How = message.How;
        const QString winner = message.Winner >= 0 ? SeatName(message.Winner) : QString();
        if (message.How == QLatin1String("finished"))
            ended.Result = message.Winner < 0 ? QStringLiteral("Draw %1–%2.").arg(message.Score[0]).arg(message.Score[1])
                                              : QStringLiteral("%1 wins %2–%3.")
                                                    .arg(winner)
                                                    .arg(message.Score[message.Winner])
                                                    .arg(message.Score[1 - message.Winner]);
        else if (message.How == QLatin1String("time"))
            ended.Result = QStringLiteral("%1 ran out of time; %2 wins.").arg(SeatName(1 - message.Winner), winner);
        else if (message.How == QLatin1String("forfeit"))
            ended.Result = QStringLiteral("%1 gave up the match; %2 wins.").arg(SeatName(1 - message.Winner), winner);
        else
            ended.Result = QStringLiteral("The match was abandoned.");
        SayRatings(message, ended);
        // Shown once the moves before it have been played.
        Waiting.push_back(ended);
        TurnDeadlineMs = 0;
        AwaySeat = -1;
        return;
    }
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

void TServerMatch::Setup(const TServerMatchState& state, bool announce, uint64_t nowMs) {
    ShownRating.clear();
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    AwaitingAnswer = false;
    EndTable = false;
    // Whatever is moving now belongs to a table that is being replaced.
    Settle();
    Table = state.Table;
    Seed = state.Seed;
    DealsFromSeed = 0;
    You = state.You;
    Seconds = state.Seconds;
    Seats = state.Seats;
    AppliedMoves = AcceptedMoves = 0;
    AwaySeat = -1;
    for (int32_t seat = 0; seat < 2; ++seat)
        if (state.Away[size_t(seat)]) {
            AwaySeat = seat;
            AwayDeadlineMs = 0; // the time left is not known; the countdown shows from the next message
        }
    Playing = true;
    Game.NewGame(state.First, state.Rules, false);
    if (announce)
        Log(QStringLiteral("Table %1: %2 (Red) against %3 (Blue); rules %4; %5 a move. %6")
                .arg(Table)
                .arg(Seats[0], Seats[1], TLobbyModel::RulesText(state.Rules), TLobbyModel::SecondsText(Seconds))
                .arg(You < 0 ? QStringLiteral("You are watching.")
                             : QStringLiteral("You play %1.").arg(You == 0 ? "Red" : "Blue")));
    if (!state.Moves.empty()) {
        // Replayed at once, without animation: the table as it stands.
        Settle();
        for (const TServerMove& move : state.Moves) {
            const QString problem = TableCheck::MoveProblem(TableState(), Game.Turn, move.Slot, move.X, move.Y);
            if (!problem.isEmpty()) {
                Stop(QStringLiteral("The server's match does not replay here (%1).").arg(problem));
                return;
            }
            for (uint16_t key : KeysToPlay(Game, move.Slot, move.X, move.Y)) Game.KeyDown(key);
            Settle();
            ++AppliedMoves;
        }
        AcceptedMoves = AppliedMoves;
        if (announce) Log(QStringLiteral("%1 moves made so far are on the table.").arg(AppliedMoves));
    }
    TurnDeadlineMs = Seconds > 0 && AwaySeat < 0 ? nowMs + uint64_t(Seconds) * 1000 : 0;
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
    if (PlayingMove) {
        const bool pressed = Paced.Step(Game, nowMs);
        if (pressed && Game.Turn != TurnBeforeMove) {
            PlayingMove = false;
            Paced.Cancel();
            ++AppliedMoves;
        } else if (!Paced.Busy() && !pressed) {
            PlayingMove = false;
            Stop(QStringLiteral("The server's move could not be played here; connect again to see the match."));
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
        // A finished match ends on the table by itself with its last card.
        if (next.How != QLatin1String("finished") || Game.InProgress) EndTable = true;
        else Playing = false;
        return;
    }
    const QString problem = TableCheck::MoveProblem(TableState(), next.Seat, next.Move.Slot, next.Move.X, next.Move.Y);
    if (!problem.isEmpty()) {
        Stop(QStringLiteral("The server's move cannot be played here (%1); connect again to see the match.").arg(problem));
        return;
    }
    const bool own = next.Seat == You;
    if (own) AwaitingAnswer = false;
    TurnBeforeMove = Game.Turn;
    PlayingMove = true;
    // Our own card goes down at once: the cursors are already on it.
    Paced.Start(KeysToPlay(Game, next.Move.Slot, next.Move.X, next.Move.Y), own ? 0 : KeyStepMs, nowMs);
}

void TServerMatch::Stop(const QString& why) {
    if (!why.isEmpty()) Log(why);
    Paced.Cancel();
    Waiting.clear();
    PlayingMove = false;
    AwaitingAnswer = false;
    TurnDeadlineMs = 0;
    AwaySeat = -1;
    if (!Playing) return;
    EndTable = true;
    if (Game.Phase == TGame::PhaseIdle) StopTable();
}

void TServerMatch::StopTable() {
    EndTable = false;
    Playing = false;
    TurnDeadlineMs = 0;
    if (!Game.InProgress) return;
    // The table stays as it is and keys do nothing until the next match.
    Game.InProgress = false;
    Game.GameOver = true;
}

QString TServerMatch::Overlay(uint64_t nowMs) const {
    if (!Playing || EndTable) return {};
    if (AwaySeat >= 0) {
        if (AwayDeadlineMs == 0) return QStringLiteral("%1's line dropped").arg(SeatName(AwaySeat));
        const uint64_t left = AwayDeadlineMs > nowMs ? (AwayDeadlineMs - nowMs + 999) / 1000 : 0;
        return QStringLiteral("%1's line dropped: %2 s").arg(SeatName(AwaySeat)).arg(left);
    }
    if (TurnDeadlineMs == 0 || !Game.InProgress) return {};
    const uint64_t left = TurnDeadlineMs > nowMs ? (TurnDeadlineMs - nowMs + 999) / 1000 : 0;
    if (left > uint64_t(ClockShownSeconds)) return {};
    return QStringLiteral("%1: %2 s").arg(Game.Turn == You ? QStringLiteral("You") : SeatName(Game.Turn)).arg(left);
}

TTableState TServerMatch::TableState() const {
    return Game.Table(Game.Phase == TGame::PhaseIdle);
}

QString TServerMatch::SeatName(int32_t seat) const {
    if (seat < 0 || seat > 1) return {};
    const QString colour = seat == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
    return Seats[size_t(seat)].isEmpty() ? colour : QStringLiteral("%1 (%2)").arg(Seats[size_t(seat)], colour);
}

void TServerMatch::Log(const QString& line) const {
    if (Hooks.Log) Hooks.Log(line);
}
