#include "TestSupport.h"
#include "render/Graphics.h"

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

namespace {

using namespace TestColor;

// A widget that claims a chosen resolution, as a display set to larger text would.
class TDpiWidget : public QWidget {
public:
    explicit TDpiWidget(int dpi) : Dpi(dpi) {}

protected:
    int metric(PaintDeviceMetric metric) const override {
        if (metric == PdmDpiX || metric == PdmDpiY) return Dpi;
        return QWidget::metric(metric);
    }

private:
    int Dpi;
};

// The box around every pixel that differs from the background.
std::optional<TRect> InkBounds(const TSurface& surface, uint32_t background) {
    std::optional<TRect> box;
    for (int32_t y = 0; y < surface.Height(); ++y)
        for (int32_t x = 0; x < surface.Width(); ++x) {
            if (surface.Pixel(x, y) == background) continue;
            if (!box) box = TRect{x, y, x + 1, y + 1};
            box->left = std::min(box->left, x);
            box->top = std::min(box->top, y);
            box->right = std::max(box->right, x + 1);
            box->bottom = std::max(box->bottom, y + 1);
        }
    return box;
}

QImage GrabWindow(QWidget& window) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(RenderGraphics, LoadBitmapSurfaceReadsPixelsAndSize) {
    TScopedWorkDir dir;
    QImage picture(3, 2, QImage::Format_RGB888);
    picture.setPixelColor(0, 0, QColor(10, 20, 30));
    picture.setPixelColor(1, 0, QColor(255, 0, 0));
    picture.setPixelColor(2, 0, QColor(0, 255, 0));
    picture.setPixelColor(0, 1, QColor(0, 0, 255));
    picture.setPixelColor(1, 1, QColor(255, 255, 255));
    picture.setPixelColor(2, 1, QColor(1, 2, 3));
    dir.WriteImage("Data/Picture.bmp", picture);

    TGraphics graphics;
    TRect size{7, 7, 7, 7};
    auto surface = graphics.LoadBitmapSurface("Data/Picture.bmp", &size, false, false);
    ASSERT_TRUE(surface);
    EXPECT_EQ(size, (TRect{0, 0, 3, 2}));
    ASSERT_EQ(surface->Width(), 3);
    ASSERT_EQ(surface->Height(), 2);
    // Rows come out top first, whatever order the file stores them in.
    EXPECT_EQ(surface->Pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(surface->Pixel(1, 0), Red);
    EXPECT_EQ(surface->Pixel(2, 0), Green);
    EXPECT_EQ(surface->Pixel(0, 1), Blue);
    EXPECT_EQ(surface->Pixel(1, 1), White);
    EXPECT_EQ(surface->Pixel(2, 1), qRgb(1, 2, 3));
    EXPECT_FALSE(surface->HasColorKey());

    // The size is optional.
    EXPECT_TRUE(graphics.LoadBitmapSurface("Data/Picture.bmp", nullptr, false, true));
}

TEST(RenderGraphics, LoadBitmapSurfaceFailsWithoutTouchingSize) {
    TScopedWorkDir dir;
    dir.WriteBitmap("Data/Whole.bmp", 100, 127, QColor(200, 10, 10));
    dir.WriteText("Data/Text.bmp", "This is not a picture at all, just some words.\n");
    dir.WriteText("Data/Empty.bmp", "");

    // The same picture cut off halfway through its pixel rows.
    QFile whole(dir.Path() + "/Data/Whole.bmp");
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    ASSERT_GT(bytes.size(), 30000);
    dir.WriteText("Data/Truncated.bmp", bytes.left(bytes.size() / 2).toStdString());
    // And with its header alone.
    dir.WriteText("Data/HeaderOnly.bmp", bytes.left(54).toStdString());

    TGraphics graphics;
    const TRect untouched{1, 2, 3, 4};
    for (const char* name : {"Data/Missing.bmp", "Data/Text.bmp", "Data/Empty.bmp", "Data/Truncated.bmp",
                             "Data/HeaderOnly.bmp", "Data"}) {
        SCOPED_TRACE(name);
        TRect size = untouched;
        EXPECT_FALSE(graphics.LoadBitmapSurface(name, &size, false, false));
        EXPECT_EQ(size, untouched);
        EXPECT_FALSE(graphics.LoadBitmapSurface(name, &size, true, false));
        EXPECT_EQ(size, untouched);
    }

    TRect size = untouched;
    EXPECT_TRUE(graphics.LoadBitmapSurface("Data/Whole.bmp", &size, false, false));
    EXPECT_EQ(size, (TRect{0, 0, 100, 127}));
}

TEST(RenderGraphics, LoadBitmapSurfaceRefusesFilesBeyondItsLimitsAndSaysWhy) {
    TScopedWorkDir dir;
    // The header of a plain 24-bit picture, rewritten to declare another size.
    QImage small(4, 4, QImage::Format_RGB888);
    small.fill(Qt::red);
    dir.WriteImage("Data/Small.bmp", small);
    QFile smallFile(dir.Path() + "/Data/Small.bmp");
    ASSERT_TRUE(smallFile.open(QIODevice::ReadOnly));
    const QByteArray plain = smallFile.readAll();
    auto declaring = [&plain](int32_t width, int32_t height) {
        QByteArray bytes = plain;
        for (int i = 0; i < 4; ++i) {
            bytes[18 + i] = char(uint32_t(width) >> (8 * i));
            bytes[22 + i] = char(uint32_t(height) >> (8 * i));
        }
        return bytes;
    };
    // Run-length coding lets 1,080 bytes declare a picture of 5,600 x 5,600.
    ASSERT_EQ(RunLengthBitmap(5600, 5600).size(), 1080);
    dir.WriteBytes("Data/Huge.bmp", RunLengthBitmap(5600, 5600));
    dir.WriteBytes("Data/Wide.bmp", RunLengthBitmap(4097, 1));
    dir.WriteBytes("Data/Tall.bmp", declaring(1, -4097));
    dir.WriteBytes("Data/Lowest.bmp", declaring(4, INT32_MIN));
    // A picture of the largest size accepted still loads, run-length coded or not.
    dir.WriteBytes("Data/Largest.bmp", RunLengthBitmap(4096, 2));
    dir.WriteBytes("Data/Coded.bmp", RunLengthBitmap(5, 3));

    TGraphics graphics;
    struct TCase {
        std::string path;
        std::string problem;
    };
    const TCase refused[] = {
        {"Data/Huge.bmp", "the picture is 5600 x 5600 pixels, larger than the 4096 x 4096 the game accepts"},
        {"Data/Wide.bmp", "the picture is 4097 x 1 pixels, larger than the 4096 x 4096 the game accepts"},
        {"Data/Tall.bmp", "the picture is 1 x 4097 pixels, larger than the 4096 x 4096 the game accepts"},
        {"Data/Lowest.bmp",
         "the picture is 4 x 2147483648 pixels, larger than the 4096 x 4096 the game accepts"},
        {"Data", "it is a folder, not a picture"},
        // A file that never ends is read only as far as the largest picture could reach.
        {"/dev/zero", "the file is larger than any picture of 4096 x 4096 pixels"},
    };
    for (const TCase& c : refused) {
        SCOPED_TRACE(c.path);
        TRect size{1, 2, 3, 4};
        std::string problem;
        EXPECT_FALSE(graphics.LoadBitmapSurface(c.path, &size, false, false, &problem));
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(size, (TRect{1, 2, 3, 4}));
    }

    std::string problem;
    TRect size;
    auto largest = graphics.LoadBitmapSurface("Data/Largest.bmp", &size, false, false, &problem);
    ASSERT_TRUE(largest);
    EXPECT_EQ(size, (TRect{0, 0, 4096, 2}));
    EXPECT_TRUE(graphics.LoadBitmapSurface("Data/Coded.bmp", &size, true, false, &problem));
    EXPECT_EQ(size, (TRect{0, 0, 5, 3}));
    // A missing file needs no explanation beyond its name.
    EXPECT_FALSE(graphics.LoadBitmapSurface("Data/Missing.bmp", &size, false, false, &problem));
    EXPECT_EQ(problem, "");
}

TEST(RenderGraphics, KeyedLoadKeysMagentaAndKeepsTheTopLeftPixel) {
    TScopedWorkDir dir;
    QImage picture(4, 3, QImage::Format_RGB888);
    picture.fill(QColor(0, 255, 0));
    picture.setPixelColor(0, 0, QColor(255, 0, 0));
    picture.setPixelColor(2, 1, QColor(255, 0, 255));
    picture.setPixelColor(3, 2, QColor(255, 0, 255));
    dir.WriteImage("Data/Keyed.bmp", picture);
    QImage magentaCorner = picture;
    magentaCorner.setPixelColor(0, 0, QColor(255, 0, 255));
    dir.WriteImage("Data/Corner.bmp", magentaCorner);

    TGraphics graphics;
    auto keyed = graphics.LoadBitmapSurface("Data/Keyed.bmp", nullptr, true, false);
    ASSERT_TRUE(keyed);
    EXPECT_EQ(keyed->Pixel(0, 0), Red);
    EXPECT_TRUE(keyed->HasColorKey());
    EXPECT_EQ(keyed->ColorKey(), keyed->Pixel(2, 1));
    EXPECT_EQ(keyed->ColorKey(), Magenta);

    // A keyed copy leaves the magenta pixels out and draws the rest, the top
    // left pixel in its own colour.
    TSurface target(4, 3);
    target.EditImage().fill(Blue);
    ASSERT_TRUE(target.Blt({0, 0, 4, 3}, keyed.get(), keyed->Bounds(), BltWait | BltKeySrc));
    EXPECT_EQ(target.Pixel(0, 0), Red);
    EXPECT_EQ(target.Pixel(2, 1), Blue);
    EXPECT_EQ(target.Pixel(3, 2), Blue);
    EXPECT_EQ(target.Pixel(1, 1), Green);

    auto corner = graphics.LoadBitmapSurface("Data/Corner.bmp", nullptr, true, false);
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->Pixel(0, 0), Magenta);
    EXPECT_EQ(corner->ColorKey(), Magenta);
}

TEST(RenderGraphics, MatchColorGivesThePixelValueAndRestoresThePixel) {
    TGraphics graphics;
    TSurface surface(2, 2);
    surface.SetPixel(0, 0, qRgb(12, 34, 56));
    // Colours are given as 0x00BBGGRR.
    EXPECT_EQ(graphics.MatchColor(surface, 0x000000FF), Red);
    EXPECT_EQ(graphics.MatchColor(surface, 0x00FF0000), Blue);
    EXPECT_EQ(graphics.MatchColor(surface, 0x00563412), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(graphics.MatchColor(surface, ColorMagenta), Magenta);
    EXPECT_EQ(surface.Pixel(0, 0), qRgb(12, 34, 56));
    // Without a colour to store, the first pixel is read as it is.
    EXPECT_EQ(graphics.MatchColor(surface, ColorInvalid), qRgb(12, 34, 56));

    TSurface none(0, 0);
    EXPECT_EQ(graphics.MatchColor(none, ColorMagenta), ColorInvalid);

    EXPECT_TRUE(graphics.ApplyColorKey(surface, 0x0000FF00));
    EXPECT_TRUE(surface.HasColorKey());
    EXPECT_EQ(surface.ColorKey(), Green);
    EXPECT_EQ(surface.Pixel(0, 0), qRgb(12, 34, 56));
}

TEST(RenderGraphics, OpenDeviceWithoutAUsableTargetFailsCleanly) {
    {
        TGraphics graphics;
        TRecorder tasks;
        EXPECT_FALSE(graphics.OpenDevice(nullptr, tasks.Sink()));
        EXPECT_EQ(tasks.Lines, std::vector<std::string>{"Initializing DirectDraw..."});
        EXPECT_FALSE(graphics.BackBuffer);
        // Later calls on the unopened device do nothing harmful.
        graphics.WriteText("FPS: 60", 0, 0, TA_LEFT, ColorWhite);
        EXPECT_FALSE(graphics.Present());
        graphics.UpdateScreenRect();
    }
    {
        QWidget target;
        target.setFixedSize(0, 0);
        TGraphics graphics;
        TRecorder tasks;
        EXPECT_FALSE(graphics.OpenDevice(&target, tasks.Sink()));
        EXPECT_EQ(tasks.Lines, std::vector<std::string>{"Initializing DirectDraw..."});
        EXPECT_FALSE(graphics.BackBuffer);
        EXPECT_FALSE(graphics.Present());
    }
    {
        QWidget target;
        target.setFixedSize(100, 0);
        TGraphics graphics;
        EXPECT_FALSE(graphics.OpenDevice(&target));
        EXPECT_FALSE(graphics.BackBuffer);
    }
}

TEST(RenderGraphics, OpenDeviceMakesABackBufferOfTheTargetsSize) {
    QWidget target;
    target.resize(512, 384);
    TGraphics graphics;
    TRecorder tasks;
    ASSERT_TRUE(graphics.OpenDevice(&target, tasks.Sink()));
    EXPECT_EQ(tasks.Lines, std::vector<std::string>{"Initializing DirectDraw..."});
    EXPECT_EQ(graphics.Target, &target);
    EXPECT_EQ(graphics.BackBufferRect, (TRect{0, 0, 512, 384}));
    ASSERT_TRUE(graphics.BackBuffer);
    EXPECT_EQ(graphics.BackBuffer->Width(), 512);
    EXPECT_EQ(graphics.BackBuffer->Height(), 384);

    // The back buffer cuts copies at its edges.
    TSurface card(100, 127);
    card.EditImage().fill(Green);
    EXPECT_TRUE(graphics.BackBuffer->Blt({-40, -50, 45, 60}, &card, card.Bounds(), BltWait));
    EXPECT_TRUE(graphics.BackBuffer->Blt({470, 330, 555, 440}, &card, card.Bounds(), BltWait));
    EXPECT_EQ(graphics.BackBuffer->Pixel(0, 0), Green);
    EXPECT_EQ(graphics.BackBuffer->Pixel(44, 59), Green);
    EXPECT_EQ(graphics.BackBuffer->Pixel(45, 59), Black);
    EXPECT_EQ(graphics.BackBuffer->Pixel(511, 383), Green);
    EXPECT_EQ(graphics.BackBuffer->Pixel(469, 383), Black);
}

TEST(RenderGraphics, TextFontIsTwelvePointsAtTheTargetsResolution) {
    struct TCase {
        int dpi;
        int pixels;
    };
    // 12 points are 12/72 of an inch, rounded to the nearest pixel.
    for (const TCase c : {TCase{96, 16}, TCase{120, 20}, TCase{72, 12}, TCase{100, 17}, TCase{144, 24}}) {
        SCOPED_TRACE(c.dpi);
        TDpiWidget target(c.dpi);
        target.resize(64, 48);
        TGraphics graphics;
        ASSERT_TRUE(graphics.OpenDevice(&target));
        EXPECT_EQ(graphics.Font.pixelSize(), c.pixels);
        EXPECT_EQ(graphics.Font.family(), "Tahoma");
        EXPECT_FALSE(graphics.Font.bold());
        EXPECT_FALSE(graphics.Font.italic());
        EXPECT_FALSE(graphics.Font.underline());
    }
}

TEST(RenderGraphics, WriteTextDrawsTheGlyphsWhereTheTextBelongs) {
    QWidget target;
    target.resize(300, 80);
    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(&target));
    const QFontMetrics metrics(graphics.Font);
    const int32_t advance = metrics.horizontalAdvance("FPS: 63");

    graphics.WriteText("FPS: 63", 20, 10, TA_LEFT, ColorWhite);
    const auto box = InkBounds(*graphics.BackBuffer, Black);
    ASSERT_TRUE(box);
    EXPECT_GE(box->left, 20 - 2);
    EXPECT_LE(box->left, 20 + 3);
    EXPECT_GE(box->top, 10);
    EXPECT_LE(box->bottom, 10 + metrics.height());
    EXPECT_LE(box->right, 20 + advance + 2);
    EXPECT_GE(box->right, 20 + advance - 6);
    // The glyphs are white: some pixels fully, the rest shades of grey.
    bool anyWhite = false;
    for (int32_t y = box->top; y < box->bottom; ++y)
        for (int32_t x = box->left; x < box->right; ++x) {
            const uint32_t pixel = graphics.BackBuffer->Pixel(x, y);
            anyWhite = anyWhite || pixel == White;
            ASSERT_EQ(qRed(pixel), qGreen(pixel));
            ASSERT_EQ(qRed(pixel), qBlue(pixel));
        }
    EXPECT_TRUE(anyWhite);

    // Centred on x: the ink is spread evenly about it.
    graphics.BackBuffer->EditImage().fill(Black);
    graphics.WriteText("Card Name", 150, 40, TA_CENTER, ColorWhite);
    const auto centred = InkBounds(*graphics.BackBuffer, Black);
    ASSERT_TRUE(centred);
    EXPECT_NEAR(centred->left + centred->right, 2 * 150, 4);
    EXPECT_GE(centred->top, 40);
    EXPECT_LE(centred->bottom, 40 + metrics.height());
}

TEST(RenderGraphics, WriteTextUsesTheColourAndNoBackgroundBox) {
    QWidget target;
    target.resize(200, 60);
    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(&target));
    graphics.BackBuffer->EditImage().fill(Blue);

