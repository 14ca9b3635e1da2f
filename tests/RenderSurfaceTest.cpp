#include "TestSupport.h"
#include "render/Surface.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace TestColor;

// Every pixel of the pattern is different, so a copy shows which source pixel
// landed where.
uint32_t PatternPixel(int32_t x, int32_t y) {
    return qRgb(x, y, 77);
}

TSurface Pattern(int32_t width, int32_t height) {
    TSurface surface(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) surface.SetPixel(x, y, PatternPixel(x, y));
    return surface;
}

TSurface Filled(int32_t width, int32_t height, uint32_t value) {
    TSurface surface(width, height);
    surface.EditImage().fill(value);
    return surface;
}

// The source column (red) and row (green) a pattern pixel came from.
int32_t SourceX(uint32_t pixel) {
    return qRed(pixel);
}
int32_t SourceY(uint32_t pixel) {
    return qGreen(pixel);
}

// Checks a 10 x 8 target after an unscaled copy of a pattern to (dx, dy):
// pixels inside both the target and the destination show the pattern, all
// others keep the background.
void ExpectTranslatedCopy(const TSurface& target, const TRect& dest, uint32_t background) {
    for (int32_t y = 0; y < target.Height(); ++y)
        for (int32_t x = 0; x < target.Width(); ++x) {
            const bool inside = x >= dest.left && x < dest.right && y >= dest.top && y < dest.bottom;
            const uint32_t expected = inside ? PatternPixel(x - dest.left, y - dest.top) : background;
            ASSERT_EQ(target.Pixel(x, y), expected) << "at " << x << ", " << y;
        }
}

} // namespace

TEST(RenderSurface, StretchedCopyKeepsTheCornersAndSamplesInsideEachPixel) {
    const TSurface card = Pattern(100, 127);
    TSurface target = Filled(120, 130, Black);
    ASSERT_TRUE(target.Blt({10, 5, 95, 115}, &card, card.Bounds(), BltWait));

    EXPECT_EQ(target.Pixel(10, 5), PatternPixel(0, 0));
    EXPECT_EQ(target.Pixel(94, 5), PatternPixel(99, 0));
    EXPECT_EQ(target.Pixel(10, 114), PatternPixel(0, 126));
    EXPECT_EQ(target.Pixel(94, 114), PatternPixel(99, 126));
    // Nothing outside the destination rectangle is touched.
    EXPECT_EQ(target.Pixel(9, 5), Black);
    EXPECT_EQ(target.Pixel(95, 114), Black);
    EXPECT_EQ(target.Pixel(10, 4), Black);
    EXPECT_EQ(target.Pixel(10, 115), Black);

    // Each destination pixel shows a source pixel lying under its own
    // footprint in the source: nearest neighbour, no drift across the image.
    for (int32_t y = 0; y < 110; ++y)
        for (int32_t x = 0; x < 85; ++x) {
            const uint32_t pixel = target.Pixel(10 + x, 5 + y);
            ASSERT_EQ(qBlue(pixel), 77);
            const int32_t sx = SourceX(pixel), sy = SourceY(pixel);
            ASSERT_GE(sx * 85, x * 100 - 85) << x;
            ASSERT_LE(sx * 85, (x + 1) * 100) << x;
            ASSERT_GE(sy * 110, y * 127 - 110) << y;
            ASSERT_LE(sy * 110, (y + 1) * 127) << y;
        }
}

