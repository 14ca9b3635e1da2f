#pragma once

#include "rules/GameRules.h"

#include <QString>

// The rules in words, as the log and the lobby show them: "Open, Random,
// Same, Plus", or "Open, Random" without extra rules.
QString RulesText(const TGameRules& rules);
