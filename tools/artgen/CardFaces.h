#pragma once

#include "Catalogue.h"

#include <QImage>

namespace artgen {

enum class Owner { Red, Blue };

// A 100 x 127 opaque face: frame and background in the owner's colour, the
// ranks as a compass in the top-left corner, the element in the top-right,
// and the card's illustration (see illustration()) in between.
QImage cardFace(const CardRecord& card, Owner owner, const QImage& art);

// Seen only for an instant in the middle of a flip, so it is neutral: it must
// belong to neither player.
QImage cardBack();

} // namespace artgen