TEST(RenderSurface, StretchToOnePixelWideAndEnlargeByWholeFactors) {
    const TSurface card = Pattern(100, 127);
    TSurface target = Filled(5, 120, Black);
    ASSERT_TRUE(target.Blt({2, 1, 3, 119}, &card, card.Bounds(), BltWait));
    int32_t previousRow = -1;
    for (int32_t y = 1; y < 119; ++y) {
        const uint32_t pixel = target.Pixel(2, y);
        EXPECT_EQ(qBlue(pixel), 77);
        EXPECT_LT(SourceX(pixel), 100);
        EXPECT_GE(SourceY(pixel), previousRow);
        previousRow = SourceY(pixel);
        EXPECT_EQ(target.Pixel(1, y), Black);
        EXPECT_EQ(target.Pixel(3, y), Black);
    }
    EXPECT_EQ(target.Pixel(2, 0), Black);
    EXPECT_EQ(target.Pixel(2, 119), Black);

    TSurface dot = Filled(3, 3, Black);
    ASSERT_TRUE(dot.Blt({1, 1, 2, 2}, &card, card.Bounds(), BltWait));
    EXPECT_EQ(qBlue(dot.Pixel(1, 1)), 77);
    EXPECT_EQ(dot.Pixel(0, 0), Black);
    EXPECT_EQ(dot.Pixel(2, 2), Black);

    // Doubling turns every source pixel into a 2 x 2 block.
    const TSurface small = Pattern(3, 2);
    TSurface doubled = Filled(6, 4, Black);
    ASSERT_TRUE(doubled.Blt({0, 0, 6, 4}, &small, small.Bounds(), BltWait));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(doubled.Pixel(x, y), PatternPixel(x / 2, y / 2));

    // A part of the source, stretched, shows only that part.
    TSurface part = Filled(4, 4, Black);
    ASSERT_TRUE(part.Blt({0, 0, 4, 4}, &card, {50, 60, 52, 62}, BltWait));
    EXPECT_EQ(part.Pixel(0, 0), PatternPixel(50, 60));
    EXPECT_EQ(part.Pixel(3, 3), PatternPixel(51, 61));
}

TEST(RenderSurface, CopiesReachingPastAnEdgeAreDrawnInPart) {
    // Keyed copies go their own way through the pixels; they must be cut alike.
    // The key is a colour the pattern does not hold, so both copy every pixel.
    TSurface image = Pattern(4, 4);
    image.SetColorKey(Magenta);
    const TRect cases[] = {
        {-2, 2, 2, 6},  // past the left edge
        {3, -3, 7, 1},  // past the top edge
        {8, 1, 12, 5},  // past the right edge
        {2, 6, 6, 10},  // past the bottom edge
        {-3, -3, 1, 1}, // past the top left corner
        {9, 7, 13, 11}, // past the bottom right corner
    };
    TSurface large = Pattern(14, 12);
    large.SetColorKey(Magenta);
    for (const uint32_t flags : {BltWait, BltWait | BltKeySrc}) {
        for (const TRect& dest : cases) {
            SCOPED_TRACE(testing::Message() << dest.left << ", " << dest.top << " flags " << flags);
            TSurface target = Filled(10, 8, Blue);
            EXPECT_TRUE(target.Blt(dest, &image, image.Bounds(), flags));
            ExpectTranslatedCopy(target, dest, Blue);
        }

        // A source larger than the target, covering it on every side.
        TSurface target = Filled(10, 8, Blue);
        EXPECT_TRUE(target.Blt({-1, -2, 13, 10}, &large, large.Bounds(), flags));
        ExpectTranslatedCopy(target, {-1, -2, 13, 10}, Blue);
    }

    // The lower part of a source as wide as the target, filling it exactly.
    const TSurface tall = Pattern(10, 9);
    TSurface target = Filled(10, 8, Blue);
    EXPECT_TRUE(target.Blt(target.Bounds(), &tall, {0, 1, 10, 9}, BltWait));
    ExpectTranslatedCopy(target, {0, -1, 10, 8}, Blue);
}

