#include "app/MatchLog.h"

#include "game/Game.h"

#include <QStringList>

const QString TMatchLog::Invitation = QStringLiteral("Press F2 or click the table to deal a new match.");

TMatchLog::TMatchLog(TSink sink) : Sink(std::move(sink)) {}

void TMatchLog::Open() {
    Sink(Invitation);
}

void TMatchLog::Observe(const TGame& game) {
    const bool dealing = game.InProgress && game.Phase == TGame::PhaseDealing;
    const bool wasDealing = WasInProgress && LastPhase == TGame::PhaseDealing;
    if (dealing && !wasDealing) {
        // New Game is refused while a card moves, so a deal that follows a
        // flight or a flip came from inside the match's own end: the replay of
        // a drawn match under Sudden Death.
        const bool replay =
            WasInProgress && (LastPhase == TGame::PhaseFlight || LastPhase == TGame::PhaseFlipping);
        if (replay) Sink(EndLine(5, 5, true));
        Sink(StartLine(game.Rules, replay));
    }
    if (game.GameOver && !game.InProgress && !WasOver) {
        // A match stopped before its ninth card (a network match whose other
        // player left) has no result.
        bool full = true;
        for (const auto& row : game.Board)
            for (const TOwnedCard& square : row) full = full && square.Card != -1;
        Sink(full ? EndLine(game.Score[0], game.Score[1], false) : QStringLiteral("Match abandoned"));
        Sink(Invitation);
    }
    WasInProgress = game.InProgress;
    WasOver = game.GameOver;
    LastPhase = game.Phase;
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
