#pragma once

#include "server/Referee.h"

#include "rules/CardSource.h"
#include "rules/Match.h"

// The server's matches decided by the rules core, on the catalogue the game
// is built with. A Sudden Death replay deals from the seed plus the number
// of deals made before it, so a stored match replays from its seed and moves.
class TRulesReferee : public TReferee {
public:
    TRulesReferee(const TCardSource& catalogue, int64_t seed, int32_t rules, int32_t firstPlayer);

    int32_t ToMove() const override { return Match.Turn; }
    std::string MoveProblem(int32_t seat, const TPlacementMove& move) const override;
    void Play(const TPlacementMove& move) override;
    bool Over() const override { return Match.GameOver(); }
    int32_t Winner() const override;
    int32_t Score(int32_t seat) const override { return Match.Score[seat & 1]; }
    std::vector<int64_t> RedealSeeds() const override { return Match.Script.RedealSeeds; }

    const TMatch& State() const { return Match; }

private:
    TMatch Match;
    int64_t Seed;
    int64_t Deals = 1;
};

// The catalogue the game's Data/Cards.dat is painted from, built into the
// server (tools/Cards.dat, one card a line: name, four ranks, element).
const TCardList& BuiltInCatalogue();

// A referee factory on the built-in catalogue.
TRefereeFactory RulesRefereeFactory();
