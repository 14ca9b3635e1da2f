// Arbitrary bytes as Data/Cards.dat: the catalogue must load or refuse the
// file with a message, never read past what it holds.
#include "cards/CardsInfo.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir work;
    static const bool ready = QDir(work.path()).mkpath("Data");
    if (!ready) return 0;
    // The catalogue reads Data/ from the working directory; the fuzzer keeps
    // reading its corpus from the one it was started in.
    const QString started = QDir::currentPath();
    QDir::setCurrent(work.path());
    struct TBack {
        QString to;
        ~TBack() { QDir::setCurrent(to); }
    } back{started};
    {
        QFile file("Data/Cards.dat");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TCardsInfo cards;
    int messages = 0;
    // Every face is one shared picture of the size drawn, so only the card file varies.
    static const QImage face = TSurface(TCardsInfo::FaceWidth, TCardsInfo::FaceHeight).Image();
    const bool loaded =
        cards.LoadCards([](const std::string&, std::string&) { return std::make_unique<TSurface>(face); },
                        [](const std::string&) {}, [&](const std::string&) { ++messages; });
    // Either every card is there, or the player was told why not.
    if (loaded != (cards.NumCards == TCardsInfo::CatalogueSize) || loaded == (messages == 1))
        __builtin_trap();
    if (loaded)
        for (int32_t i = 0; i < cards.NumCards; ++i)
            if (cards.CardTable[i].Element < 0 || cards.CardTable[i].Element > 8) __builtin_trap();
    return 0;
}
