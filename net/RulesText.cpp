#include "net/RulesText.h"

#include <QStringList>

QStringList RuleNames(const TGameRules& rules) {
    QStringList names;
    if (rules.Same) names << QStringLiteral("Same");
    if (rules.SameWall) names << QStringLiteral("Same Wall");
    if (rules.Plus) names << QStringLiteral("Plus");
    if (rules.Elemental) names << QStringLiteral("Elemental");
    if (rules.SuddenDeath) names << QStringLiteral("Sudden Death");
    return names;
}

QString RulesText(const TGameRules& rules) {
    const QStringList names = RuleNames(rules);
    return names.isEmpty() ? QStringLiteral("Open, Random")
                           : QStringLiteral("Open, Random, ") + names.join(", ");
}
