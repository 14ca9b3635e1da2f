#pragma once

#include "render/DataFolder.h"
#include "render/Reporting.h"
#include "render/Sprite.h"

#include <array>
#include <memory>

class TGraphics;

// The shared images every match draws with, loaded once at start-up. Members
// that were never loaded stay null.
class TGameSprites {
public:
    TGameSprites() = default;
    ~TGameSprites();
    TGameSprites(const TGameSprites&) = delete;
    TGameSprites& operator=(const TGameSprites&) = delete;

    // True when every image loaded. Stops at the first image that fails and
    // tells the player which file it was. Files are read from Data/ in `data`.
    bool LoadSprites(TGraphics& graphics, const TTaskReporter& report = {},
                     const TMessageSink& message = ShowMessageBox, const TDataFolder& data = {});

    std::unique_ptr<TSprite> HandLeft;
    std::unique_ptr<TSprite> HandRight;
    std::unique_ptr<TSprite> CardBack;
    std::unique_ptr<TSprite> SameText;
    std::unique_ptr<TSprite> PlusText;
    std::unique_ptr<TSprite> ComboText;
    std::unique_ptr<TSprite> CardNameInfoBox;
    std::unique_ptr<std::array<TSprite, 8>> ElementImages;
    std::unique_ptr<std::array<TSprite, 9>> NumberImages;
    std::unique_ptr<TSprite> PlusSign;
    std::unique_ptr<TSprite> MinusSign;
    std::unique_ptr<TSprite> BoardImage;

private:
    void LoadAll(TGraphics& graphics, const TDataFolder& data);
};