TEST(RenderSurface, StretchedCopiesAreCutAtTheEdgesToo) {
    TSurface image = Pattern(4, 4);
    image.SetColorKey(Magenta);
    for (const uint32_t flags : {BltWait, BltWait | BltKeySrc}) {
        SCOPED_TRACE(flags);
        TSurface target = Filled(10, 8, Blue);
        // Doubled, reaching past the top left corner and past the bottom right one.
        ASSERT_TRUE(target.Blt({-4, -2, 4, 6}, &image, image.Bounds(), flags));
        ASSERT_TRUE(target.Blt({6, 4, 14, 12}, &image, image.Bounds(), flags));
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 10; ++x) {
                uint32_t expected = Blue;
                if (x < 4 && y < 6) expected = PatternPixel((x + 4) / 2, (y + 2) / 2);
                if (x >= 6 && y >= 4) expected = PatternPixel((x - 6) / 2, (y - 4) / 2);
                ASSERT_EQ(target.Pixel(x, y), expected) << x << ", " << y;
            }
    }

    // A clip rectangle smaller than the surface cuts copies at its edges.
    TSurface clipped = Filled(10, 8, Blue);
    clipped.SetClipRect({2, 2, 6, 5});
    ASSERT_TRUE(clipped.Blt({0, 0, 10, 8}, &image, image.Bounds(), BltWait));
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 2 && y < 5;
            ASSERT_EQ(clipped.Pixel(x, y) == Blue, !inside) << x << ", " << y;
        }
}

TEST(RenderSurface, CopiesWhollyOutsideDrawNothingAndSucceed) {
    const TSurface image = Pattern(4, 4);
    const TRect cases[] = {
        {-4, 0, 0, 4},                                              // touching the left edge from outside
        {10, 0, 14, 4},                                             // touching the right edge
        {0, -4, 4, 0},                                              // above
        {0, 8, 4, 12},                                              // below
        {-40, -40, -36, -36}, {1000000, 1000000, 1000008, 1000008}, // stretched, far away
    };
    for (const TRect& dest : cases) {
        SCOPED_TRACE(testing::Message() << dest.left << ", " << dest.top);
        TSurface target = Filled(10, 8, Blue);
        EXPECT_TRUE(target.Blt(dest, &image, image.Bounds(), BltWait | BltKeySrc));
        ExpectTranslatedCopy(target, {}, Blue);
    }
}

TEST(RenderSurface, ColorKeySkipsOnlyExactKeyPixelsAndOnlyWhenAsked) {
    TSurface source(4, 1);
    source.SetPixel(0, 0, Magenta);
    source.SetPixel(1, 0, 0xfffe00ffu); // one step off the key
    source.SetPixel(2, 0, Green);
    source.SetPixel(3, 0, Black);
    source.SetColorKey(Magenta);

    TSurface keyed = Filled(4, 1, Blue);
    ASSERT_TRUE(keyed.Blt({0, 0, 4, 1}, &source, source.Bounds(), BltWait | BltKeySrc));
    EXPECT_EQ(keyed.Pixel(0, 0), Blue);
    EXPECT_EQ(keyed.Pixel(1, 0), 0xfffe00ffu);
    EXPECT_EQ(keyed.Pixel(2, 0), Green);
    EXPECT_EQ(keyed.Pixel(3, 0), Black);

    TSurface opaque = Filled(4, 1, Blue);
    ASSERT_TRUE(opaque.Blt({0, 0, 4, 1}, &source, source.Bounds(), BltWait));
    EXPECT_EQ(opaque.Pixel(0, 0), Magenta);

    // Stretched copies skip the key as well.
    TSurface stretched = Filled(8, 2, Blue);
    ASSERT_TRUE(stretched.Blt({0, 0, 8, 2}, &source, source.Bounds(), BltWait | BltKeySrc));
    EXPECT_EQ(stretched.Pixel(0, 0), Blue);
    EXPECT_EQ(stretched.Pixel(1, 1), Blue);
    EXPECT_EQ(stretched.Pixel(4, 1), Green);

    // A surface without a key copies every pixel, black ones included, even
    // when the copy asks for the key.
    TSurface plain(2, 1);
    plain.SetPixel(0, 0, Black);
    plain.SetPixel(1, 0, Magenta);
    TSurface target = Filled(2, 1, Blue);
    ASSERT_TRUE(target.Blt({0, 0, 2, 1}, &plain, plain.Bounds(), BltWait | BltKeySrc));
    EXPECT_EQ(target.Pixel(0, 0), Black);
    EXPECT_EQ(target.Pixel(1, 0), Magenta);
}

