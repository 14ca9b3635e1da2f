#pragma once

#include "render/Rect.h"
#include "render/RowSpans.h"

#include <QImage>
#include <array>
#include <cstdint>
#include <vector>

// Copy flags. Copies are synchronous, so BltWait only documents the caller's
// intent; BltKeySrc skips source pixels equal to the source's colour key.
inline constexpr uint32_t BltWait = 0x01000000;
inline constexpr uint32_t BltKeySrc = 0x00008000;

// An off-screen picture in the one pixel format of the program: 32-bit
// 0xffRRGGBB words (QImage::Format_RGB32). Every copy between surfaces is a
// plain word copy; a picture is converted once, when it is made.
class TSurface {
public:
    TSurface(int32_t width, int32_t height);
    explicit TSurface(const QImage& image);

    bool IsNull() const { return Pixels.isNull(); }
    int32_t Width() const { return Pixels.width(); }
    int32_t Height() const { return Pixels.height(); }
    TRect Bounds() const { return {0, 0, Width(), Height()}; }

    const QImage& Image() const { return Pixels; }
    // For drawing with QPainter; forgets the memoised scalings of this surface.
    QImage& EditImage();

    uint32_t Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, uint32_t value);
    // The first pixel word of the surface, as a raw lock would read it.
    uint32_t FirstPixel() const { return Pixel(0, 0); }

    void SetColorKey(uint32_t key);
    bool HasColorKey() const { return Keyed; }
    uint32_t ColorKey() const { return Key; }

    // Copies onto this surface are cut at the clip rectangle (the whole
    // surface until one is set), so an image reaching past an edge is drawn in
    // part and one wholly outside draws nothing.
    void SetClipRect(const TRect& clip);

    // Copies sourceRect of source into dest, stretching (nearest neighbour)
    // when the sizes differ. False when the rectangles make no sense for the
    // surfaces (empty, or a source rectangle outside the source).
    bool Blt(const TRect& dest, const TSurface* source, const TRect& sourceRect, uint32_t flags);

    // Blends a premultiplied ARGB image (rendered text) with its top left at
    // (x, y), touching only the pixels in the image's spans.
    void BlendImage(const QImage& premultiplied, const TRowSpans& spans, int32_t x, int32_t y);

    // Bytes of pixels held by the memoised scalings of this surface. A
    // stretched copy keeps only the part that was seen, so this stays within
    // a few times the size of the surfaces it was drawn onto.
    size_t ScaledBytes() const;

private:
    // The part of a picture scaled to width x height that a copy shows: its
    // left, top, width and height within the whole scaled picture.
    struct TScaledPart {
        int64_t left = 0;
        int64_t top = 0;
        int32_t width = 0;
        int32_t height = 0;
        friend bool operator==(const TScaledPart&, const TScaledPart&) = default;
    };
    struct TScaled {
        TRect source;
        int64_t width = 0;
        int64_t height = 0;
        TScaledPart part;
        uint64_t version = 0;
        std::vector<uint32_t> pixels; // part.width x part.height
        TRowSpans solid;              // runs of non-key pixels, when the surface is keyed
        uint32_t solidKey = 0;
        bool hasSolid = false;
    };

    void Touch();
    // The given part of sourceRect scaled to width x height, memoised: a card
    // face drawn at the same size and place frame after frame is scaled once.
    const TScaled& Scaled(const TRect& sourceRect, int64_t width, int64_t height,
                          const TScaledPart& part) const;
    // Runs of non-key pixels of the whole surface, kept until it changes.
    const TRowSpans& SolidSpans() const;

    QImage Pixels;
    TRect Clip;
    uint32_t Key = 0;
    bool Keyed = false;
    uint64_t Version = 1;
    mutable std::array<TScaled, 2> Memo;
    mutable size_t NextMemo = 0;
    mutable TRowSpans Solid;
    mutable uint64_t SolidVersion = 0;
    mutable uint32_t SolidKey = 0;
};
