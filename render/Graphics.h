#pragma once

#include "render/Rect.h"
#include "render/Reporting.h"
#include "render/Surface.h"
#include "render/TextCache.h"

#include <QFont>
#include <cstdint>
#include <memory>
#include <string>

class QPaintDevice;
class QWidget;
class TPresenter;

// Text alignment flags, with the values the callers have always used.
inline constexpr uint32_t TA_LEFT = 0;
inline constexpr uint32_t TA_RIGHT = 2;
inline constexpr uint32_t TA_CENTER = 6;
inline constexpr uint32_t TA_TOP = 0;
inline constexpr uint32_t TA_BOTTOM = 8;
inline constexpr uint32_t TA_BASELINE = 24;

// Colours as 0x00BBGGRR values.
inline constexpr uint32_t ColorMagenta = 0x00FF00FF;
inline constexpr uint32_t ColorWhite = 0x00FFFFFF;
inline constexpr uint32_t ColorInvalid = 0xFFFFFFFF;

// The drawing device: every frame is composed in BackBuffer and then shown in
// the target widget by Present. It also turns bitmap files into surfaces.
class TGraphics {
public:
    TGraphics();
    ~TGraphics();
    TGraphics(const TGraphics&) = delete;
    TGraphics& operator=(const TGraphics&) = delete;

    // Makes a back buffer of the target's size. False when it cannot.
    bool OpenDevice(QWidget* target, const TTaskReporter& report = {});

    // The longest side of a picture the game accepts, far beyond any it
    // draws; it bounds the memory a file can make the program take.
    static constexpr int32_t MaxBitmapSide = 4096;

    // A new surface holding the bitmap file, or null. Size is written only
    // once the bitmap has been read. When the file was found but refused,
    // problem (if given) says what is wrong with it; it stays empty when the
    // file is missing or not a bitmap at all.
    std::unique_ptr<TSurface> LoadBitmapSurface(const std::string& fileName, TRect* size, bool colorKeyed,
                                                bool videoMemory, std::string* problem = nullptr);
    bool ApplyColorKey(TSurface& surface, uint32_t color);
    // The colour as a pixel value of the surface, found by letting the surface
    // store it. With ColorInvalid nothing is stored and the first pixel's value
    // comes back; a null surface gives ColorInvalid.
    uint32_t MatchColor(TSurface& surface, uint32_t color);
    // A font of the given character height (negative) or cell height
    // (positive) in pixels. Width 0 keeps the face's own proportions.
    QFont MakeFont(const QPaintDevice& dc, const std::string& face, int32_t height, int32_t width,
                   int32_t attributes, bool logicalDpi);

    void WriteText(const std::string& text, int32_t x, int32_t y, uint32_t align, uint32_t color);
    void UpdateScreenRect();
    bool Present();

    QWidget* Target = nullptr;
    QFont Font;
    std::unique_ptr<TSurface> BackBuffer;
    TRect BackBufferRect;
    TRect ScreenRect;

private:
    std::unique_ptr<TPresenter> Presenter;
    TTextCache Texts;
};