    // 0x000000FF is red in the 0x00BBGGRR form.
    graphics.WriteText("HH", 10, 10, TA_LEFT, 0x000000FF);
    const auto box = InkBounds(*graphics.BackBuffer, Blue);
    ASSERT_TRUE(box);
    bool anyRed = false;
    for (int32_t y = box->top; y < box->bottom; ++y)
        for (int32_t x = box->left; x < box->right; ++x) {
            const uint32_t pixel = graphics.BackBuffer->Pixel(x, y);
            ASSERT_EQ(qGreen(pixel), 0);
            anyRed = anyRed || pixel == Red;
        }
    EXPECT_TRUE(anyRed);
    // Between and above the letters the background shows through.
    EXPECT_EQ(graphics.BackBuffer->Pixel(10, 10), Blue);
    EXPECT_GT(box->top, 10);

    // The same text in another colour and at another place is drawn as such.
    graphics.WriteText("HH", 100, 30, TA_LEFT, 0x0000FF00);
    bool anyGreen = false;
    for (int32_t y = 30; y < 60; ++y)
        for (int32_t x = 95; x < 200; ++x) anyGreen = anyGreen || graphics.BackBuffer->Pixel(x, y) == Green;
    EXPECT_TRUE(anyGreen);
    const auto first = InkBounds(*graphics.BackBuffer, Blue);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->left, box->left);
    EXPECT_EQ(first->top, box->top);

    // Text reaching past an edge is cut there.
    graphics.WriteText("Long text past the edge", 180, 50, TA_LEFT, ColorWhite);
    graphics.WriteText("Left", -100, -5, TA_LEFT, ColorWhite);
    EXPECT_EQ(graphics.BackBuffer->Width(), 200);
}

