#pragma once

// The ten families of creature, one per tier of the catalogue. Each paints in
// a stage of about -50..50 on both axes, centred on the creature, ground at
// y = 40; the caller maps the stage onto the card.

#include "Catalogue.h"
#include "PaintKit.h"
#include "Random.h"

class QPainter;

namespace artgen {

struct Sketch {
    QPainter& p;
    Random& r;
    Palette pal;
    const CardRecord& card;
    qreal line = 2.4; // outline width in stage units

    // Names steer the variant where a word makes a promise ("Eel", "Moth").
    bool named(const char* word) const {
        return card.word.contains(QLatin1String(word), Qt::CaseInsensitive);
    }
};

void paintBlob(Sketch& s);
void paintCrawler(Sketch& s);
void paintFish(Sketch& s);
void paintWinged(Sketch& s);
void paintSprout(Sketch& s);
void paintClockwork(Sketch& s);
void paintMask(Sketch& s);
void paintWarden(Sketch& s);
void paintWyrm(Sketch& s);
void paintSovereign(Sketch& s);

} // namespace artgen
