#include "app/MatchLog.h"

#include "rules/Match.h"

#include <QStringList>

const QString TMatchLog::Invitation = QStringLiteral("Press F2 or click the table to deal a new match.");
const QString TMatchLog::LobbyInvitation =
    QStringLiteral("Click the table to go back to the lobby, where the server deals the next match.");
const QString TMatchLog::RematchInvitation =
    QStringLiteral("File \u203a Rematch (Ctrl+R) asks the other player to play again, the colours swapped.");

TMatchLog::TMatchLog(TSink sink) : Sink(std::move(sink)) {}

void TMatchLog::Open() {
    Sink(Invitation);
}

void TMatchLog::Take(const TTableEvent& event) {
    switch (event.Kind) {
    case TTableEvent::TKind::Redealt:
        Sink(EndLine(5, 5, true));
        Sink(StartLine(event.Rules, true) + FirstMover(event));
        return;
    case TTableEvent::TKind::Dealt:
        // A network deal is told by the network match, with who dealt it.
        if (event.Seats.Kind == TSeating::DirectPeer) return;
        Sink(StartLine(event.Rules, false));
        return;
    case TTableEvent::TKind::Ended: {
        const bool server =
            event.Seats.Kind == TSeating::ServerPlayer || event.Seats.Kind == TSeating::ServerWatcher;
        // A match stopped before its ninth card (a network match whose other
        // player left) has no result; a server's says itself how it ended.
        if (event.How == TTableEvent::THow::Finished)
            Sink(EndLine(event.Score[0], event.Score[1], false));
        else if (!server)
            Sink(QStringLiteral("Match abandoned"));
        if (event.Seats.Kind == TSeating::ServerPlayer) Sink(RematchInvitation);
        Sink(server ? LobbyInvitation : Invitation);
        return;
    }
    default:
        return;
    }
}

QString TMatchLog::FirstMover(const TTableEvent& event) {
    // Who opens a Sudden Death replay follows from the last match's end, so
    // the log says it; the computer is named as such.
    if (!event.Match) return {};
    const int32_t mover = event.Match->Turn;
    const QString name = mover == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
    const bool computer = event.Seats.Kind == TSeating::Computer && mover != event.Seats.Person;
    return QStringLiteral("; %1 moves first").arg(computer ? "the computer (" + name + ")" : name);
}

QString TMatchLog::StartLine(const TGameRules& rules, bool suddenDeathReplay) {
    QStringList names;
    const std::pair<bool, const char*> all[] = {{rules.Open, "Open"},
                                                {rules.Random, "Random"},
                                                {rules.Same, "Same"},
                                                {rules.SameWall, "Same Wall"},
                                                {rules.Plus, "Plus"},
                                                {rules.Elemental, "Elemental"},
                                                {rules.SuddenDeath, "Sudden Death"}};
    for (const auto& [on, name] : all)
        if (on) names << name;
    const QString what =
        suddenDeathReplay ? QStringLiteral("Sudden Death replay") : QStringLiteral("New match");
    return QStringLiteral("%1 \u2014 rules: %2").arg(what, names.join(QStringLiteral(", ")));
}

QString TMatchLog::EndLine(int32_t redScore, int32_t blueScore, bool suddenDeathReplay) {
    if (blueScore > redScore) return QStringLiteral("Blue wins %1\u2013%2").arg(blueScore).arg(redScore);
    if (redScore > blueScore) return QStringLiteral("Red wins %1\u2013%2").arg(redScore).arg(blueScore);
    QString line = QStringLiteral("Draw %1\u2013%2").arg(redScore).arg(blueScore);
    if (suddenDeathReplay) line += QStringLiteral(" \u2014 Sudden Death");
    return line;
}
