#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

namespace artgen {

struct CardRecord {
    int number = 0;             // 1-based, as in the picture file names
    QString word;               // the name as written in the file, '_' for blanks
    std::array<int, 4> ranks{}; // top, right, bottom, left
    int element = 0;            // 0 none, 1..8

    QString displayName() const;
    // 1..10, from the card's place in the catalogue: eleven cards per tier.
    int tier() const { return (number - 1) / 11 + 1; }
};

inline constexpr int kCatalogueSize = 110;
inline constexpr int kCardsPerTier = 11;
inline constexpr int kMaxNameLength = 24;

struct Catalogue {
    QByteArray bytes; // the file exactly as read, so the copy is byte for byte
    std::vector<CardRecord> cards;
};

// Throws std::runtime_error naming the line at fault: a catalogue that the game
// would load silently wrong must stop the build instead.
Catalogue parseCatalogue(const QByteArray& bytes);
Catalogue loadCatalogue(const QString& path);

} // namespace artgen
