#include "render/Sprite.h"

#include "render/Graphics.h"

#include <cmath>
#include <limits>

int32_t TruncToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

void TSprite::ReleaseOwnedSurface() {
    if (OwnsSurface && Surface) {
        OwnedSurface.reset();
        Surface = nullptr;
    }
}

void TSprite::LoadFromFile(TGraphics& graphics, const std::string& fileName, bool colorKeyed,
                           bool videoMemory) {
    if (OwnsSurface)
        ReleaseOwnedSurface();
    else
        OwnsSurface = true;
    ColorKeyed = colorKeyed;
    std::string problem;
    OwnedSurface = graphics.LoadBitmapSurface(fileName, &Source, colorKeyed, videoMemory, &problem);
    Surface = OwnedSurface.get();
    Dest = Source;
    Width = float(Source.right);
    Height = float(Source.bottom);
    if (!Surface)
        throw TImageLoadError("Could not load image " + fileName + (problem.empty() ? "" : ": " + problem));
}

void TSprite::AttachSurface(TSurface* surface, std::optional<TRect> source, bool colorKeyed) {
    ReleaseOwnedSurface();
    OwnedSurface.reset();
    OwnsSurface = false;
    ColorKeyed = colorKeyed;
    Surface = surface;
    if (source) {
        Source = *source;
        Width = float(Source.right);
        Height = float(Source.bottom);
    }
}

void TSprite::SetSize(int32_t width, int32_t height) {
    Width = float(width);
    Height = float(height);
}

void TSprite::SetDestRect(TRect rect) {
    Dest = rect;
}

void TSprite::SetPosition(float x, float y) {
    const int32_t left = TruncToInt(x), top = TruncToInt(y);
    Dest = {left, top, TruncToInt(float(left) + Width), TruncToInt(float(top) + Height)};
    X = x;
    Y = y;
}

void TSprite::SetDirection(float angle) {
    Angle = angle;
    SinAngle = float(std::sin(double(angle)));
    CosAngle = float(std::cos(double(angle)));
}

void TSprite::SetSpeed(float speed) {
    Speed = speed;
    Animating = speed != 0;
}

void TSprite::MoveTo(int32_t x, int32_t y) {
    const float dx = float(x) - X;
    const float dy = float(y) - Y;
    if (dx == 0)
        SetDirection(float(y) > Y ? DirectionDown : DirectionUp);
    else
        SetDirection(float(std::atan2(double(dy), double(dx))));
    TargetX = x;
    TargetY = y;
    Distance = float(std::sqrt(double(dx) * double(dx) + double(dy) * double(dy)));
    Animating = true;
}

void TSprite::UpdateMove(float elapsed) {
    const float step = Speed * elapsed;
    if (!(step > 0)) return;
    X += step * CosAngle;
    Y += step * SinAngle;
    Distance -= step;
    // Exactly 0 left does not end the move: the next update overshoots and snaps.
    if (Distance < 0) {
        Distance = 0;
        X = float(TargetX);
        Y = float(TargetY);
        Animating = false;
    }
    SetPosition(X, Y);
}

void TSprite::ResizeTo(float width, float height, float widthRate, float heightRate) {
    TargetWidth = width;
    TargetHeight = height;
    HalfWidthRate = widthRate * 0.5f;
    HalfHeightRate = heightRate * 0.5f;
    GrowWidth = width > Width;
    GrowHeight = height > Height;
    CenterX = Width * 0.5f + X;
    CenterY = Height * 0.5f + Y;
    Animating = true;
}

void TSprite::UpdateResize(float elapsed) {
    const float dw = HalfWidthRate * elapsed;
    const float dh = HalfHeightRate * elapsed;
    if (Width != TargetWidth) {
        if (GrowWidth) {
            X -= dw;
            Width += 2 * dw;
            if (Width > TargetWidth) {
                X = CenterX - TargetWidth * 0.5f;
                Width = TargetWidth;
            }
        } else {
            X += dw;
            Width -= 2 * dw;
            if (Width < TargetWidth) {
                Width = TargetWidth;
                X = CenterX - TargetWidth * 0.5f;
            }
        }
    }
    if (Height != TargetHeight) {
        if (GrowHeight) {
            Y -= dh;
            Height += 2 * dh;
            if (Height > TargetHeight) {
                Y = CenterY - TargetHeight * 0.5f;
                Height = TargetHeight;
            }
        } else {
            Y += dh;
            Height -= 2 * dh;
            if (Height < TargetHeight) {
                Height = TargetHeight;
                Y = CenterY - TargetHeight * 0.5f;
            }
        }
    }
    if (Width == TargetWidth && Height == TargetHeight) Animating = false;
    SetPosition(X, Y);
}

bool TSprite::Draw(TSurface* target) const {
    if (!target || !Surface) return false;
    return target->Blt(Dest, Surface, Source, BltWait | (ColorKeyed ? BltKeySrc : 0));
}
