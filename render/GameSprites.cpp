#include "render/GameSprites.h"

#include <cstdio>

namespace {

void LoadOne(std::unique_ptr<TSprite>& member, TGraphics& graphics, const char* fileName, bool keyed) {
    member = std::make_unique<TSprite>();
    member->LoadFromFile(graphics, fileName, keyed, false);
}

template <size_t N>
void LoadNumbered(std::unique_ptr<std::array<TSprite, N>>& member, TGraphics& graphics, const char* prefix) {
    member = std::make_unique<std::array<TSprite, N>>();
    for (size_t i = 0; i < N; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%d%s", prefix, int(i + 1), ".bmp");
        (*member)[i].LoadFromFile(graphics, name, true, false);
    }
}

} // namespace

TGameSprites::~TGameSprites() {
    HandLeft.reset();
    HandRight.reset();
    CardBack.reset();
    SameText.reset();
    PlusText.reset();
    ComboText.reset();
    CardNameInfoBox.reset();
    ElementImages.reset();
    NumberImages.reset();
    PlusSign.reset();
    MinusSign.reset();
    BoardImage.reset();
}

void TGameSprites::LoadAll(TGraphics& graphics) {
    LoadOne(BoardImage, graphics, "Data/Board.bmp", false);
    LoadOne(SameText, graphics, "Data/SameText.bmp", true);
    LoadOne(PlusText, graphics, "Data/PlusText.bmp", true);
    LoadOne(ComboText, graphics, "Data/ComboText.bmp", true);
    LoadOne(HandRight, graphics, "Data/HandRight.bmp", true);
    LoadOne(HandLeft, graphics, "Data/HandLeft.bmp", true);
    LoadOne(MinusSign, graphics, "Data/Numbers/-.bmp", true);
    LoadOne(PlusSign, graphics, "Data/Numbers/+.bmp", true);
    LoadOne(CardBack, graphics, "Data/CardBack.bmp", false);
    LoadOne(CardNameInfoBox, graphics, "Data/CardNameInfoBox.bmp", false);
    LoadNumbered(ElementImages, graphics, "Data/Elements/");
    LoadNumbered(NumberImages, graphics, "Data/Numbers/");
}

bool TGameSprites::LoadSprites(TGraphics& graphics, const TTaskReporter& report,
                               const TMessageSink& message) {
    if (report) report("Loading game sprites...");
    try {
        LoadAll(graphics);
    } catch (const TImageLoadError& error) {
        if (message) message(error.what());
        return false;
    }
    return true;
}