TEST(RenderGraphics, PresentShowsTheBackBufferInTheTarget) {
    QWidget window;
    window.resize(200, 150);
    QWidget* panel = new QWidget(&window);
    panel->setGeometry(8, 6, 64, 48);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(panel));
    // Four quadrants of different colours.
    auto paintQuadrants = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        QImage& image = graphics.BackBuffer->EditImage();
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                image.setPixel(x, y, y < 24 ? (x < 32 ? a : b) : (x < 32 ? c : d));
    };
    paintQuadrants(Red, Green, Blue, White);
    ASSERT_TRUE(graphics.Present());

    QImage shown = GrabWindow(window);
    ASSERT_GE(shown.width(), 72);
    ASSERT_GE(shown.height(), 54);
    EXPECT_EQ(shown.pixel(8, 6), Red);
    EXPECT_EQ(shown.pixel(8 + 63, 6), Green);
    EXPECT_EQ(shown.pixel(8, 6 + 47), Blue);
    EXPECT_EQ(shown.pixel(8 + 63, 6 + 47), White);
    EXPECT_EQ(shown.pixel(8 + 31, 6 + 23), Red);
    EXPECT_EQ(shown.pixel(8 + 32, 6 + 24), White);
    EXPECT_NE(shown.pixel(8 + 64, 6), Green);

    // The screen rectangle is the panel's place on the screen.
    const QPoint origin = panel->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(graphics.ScreenRect, (TRect{origin.x(), origin.y(), origin.x() + 64, origin.y() + 48}));

    // A new frame appears with the next Present.
    paintQuadrants(Green, Green, Green, Green);
    ASSERT_TRUE(graphics.Present());
    shown = GrabWindow(window);
    EXPECT_EQ(shown.pixel(8, 6), Green);
    EXPECT_EQ(shown.pixel(8 + 63, 6 + 47), Green);

    // After the panel has moved and grown the frame follows it, stretched.
    paintQuadrants(Red, Green, Blue, White);
    panel->setGeometry(20, 10, 128, 96);
    ASSERT_TRUE(graphics.Present());
    EXPECT_EQ(graphics.BackBufferRect, (TRect{0, 0, 64, 48}));
    const QPoint moved = panel->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(graphics.ScreenRect, (TRect{moved.x(), moved.y(), moved.x() + 128, moved.y() + 96}));
    shown = GrabWindow(window);
    EXPECT_EQ(shown.pixel(20, 10), Red);
    EXPECT_EQ(shown.pixel(20 + 127, 10), Green);
    EXPECT_EQ(shown.pixel(20, 10 + 95), Blue);
    EXPECT_EQ(shown.pixel(20 + 127, 10 + 95), White);
    EXPECT_EQ(shown.pixel(20 + 60, 10 + 44), Red);
    EXPECT_EQ(shown.pixel(20 + 68, 10 + 52), White);
}

TEST(RenderGraphics, PresentShowsABackBufferThatReplacedTheFirst) {
    QWidget window;
    window.resize(100, 80);
    QWidget* panel = new QWidget(&window);
    panel->setGeometry(4, 4, 32, 24);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(panel));
    graphics.BackBuffer->EditImage().fill(Red);
    ASSERT_TRUE(graphics.Present());
    EXPECT_EQ(GrabWindow(window).pixel(4, 4), Red);

    // The first back buffer is gone; painting must not reach for it.
    graphics.BackBuffer = std::make_unique<TSurface>(32, 24);
    graphics.BackBuffer->EditImage().fill(Blue);
    ASSERT_TRUE(graphics.Present());
    const QImage shown = GrabWindow(window);
    EXPECT_EQ(shown.pixel(4, 4), Blue);
    EXPECT_EQ(shown.pixel(4 + 31, 4 + 23), Blue);
}

TEST(RenderGraphics, PresentOnAHiddenTargetShowsNothing) {
    QWidget target;
    target.resize(32, 32);
    TGraphics graphics;
    ASSERT_TRUE(graphics.OpenDevice(&target));
    EXPECT_FALSE(graphics.Present());
}
