#pragma once

#include "render/RowSpans.h"
#include <QFont>
#include <QImage>
#include <cstdint>
#include <string>
#include <unordered_map>

// Rendered strings, kept between frames: the frame counter changes once a
// second and card names repeat, while laying out and rasterising a string
// every frame would cost more than the rest of the text drawing together.
class TTextCache {
public:
    struct TEntry {
        QImage image;        // premultiplied ARGB, transparent around the glyphs
        TRowSpans covered;   // the pixels the glyphs touch
        int32_t originX = 0; // where the text's reference point lies in the image
        int32_t advance = 0; // the text's advance width
        int32_t ascent = 0;
        int32_t height = 0;
    };

    // color is a 0x00BBGGRR value.
    const TEntry& Get(const QFont& font, const std::string& text, uint32_t color);
    void Clear() { Entries.clear(); }

private:
    static constexpr size_t MaxEntries = 512;
    std::unordered_map<std::string, TEntry> Entries;
};
