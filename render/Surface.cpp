#include "render/Surface.h"

#include <climits>
#include <cstring>
#include <memory>

namespace {

// Sixteen-byte words that may sit at any four-byte boundary.
typedef uint32_t TQuad __attribute__((vector_size(16), aligned(4), may_alias));

// Copies n pixels. Rows of a card or an image are a few hundred bytes, where
// a plain vector loop beats the library's memcpy, whose set-up for each call
// costs more than the copy itself at these sizes.
inline void CopyPixels(uint32_t* to, const uint32_t* from, int32_t n) {
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const TQuad a = *reinterpret_cast<const TQuad*>(from + x);
        const TQuad b = *reinterpret_cast<const TQuad*>(from + x + 4);
        *reinterpret_cast<TQuad*>(to + x) = a;
        *reinterpret_cast<TQuad*>(to + x + 4) = b;
    }
    for (; x < n; ++x) to[x] = from[x];
}

} // namespace

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

void TSurface::Touch() {
    ++Version;
}

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

void TSurface::SetClipRect(const TRect& clip) {
    Clip = clip.Intersected(Bounds());
}

const TSurface::TScaled& TSurface::Scaled(const TRect& s, int64_t width, int64_t height,
                                          const TScaledPart& part) const {
    for (const TScaled& m : Memo)
        if (m.version == Version && m.source == s && m.width == width && m.height == height &&
            m.part == part && m.hasSolid == Keyed && (!Keyed || m.solidKey == Key))
            return m;

    TScaled& m = Memo[NextMemo];
    NextMemo = (NextMemo + 1) % Memo.size();
    m.source = s;
    m.width = width;
    m.height = height;
    m.part = part;
    m.version = Version;
    m.pixels.resize(size_t(part.width) * size_t(part.height));

    // Sample at pixel centres: destination column x shows source column
    // floor((x + 0.5) * sw / w), which keeps both edges of the image. Both
    // factors stay below 2^33 and 2^31, so the product fits 64 unsigned bits
    // even for a destination spanning the whole 32-bit range.
    const uint64_t sw = uint64_t(s.Width()), sh = uint64_t(s.Height());
    auto sourceOf = [](int64_t at, uint64_t sourceSize, int64_t size) {
        return int32_t((2 * uint64_t(at) + 1) * sourceSize / (2 * uint64_t(size)));
    };
    std::vector<int32_t> columns(size_t(part.width));
    for (int32_t x = 0; x < part.width; ++x) columns[size_t(x)] = s.left + sourceOf(part.left + x, sw, width);
    uint32_t* out = m.pixels.data();
    for (int32_t y = 0; y < part.height; ++y) {
        const int32_t sy = s.top + sourceOf(part.top + y, sh, height);
        const uint32_t* row = reinterpret_cast<const uint32_t*>(Pixels.constScanLine(sy));
        for (int32_t x = 0; x < part.width; ++x) *out++ = row[columns[size_t(x)]];
    }
    m.hasSolid = Keyed;
    if (Keyed) {
        m.solidKey = Key;
        m.solid.Build(m.pixels.data(), part.width, part.width, part.height,
                      [key = Key](uint32_t p) { return p != key; });
    }
    return m;
}

size_t TSurface::ScaledBytes() const {
    size_t bytes = 0;
    for (const TScaled& m : Memo) bytes += m.pixels.capacity() * sizeof(uint32_t);
    return bytes;
}

