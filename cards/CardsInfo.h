#pragma once

#include "cards/CardInfo.h"
#include "render/DataFolder.h"
#include "render/Reporting.h"
#include "rules/CardSource.h"

#include <functional>
#include <memory>
#include <string>

class TGraphics;

// Turns a picture file into a surface, or null when it cannot; a loader that
// found the file but refused it says why in `problem`.
using TPictureLoader =
    std::function<std::unique_ptr<TSurface>(const std::string& path, std::string& problem)>;

// The catalogue of every card that can be dealt, read from Data/Cards.dat and
// the face pictures under Data/Red and Data/Blue; the match reads its ranks
// and elements through TCardSource.
class TCardsInfo final : public TCardSource {
public:
    static constexpr int32_t CatalogueSize = 110;
    static constexpr const char* CardFile = "Data/Cards.dat";
    // A catalogue is a few kilobytes; anything near this is not one.
    static constexpr int64_t MaxCardFileBytes = 1024 * 1024;
    // The part of each face picture that is drawn: a smaller picture cannot be shown.
    static constexpr int32_t FaceWidth = 100;
    static constexpr int32_t FaceHeight = 127;

    TCardsInfo() = default;
    ~TCardsInfo() override;
    TCardsInfo(const TCardsInfo&) = delete;
    TCardsInfo& operator=(const TCardsInfo&) = delete;

    // True when all cards and their pictures loaded; NumCards is 0 otherwise.
    // A second call discards everything the first one loaded. Files are read
    // from Data/ in `data`.
    bool LoadCards(TGraphics& graphics, const TTaskReporter& report = {},
                   const TMessageSink& message = ShowMessageBox, const TDataFolder& data = {});
    bool LoadCards(const TPictureLoader& loadPicture, const TTaskReporter& report,
                   const TMessageSink& message, const TDataFolder& data = {});

    // The red face for player 0, the blue face for any other player.
    TSurface* GetCardPicture(int32_t index, int32_t player) const;

    int32_t CardCount() const override { return NumCards; }
    const TCardValues& CardValues(int32_t index) const override { return CardTable[index]; }

    int32_t NumCards = 0;
    std::unique_ptr<TCardInfo[]> CardTable;

private:
    void Discard();
};
