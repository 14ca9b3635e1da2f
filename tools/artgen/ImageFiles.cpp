#include "ImageFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace artgen {

namespace {

constexpr QRgb kNearKey = 0xFFF000F0u; // still reads as violet-pink, but is not the key

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

void writeIfChanged(const QByteArray& bytes, const QString& path) {
    QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes) return;
    existing.close();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

} // namespace

QImage transparentCanvas(int width, int height) {
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    return canvas;
}

QImage toKeyed(const QImage& canvas) {
    const QImage straight = canvas.convertToFormat(QImage::Format_ARGB32);
    QImage out(straight.size(), QImage::Format_RGB888);
    for (int y = 0; y < straight.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < straight.width(); ++x) {
            QRgb c = qAlpha(src[x]) >= 128 ? src[x] : kKeyColour;
            if (qAlpha(src[x]) >= 128 && (c | 0xFF000000u) == kKeyColour) c = kNearKey;
            dst[3 * x] = static_cast<uchar>(qRed(c));
            dst[3 * x + 1] = static_cast<uchar>(qGreen(c));
            dst[3 * x + 2] = static_cast<uchar>(qBlue(c));
        }
    }
    return out;
}

QImage toOpaque(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < out.height(); ++y) {
        uchar* p = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x, p += 3) {
            if (p[0] == 255 && p[1] == 0 && p[2] == 255) p[2] = 0xF0;
        }
    }
    return out;
}

int countKeyPixels(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    int n = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* p = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, p += 3) n += (p[0] == 255 && p[1] == 0 && p[2] == 255) ? 1 : 0;
    }
    return n;
}

int countKeyLikePixels(const QImage& keyed) {
    const QImage rgb = keyed.convertToFormat(QImage::Format_RGB888);
    int n = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* p = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, p += 3) {
            const bool key = p[0] == 255 && p[1] == 0 && p[2] == 255;
            // Strong red and blue with little green: the colour of a blend
            // between the key and whatever was painted next to it.
            const bool pinkish = p[0] > 150 && p[2] > 150 && p[1] < 0.6 * std::min(p[0], p[2]);
            n += (!key && pinkish) ? 1 : 0;
        }
    }
    return n;
}

void writeBmp(const QImage& image, const QString& path) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(rgb)) fail(QStringLiteral("cannot encode %1: %2").arg(path, writer.errorString()));
    buffer.close();

    // BITMAPFILEHEADER is 14 bytes; the info header follows with the width at
    // 18, the height at 22 and the bit count at 28.
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        fail(QStringLiteral("%1 did not encode as a BMP").arg(path));
    const auto* raw = reinterpret_cast<const uchar*>(bytes.constData());
    const qint32 width = qFromLittleEndian<qint32>(raw + 18);
    const qint32 height = qFromLittleEndian<qint32>(raw + 22);
    const quint16 bits = qFromLittleEndian<quint16>(raw + 28);
    if (bits != 24 || width != rgb.width() || std::abs(height) != rgb.height())
        fail(QStringLiteral("%1 encoded as %2 bits, %3 x %4").arg(path).arg(bits).arg(width).arg(height));
    writeIfChanged(bytes, path);
}

void writePng(const QImage& image, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) fail(QStringLiteral("cannot encode %1").arg(path));
    buffer.close();
    writeIfChanged(bytes, path);
}

} // namespace artgen
