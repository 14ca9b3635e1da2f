#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QString>

class QPainter;

namespace artgen {

// Only faces from fonts-dejavu-core, which every build machine has.
enum class Face { Sans, SansBold, SerifBold };

// Registers the DejaVu files from the system font folder. Throws when one is
// missing: a silent fallback font would change every picture.
void loadFonts(const QString& folder);

// Glyph outlines read straight from the font file, never through font
// matching or hinting, so the lettering is the same on every machine and can
// carry a stroke. The path is centred on `centre` by its ink.
QPainterPath textPath(const QString& text, Face face, qreal pixelSize, QPointF centre);

// One character's outline with its pen origin at `origin` on the baseline,
// and its advance, for painting lettering a glyph at a time.
QPainterPath glyphPath(const QString& character, Face face, qreal pixelSize, QPointF origin);

// For plain captions on the contact sheet, which the game never sees.
QFont captionFont(Face face, int pixelSize);

// Dark stroke first, then the fill on top, so the stroke only shows outside.
void paintOutlined(QPainter& painter, const QPainterPath& path, const QBrush& fill, const QColor& outline,
                   qreal outlineWidth);

} // namespace artgen
