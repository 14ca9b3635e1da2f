#include "render/WholePixels.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

QRectF WholePixelRect(const QSizeF& target, const QSize& picture, qreal ratio) {
    if (picture.isEmpty() || ratio <= 0) return {};
    const qreal deviceWidth = target.width() * ratio, deviceHeight = target.height() * ratio;
    // A hair of tolerance: a logical size times a ratio such as 1.1 is not
    // always a whole number in floating point.
    constexpr qreal slack = 1e-6;
    const int factor = std::max(1, int(std::min(std::floor(deviceWidth / picture.width() + slack),
                                                std::floor(deviceHeight / picture.height() + slack))));
    const qreal width = picture.width() * factor, height = picture.height() * factor;
    const qreal left = std::floor((deviceWidth - width) / 2 + slack);
    const qreal top = std::floor((deviceHeight - height) / 2 + slack);
    return {std::max<qreal>(0, left) / ratio, std::max<qreal>(0, top) / ratio, width / ratio, height / ratio};
}

void PaintWholePixels(QPainter& painter, const QImage& frame, const QRect& target) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (ratio == 1.0 && frame.size() == target.size()) {
        painter.drawImage(target.topLeft(), frame);
        return;
    }
    const QRectF picture = WholePixelRect(target.size(), frame.size(), ratio).translated(target.topLeft());
    // Only a device pixel ratio with no whole factor leaves a margin.
    if (picture != QRectF(target)) painter.fillRect(target, Qt::black);
    // Without smoothing the raster engine samples the nearest source pixel,
    // and at a whole factor on whole device pixels that is exact replication.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(picture, frame);
}
