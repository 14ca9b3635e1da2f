// Arbitrary bytes as a .bmp file: loading gives a surface no larger than the
// game accepts, or null with the size left untouched; a surface that loads
// can be copied, stretched and keyed like any other, each copy drawing
// exactly the pixels it should.
#include "render/Graphics.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

// Copies the surface onto the target at dest and traps unless every target
// pixel is what a nearest-neighbour copy leaves there: the source pixel under
// its centre inside dest (unless keyed away), the old pixel outside.
void CopyAndCheck(TSurface& target, const TRect& dest, const TSurface& source, bool keyed) {
    const TSurface before(target.Image().copy());
    if (!target.Blt(dest, &source, source.Bounds(), BltWait | (keyed ? BltKeySrc : 0))) __builtin_trap();
    const uint64_t sw = uint64_t(source.Width()), sh = uint64_t(source.Height());
    const uint64_t dw = uint64_t(dest.Width()), dh = uint64_t(dest.Height());
    for (int32_t y = 0; y < target.Height(); ++y)
        for (int32_t x = 0; x < target.Width(); ++x) {
            uint32_t expected = before.Pixel(x, y);
            if (x >= dest.left && x < dest.right && y >= dest.top && y < dest.bottom) {
                const int32_t sx = int32_t((2 * uint64_t(x - dest.left) + 1) * sw / (2 * dw));
                const int32_t sy = int32_t((2 * uint64_t(y - dest.top) + 1) * sh / (2 * dh));
                const uint32_t pixel = source.Pixel(sx, sy);
                if (!keyed || pixel != source.ColorKey()) expected = pixel;
            }
            if (target.Pixel(x, y) != expected) __builtin_trap();
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir work;
    static const std::string path = work.filePath("fuzz.bmp").toStdString();
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TGraphics graphics;
    const TRect untouched{-1, -1, -1, -1};
    TRect bounds = untouched;
    const bool keyed = size > 0 && (data[0] & 1);
    std::string problem;
    std::unique_ptr<TSurface> surface = graphics.LoadBitmapSurface(path, &bounds, keyed, false, &problem);
    if (!surface) {
        if (bounds != untouched) __builtin_trap();
        return 0;
    }
    if (!problem.empty()) __builtin_trap();
    if (bounds != surface->Bounds() || surface->IsNull()) __builtin_trap();
    if (surface->Width() > TGraphics::MaxBitmapSide || surface->Height() > TGraphics::MaxBitmapSide)
        __builtin_trap();
    if (keyed != surface->HasColorKey()) __builtin_trap();

    TSurface target(64, 48);
    target.SetClipRect({0, 0, 64, 48});
    CopyAndCheck(target, {-7, -5, 30, 40}, *surface, keyed);
    CopyAndCheck(target, {10, 10, 10 + surface->Width(), 10 + surface->Height()}, *surface, keyed);
    CopyAndCheck(target, {50, 40, 51, 118}, *surface, keyed);
    return 0;
}
