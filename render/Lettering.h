#pragma once

#include "render/Rect.h"
#include "render/Surface.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TGraphics;

// A painted alphabet: one picture holding every character of the letter set
// in a row of equal cells (see LetterSet.h). Each glyph's width is read from
// its ink, so text set with it is spaced like a proportional font.
class TLettering {
public:
    // Loads the picture; false when it is missing or not a letter row of the
    // given cell size. Absent lettering draws nothing.
    bool Load(TGraphics& graphics, const std::string& fileName, int32_t cellWidth, int32_t cellHeight);
    bool Loaded() const { return Picture != nullptr; }

    // Width of the text as DrawCentred would set it; characters outside the
    // letter set count as spaces.
    int32_t TextWidth(const QString& text) const;
    int32_t Height() const { return CellHeight; }
    // Whether the picture holds ink for the character.
    bool Painted(QChar character) const { return GlyphOf(character) != nullptr; }
    // Copies the glyphs onto target, the line centred on centreX, its cells' tops at top.
    void DrawCentred(TSurface* target, const QString& text, int32_t centreX, int32_t top) const;

private:
    struct TGlyph {
        int32_t Left = 0;  // first inked column of the cell, within the picture
        int32_t Width = 0; // inked columns
    };
    const TGlyph* GlyphOf(QChar character) const;
    int32_t SpaceWidth() const { return CellHeight / 4; }
    // Neighbouring glyphs overlap by their outlines' width, as set lettering does.
    int32_t Advance(const TGlyph& glyph) const { return glyph.Width - CellHeight / 16; }

    std::unique_ptr<TSurface> Picture;
    QString Letters;
    std::vector<TGlyph> Glyphs;
    int32_t CellHeight = 0;
};
