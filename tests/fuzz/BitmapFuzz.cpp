// Arbitrary bytes as a .bmp file: loading gives a surface or null, and a
// surface that loads can be copied, stretched and keyed like any other.
#include "render/Graphics.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir work;
    static const std::string path = work.filePath("fuzz.bmp").toStdString();
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TGraphics graphics;
    TRect bounds{-1, -1, -1, -1};
    const bool keyed = size > 0 && (data[0] & 1);
    std::unique_ptr<TSurface> surface = graphics.LoadBitmapSurface(path, &bounds, keyed, false);
    if (!surface) {
        // A failed load leaves the size alone unless the header was read.
        return 0;
    }
    if (bounds.right != surface->Width() || bounds.bottom != surface->Height()) __builtin_trap();
    TSurface target(64, 48);
    target.SetClipRect({0, 0, 64, 48});
    const uint32_t flags = BltWait | (keyed ? BltKeySrc : 0);
    target.Blt({-7, -5, 30, 40}, surface.get(), surface->Bounds(), flags);
    target.Blt({10, 10, 10 + surface->Width(), 10 + surface->Height()}, surface.get(), surface->Bounds(),
               flags);
    target.Blt({50, 40, 51, 118}, surface.get(), surface->Bounds(), flags);
    return 0;
}
