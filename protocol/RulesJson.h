#pragma once

#include "rules/GameRules.h"

#include <QJsonObject>

// The rule switches as JSON: {"same":…,"same_wall":…,"plus":…,"elemental":…,
// "sudden_death":…}, as the wire, match records and positions all write them.
// Open and Random are always in force and never written.
namespace RulesJson {

struct TSwitch {
    const char* Name;
    bool TGameRules::*Field;
};
inline constexpr TSwitch Switches[] = {
    {"same", &TGameRules::Same},
    {"same_wall", &TGameRules::SameWall},
    {"plus", &TGameRules::Plus},
    {"elemental", &TGameRules::Elemental},
    {"sudden_death", &TGameRules::SuddenDeath},
};

QJsonObject Write(const TGameRules& rules);

// Reads the switches in the order above into rules; the first one missing or
// not true/false stops the reading and is returned, null when all were read.
const TSwitch* Read(const QJsonObject& object, TGameRules& rules);

} // namespace RulesJson
