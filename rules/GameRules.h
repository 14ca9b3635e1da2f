#pragma once

// The rule switches of one match, one byte each. Open and Random are always in
// force; the match carries them but never consults them.
struct TGameRules {
    bool Open = true;
    bool Random = true;
    bool Same = false;
    bool SameWall = false;
    bool Plus = false;
    bool Elemental = false;
    bool SuddenDeath = false;

    friend bool operator==(const TGameRules&, const TGameRules&) = default;
};

static_assert(sizeof(TGameRules) == 7, "the rules record is seven one-byte switches");
