#pragma once

#include "Catalogue.h"

#include <QImage>

namespace artgen {

inline constexpr int kFaceWidth = 100;
inline constexpr int kFaceHeight = 127;

// The card's picture without frame or background, transparent where the
// owner's colour is to show through. The same layer goes on the red and the
// blue face, which is what keeps the two faces of a card alike.
QImage illustration(const CardRecord& card);

} // namespace artgen
