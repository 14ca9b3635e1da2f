#include "net/NetMatch.h"

#include "game/KeyRoute.h"
#include "net/MessageCodec.h"
#include "net/NetSession.h"
#include "net/RulesText.h"
#include "net/TableCheck.h"
#include "protocol/PeerText.h"

#include <QTime>
#include <algorithm>

namespace {

using TKind = TNetMessage::TKind;

// A line of chat in the log: one entry, marked with its time and its
// sender, its text made plain and kept on that one line.
QString ChatLine(const QString& sender, const QString& text) {
    return QStringLiteral("%1 %2: %3")
        .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")), sender,
             PeerText::Readable(text, MessageCodec::MaxChatCharacters));
}

} // namespace

TNetMatch::TNetMatch(TGame& game, TNetSession& session, TNetMatchHooks hooks, TCalendarClock calendarClock)
    : Game(game), Session(session), Hooks(std::move(hooks)), CalendarClock(std::move(calendarClock)) {
    connect(&Session, &TNetSession::connected, this, &TNetMatch::Connected);
    connect(&Session, &TNetSession::message, this, &TNetMatch::Received);
    connect(&Session, &TNetSession::closed, this, &TNetMatch::Closed);
    connect(&Session, &TNetSession::log, this, &TNetMatch::Log);
}

int64_t TNetMatch::DealSeconds() {
    if (!Playing) return CalendarClock ? CalendarClock() : CalendarSeconds();
    // A Sudden Death replay deals again inside the match; both tables count it.
    return Seed + DealsFromSeed++;
}

bool TNetMatch::Active() const {
    return Session.IsConnected();
}

int32_t TNetMatch::LocalPlayer() const {
    return Session.IsHost() ? HostPlayer : JoinerPlayer;
}

bool TNetMatch::LocalMayMove() const {
    if (!Active()) return !Playing;
    return Playing && !EndTable && Game.InProgress && Game.Turn == LocalPlayer() && !Paced.Busy() &&
           Waiting.empty() && !AwaitingDigest;
}

void TNetMatch::KeyDown(uint16_t key) {
    if (!LocalMayMove() || !Active()) return;
    const int32_t slot = Game.HandCursor;
    const int32_t turn = Game.Turn;
    Game.KeyDown(key);
    if (Game.Turn == turn) return;
    // The turn passes the moment the card is played: that is the move.
    TNetMessage move = TNetMessage::Make(TKind::Move);
    move.DealId = TableDeal;
    move.Slot = slot;
    move.X = Game.BoardCursorX;
    move.Y = Game.BoardCursorY;
    Session.Send(move);
    Placed();
}

void TNetMatch::NewGame() {
    if (!Active()) return;
    if (Session.IsHost()) {
        // As at one keyboard, New Game waits for nothing: during an animation it does nothing.
        if (Game.Phase != TGame::PhaseIdle || Paced.Busy()) return;
        HostDeal();
        return;
    }
    Session.Send(TNetMessage::Make(TKind::NewGameRequest));
    Log(QStringLiteral("You asked the host to deal a new match."));
}

bool TNetMatch::SendChat(const QString& text) {
    if (text.trimmed().isEmpty()) return false;
    const qsizetype characters = PeerText::Characters(text);
    if (characters > MessageCodec::MaxChatCharacters) {
        Log(QStringLiteral("Not sent: a chat message may have at most %1 characters, this one has %2.")
                .arg(MessageCodec::MaxChatCharacters)
                .arg(characters));
        return false;
    }
    if (!Active()) {
        Log(QStringLiteral("Not sent: no other player is connected."));
        return false;
    }
    TNetMessage chat = TNetMessage::Make(TKind::Chat);
    chat.Text = text;
    Session.Send(chat);
    Log(ChatLine(QStringLiteral("You"), text));
    return true;
}

void TNetMatch::Step(uint64_t nowMs) {
    if (AwaitingDigest && (Game.Phase == TGame::PhaseIdle || Game.Phase == TGame::PhaseDealing)) {
        // The placement has been resolved (and a drawn Sudden Death match redealt).
        AwaitingDigest = false;
        ++Placements;
        const uint32_t digest = TableCheck::Digest(Table());
        if (Active()) {
            TNetMessage message = TNetMessage::Make(TKind::Digest);
            message.DealId = TableDeal;
            message.Placement = Placements;
            message.Value = digest;
            Session.Send(message);
            if (TableDeal == LatestDeal) {
                LocalDigests[{TableDeal, Placements}] = digest;
                CompareDigests();
            }
        }
    }
    if (RemoteMove) {
        const bool pressed = Paced.Step(Game, nowMs);
        if (pressed && Game.Turn != TurnBeforeRemote) {
            RemoteMove = false;
            Paced.Cancel();
            Placed();
        } else if (!Paced.Busy()) {
            RemoteMove = false;
            Fault(QStringLiteral("The other player's move could not be played here; the match is ended."));
        }
    }
    if (Active()) {
        if (DealAsked && Session.IsHost() && Game.Phase == TGame::PhaseIdle && !Paced.Busy() &&
            !AwaitingDigest) {
            DealAsked = false;
            HostDeal();
        }
        PlayWaiting(nowMs);
    }
    if (EndTable && Game.Phase == TGame::PhaseIdle) StopTable();
}

