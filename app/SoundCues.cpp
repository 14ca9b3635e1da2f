#include "app/SoundCues.h"

#include "rules/Match.h"

TSoundCues::TSoundCues(TSoundPlayer* player) : Player(player) {}

void TSoundCues::Cue(TSound sound) {
    if (Enabled && Player) Player->Play(sound);
}

void TSoundCues::Take(const TTableEvent& event) {
    switch (event.Kind) {
    case TTableEvent::TKind::Dealt:
    case TTableEvent::TKind::Redealt:
        Cue(TSound::Deal);
        return;
    case TTableEvent::TKind::Placed:
        Cue(TSound::Place);
        return;
    case TTableEvent::TKind::GroupShown:
        Cue(event.Group == TMatch::GroupSame    ? TSound::Same
            : event.Group == TMatch::GroupPlus  ? TSound::Plus
            : event.Group == TMatch::GroupCombo ? TSound::Combo
                                                : TSound::Turn);
        return;
    case TTableEvent::TKind::Ended: {
        if (event.How != TTableEvent::THow::Finished) return;
        // Two people at one keyboard, or a watcher: any decided match sounds as a win.
        const int32_t person =
            event.Seats.AcrossNetwork() || event.Seats.Kind == TSeating::Computer ? event.Seats.Person : -1;
        const int32_t red = event.Score[0], blue = event.Score[1];
        if (red == blue)
            Cue(TSound::Draw);
        else if (person < 0 || (person == 1) == (blue > red))
            Cue(TSound::Win);
        else
            Cue(TSound::Loss);
        return;
    }
    case TTableEvent::TKind::Left:
        return;
    }
}
