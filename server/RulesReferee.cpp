#include "server/RulesReferee.h"

#include "server/StoredMatch.h"

#include <sstream>

namespace {

// tools/Cards.dat, read at configure time.
constexpr const char* CardsText =
#include "server/CardsText.inc"
    ;

} // namespace

TRulesReferee::TRulesReferee(const TCardSource& catalogue, int64_t seed, int32_t rules, int32_t firstPlayer)
    : Seed(seed) {
    TGameRules switches;
    switches.Same = (rules & RuleSame) != 0;
    switches.SameWall = (rules & RuleSameWall) != 0;
    switches.Plus = (rules & RulePlus) != 0;
    switches.Elemental = (rules & RuleElemental) != 0;
    switches.SuddenDeath = (rules & RuleSuddenDeath) != 0;
    Match.Catalogue = &catalogue;
    Match.StartMatch(seed, firstPlayer, switches, false);
}

std::string TRulesReferee::MoveProblem(int32_t seat, const TPlacementMove& move) const {
    TPlacementProblem problem = Match.MoveProblem(seat, move.Slot, move.X, move.Y);
    return problem == TPlacementProblem::None ? std::string() : std::string(Describe(problem));
}

void TRulesReferee::Play(const TPlacementMove& move) {
    size_t redeals = Match.Script.RedealSeeds.size();
    Match.PlayMove(move, Seed + Deals);
    if (Match.Script.RedealSeeds.size() != redeals) ++Deals;
}

int32_t TRulesReferee::Winner() const {
    if (Match.Score[0] == Match.Score[1]) return -1;
    return Match.Score[1] > Match.Score[0] ? 1 : 0;
}

const TCardList& BuiltInCatalogue() {
    static const TCardList catalogue = [] {
        TCardList cards;
        std::istringstream lines(CardsText);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string name;
            TCardValues card;
            if (fields >> name >> card.Ranks[0] >> card.Ranks[1] >> card.Ranks[2] >> card.Ranks[3] >>
                card.Element)
                cards.Cards.push_back(card);
        }
        return cards;
    }();
    return catalogue;
}

TRefereeFactory RulesRefereeFactory() {
    return [](int64_t seed, int32_t rules, int32_t firstPlayer) -> std::unique_ptr<TReferee> {
        if (BuiltInCatalogue().CardCount() == 0) return nullptr;
        return std::make_unique<TRulesReferee>(BuiltInCatalogue(), seed, rules, firstPlayer);
    };
}
