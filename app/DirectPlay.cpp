#include "app/DirectPlay.h"

#include "app/SideLog.h"
#include "app/TableAnnouncer.h"
#include "game/Game.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"

#include <QTimer>

TDirectPlay::TDirectPlay(TGame& game, TSideLog& log, std::function<int64_t()> calendar, THooks hooks)
    : Game(game), Log(log), Hooks(std::move(hooks)), Link(std::make_unique<TNetSession>()) {
    TNetMatchHooks net;
    net.Log = [this](const QString& line) { Log.Line(line); };
    net.HostRules = Hooks.HostRules;
    net.Ended = [this](const QString&) {
        // The other player's colour: who left, as this table sees it.
        if (Seat != -1) LeftByName = TTableAnnouncer::PlayerName(1 - Seat);
        Hooks.Ended();
    };
    net.Dealt = Hooks.Dealt;
    Match = std::make_unique<TNetMatch>(Game, *Link, std::move(net), std::move(calendar));
    // A message may deal, move or end the match while no frame is running.
    connect(Link.get(), &TNetSession::message, this, [this] { Hooks.Wake(); });
    // The match has stopped with the connection: its ending goes into the
    // log now, not with whatever frame comes next (none may, for a while).
    connect(Link.get(), &TNetSession::closed, this, [this] {
        Hooks.Closed();
        Hooks.Wake();
        QTimer::singleShot(0, this, [this] { Hooks.Settled(); });
    });
    connect(Link.get(), &TNetSession::connected, this, [this] { Hooks.Connected(); });
}

TDirectPlay::~TDirectPlay() {
    Match.reset();
    Link.reset();
}

bool TDirectPlay::Active() const {
    return Match->Active();
}

bool TDirectPlay::Idle() const {
    return Link->State() == TNetSession::TState::Idle;
}

int64_t TDirectPlay::DealSeconds() const {
    return Match->DealSeconds();
}

void TDirectPlay::Choose(bool networkChosen, const TNetworkChoice& choice) {
    const bool idle = Idle();
    if (!networkChosen) {
        if (!idle) Link->Close("they went back to playing at one keyboard.");
        return;
    }
    // The same table as before: keep the connection (or the waiting) as it is.
    if (!idle && choice == Opened) return;
    if (!idle) Link->Close("they moved to another table.");
    Opened = choice;
    if (!choice.Join) {
        Link->Host(choice.Port);
    } else if (choice.Address.isEmpty()) {
        Log.Line("To join, give the host's name or address in File › Rules.");
    } else {
        Link->Join(choice.Address, choice.Port);
    }
}

void TDirectPlay::Close(const QString& reasonForPeer) {
    Link->Close(reasonForPeer);
}

void TDirectPlay::TellWhereTheTableStands(bool networkChosen) {
    if (!networkChosen || Active()) return;
    if (Link->IsListening())
        Log.Line(QStringLiteral("Still hosting on port %1: F2 deals once another player joins.")
                     .arg(Link->ListeningPort()));
    else if (Idle())
        Log.Line("No longer connected: host or join again in File › Rules, or choose another game type.");
}

bool TDirectPlay::ExplainNewGame(bool networkChosen) {
    if (Active() || !networkChosen) return false;
    if (Link->IsListening())
        Log.Answer(
            QStringLiteral("F2: nobody has joined yet. Hosting on port %1 goes on; the match is dealt "
                           "once a player joins. To play here instead, choose another game type in File › "
                           "Rules.")
                .arg(Link->ListeningPort()));
    else if (!Idle())
        Log.Answer("F2: still joining; the host deals once you are connected.");
    else
        Log.Answer("F2: no network table is open. Host or join in File › Rules, or choose another game type "
                   "to play here.");
    return true;
}

QString TDirectPlay::TitlePart(bool networkChosen) const {
    if (!networkChosen && Idle()) return {};
    if (Active()) return QStringLiteral("you are %1").arg(TTableAnnouncer::PlayerName(Match->LocalPlayer()));
    if (Link->IsListening())
        return QStringLiteral("hosting on port %1, waiting for a player").arg(Link->ListeningPort());
    if (!Idle()) return QStringLiteral("joining");
    return QStringLiteral("not connected");
}

bool TDirectPlay::SendChat(const QString& text) {
    if (Idle()) {
        TSideLog::Note(
            "Chat goes to the other player of a network match (File › Rules, MultiPlayer TCP/IP).");
        return false;
    }
    return Match->SendChat(text);
}

void TDirectPlay::Follow() {
    if (!Active() || !Game.InProgress) return;
    Seat = Match->LocalPlayer();
    LeftByName.clear();
}

void TDirectPlay::Forget() {
    Seat = -1;
    LeftByName.clear();
}
