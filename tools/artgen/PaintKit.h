#pragma once

#include "Random.h"

#include <QBrush>
#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <vector>

class QPainter;

namespace artgen {

// Hue wraps, saturation and value are clamped: palette arithmetic can then be
// written freely.
QColor hsv(double hue, double saturation, double value, int alpha = 255);
QColor mix(const QColor& a, const QColor& b, double t);
QColor withAlpha(const QColor& c, int alpha);

struct Palette {
    QColor body;
    QColor light;
    QColor shade;
    QColor outline;
    QColor accent;
    QColor accentLight;
    QColor glow; // eyes, gems, lamps: the brightest spot of the picture
};

Palette paletteFromHue(double hue, double saturation, double value, Random& random);
// Elemental cards wear their element's colour; the rest pick from `hues`.
Palette paletteFor(int element, Random& random);

// Lit from the upper left, like everything else on the table.
QBrush shadedBrush(const QRectF& box, const QColor& base);
QBrush verticalBrush(const QRectF& box, const QColor& top, const QColor& bottom);

void fillOutlined(QPainter& painter, const QPainterPath& path, const QBrush& fill, const QColor& outline,
                  qreal width);
// A stroke with a darker rim, for limbs, antennae and lines that must survive
// the game's downscale.
void strokeOutlined(QPainter& painter, const QPainterPath& path, const QColor& colour, qreal width,
                    const QColor& outline, qreal rim);

enum class EyeKind { Round, Slit, Glow, Sleepy };
void paintEye(QPainter& painter, QPointF centre, qreal radius, EyeKind kind, const QColor& iris,
              const QColor& outline, QPointF look = QPointF(0, 0));

// Smooth closed curve through the points (Catmull-Rom turned into cubics).
QPainterPath smoothClosed(const std::vector<QPointF>& points, qreal tension = 1.0);
// Smooth open curve through the points.
QPainterPath smoothOpen(const std::vector<QPointF>& points);

// A curve through `points` whose width runs from `startWidth` to
// `endWidth`: horns, tails and tentacles.
QPainterPath taperedStroke(const std::vector<QPointF>& points, qreal startWidth, qreal endWidth);

QPainterPath ellipsePath(QPointF centre, qreal rx, qreal ry);
QPainterPath polygonPath(const std::vector<QPointF>& points);
QPainterPath starPath(QPointF centre, int points, qreal outer, qreal inner, qreal rotationDeg = -90);

void paintGroundShadow(QPainter& painter, QPointF centre, qreal rx, qreal ry);
void paintGloss(QPainter& painter, const QRectF& box, int alpha = 110);

// A pointed leaf (or blade, or feather) from base, turned by angleDeg.
QPainterPath leafShape(QPointF base, double angleDeg, qreal length, qreal width);

} // namespace artgen
