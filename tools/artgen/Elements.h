#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

class QPainter;

namespace artgen {

inline constexpr int kElementCount = 8;

struct ElementInfo {
    const char* name;
    QColor colour;
};

// 1..8, in the numbering of the card file and of the element squares.
const ElementInfo& elementInfo(int element);

// The bare symbol, filling `box`, with a dark rim of `rim` pixels.
void paintElementSymbol(QPainter& painter, int element, const QRectF& box, qreal rim);

// The board icon: the symbol on a round badge, keyed, about 40 x 40.
QImage elementIcon(int element);

} // namespace artgen