TEST(RenderSurface, InvalidCopiesAreRefusedAndLeaveTheTargetAlone) {
    const TSurface image = Pattern(4, 4);
    const TSurface empty(0, 0);
    struct TCase {
        TRect dest;
        const TSurface* source;
        TRect sourceRect;
    };
    const TCase cases[] = {
        {{0, 0, 4, 4}, nullptr, {0, 0, 4, 4}}, {{0, 0, 4, 4}, &empty, {0, 0, 4, 4}},
        {{0, 0, 4, 4}, &image, {0, 0, 0, 4}},  // no width
        {{0, 0, 4, 4}, &image, {0, 2, 4, 2}},  // no height
        {{0, 0, 4, 4}, &image, {3, 0, 1, 4}},  // reversed
        {{0, 0, 4, 4}, &image, {-1, 0, 3, 4}}, // left of the source
        {{0, 0, 4, 4}, &image, {0, -1, 4, 3}}, // above the source
        {{0, 0, 4, 4}, &image, {1, 0, 5, 4}},  // past its right edge
        {{0, 0, 4, 4}, &image, {0, 1, 4, 5}},  // past its bottom edge
        {{2, 2, 2, 6}, &image, {0, 0, 4, 4}},  // empty destination
        {{4, 4, 0, 0}, &image, {0, 0, 4, 4}},  // reversed destination
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "source " << c.sourceRect.left << ", " << c.sourceRect.top << ", "
                                        << c.sourceRect.right << ", " << c.sourceRect.bottom);
        TSurface target = Filled(10, 8, Blue);
        EXPECT_FALSE(target.Blt(c.dest, c.source, c.sourceRect, BltWait));
        ExpectTranslatedCopy(target, {}, Blue);
    }

    TSurface nothing(0, 0);
    EXPECT_FALSE(nothing.Blt({0, 0, 4, 4}, &image, image.Bounds(), BltWait));
}

TEST(RenderSurface, ScaledCopiesFollowChangesToTheSource) {
    TSurface source = Pattern(2, 2);
    TSurface target = Filled(4, 4, Black);
    const TRect dest{0, 0, 4, 4};
    ASSERT_TRUE(target.Blt(dest, &source, source.Bounds(), BltWait));
    EXPECT_EQ(target.Pixel(1, 1), PatternPixel(0, 0));

    // A single pixel changed.
    source.SetPixel(0, 0, Green);
    ASSERT_TRUE(target.Blt(dest, &source, source.Bounds(), BltWait));
    EXPECT_EQ(target.Pixel(0, 0), Green);
    EXPECT_EQ(target.Pixel(1, 1), Green);
    EXPECT_EQ(target.Pixel(3, 3), PatternPixel(1, 1));

    // Painted over.
    {
        QPainter painter(&source.EditImage());
        painter.fillRect(0, 0, 2, 1, QColor(0, 0, 255));
    }
    ASSERT_TRUE(target.Blt(dest, &source, source.Bounds(), BltWait));
    EXPECT_EQ(target.Pixel(0, 0), Blue);
    EXPECT_EQ(target.Pixel(3, 0), Blue);
    EXPECT_EQ(target.Pixel(0, 3), PatternPixel(0, 1));

    // Drawn onto by another copy.
    const TSurface patch = Filled(1, 1, Magenta);
    ASSERT_TRUE(source.Blt({1, 1, 2, 2}, &patch, patch.Bounds(), BltWait));
    ASSERT_TRUE(target.Blt(dest, &source, source.Bounds(), BltWait));
    EXPECT_EQ(target.Pixel(3, 3), Magenta);

    // Several sizes and parts in turn, with changes in between: each copy shows
    // the source as it is now, at its own size.
    TSurface wide = Pattern(6, 6);
    TSurface canvas = Filled(12, 12, Black);
    const TRect sizes[] = {{0, 0, 12, 12}, {0, 0, 7, 7}, {0, 0, 9, 9}, {0, 0, 12, 12}, {0, 0, 7, 7}};
    for (int round = 0; round < 3; ++round) {
        for (const TRect& size : sizes) {
            SCOPED_TRACE(testing::Message() << "round " << round << " size " << size.right);
            ASSERT_TRUE(canvas.Blt(size, &wide, wide.Bounds(), BltWait));
            EXPECT_EQ(canvas.Pixel(0, 0), wide.Pixel(0, 0));
            EXPECT_EQ(canvas.Pixel(size.right - 1, size.bottom - 1), wide.Pixel(5, 5));
            ASSERT_TRUE(canvas.Blt(size, &wide, {3, 3, 6, 6}, BltWait));
            EXPECT_EQ(canvas.Pixel(0, 0), wide.Pixel(3, 3));
        }
        wide.SetPixel(0, 0, qRgb(round, 200, 1));
        wide.SetPixel(5, 5, qRgb(round, 100, 2));
        wide.SetPixel(3, 3, qRgb(round, 50, 3));
    }
}

