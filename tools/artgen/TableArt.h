#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace artgen {

// Where the game puts things on the 512 x 384 table; the background is
// painted to fit them.
namespace table {
inline constexpr int kWidth = 512;
inline constexpr int kHeight = 384;
inline constexpr int kBoardLeft = 130;
inline constexpr int kBoardTop = 29;
inline constexpr int kSquareWidth = 85;
inline constexpr int kSquareHeight = 110;
inline constexpr int kHandX[2] = {10, 417};
inline constexpr int kHandTop = 29;
inline constexpr int kHandStep = 55;
inline constexpr int kScoreTop = 350;
inline constexpr int kNameBoxTop = 345;
inline constexpr int kNameTextTop = 351;
} // namespace table

QImage boardImage();
QImage nameBox();

// Pointing right (HandRight, also the board cursor) or left (HandLeft).
QImage pointingHand(bool pointsRight);

enum class BannerKind { Same, Plus, Combo };
QImage banner(BannerKind kind);

// The result banners' lettering, in the rule banners' style: every character
// of the letter set in a row of equal cells.
QImage lettering();
// The plate a result banner's lettering stands on.
QImage resultPlate();

// Score digits 1..9 and the signs of the elemental marker.
QImage digit(int value);
QImage sign(bool plus);

} // namespace artgen