void TNetMatch::Connected(const QString& description) {
    Playing = false;
    EndTable = false;
    DealAsked = false;
    RemoteMove = false;
    AwaitingDigest = false;
    LatestDeal = TableDeal = 0;
    Placements = Compared = 0;
    Waiting.clear();
    LocalDigests.clear();
    RemoteDigests.clear();
    Paced.Cancel();
    Log(description);
    if (Session.IsHost())
        Log(QStringLiteral("You play Blue and move first; press F2 to deal."));
    else
        Log(QStringLiteral("You play Red; the host deals (F2 asks for a deal)."));
}

void TNetMatch::Received(const TNetMessage& message) {
    switch (message.Kind) {
    case TKind::Chat:
        Log(ChatLine(PlayerName(1 - LocalPlayer()), message.Text));
        return;
    case TKind::NewGameRequest:
        if (!Session.IsHost())
            return Fault(QStringLiteral("The host asked this side to deal; the match is ended."));
        Log(QStringLiteral("The other player asked for a new deal."));
        DealAsked = true;
        return;
    case TKind::Deal: {
        if (Session.IsHost()) return Fault(QStringLiteral("The joiner tried to deal; the match is ended."));
        const QString problem = TableCheck::DealProblem(message);
        if (!problem.isEmpty()) return Fault(QStringLiteral("The host sent a bad deal (%1).").arg(problem));
        if (message.DealId <= LatestDeal)
            return Fault(QStringLiteral("The host sent a deal out of order; the match is ended."));
        LatestDeal = message.DealId;
        QueueOrPlay(message);
        return;
    }
    case TKind::Move:
        if (message.DealId > LatestDeal)
            return Fault(
                QStringLiteral("The other player sent a move for a deal that was never made; the match is "
                               "ended."));
        if (message.DealId < LatestDeal) {
            Log(QStringLiteral("A move from the previous deal arrived after the new deal and was ignored."));
            return;
        }
        QueueOrPlay(message);
        return;
    case TKind::Digest:
        if (message.DealId > LatestDeal)
            return Fault(
                QStringLiteral("The other player compared a deal that was never made; the match is ended."));
        if (message.DealId < LatestDeal) return; // the match it checks has been replaced
        if (RemoteDigests.size() >= MaxDigests)
            return Fault(QStringLiteral("The other player sent too many table checks; the match is ended."));
        RemoteDigests[{message.DealId, message.Placement}] = message.Value;
        CompareDigests();
        return;
    default:
        return;
    }
}

void TNetMatch::QueueOrPlay(const TNetMessage& message) {
    if (Waiting.size() >= MaxWaiting) {
        const bool deals = message.Kind == TKind::Deal ||
                           std::any_of(Waiting.begin(), Waiting.end(), [](const TNetMessage& waiting) {
                               return waiting.Kind == TKind::Deal;
                           });
        return Fault(deals
                         ? QStringLiteral("The host dealt more matches at once than the table can take; the "
                                          "match is ended.")
                         : QStringLiteral("The other player sent moves faster than they can be played; the "
                                          "match is ended."));
    }
    if (message.Kind == TKind::Move && Waiting.empty() && Game.Phase == TGame::PhaseIdle && !Paced.Busy() &&
        !AwaitingDigest && TableDeal == message.DealId) {
        // The table is still: the move can be judged at once.
        const QString problem =
            TableCheck::MoveProblem(Table(), 1 - LocalPlayer(), message.Slot, message.X, message.Y);
        if (!problem.isEmpty())
            return Fault(QStringLiteral("The other player made an illegal move: %1; the match is ended.")
                             .arg(problem));
    }
    Waiting.push_back(message);
}

