#include "render/Graphics.h"

#include "render/DataFile.h"
#include "render/Presenter.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImageReader>
#include <QWidget>
#include <cmath>
#include <cstdlib>

namespace {

// Room for a header, a palette and colour masks beside the pixels.
constexpr int64_t MaxBitmapFileBytes =
    int64_t(TGraphics::MaxBitmapSide) * TGraphics::MaxBitmapSide * 4 + 64 * 1024;

std::string Dimensions(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// What is wrong with a bitmap file before it is decoded, or empty. The
// declared size is checked for every kind of bitmap, run-length coded ones
// included, whose few bytes may declare a picture of any size. A plain bitmap
// must also hold every pixel row its header promises: the image reader fills
// the missing rows of a cut-off file instead of failing, which would show a
// damaged picture as if it were whole. Files that are not bitmaps are left to
// the reader to refuse.
std::string BitmapHeaderProblem(const QByteArray& bytes) {
    auto byte = [&bytes](int at) { return uint32_t(uint8_t(bytes[at])); };
    auto word = [&byte](int at) { return byte(at) | byte(at + 1) << 8; };
    auto dword = [&word](int at) { return word(at) | word(at + 2) << 16; };
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    const uint32_t offset = dword(10), headerSize = dword(14);
    int64_t width, height;
    uint32_t bitsPerPixel, compression = 0;
    if (headerSize == 12) {
        width = word(18);
        height = word(20);
        bitsPerPixel = word(24);
    } else {
        if (bytes.size() < 34) return "the file ends inside its header";
        width = int32_t(dword(18));
        height = int32_t(dword(22));
        bitsPerPixel = word(28);
        compression = dword(30);
    }
    // A negative height marks a picture stored top row first.
    width = std::abs(width);
    height = std::abs(height);
    constexpr int64_t Max = TGraphics::MaxBitmapSide;
    if (width > Max || height > Max)
        return "the picture is " + Dimensions(width, height) + " pixels, larger than the " +
               Dimensions(Max, Max) + " the game accepts";
    constexpr uint32_t Plain = 0, BitFields = 3, AlphaBitFields = 6;
    if (compression != Plain && compression != BitFields && compression != AlphaBitFields) return {};
    // Rows are padded to whole 32-bit words.
    const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    if (int64_t(bytes.size()) < int64_t(offset) + rowBytes * height)
        return "the file ends before its last pixel row";
    return {};
}

} // namespace

TGraphics::TGraphics() = default;

TGraphics::~TGraphics() {
    Presenter.reset();
    BackBuffer.reset();
}

bool TGraphics::OpenDevice(QWidget* target, const TTaskReporter& report) {
    if (report) report("Initializing DirectDraw...");
    Target = target;
    if (!Target) return false;

    const int32_t w = Target->width(), h = Target->height();
    BackBufferRect = {0, 0, w, h};
    auto back = std::make_unique<TSurface>(w, h);
    if (back->IsNull()) return false;
    back->SetClipRect(BackBufferRect);
    BackBuffer = std::move(back);
    Presenter = std::make_unique<TPresenter>(Target, *this);

    // 12 points at the target's logical resolution, rounded as MulDiv rounds.
    const int32_t dpi = Target->logicalDpiY();
    const int32_t height = -int32_t((12 * int64_t(dpi) + 36) / 72);
    Font = MakeFont(*Target, "Tahoma", height, 0, 0, false);
    Texts.Clear();
    return true;
}

std::unique_ptr<TSurface> TGraphics::LoadBitmapSurface(const std::string& fileName, TRect* size,
                                                       bool colorKeyed, bool /*videoMemory*/,
                                                       std::string* problem) {
    auto refuse = [problem](const std::string& why) {
        if (problem) *problem = why;
        return nullptr;
    };
    QByteArray bytes;
    switch (ReadDataFile(QString::fromStdString(fileName), MaxBitmapFileBytes, bytes)) {
    case TDataFileRead::Read:
        break;
    case TDataFileRead::Folder:
        return refuse("it is a folder, not a picture");
    case TDataFileRead::TooLarge:
        return refuse("the file is larger than any picture of " + Dimensions(MaxBitmapSide, MaxBitmapSide) +
                      " pixels");
    case TDataFileRead::NotOpened:
    case TDataFileRead::Failed:
        return nullptr;
    }
    if (const std::string why = BitmapHeaderProblem(bytes); !why.empty()) return refuse(why);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "BMP");
    reader.setAutoTransform(false);
    // The header was checked above; this bounds whatever the decoder makes of it.
    reader.setAllocationLimit(int(MaxBitmapFileBytes / (1024 * 1024) + 1));
    QImage image;
    if (!reader.read(&image) || image.isNull()) return nullptr;
    if (size) *size = {0, 0, image.width(), image.height()};
    auto surface = std::make_unique<TSurface>(image);
    if (surface->IsNull()) return nullptr;
    if (colorKeyed) ApplyColorKey(*surface, ColorMagenta);
    return surface;
}

bool TGraphics::ApplyColorKey(TSurface& surface, uint32_t color) {
    surface.SetColorKey(MatchColor(surface, color));
    return true;
}

uint32_t TGraphics::MatchColor(TSurface& surface, uint32_t color) {
    if (surface.IsNull()) return ColorInvalid;
    if (color == ColorInvalid) return surface.FirstPixel();
    const uint32_t kept = surface.FirstPixel();
    const QRgb asPixel = qRgb(color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff);
    surface.SetPixel(0, 0, asPixel);
    const uint32_t result = surface.FirstPixel();
    surface.SetPixel(0, 0, kept);
    return result;
}

QFont TGraphics::MakeFont(const QPaintDevice& dc, const std::string& face, int32_t height, int32_t width,
                          int32_t /*attributes*/, bool /*logicalDpi*/) {
    QFont font(QString::fromStdString(face.substr(0, 31)));
    // Where the face is not installed, the nearest sans face stands in.
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, std::abs(height)));
    if (height > 0) {
        // A positive height is the whole cell: scale the character height to fit it.
        const QFontMetrics metrics(font, &dc);
        if (metrics.height() > 0) font.setPixelSize(std::max(1, height * height / metrics.height()));
    }
    if (width != 0) {
        const QFontMetrics metrics(font, &dc);
        const int32_t average = metrics.averageCharWidth();
        if (average > 0) font.setStretch(std::clamp(int(std::abs(width) * 100 / average), 1, 4000));
    }
    return font;
}

void TGraphics::WriteText(const std::string& text, int32_t x, int32_t y, uint32_t align, uint32_t color) {
    if (!BackBuffer) return;
    const TTextCache::TEntry& entry = Texts.Get(Font, text, color);
    int32_t left = x;
    if ((align & TA_CENTER) == TA_CENTER)
        left -= entry.advance / 2;
    else if (align & TA_RIGHT)
        left -= entry.advance;
    int32_t top = y;
    if ((align & TA_BASELINE) == TA_BASELINE)
        top -= entry.ascent;
    else if (align & TA_BOTTOM)
        top -= entry.height;
    BackBuffer->BlendImage(entry.image, entry.covered, left - entry.originX, top);
}

void TGraphics::UpdateScreenRect() {
    if (!Target) return;
    const QPoint origin = Target->mapToGlobal(QPoint(0, 0));
    ScreenRect = {origin.x(), origin.y(), origin.x() + Target->width(), origin.y() + Target->height()};
}

bool TGraphics::Present() {
    if (!Target || !BackBuffer) return false;
    UpdateScreenRect();
    if (!Target->isVisible()) return false;
    Target->repaint();
    return true;
}
