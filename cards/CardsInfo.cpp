#include "cards/CardsInfo.h"

#include "cards/CardRecordReader.h"
#include "render/Graphics.h"

#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

TCardsInfo::~TCardsInfo() {
    Discard();
}

void TCardsInfo::Discard() {
    CardTable.reset();
    NumCards = 0;
}

bool TCardsInfo::LoadCards(TGraphics& graphics, const TTaskReporter& report, const TMessageSink& message) {
    return LoadCards(
        [&graphics](const std::string& path) {
            return graphics.LoadBitmapSurface(path, nullptr, false, false);
        },
        report, message);
}

bool TCardsInfo::LoadCards(const TPictureLoader& loadPicture, const TTaskReporter& report,
                           const TMessageSink& message) {
    auto tell = [&message](const std::string& text) {
        if (message) message(text);
    };
    Discard();
    CardTable.reset(new (std::nothrow) TCardInfo[CatalogueSize]);
    if (!CardTable) return false;

    std::ifstream file(CardFile);
    if (!file) {
        tell(std::string("Could not load file ") + CardFile);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        tell(std::string("Could not load file ") + CardFile);
        return false;
    }
    TCardRecordReader reader(std::move(text).str());

    for (int32_t i = 0; i < CatalogueSize; ++i) {
        const std::string number = std::to_string(i + 1);
        if (report) report("Loading cards (" + number + " of " + std::to_string(CatalogueSize) + ")...");
        TCardInfo& card = CardTable[i];
        const std::string red = "Data/Red/" + number + ".bmp";
        card.RedPicture = loadPicture(red);
        if (!card.RedPicture) {
            tell("Could not load file " + red);
            return false;
        }
        const std::string blue = "Data/Blue/" + number + ".bmp";
        card.BluePicture = loadPicture(blue);
        if (!card.BluePicture) {
            tell("Could not load file " + blue);
            return false;
        }
        std::string error;
        if (!reader.ReadRecord(i + 1, card, error)) {
            tell(std::string("Could not load file ") + CardFile + ": " + error);
            return false;
        }
    }
    NumCards = CatalogueSize;
    return true;
}

TSurface* TCardsInfo::GetCardPicture(int32_t index, int32_t player) const {
    const TCardInfo& card = CardTable[index];
    return player == 0 ? card.RedPicture.get() : card.BluePicture.get();
}
