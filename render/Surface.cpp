#include "render/Surface.h"

#include <cstring>
#include <memory>

TSurface::TSurface(int32_t width, int32_t height) {
    if (width > 0 && height > 0) {
        Pixels = QImage(width, height, QImage::Format_RGB32);
        Pixels.fill(0xff000000u);
    }
    Clip = Bounds();
}

TSurface::TSurface(const QImage& image) : Pixels(image.convertToFormat(QImage::Format_RGB32)) {
    Clip = Bounds();
}

QImage& TSurface::EditImage() {
    Touch();
    return Pixels;
}

void TSurface::Touch() { ++Version; }

uint32_t TSurface::Pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    return reinterpret_cast<const uint32_t*>(Pixels.constScanLine(y))[x];
}

void TSurface::SetPixel(int32_t x, int32_t y, uint32_t value) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    Touch();
    reinterpret_cast<uint32_t*>(Pixels.scanLine(y))[x] = value;
}

void TSurface::SetColorKey(uint32_t key) {
    Key = key;
    Keyed = true;
}

void TSurface::SetClipRect(const TRect& clip) { Clip = clip.Intersected(Bounds()); }

const TSurface::TScaled& TSurface::Scaled(const TRect& s, int32_t width, int32_t height) const {
    for (const TScaled& m : Memo)
        if (m.version == Version && m.source == s && m.width == width && m.height == height) return m;

    TScaled& m = Memo[NextMemo];
    NextMemo = (NextMemo + 1) % Memo.size();
    m.source = s;
    m.width = width;
    m.height = height;
    m.version = Version;
    m.pixels.resize(size_t(width) * size_t(height));

    // Sample at pixel centres: destination column x shows source column
    // floor((x + 0.5) * sw / w), which keeps both edges of the image.
    const int64_t sw = s.Width(), sh = s.Height();
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) columns[x] = s.left + int32_t((2 * int64_t(x) + 1) * sw / (2 * width));
    uint32_t* out = m.pixels.data();
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = s.top + int32_t((2 * int64_t(y) + 1) * sh / (2 * height));
        const uint32_t* row = reinterpret_cast<const uint32_t*>(Pixels.constScanLine(sy));
        for (int32_t x = 0; x < width; ++x) *out++ = row[columns[x]];
    }
    return m;
}

bool TSurface::Blt(const TRect& dest, const TSurface* source, const TRect& s, uint32_t flags) {
    if (!source || source->IsNull() || IsNull()) return false;
    if (s.IsEmpty() || dest.IsEmpty()) return false;
    if (s.left < 0 || s.top < 0 || s.right > source->Width() || s.bottom > source->Height()) return false;

    const TRect visible = dest.Intersected(Clip);
    if (visible.IsEmpty()) return true;

    // A copy of a surface onto itself must read the pixels as they were.
    std::unique_ptr<TSurface> snapshot;
    if (source == this) {
        snapshot = std::make_unique<TSurface>(Pixels.copy());
        source = snapshot.get();
    }

    const bool stretched = s.Width() != dest.Width() || s.Height() != dest.Height();
    const uint32_t* base;
    int64_t stride; // in words
    int32_t originX, originY;
    if (stretched) {
        const TScaled& m = source->Scaled(s, dest.Width(), dest.Height());
        base = m.pixels.data();
        stride = dest.Width();
        originX = 0;
        originY = 0;
    } else {
        base = reinterpret_cast<const uint32_t*>(source->Pixels.constBits());
        stride = source->Pixels.bytesPerLine() / 4;
        originX = s.left;
        originY = s.top;
    }

    Touch();
    const int32_t columns = visible.Width();
    const int32_t skipX = originX + (visible.left - dest.left);
    const bool keyed = (flags & BltKeySrc) && source->Keyed;
    const uint32_t key = source->Key;
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const uint32_t* from = base + (originY + (y - dest.top)) * stride + skipX;
        uint32_t* to = reinterpret_cast<uint32_t*>(Pixels.scanLine(y)) + visible.left;
        if (keyed) {
            for (int32_t x = 0; x < columns; ++x)
                if (from[x] != key) to[x] = from[x];
        } else {
            std::memcpy(to, from, size_t(columns) * 4);
        }
    }
    return true;
}

void TSurface::BlendImage(const QImage& image, int32_t x, int32_t y) {
    if (IsNull() || image.isNull()) return;
    const TRect visible = TRect{x, y, x + image.width(), y + image.height()}.Intersected(Clip);
    if (visible.IsEmpty()) return;
    Touch();
    for (int32_t row = visible.top; row < visible.bottom; ++row) {
        const uint32_t* from = reinterpret_cast<const uint32_t*>(image.constScanLine(row - y)) - x;
        uint32_t* to = reinterpret_cast<uint32_t*>(Pixels.scanLine(row));
        for (int32_t col = visible.left; col < visible.right; ++col) {
            const uint32_t s = from[col];
            const uint32_t alpha = s >> 24;
            if (alpha == 0) continue;
            if (alpha == 255) {
                to[col] = s | 0xff000000u;
                continue;
            }
            const uint32_t d = to[col], inverse = 255 - alpha;
            auto channel = [&](int shift) {
                const uint32_t v = ((s >> shift) & 0xff) + (((d >> shift) & 0xff) * inverse + 127) / 255;
                return std::min<uint32_t>(v, 255) << shift;
            };
            to[col] = 0xff000000u | channel(16) | channel(8) | channel(0);
        }
    }
}
