#pragma once

#include "Catalogue.h"

#include <QImage>
#include <vector>

namespace artgen {

// Everything the generator paints, held together so the splash and the
// contact sheet can show it.
struct ArtSet {
    std::vector<QImage> red; // 1-based card n at index n - 1
    std::vector<QImage> blue;
    QImage board;
    QImage handLeft;
    QImage handRight;
    QImage cardBack;
    QImage sameText;
    QImage plusText;
    QImage comboText;
    QImage nameBox;
    std::vector<QImage> elements; // element e at index e - 1
    std::vector<QImage> digits;   // digit n at index n - 1
    QImage plusSign;
    QImage minusSign;
    QImage splash;
    QImage lettering;
    QImage resultPlate;
};

// 128 x 128 with transparency: the program's icon.
QImage appIcon(const ArtSet& art);

// 320 x 240, a fanned hand of five faces on grey with the title.
QImage splashPicture(const ArtSet& art);

// One big picture of every kind of image, with a mock match composed the way
// the game composes it, for reviewing the art by eye.
QImage contactSheet(const ArtSet& art, const Catalogue& catalogue);

// Copies `image` onto `target` at `at`, skipping the key colour as the game does.
void drawKeyed(QImage& target, const QImage& image, QPoint at);

} // namespace artgen
