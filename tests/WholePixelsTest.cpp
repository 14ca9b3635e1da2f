// The board is enlarged by whole device pixels only, so it stays sharp at
// every zoom and on screens with a device pixel ratio above 1.
#include "render/WholePixels.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QImage Noise(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, 0xff000000u | random.bounded(0x1000000u));
    return image;
}

// Paints `frame` into a logical target of `logical` pixels on a device with
// the given ratio, and returns the device pixels.
QImage Painted(const QImage& frame, QSize logical, qreal ratio) {
    QImage device((QSizeF(logical) * ratio).toSize(), QImage::Format_RGB32);
    device.setDevicePixelRatio(ratio);
    device.fill(Qt::magenta);
    QPainter painter(&device);
    PaintWholePixels(painter, frame, QRect(QPoint(0, 0), logical));
    painter.end();
    return device;
}

// Every source pixel became a factor x factor block at `origin`.
void ExpectBlocks(const QImage& device, const QImage& frame, int factor, QPoint origin = {}) {
    int wrong = 0;
    for (int y = 0; y < frame.height() * factor; ++y)
        for (int x = 0; x < frame.width() * factor; ++x)
            if (device.pixel(origin.x() + x, origin.y() + y) != frame.pixel(x / factor, y / factor)) ++wrong;
    EXPECT_EQ(wrong, 0) << "factor " << factor;
}

TEST(WholePixelsTest, PlacesTheLargestWholeFactorThatFits) {
    const QSize area(512, 384);
    EXPECT_EQ(WholePixelRect(QSizeF(512, 384), area, 1.0), QRectF(0, 0, 512, 384));
    EXPECT_EQ(WholePixelRect(QSizeF(1536, 1152), area, 1.0), QRectF(0, 0, 1536, 1152));
    // Twice the device pixels: the same logical rectangle, drawn 2 and 4 times.
    EXPECT_EQ(WholePixelRect(QSizeF(512, 384), area, 2.0), QRectF(0, 0, 512, 384));
    EXPECT_EQ(WholePixelRect(QSizeF(1024, 768), area, 2.0), QRectF(0, 0, 1024, 768));
    // 1.5 at zoom 2 is exactly 3 device pixels a pixel.
    EXPECT_EQ(WholePixelRect(QSizeF(1024, 768), area, 1.5), QRectF(0, 0, 1024, 768));
    // 1.25 at zoom 1 has no whole factor that fills: 1, centred on whole
    // device pixels (640 - 512 = 128 device pixels to share out).
    const QRectF centred = WholePixelRect(QSizeF(512, 384), area, 1.25);
    EXPECT_DOUBLE_EQ(centred.left() * 1.25, 64);
    EXPECT_DOUBLE_EQ(centred.top() * 1.25, 48);
    EXPECT_DOUBLE_EQ(centred.width() * 1.25, 512);
    // A target smaller than the picture still shows it once, not shrunk.
    EXPECT_EQ(WholePixelRect(QSizeF(100, 100), area, 1.0).size(), QSizeF(512, 384));
}

TEST(WholePixelsTest, EveryPixelBecomesASquareBlockOfItself) {
    const QImage frame = Noise({64, 48});
    for (const int zoom : {1, 2, 3}) ExpectBlocks(Painted(frame, frame.size() * zoom, 1.0), frame, zoom);
    // A screen with twice the pixels, at zoom 1 and 3.
    ExpectBlocks(Painted(frame, frame.size(), 2.0), frame, 2);
    ExpectBlocks(Painted(frame, frame.size() * 3, 2.0), frame, 6);
    // A ratio of 1.5 at zoom 2: three device pixels each, never a blend.
    ExpectBlocks(Painted(frame, frame.size() * 2, 1.5), frame, 3);
}

TEST(WholePixelsTest, FractionalRatioLeavesABlackMarginInsteadOfBlurring) {
    const QImage frame = Noise({64, 48});
    const QImage device = Painted(frame, frame.size(), 1.25); // 80 x 60 device pixels
    ExpectBlocks(device, frame, 1, {8, 6});
    EXPECT_EQ(device.pixel(0, 0), 0xff000000u);
    EXPECT_EQ(device.pixel(79, 59), 0xff000000u);
    EXPECT_EQ(device.pixel(8 + 64, 30), 0xff000000u);
}

} // namespace
