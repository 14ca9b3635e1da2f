#pragma once

#include "rules/GameRules.h"

#include <QString>
#include <QStringList>

// The rules in words, as the log and the lobby show them: "Open, Random,
// Same, Plus", or "Open, Random" without extra rules.
QString RulesText(const TGameRules& rules);
// The extra rules' names alone ("Same", "Plus"), none for an open table.
QStringList RuleNames(const TGameRules& rules);
