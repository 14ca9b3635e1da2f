#include "app/SoundCues.h"

#include "game/Game.h"

TSoundCues::TSoundCues(TSoundPlayer* player, TPersonOf personOf)
    : Player(player), PersonOf(std::move(personOf)) {}

void TSoundCues::Cue(TSound sound) {
    if (Enabled && Player) Player->Play(sound);
}

void TSoundCues::Observe(const TGame& game) {
    int32_t placed = 0, owned = 0;
    for (const auto& row : game.Board)
        for (const TOwnedCard& square : row) {
            placed += square.Card != -1;
            // Who owns each square, in base 3: cards taken for a flip and
            // written back when it ends change it.
            owned = owned * 3 + (square.Owner + 1);
        }
    const bool dealing = game.InProgress && game.Phase == TGame::PhaseDealing;
    const bool wasDealing = WasInProgress && LastPhase == TGame::PhaseDealing;
    if (dealing && !wasDealing) Cue(TSound::Deal);
    // The played card lands where its flight ends.
    if (LastPhase == TGame::PhaseFlight && game.Phase != TGame::PhaseFlight) Cue(TSound::Place);
    // A flip starts, or the next group starts at the frame the last one ended.
    const bool flipping = game.InProgress && game.Phase == TGame::PhaseFlipping;
    if (flipping && (LastPhase != TGame::PhaseFlipping || owned != LastOwned || game.BannerSprite != LastBanner)) {
        const TGameSprites* images = game.Sprites.get();
        const TSprite* banner = game.BannerSprite;
        if (banner && images && banner == images->SameText.get())
            Cue(TSound::Same);
        else if (banner && images && banner == images->PlusText.get())
            Cue(TSound::Plus);
        else if (banner && images && banner == images->ComboText.get())
            Cue(TSound::Combo);
        else
            Cue(TSound::Turn);
    }
    if (game.GameOver && !game.InProgress && !WasOver && placed == 9) {
        const int32_t person = PersonOf ? PersonOf() : -1;
        const int32_t red = game.Score[0], blue = game.Score[1];
        if (red == blue)
            Cue(TSound::Draw);
        else if (person < 0 || (person == 1) == (blue > red))
            Cue(TSound::Win);
        else
            Cue(TSound::Loss);
    }
    WasInProgress = game.InProgress;
    WasOver = game.GameOver;
    LastPhase = game.Phase;
    LastOwned = owned;
    LastBanner = game.BannerSprite;
}