TEST(RenderSurface, KeyedCopiesFollowChangesToTheSourceAndItsKey) {
    TSurface source(4, 2);
    source.EditImage().fill(Magenta);
    source.SetPixel(1, 0, Green);
    source.SetPixel(2, 1, Green);
    source.SetColorKey(Magenta);
    auto copy = [&source](const TRect& dest) {
        TSurface target = Filled(dest.right, dest.bottom, Blue);
        EXPECT_TRUE(target.Blt(dest, &source, source.Bounds(), BltWait | BltKeySrc));
        return target;
    };

    for (const TRect& dest : {TRect{0, 0, 4, 2}, TRect{0, 0, 8, 4}}) {
        const int32_t f = dest.right / 4; // scale factor
        SCOPED_TRACE(f);
        TSurface first = copy(dest);
        EXPECT_EQ(first.Pixel(1 * f, 0), Green);
        EXPECT_EQ(first.Pixel(0, 0), Blue);

        // A keyed pixel turned solid, and a solid one turned into the key.
        source.SetPixel(0, 0, Red);
        source.SetPixel(1, 0, Magenta);
        TSurface second = copy(dest);
        EXPECT_EQ(second.Pixel(0, 0), Red);
        EXPECT_EQ(second.Pixel(1 * f, 0), Blue);
        EXPECT_EQ(second.Pixel(2 * f, 1 * f), Green);

        // Another key: the old key colour now shows, the new one is skipped.
        source.SetColorKey(Green);
        TSurface third = copy(dest);
        EXPECT_EQ(third.Pixel(1 * f, 0), Magenta);
        EXPECT_EQ(third.Pixel(2 * f, 1 * f), Blue);
        EXPECT_EQ(third.Pixel(0, 0), Red);

        // Back to the starting picture for the scaled round.
        source.EditImage().fill(Magenta);
        source.SetPixel(1, 0, Green);
        source.SetPixel(2, 1, Green);
        source.SetColorKey(Magenta);
    }
}

TEST(RenderSurface, CopyOntoItselfReadsThePixelsAsTheyWere) {
    TSurface strip(6, 1);
    for (int32_t x = 0; x < 6; ++x) strip.SetPixel(x, 0, qRgb(x, 0, 0));
    ASSERT_TRUE(strip.Blt({1, 0, 6, 1}, &strip, {0, 0, 5, 1}, BltWait));
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(strip.Pixel(x, 0), qRgb(x == 0 ? 0 : x - 1, 0, 0)) << x;

    // The colour key still applies when the source is the target itself.
    TSurface keyed(4, 1);
    keyed.SetPixel(0, 0, Green);
    keyed.SetPixel(1, 0, Magenta);
    keyed.SetPixel(2, 0, Blue);
    keyed.SetPixel(3, 0, Blue);
    keyed.SetColorKey(Magenta);
    ASSERT_TRUE(keyed.Blt({2, 0, 4, 1}, &keyed, {0, 0, 2, 1}, BltWait | BltKeySrc));
    EXPECT_EQ(keyed.Pixel(2, 0), Green);
    EXPECT_EQ(keyed.Pixel(3, 0), Blue);
}

