#pragma once

#include "rules/GameRules.h"

#include <cstdint>

// The rule switches of a match as one integer, as the server stores and
// compares them.
enum TRuleBits : int32_t {
    RuleSame = 1,
    RuleSameWall = 2,
    RulePlus = 4,
    RuleElemental = 8,
    RuleSuddenDeath = 16,
    RuleAllBits = 31,
};

inline int32_t RuleBitsOf(const TGameRules& rules) {
    return (rules.Same ? RuleSame : 0) | (rules.SameWall ? RuleSameWall : 0) | (rules.Plus ? RulePlus : 0) |
           (rules.Elemental ? RuleElemental : 0) | (rules.SuddenDeath ? RuleSuddenDeath : 0);
}

inline TGameRules RulesOfBits(int32_t bits) {
    TGameRules rules;
    rules.Same = (bits & RuleSame) != 0;
    rules.SameWall = (bits & RuleSameWall) != 0;
    rules.Plus = (bits & RulePlus) != 0;
    rules.Elemental = (bits & RuleElemental) != 0;
    rules.SuddenDeath = (bits & RuleSuddenDeath) != 0;
    return rules;
}
