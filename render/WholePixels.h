#pragma once

#include <QRectF>
#include <QSize>

class QImage;
class QPainter;
class QRect;

// A picture enlarged by whole device pixels only, never by a fraction, so that
// every pixel of it becomes a square block of equal pixels and nothing blurs,
// also on screens whose device pixel ratio is above 1.

// Where the enlarged picture lies inside a target of `target` logical pixels
// on a device with `ratio` device pixels per logical pixel: the largest whole
// factor that fits (at least 1), centred on whole device pixels.
QRectF WholePixelRect(const QSizeF& target, const QSize& picture, qreal ratio);

// Paints `frame` into `target` that way, nearest neighbour, with black around
// it where the factor leaves a margin.
void PaintWholePixels(QPainter& painter, const QImage& frame, const QRect& target);
