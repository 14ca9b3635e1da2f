#pragma once

#include <QImage>
#include <QString>

namespace artgen {

// The game skips this colour when it copies a keyed image.
inline constexpr QRgb kKeyColour = 0xFFFF00FFu;

// A fully transparent premultiplied canvas: everything keyed is painted on one
// of these first so antialiased edges never pick up the key colour.
QImage transparentCanvas(int width, int height);

// Alpha at or above half becomes the painted colour (un-premultiplied), the
// rest becomes exact magenta, so the edge is crisp and has no pink fringe.
QImage toKeyed(const QImage& canvas);

// Drops alpha and nudges any pixel that happens to be exact magenta, because
// the game must never see the key colour in a picture it copies unkeyed.
QImage toOpaque(const QImage& image);

// Pixels that are not the key but are close enough to it to read as a pink
// fringe once the key is removed around them.
int countKeyLikePixels(const QImage& keyed);
int countKeyPixels(const QImage& image);

// Writes a 24-bit BMP and rereads its header to be sure of it. An identical
// existing file is left untouched so its timestamp does not ripple into the
// application's resource build.
void writeBmp(const QImage& image, const QString& path);
void writePng(const QImage& image, const QString& path);

} // namespace artgen
