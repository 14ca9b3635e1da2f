#pragma once

#include "render/Rect.h"
#include "render/Surface.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

class TGraphics;

// Raised when a sprite's bitmap cannot be loaded; the message names the file.
class TImageLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Converts to whole pixels toward zero; values beyond the 32-bit range are
// held at its ends (and NaN gives 0) instead of being undefined.
int32_t TruncToInt(float value);

// One image with a fractional position and size, moved in a straight line at
// a speed or resized about its centre, both by elapsed seconds. All arithmetic
// is in 32-bit floats, each stored result rounded to float.
class TSprite {
public:
    TSprite() = default;

    // Loads a surface of its own. Raises TImageLoadError when it cannot.
    void LoadFromFile(TGraphics& graphics, const std::string& fileName, bool colorKeyed, bool videoMemory);
    // Shows a surface that someone else owns.
    void AttachSurface(TSurface* surface, std::optional<TRect> source, bool colorKeyed);
    void SetSize(int32_t width, int32_t height);
    void SetDestRect(TRect rect);
    void SetPosition(float x, float y);
    void SetDirection(float angle);
    void SetSpeed(float speed);
    void MoveTo(int32_t x, int32_t y);
    void UpdateMove(float elapsed);
    void ResizeTo(float width, float height, float widthRate, float heightRate);
    void UpdateResize(float elapsed);
    bool Draw(TSurface* target) const;
    bool IsAnimating() const { return Animating; }
    TSurface* GetSurface() const { return Surface; }

    TRect Source;
    float Width = 0;
    float Height = 0;
    float X = 0;
    float Y = 0;
    bool Animating = false;
    TSurface* Surface = nullptr; // owned through OwnedSurface when OwnsSurface is set
    TRect Dest;
    int32_t TargetX = 0;
    int32_t TargetY = 0;
    float Distance = 0;
    float TargetWidth = 0;
    float TargetHeight = 0;
    float HalfWidthRate = 0;
    float HalfHeightRate = 0;
    bool GrowWidth = false;
    bool GrowHeight = false;
    bool OwnsSurface = false;
    bool ColorKeyed = false;
    float Speed = 0;
    float Angle = 0;
    float CosAngle = 0;
    float SinAngle = 0;
    float CenterX = 0;
    float CenterY = 0;

private:
    void ReleaseOwnedSurface();

    std::unique_ptr<TSurface> OwnedSurface;
};

// Movement directions straight down and straight up, as the movement code has
// always used them (close to, but not exactly, pi/2 and 3pi/2).
inline constexpr float DirectionDown = 1.570795f;
inline constexpr float DirectionUp = 4.712385f;