bool TNetMatch::PlayWaiting(uint64_t nowMs) {
    while (!Waiting.empty() && Game.Phase == TGame::PhaseIdle && !Paced.Busy() && !AwaitingDigest &&
           Active()) {
        const TNetMessage next = Waiting.front();
        Waiting.pop_front();
        if (next.Kind == TKind::Deal) {
            Deal(next.DealId, next.Seed, next.Rules);
            Log(QStringLiteral("The host dealt a new match. Rules: %1.").arg(RulesText(next.Rules)));
            continue;
        }
        if (next.DealId != TableDeal) continue; // overtaken by a deal of this side's own
        const QString problem =
            TableCheck::MoveProblem(Table(), 1 - LocalPlayer(), next.Slot, next.X, next.Y);
        if (!problem.isEmpty()) {
            Fault(QStringLiteral("The other player made an illegal move: %1; the match is ended.")
                      .arg(problem));
            return false;
        }
        TurnBeforeRemote = Game.Turn;
        RemoteMove = true;
        Paced.Start(KeysToPlay(Game, next.Slot, next.X, next.Y), KeyStepMs, nowMs);
        return true;
    }
    return false;
}

void TNetMatch::HostDeal() {
    const int64_t seed = CalendarClock ? CalendarClock() : CalendarSeconds();
    const TGameRules rules = Hooks.HostRules ? Hooks.HostRules() : TGameRules();
    TNetMessage deal = TNetMessage::Make(TKind::Deal);
    deal.DealId = LatestDeal + 1;
    deal.Seed = seed;
    deal.Rules = rules;
    LatestDeal = deal.DealId;
    Session.Send(deal);
    // Moves of the other side for the old deal are now stale.
    Waiting.clear();
    Deal(deal.DealId, seed, rules);
    Log(QStringLiteral("You dealt a new match. Rules: %1.").arg(RulesText(rules)));
}

void TNetMatch::Deal(int32_t dealId, int64_t seed, const TGameRules& rules) {
    Paced.Cancel();
    RemoteMove = false;
    AwaitingDigest = false;
    EndTable = false;
    TableDeal = dealId;
    Seed = seed;
    DealsFromSeed = 0;
    Placements = 0;
    std::erase_if(LocalDigests, [dealId](const auto& entry) { return entry.first.first < dealId; });
    std::erase_if(RemoteDigests, [dealId](const auto& entry) { return entry.first.first < dealId; });
    Playing = true;
    Game.NewGame(HostPlayer, rules, TSeats{TSeating::DirectPeer, LocalPlayer()});
    if (Hooks.Dealt) Hooks.Dealt();
}

void TNetMatch::Placed() {
    AwaitingDigest = true;
}

void TNetMatch::CompareDigests() {
    for (auto local = LocalDigests.begin(); local != LocalDigests.end();) {
        const auto remote = RemoteDigests.find(local->first);
        if (remote == RemoteDigests.end()) {
            ++local;
            continue;
        }
        if (remote->second != local->second) {
            const int32_t placement = local->first.second;
            Fault(QStringLiteral("The two tables disagree after placement %1; the match is ended.")
                      .arg(placement));
            return;
        }
        ++Compared;
        RemoteDigests.erase(remote);
        local = LocalDigests.erase(local);
    }
    if (LocalDigests.size() > MaxDigests) LocalDigests.erase(LocalDigests.begin());
}

void TNetMatch::Fault(const QString& reason) {
    // The session's closed() follows and stops the table.
    if (Active()) {
        // Worded for this table; the other player reads it about themselves.
        QString forPeer = reason;
        forPeer.replace(QStringLiteral("The other player's"), QStringLiteral("Your"))
            .replace(QStringLiteral("The other player"), QStringLiteral("You"));
        Session.EndConnection(reason, QStringLiteral("their table ended the match: ") + forPeer);
    } else
        Closed(reason);
}

void TNetMatch::Closed(const QString& reason) {
    Waiting.clear();
    Paced.Cancel();
    RemoteMove = false;
    AwaitingDigest = false;
    DealAsked = false;
    if (!Playing) return;
    EndTable = true;
    if (Game.Phase == TGame::PhaseIdle) StopTable();
    if (Hooks.Ended) Hooks.Ended(reason);
}

void TNetMatch::StopTable() {
    EndTable = false;
    Playing = false;
    if (!Game.InProgress) return;
    Log(QStringLiteral("The network match has ended."));
    // Ends the match as a full board would: the table stays as it is and keys
    // do nothing until a new deal.
    Game.StopMatch();
}

TTableState TNetMatch::Table() const {
    return Game.Match().Table(Game.Phase == TGame::PhaseIdle);
}

QString TNetMatch::PlayerName(int32_t player) const {
    return player == HostPlayer ? QStringLiteral("Blue") : QStringLiteral("Red");
}

void TNetMatch::Log(const QString& line) const {
    if (Hooks.Log) Hooks.Log(line);
}
