#include "cards/CardsInfo.h"

#include "cards/CardRecordReader.h"
#include "render/DataFile.h"
#include "render/Graphics.h"

#include <new>

TCardsInfo::~TCardsInfo() {
    Discard();
}

void TCardsInfo::Discard() {
    CardTable.reset();
    NumCards = 0;
}

bool TCardsInfo::LoadCards(TGraphics& graphics, const TTaskReporter& report, const TMessageSink& message,
                           const TDataFolder& data) {
    return LoadCards(
        [&graphics](const std::string& path, std::string& problem) {
            return graphics.LoadBitmapSurface(path, nullptr, false, false, &problem);
        },
        report, message, data);
}

bool TCardsInfo::LoadCards(const TPictureLoader& loadPicture, const TTaskReporter& report,
                           const TMessageSink& message, const TDataFolder& data) {
    auto tell = [&message](const std::string& path, const std::string& problem) {
        if (message) message("Could not load file " + path + (problem.empty() ? "" : ": " + problem));
    };
    Discard();
    CardTable.reset(new (std::nothrow) TCardInfo[CatalogueSize]);
    if (!CardTable) return false;

    const std::string cardFile = data.PathOf(CardFile);
    QByteArray text;
    switch (ReadDataFile(QString::fromStdString(cardFile), MaxCardFileBytes, text)) {
    case TDataFileRead::Read:
        break;
    case TDataFileRead::NotOpened:
        tell(cardFile, "");
        return false;
    case TDataFileRead::Folder:
        tell(cardFile, "it is a folder, not a file");
        return false;
    case TDataFileRead::TooLarge:
        tell(cardFile, "it is larger than " + std::to_string(MaxCardFileBytes / (1024 * 1024)) +
                           " MiB, far more than a card catalogue holds");
        return false;
    case TDataFileRead::Failed:
        tell(cardFile, "it could not be read");
        return false;
    }
    TCardRecordReader reader(text.toStdString());

    // Loads one face; a picture smaller than the part of it that is drawn
    // would load and then never show, so it is refused here.
    auto loadFace = [&](const std::string& path, std::unique_ptr<TSurface>& face) {
        std::string problem;
        face = loadPicture(path, problem);
        if (face && (face->Width() < FaceWidth || face->Height() < FaceHeight)) {
            problem = "the picture is " + std::to_string(face->Width()) + " x " +
                      std::to_string(face->Height()) + " pixels, smaller than the " +
                      std::to_string(FaceWidth) + " x " + std::to_string(FaceHeight) + " of a card face";
            face.reset();
        }
        if (!face) tell(path, problem);
        return bool(face);
    };

    for (int32_t i = 0; i < CatalogueSize; ++i) {
        const std::string number = std::to_string(i + 1);
        if (report) report("Loading cards (" + number + " of " + std::to_string(CatalogueSize) + ")...");
        TCardInfo& card = CardTable[i];
        if (!loadFace(data.PathOf("Data/Red/" + number + ".bmp"), card.RedPicture)) return false;
        if (!loadFace(data.PathOf("Data/Blue/" + number + ".bmp"), card.BluePicture)) return false;
        std::string error;
        if (!reader.ReadRecord(i + 1, card, error)) {
            tell(cardFile, error);
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
