#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QString>

class QPainter;

namespace artgen {

enum class Face { Sans, SansBold, SansCondensedBold, SerifBold, SerifBoldItalic };

// Registers the DejaVu faces from the system font folder. Throws when one is
// missing: a silent fallback font would change every picture.
void loadFonts(const QString &folder);

QFont fontFor(Face face, qreal pixelSize);

// Glyph outlines rather than rasterised text, so hinting never differs and the
// lettering can carry a stroke. The path is centred on `centre` by its ink.
QPainterPath textPath(const QString &text, const QFont &font, QPointF centre);

// Dark stroke first, then the fill on top, so the stroke only shows outside.
void paintOutlined(QPainter &painter, const QPainterPath &path, const QBrush &fill, const QColor &outline,
                   qreal outlineWidth);

} // namespace artgen
