#include "render/Lettering.h"

#include "render/Graphics.h"
#include "render/LetterSet.h"

bool TLettering::Load(TGraphics& graphics, const std::string& fileName, int32_t cellWidth,
                      int32_t cellHeight) {
    Picture.reset();
    Glyphs.clear();
    Letters = QString::fromUtf8(LetterSetUtf8);
    TRect size;
    std::unique_ptr<TSurface> picture = graphics.LoadBitmapSurface(fileName, &size, true, false);
    if (!picture || cellWidth <= 0 || size.bottom != cellHeight || size.right != cellWidth * Letters.size())
        return false;
    // The key is the picture's first pixel: the top-left cell corner is never inked.
    const uint32_t key = picture->FirstPixel();
    picture->SetColorKey(key);
    for (qsizetype cell = 0; cell < Letters.size(); ++cell) {
        int32_t first = -1, last = -1;
        for (int32_t x = int32_t(cell) * cellWidth; x < int32_t(cell + 1) * cellWidth; ++x)
            for (int32_t y = 0; y < cellHeight; ++y)
                if (picture->Pixel(x, y) != key) {
                    if (first == -1) first = x;
                    last = x;
                    break;
                }
        Glyphs.push_back(first == -1 ? TGlyph{} : TGlyph{first, last - first + 1});
    }
    CellHeight = cellHeight;
    Picture = std::move(picture);
    return true;
}

const TLettering::TGlyph* TLettering::GlyphOf(QChar character) const {
    // Typed apostrophes and hyphens read as the painted ones.
    if (character == QChar(u'\'')) character = QChar(u'\u2019');
    const qsizetype index = Letters.indexOf(character);
    if (index < 0 || size_t(index) >= Glyphs.size() || Glyphs[size_t(index)].Width == 0) return nullptr;
    return &Glyphs[size_t(index)];
}

int32_t TLettering::TextWidth(const QString& text) const {
    if (!Picture) return 0;
    int32_t width = 0;
    for (const QChar character : text) {
        const TGlyph* glyph = GlyphOf(character);
        width += glyph ? Advance(*glyph) : SpaceWidth();
    }
    return width;
}

void TLettering::DrawCentred(TSurface* target, const QString& text, int32_t centreX, int32_t top) const {
    if (!Picture || !target) return;
    int32_t x = centreX - TextWidth(text) / 2;
    for (const QChar character : text) {
        const TGlyph* glyph = GlyphOf(character);
        if (!glyph) {
            x += SpaceWidth();
            continue;
        }
        const TRect source{glyph->Left, 0, glyph->Left + glyph->Width, CellHeight};
        target->Blt({x, top, x + glyph->Width, top + CellHeight}, Picture.get(), source, BltWait | BltKeySrc);
        x += Advance(*glyph);
    }
}