TEST(RenderSurface, BlendImageMixesByCoverageWithinItsSpansAndIsCutAtTheEdges) {
    QImage text(3, 2, QImage::Format_ARGB32_Premultiplied);
    text.setPixel(0, 0, 0x00000000u); // nothing
    text.setPixel(1, 0, 0xffffffffu); // solid white
    text.setPixel(2, 0, 0x80808080u); // half-covered white
    text.setPixel(0, 1, 0xffff0000u);
    text.setPixel(1, 1, 0xff00ff00u);
    text.setPixel(2, 1, 0xff0000ffu);
    auto spansWhere = [&text](auto covered) {
        TRowSpans spans;
        spans.Build(reinterpret_cast<const uint32_t*>(text.constBits()), text.bytesPerLine() / 4,
                    text.width(), text.height(), covered);
        return spans;
    };
    const TRowSpans inked = spansWhere([](uint32_t p) { return (p >> 24) != 0; });

    TSurface target = Filled(4, 3, Black);
    target.BlendImage(text, inked, 1, 1);
    EXPECT_EQ(target.Pixel(1, 1), Black);
    EXPECT_EQ(target.Pixel(2, 1), 0xffffffffu);
    EXPECT_EQ(target.Pixel(3, 1), 0xff808080u);
    EXPECT_EQ(target.Pixel(1, 2), 0xffff0000u);
    EXPECT_EQ(target.Pixel(2, 2), 0xff00ff00u);
    EXPECT_EQ(target.Pixel(3, 2), 0xff0000ffu);
    EXPECT_EQ(target.Pixel(0, 0), Black);
    EXPECT_EQ(target.Pixel(0, 2), Black);

    // Half over a coloured background keeps half of it, rounded.
    for (const uint32_t background : {Blue, Green, 0xff646464u, 0xffffffffu}) {
        TSurface under = Filled(1, 1, background);
        under.BlendImage(text, inked, -2, 0);
        const uint32_t mixed = under.Pixel(0, 0);
        for (int shift : {16, 8, 0}) {
            const int below = (background >> shift) & 0xff;
            EXPECT_NEAR(int((mixed >> shift) & 0xff), 0x80 + below * 0x7f / 255, 1) << std::hex << background;
        }
    }

    // Pixels outside the spans are left alone, whatever the image holds there.
    const TRowSpans middleOnly = spansWhere([](uint32_t p) { return p == 0xffffffffu || p == 0xff00ff00u; });
    TSurface some = Filled(3, 2, Blue);
    some.BlendImage(text, middleOnly, 0, 0);
    EXPECT_EQ(some.Pixel(0, 1), Blue);
    EXPECT_EQ(some.Pixel(1, 0), 0xffffffffu);
    EXPECT_EQ(some.Pixel(1, 1), 0xff00ff00u);
    EXPECT_EQ(some.Pixel(2, 0), Blue);
    EXPECT_EQ(some.Pixel(2, 1), Blue);

    // Only the part inside the surface is drawn.
    TSurface corner = Filled(2, 2, Black);
    corner.BlendImage(text, inked, -1, -1);
    EXPECT_EQ(corner.Pixel(0, 0), 0xff00ff00u);
    EXPECT_EQ(corner.Pixel(1, 0), 0xff0000ffu);
    EXPECT_EQ(corner.Pixel(0, 1), Black);
    EXPECT_EQ(corner.Pixel(1, 1), Black);
    corner.BlendImage(text, inked, 2, 0);
    corner.BlendImage(text, inked, -3, -2);
    corner.BlendImage(text, inked, 1, 1);
    EXPECT_EQ(corner.Pixel(1, 1), Black);
    EXPECT_EQ(corner.Pixel(0, 1), Black);
    corner.BlendImage(text, inked, 0, 1);
    EXPECT_EQ(corner.Pixel(1, 1), 0xffffffffu);
    EXPECT_EQ(corner.Pixel(0, 0), 0xff00ff00u);

    // Past the right edge only the first column of the image lands.
    TSurface right = Filled(2, 2, Black);
    right.BlendImage(text, inked, 1, 0);
    EXPECT_EQ(right.Pixel(1, 0), Black);
    EXPECT_EQ(right.Pixel(1, 1), 0xffff0000u);
    EXPECT_EQ(right.Pixel(0, 0), Black);
    EXPECT_EQ(right.Pixel(0, 1), Black);
}

