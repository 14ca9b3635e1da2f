#include "render/GameSprites.h"

#include <string>

namespace {

void LoadOne(std::unique_ptr<TSprite>& member, TGraphics& graphics, const TDataFolder& data,
             const std::string& fileName, bool keyed) {
    member = std::make_unique<TSprite>();
    member->LoadFromFile(graphics, data.PathOf(fileName), keyed, false);
}

template <size_t N>
void LoadNumbered(std::unique_ptr<std::array<TSprite, N>>& member, TGraphics& graphics,
                  const TDataFolder& data, const std::string& prefix) {
    member = std::make_unique<std::array<TSprite, N>>();
    for (size_t i = 0; i < N; ++i)
        (*member)[i].LoadFromFile(graphics, data.PathOf(prefix + std::to_string(i + 1) + ".bmp"), true,
                                  false);
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

void TGameSprites::LoadAll(TGraphics& graphics, const TDataFolder& data) {
    LoadOne(BoardImage, graphics, data, "Data/Board.bmp", false);
    LoadOne(SameText, graphics, data, "Data/SameText.bmp", true);
    LoadOne(PlusText, graphics, data, "Data/PlusText.bmp", true);
    LoadOne(ComboText, graphics, data, "Data/ComboText.bmp", true);
    LoadOne(HandRight, graphics, data, "Data/HandRight.bmp", true);
    LoadOne(HandLeft, graphics, data, "Data/HandLeft.bmp", true);
    LoadOne(MinusSign, graphics, data, "Data/Numbers/-.bmp", true);
    LoadOne(PlusSign, graphics, data, "Data/Numbers/+.bmp", true);
    LoadOne(CardBack, graphics, data, "Data/CardBack.bmp", false);
    LoadOne(CardNameInfoBox, graphics, data, "Data/CardNameInfoBox.bmp", false);
    LoadNumbered(ElementImages, graphics, data, "Data/Elements/");
    LoadNumbered(NumberImages, graphics, data, "Data/Numbers/");
}

bool TGameSprites::LoadSprites(TGraphics& graphics, const TTaskReporter& report, const TMessageSink& message,
                               const TDataFolder& data) {
    if (report) report("Loading game sprites...");
    try {
        LoadAll(graphics, data);
    } catch (const TImageLoadError& error) {
        if (message) message(error.what());
        return false;
    }
    return true;
}