const TRowSpans& TSurface::SolidSpans() const {
    if (SolidVersion != Version || SolidKey != Key) {
        Solid.Build(reinterpret_cast<const uint32_t*>(Pixels.constBits()), Pixels.bytesPerLine() / 4, Width(),
                    Height(), [key = Key](uint32_t p) { return p != key; });
        SolidVersion = Version;
        SolidKey = Key;
    }
    return Solid;
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
        // The copy has to skip the same pixels the original would.
        snapshot->Key = Key;
        snapshot->Keyed = Keyed;
        source = snapshot.get();
    }

    const bool stretched = s.Width() != dest.Width() || s.Height() != dest.Height();
    const bool keyed = (flags & BltKeySrc) && source->Keyed;
    // The pixels to copy as one block: block pixel (x, y) lands on destination
    // pixel (x + offsetX, y + offsetY).
    const uint32_t* base;
    int64_t stride; // in words
    int64_t offsetX, offsetY;
    const TRowSpans* solid = nullptr;
    if (stretched) {
        // Cut first, then scale: only the visible part is scaled, so a picture
        // stretched far past the target costs no more than the target itself.
        const TScaledPart part{int64_t(visible.left) - dest.left, int64_t(visible.top) - dest.top,
                               int32_t(visible.Width()), int32_t(visible.Height())};
        const TScaled& m = source->Scaled(s, dest.Width(), dest.Height(), part);
        base = m.pixels.data();
        stride = part.width;
        offsetX = visible.left;
        offsetY = visible.top;
        if (keyed) solid = &m.solid;
    } else {
        base = reinterpret_cast<const uint32_t*>(source->Pixels.constBits());
        stride = source->Pixels.bytesPerLine() / 4;
        offsetX = int64_t(dest.left) - s.left;
        offsetY = int64_t(dest.top) - s.top;
        if (keyed) solid = &source->SolidSpans();
    }

    Touch();
    uint8_t* const bits = Pixels.bits();
    const int64_t pitch = Pixels.bytesPerLine();
    // A whole-surface copy between surfaces of one shape is one block move.
    if (!keyed && !stretched && visible == Bounds() && dest == Bounds() && s == source->Bounds() &&
        pitch == source->Pixels.bytesPerLine()) {
        std::memcpy(bits, source->Pixels.constBits(), size_t(Pixels.sizeInBytes()));
        return true;
    }
    // Columns of the block that land inside the visible part.
    const int32_t firstColumn = int32_t(visible.left - offsetX);
    const int32_t lastColumn = int32_t(visible.right - offsetX);
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const int32_t blockRow = int32_t(y - offsetY);
        const uint32_t* from = base + blockRow * stride + firstColumn;
        uint32_t* to = reinterpret_cast<uint32_t*>(bits + y * pitch) + visible.left;
        if (!solid) {
            std::memcpy(to, from, size_t(lastColumn - firstColumn) * 4);
            continue;
        }
        for (const TRowSpans::TSpan& span : solid->Row(blockRow)) {
            const int32_t begin = std::max(span.begin, firstColumn), end = std::min(span.end, lastColumn);
            if (begin < end)
                CopyPixels(to + (begin - firstColumn), from + (begin - firstColumn), end - begin);
        }
    }
    return true;
}

void TSurface::BlendImage(const QImage& image, const TRowSpans& spans, int32_t x, int32_t y) {
    if (IsNull() || image.isNull()) return;
    // Text placed near the end of the coordinate range must not wrap around.
    auto end = [](int32_t at, int32_t size) {
        return int32_t(std::min<int64_t>(int64_t(at) + size, INT32_MAX));
    };
    const TRect visible = TRect{x, y, end(x, image.width()), end(y, image.height())}.Intersected(Clip);
    if (visible.IsEmpty()) return;
    Touch();
    uint8_t* const bits = Pixels.bits();
    const int64_t pitch = Pixels.bytesPerLine();
    const int32_t firstColumn = visible.left - x, lastColumn = visible.right - x;
    for (int32_t row = visible.top; row < visible.bottom; ++row) {
        const uint32_t* from = reinterpret_cast<const uint32_t*>(image.constScanLine(row - y));
        uint32_t* to = reinterpret_cast<uint32_t*>(bits + row * pitch);
        for (const TRowSpans::TSpan& span : spans.Row(row - y)) {
            const int32_t end = std::min(span.end, lastColumn);
            for (int32_t col = std::max(span.begin, firstColumn); col < end; ++col) {
                const uint32_t s = from[col];
                const uint32_t alpha = s >> 24;
                if (alpha == 255) {
                    to[x + col] = s | 0xff000000u;
                    continue;
                }
                // Premultiplied source over destination, red and blue in one word:
                // (v + 128 + ((v + 128) >> 8)) >> 8 is v / 255 rounded. A premultiplied
                // channel never exceeds its alpha, so the sums cannot carry over.
                const uint32_t d = to[x + col], inverse = 255 - alpha;
                uint32_t rb = (d & 0x00ff00ffu) * inverse + 0x00800080u;
                rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
                uint32_t g = (d & 0x0000ff00u) * inverse + 0x00008000u;
                g = ((g + ((g >> 8) & 0x0000ff00u)) >> 8) & 0x0000ff00u;
                to[x + col] = 0xff000000u | ((s & 0x00ffffffu) + rb + g);
            }
        }
    }
}