namespace {

// The picture a stretched copy must leave, worked out pixel by pixel with
// wide arithmetic: each destination pixel inside dest shows the source pixel
// under its centre, unless that pixel is the key of a keyed copy.
uint32_t StretchedReference(const TSurface& source, const TRect& s, const TRect& dest, bool keyed, int32_t x,
                            int32_t y, uint32_t background) {
    if (x < dest.left || x >= dest.right || y < dest.top || y >= dest.bottom) return background;
    using TWide = __int128;
    auto pick = [](TWide at, TWide sourceSize, TWide size) {
        return int32_t((2 * at + 1) * sourceSize / (2 * size));
    };
    const int32_t sx = s.left + pick(TWide(x) - dest.left, s.right - s.left, TWide(dest.right) - dest.left);
    const int32_t sy = s.top + pick(TWide(y) - dest.top, s.bottom - s.top, TWide(dest.bottom) - dest.top);
    const uint32_t pixel = source.Pixel(sx, sy);
    return keyed && pixel == source.ColorKey() ? background : pixel;
}

} // namespace

TEST(RenderSurface, StretchedCopyFarLargerThanItsTargetScalesOnlyWhatIsSeen) {
    // The full 32-bit range is wider than 32 bits can count.
    EXPECT_EQ((TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}.Width()), int64_t(UINT32_MAX));
    EXPECT_EQ((TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}.Height()), int64_t(UINT32_MAX));

    TSurface card = Pattern(100, 127);
    for (int32_t y = 0; y < 127; ++y)
        for (int32_t x = 0; x < 100; ++x)
            if ((x + 2 * y) % 7 == 0) card.SetPixel(x, y, Magenta);
    card.SetColorKey(Magenta);
    struct TCase {
        TRect dest;
        TRect source;
    };
    const TCase cases[] = {
        {{-10000, -10000, 10000, 10000}, card.Bounds()},               // 20,000 x 20,000 around the target
        {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, card.Bounds()}, // the whole coordinate range
        {{-3, 5, INT32_MAX, 20}, {10, 20, 60, 30}},                    // part of the source, very wide
        {{30, INT32_MIN, 31, INT32_MAX}, card.Bounds()},               // one column, very tall
        {{-2000000000, -7, 2000000000, 1000000}, card.Bounds()},       // far past both sides
        {{INT32_MAX - 100, INT32_MAX - 100, INT32_MAX, INT32_MAX}, card.Bounds()}, // wholly outside
    };
    for (const uint32_t flags : {BltWait, BltWait | BltKeySrc}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(testing::Message() << "flags " << flags << " dest " << c.dest.left << ", "
                                            << c.dest.top << ", " << c.dest.right << ", " << c.dest.bottom);
            TSurface target = Filled(64, 48, Blue);
            ASSERT_TRUE(target.Blt(c.dest, &card, c.source, flags));
            for (int32_t y = 0; y < 48; ++y)
                for (int32_t x = 0; x < 64; ++x)
                    ASSERT_EQ(target.Pixel(x, y),
                              StretchedReference(card, c.source, c.dest, flags & BltKeySrc, x, y, Blue))
                        << x << ", " << y;
            // At most the two remembered scalings, each no larger than the target.
            EXPECT_LE(card.ScaledBytes(), 2u * 64 * 48 * sizeof(uint32_t));
        }
    }

    // A copy cut by a clip rectangle scales no more than the clip holds.
    TSurface clipped = Filled(400, 300, Blue);
    clipped.SetClipRect({100, 100, 110, 104});
    TSurface face = Pattern(100, 127);
    ASSERT_TRUE(clipped.Blt({-5000, -5000, 5000, 5000}, &face, face.Bounds(), BltWait));
    EXPECT_LE(face.ScaledBytes(), 10u * 4 * sizeof(uint32_t));
    EXPECT_EQ(clipped.Pixel(100, 100),
              StretchedReference(face, face.Bounds(), {-5000, -5000, 5000, 5000}, false, 100, 100, Blue));
    EXPECT_EQ(clipped.Pixel(99, 100), Blue);
}
