#pragma once

// The characters of the table's painted lettering, in the order of their
// cells in a lettering picture: one row of equal cells, left to right. The
// art generator paints them and the game reads them in this same order.
// Written as UTF-8; the dash, the ellipsis and the typographic apostrophe are
// one character each.
inline constexpr const char* LetterSetUtf8 =
    "!',-.0123456789:?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\u2013\u2026\u2019";

// Cell size of the banner lettering picture, in pixels.
inline constexpr int LetterCellLargeWidth = 40;
inline constexpr int LetterCellLargeHeight = 50;
