#include "TableArt.h"

#include "ImageFiles.h"
#include "Lettering.h"
#include "PaintKit.h"
#include "Random.h"
#include "render/LetterSet.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

// Smooth value noise from a hashed lattice: the grain of the table and the
// nap of the felt. Integer hashing keeps it identical everywhere.
double lattice(int x, int y, std::uint32_t seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                      static_cast<std::uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFFu) / static_cast<double>(0xFFFFFF);
}

double valueNoise(double x, double y, std::uint32_t seed) {
    const int ix = static_cast<int>(std::floor(x));
    const int iy = static_cast<int>(std::floor(y));
    const double fx = x - ix;
    const double fy = y - iy;
    const double sx = fx * fx * (3 - 2 * fx);
    const double sy = fy * fy * (3 - 2 * fy);
    const double a = lattice(ix, iy, seed);
    const double b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed);
    const double d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double fbm(double x, double y, std::uint32_t seed) {
    double sum = 0;
    double amp = 0.5;
    for (int o = 0; o < 4; ++o) {
        sum += amp * valueNoise(x, y, seed + static_cast<std::uint32_t>(o) * 101u);
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum;
}

QColor lerpColour(const QColor& a, const QColor& b, double t) {
    return mix(a, b, std::clamp(t, 0.0, 1.0));
}

void paintWood(QImage& image) {
    const QColor light(132, 84, 50);
    const QColor dark(72, 42, 24);
    constexpr int plank = 48;
    for (int y = 0; y < image.height(); ++y) {
        const int row = y / plank;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Planks are staggered: each row has its own joint.
            const int joint = 60 + (row * 173) % 300;
            const int piece = x < joint ? 0 : 1;
            const std::uint32_t seed = static_cast<std::uint32_t>(row * 2 + piece + 1);
            const double warp = fbm(x * 0.012, y * 0.08, seed) * 9.0;
            const double rings = 0.5 + 0.5 * std::sin((y + warp) * 0.9 + seed * 1.7);
            const double fine = valueNoise(x * 0.5, y * 2.2, seed + 7u);
            double t = 0.25 + 0.45 * rings + 0.3 * fine;
            const int inPlank = y % plank;
            if (inPlank == 0 || x == joint)
                t = -0.6;
            else if (inPlank == 1 || x == joint + 1)
                t += 0.2;
            QColor c = lerpColour(dark, light, t);
            if (t < 0) c = QColor(34, 20, 12);
            // Vignette toward the table's edges.
            const double dx = (x - image.width() / 2.0) / (image.width() / 2.0);
            const double dy = (y - image.height() / 2.0) / (image.height() / 2.0);
            const double v = 1.0 - 0.28 * (dx * dx + dy * dy);
            line[x] = qRgb(static_cast<int>(c.red() * v), static_cast<int>(c.green() * v),
                           static_cast<int>(c.blue() * v));
        }
    }
}

void paintFelt(QImage& image, const QRect& area, const QColor& base, std::uint32_t seed) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const double n = 0.82 + 0.12 * fbm(x * 0.08, y * 0.08, seed) + 0.1 * lattice(x, y, seed + 3u);
            line[x] = qRgb(std::min(255, static_cast<int>(base.red() * n)),
                           std::min(255, static_cast<int>(base.green() * n)),
                           std::min(255, static_cast<int>(base.blue() * n)));
        }
    }
}

// A sunken rectangle: dark on the upper and left edges, light on the others.
void paintRecess(QPainter& p, const QRectF& r, int depth) {
    for (int i = 0; i < depth; ++i) {
        const int a = 150 - i * 40;
        p.setPen(QPen(QColor(0, 0, 0, std::max(20, a)), 1.0));
        p.drawLine(QPointF(r.left() + i + 0.5, r.top() + i + 0.5),
                   QPointF(r.right() - i - 0.5, r.top() + i + 0.5));
        p.drawLine(QPointF(r.left() + i + 0.5, r.top() + i + 0.5),
                   QPointF(r.left() + i + 0.5, r.bottom() - i - 0.5));
    }
    p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
    p.drawLine(QPointF(r.left() + 0.5, r.bottom() - 0.5), QPointF(r.right() - 0.5, r.bottom() - 0.5));
    p.drawLine(QPointF(r.right() - 0.5, r.top() + 0.5), QPointF(r.right() - 0.5, r.bottom() - 0.5));
}

void paintStud(QPainter& p, QPointF c) {
    QRadialGradient g(c + QPointF(-1, -1), 4);
    g.setColorAt(0, QColor(255, 236, 170));
    g.setColorAt(1, QColor(130, 90, 30));
    p.setPen(QPen(QColor(40, 24, 10), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, 3, 3);
}

} // namespace

QImage boardImage() {
    using namespace table;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    paintWood(image);

    const QRect board(kBoardLeft, kBoardTop, 3 * kSquareWidth, 3 * kSquareHeight);
    const QRect handTray[2] = {
        QRect(kHandX[0] - 4, kHandTop - 4, kSquareWidth + 8, 4 * kHandStep + kSquareHeight + 8),
        QRect(kHandX[1] - 4, kHandTop - 4, kSquareWidth + 8, 4 * kHandStep + kSquareHeight + 8)};

    // Felt first, painted per pixel, then everything drawn over it.
    paintFelt(image, board, QColor(34, 84, 74), 11u);
    paintFelt(image, handTray[0].adjusted(2, 2, -2, -2), QColor(96, 30, 34), 12u);
    paintFelt(image, handTray[1].adjusted(2, 2, -2, -2), QColor(30, 44, 102), 13u);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The board's raised frame.
    const QRectF frame = QRectF(board).adjusted(-8, -8, 8, 8);
    QPainterPath frameRing;
    frameRing.addRoundedRect(frame, 5, 5);
    frameRing.addRect(QRectF(board));
    QLinearGradient frameFill(frame.topLeft(), frame.bottomRight());
    frameFill.setColorAt(0.0, QColor(120, 76, 40));
    frameFill.setColorAt(0.5, QColor(86, 52, 26));
    frameFill.setColorAt(1.0, QColor(52, 30, 14));
    p.setPen(QPen(QColor(24, 12, 6), 1.2));
    p.setBrush(frameFill);
    p.drawPath(frameRing);
    p.setPen(QPen(QColor(214, 170, 92), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame.adjusted(3, 3, -3, -3), 3, 3);
    for (const QPointF& c :
         {frame.topLeft() + QPointF(4.5, 4.5), frame.topRight() + QPointF(-4.5, 4.5),
          frame.bottomLeft() + QPointF(4.5, -4.5), frame.bottomRight() + QPointF(-4.5, -4.5)})
        paintStud(p, c);

    // Squares: each a shallow well with a faint compass at its heart.
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF sq(kBoardLeft + col * kSquareWidth, kBoardTop + row * kSquareHeight, kSquareWidth,
                            kSquareHeight);
            paintRecess(p, sq, 3);
            const QPointF c = sq.center();
            const QPainterPath star = starPath(c, 4, 17, 4.5, -90);
            p.setPen(QPen(QColor(0, 0, 0, 50), 1.0));
            p.setBrush(QColor(0, 0, 0, 28));
            p.drawPath(star);
            p.setPen(QPen(QColor(214, 190, 120, 55), 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 24, 24);
            // Gilt corner marks.
            p.setPen(QPen(QColor(214, 176, 100, 120), 1.0));
            const qreal m = 6;
            const qreal len = 7;
            for (int cx = 0; cx < 2; ++cx) {
                for (int cy = 0; cy < 2; ++cy) {
                    const qreal x = cx ? sq.right() - m : sq.left() + m;
                    const qreal y = cy ? sq.bottom() - m : sq.top() + m;
                    const qreal dx = cx ? -len : len;
                    const qreal dy = cy ? -len : len;
                    p.drawLine(QPointF(x, y), QPointF(x + dx, y));
                    p.drawLine(QPointF(x, y), QPointF(x, y + dy));
                }
            }
        }
    }
    // Grid lines between the squares.
    p.setPen(QPen(QColor(16, 30, 26), 2.0));
    for (int i = 1; i < 3; ++i) {
        p.drawLine(QPointF(kBoardLeft + i * kSquareWidth, kBoardTop),
                   QPointF(kBoardLeft + i * kSquareWidth, kBoardTop + 3 * kSquareHeight));
        p.drawLine(QPointF(kBoardLeft, kBoardTop + i * kSquareHeight),
                   QPointF(kBoardLeft + 3 * kSquareWidth, kBoardTop + i * kSquareHeight));
    }
    p.setPen(QPen(QColor(200, 164, 96, 140), 1.0));
    for (int i = 1; i < 3; ++i) {
        p.drawLine(QPointF(kBoardLeft + i * kSquareWidth + 1.5, kBoardTop + 2),
                   QPointF(kBoardLeft + i * kSquareWidth + 1.5, kBoardTop + 3 * kSquareHeight - 2));
        p.drawLine(QPointF(kBoardLeft + 2, kBoardTop + i * kSquareHeight + 1.5),
                   QPointF(kBoardLeft + 3 * kSquareWidth - 2, kBoardTop + i * kSquareHeight + 1.5));
    }

    // Hand trays, one per player, in their colours.
    for (int side = 0; side < 2; ++side) {
        const QRectF tray = handTray[side];
        p.setPen(QPen(QColor(24, 12, 6), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(tray.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        p.setPen(QPen(QColor(214, 170, 92, 150), 1.0));
        p.drawRoundedRect(tray.adjusted(-2.5, -2.5, 2.5, 2.5), 4, 4);
        paintRecess(p, tray.adjusted(1, 1, -1, -1), 3);
        // A faint lattice in the felt, seen as the hand empties.
        p.save();
        p.setClipRect(tray.adjusted(4, 4, -4, -4));
        p.setPen(QPen(QColor(255, 255, 255, 14), 1.0));
        for (int k = -400; k < 400; k += 14) {
            p.drawLine(QPointF(tray.left() + k, tray.top()),
                       QPointF(tray.left() + k + 340, tray.top() + 340));
            p.drawLine(QPointF(tray.left() + k + 340, tray.top()),
                       QPointF(tray.left() + k, tray.top() + 340));
        }
        p.restore();
        p.setPen(QPen(QColor(214, 176, 100, 70), 1.0));
        p.drawRoundedRect(tray.adjusted(6.5, 6.5, -6.5, -6.5), 2, 2);
    }

    // Score plaques: calm and dark under each player's digit, running off
    // the table's lower edge like a tab.
    for (int side = 0; side < 2; ++side) {
        const qreal cx = kHandX[side] + 42.5;
        const QRectF plaque(cx - 23, kScoreTop - 8, 46, 60);
        QRadialGradient well(QPointF(cx, kScoreTop + 16), 30);
        well.setColorAt(0.0, QColor(20, 16, 14));
        well.setColorAt(0.7, QColor(30, 22, 16));
        well.setColorAt(1.0, QColor(50, 34, 20));
        p.setPen(QPen(QColor(24, 12, 6), 1.2));
        p.setBrush(well);
        p.drawRoundedRect(plaque, 10, 10);
        p.setPen(QPen(QColor(214, 170, 92), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(plaque.adjusted(2, 2, -2, -2), 8, 8);
        p.setPen(QPen(side == 0 ? QColor(200, 60, 60) : QColor(70, 110, 220), 1.6));
        p.drawRoundedRect(plaque.adjusted(4.5, 4.5, -4.5, -4.5), 6, 6);
    }

    // The title, engraved above the board.
    const QPainterPath title =
        textPath(QStringLiteral("V A N T A R O"), Face::SerifBold, 15, QPointF(kWidth / 2.0, 12.5));
    QLinearGradient gold(0, 4, 0, 21);
    gold.setColorAt(0.0, QColor(255, 236, 170));
    gold.setColorAt(1.0, QColor(190, 136, 50));
    paintOutlined(p, title, QBrush(gold), QColor(30, 16, 6), 2.6);
    p.end();
    return toOpaque(image);
}

QImage nameBox() {
    constexpr int w = 301;
    constexpr int h = 24;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(16, 14, 22));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0.0, QColor(58, 54, 76));
    fill.setColorAt(0.5, QColor(30, 28, 44));
    fill.setColorAt(1.0, QColor(18, 16, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    p.setPen(QPen(QColor(214, 170, 92), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 2.5, w - 5, h - 5));
    for (const qreal x : {8.0, w - 8.0}) {
        const QPainterPath lozenge = polygonPath({QPointF(x, h / 2.0 - 5), QPointF(x + 3.5, h / 2.0),
                                                  QPointF(x, h / 2.0 + 5), QPointF(x - 3.5, h / 2.0)});
        fillOutlined(p, lozenge, QColor(226, 186, 104), QColor(40, 26, 10), 0.8);
    }
    p.end();
    return toOpaque(image);
}

QImage pointingHand(bool pointsRight) {
    // Drawn four times larger and reduced, which gives clean curves at 37 x 25.
    constexpr int scale = 4;
    constexpr int w = 37;
    constexpr int h = 25;
    QImage big = transparentCanvas(w * scale, h * scale);
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    if (!pointsRight) {
        p.translate(w * scale, 0);
        p.scale(-1, 1);
    }
    p.scale(scale, scale);

    const QColor ink(22, 16, 14);
    const QColor glove(252, 250, 244);
    const QColor shade(196, 192, 204);
    const qreal rim = 1.6;
    auto gloveBrush = [&](const QRectF& r) { return verticalBrush(r, glove, shade); };

    // Cuff.
    QPainterPath cuff;
    cuff.addRoundedRect(QRectF(1, 5, 8, 16), 2.5, 2.5);
    fillOutlined(p, cuff, verticalBrush(cuff.boundingRect(), QColor(255, 214, 90), QColor(200, 130, 30)), ink,
                 rim);
    // Folded fingers under the palm.
    for (int i = 0; i < 3; ++i) {
        QPainterPath finger;
        finger.addRoundedRect(QRectF(12, 10.5 + i * 4.0, 13.5 - i * 0.8, 5.0), 2.5, 2.5);
        fillOutlined(p, finger, gloveBrush(finger.boundingRect()), ink, rim * 0.8);
    }
    // Palm.
    QPainterPath palm;
    palm.addRoundedRect(QRectF(7, 4, 13, 18), 4, 4);
    fillOutlined(p, palm, gloveBrush(palm.boundingRect()), ink, rim);
    // Index finger, pointing.
    QPainterPath index;
    index.addRoundedRect(QRectF(14, 4.2, 21.5, 6.2), 3.1, 3.1);
    fillOutlined(p, index, gloveBrush(index.boundingRect()), ink, rim);
    // Thumb across the folded fingers.
    QPainterPath thumb;
    thumb.moveTo(10, 12);
    thumb.cubicTo(13, 9.5, 20, 10, 22, 12.5);
    thumb.cubicTo(22.5, 14.5, 19, 15, 16, 14.5);
    thumb.cubicTo(13, 14.5, 11, 15, 10, 12);
    thumb.closeSubpath();
    fillOutlined(p, thumb, gloveBrush(thumb.boundingRect()), ink, rim * 0.8);
    // Stitching on the back of the glove.
    p.setPen(QPen(QColor(150, 146, 160), 0.7));
    p.drawLine(QPointF(10, 17.5), QPointF(17, 17.5));
    p.end();

    const QImage small = big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return toKeyed(small);
}

QImage banner(BannerKind kind) {
    constexpr int w = 240;
    constexpr int h = 66;
    QImage canvas = transparentCanvas(w, h);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);

    QString word;
    QColor top;
    QColor bottom;
    switch (kind) {
    case BannerKind::Same:
        word = QStringLiteral("Same");
        top = QColor(255, 250, 206);
        bottom = QColor(250, 160, 20);
        break;
    case BannerKind::Plus:
        word = QStringLiteral("Plus");
        top = QColor(226, 255, 250);
        bottom = QColor(30, 184, 226);
        break;
    case BannerKind::Combo:
        word = QStringLiteral("Combo");
        top = QColor(255, 240, 196);
        bottom = QColor(236, 58, 36);
        break;
    }
    QPainterPath text = textPath(word, Face::SansBold, 50, QPointF(w / 2.0, h / 2.0));
    // A forward lean reads as motion without an italic font.
    QTransform lean;
    lean.translate(w / 2.0, h / 2.0);
    lean.shear(-0.18, 0);
    lean.translate(-w / 2.0, -h / 2.0);
    text = lean.map(text);

    const QColor ink(28, 12, 10);
    // Drop shadow, outer ink, a light rim inside it, and the bright fill.
    p.setPen(QPen(ink, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    p.drawPath(text.translated(3, 3));
    p.drawPath(text);
    p.setPen(QPen(mix(top, Qt::white, 0.5), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(text);
    QLinearGradient fill(0, text.boundingRect().top(), 0, text.boundingRect().bottom());
    fill.setColorAt(0.0, top);
    fill.setColorAt(0.5, mix(top, bottom, 0.6));
    fill.setColorAt(1.0, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(text);
    p.end();
    return toKeyed(canvas);
}

namespace {

QImage markerCanvasToKeyed(const QPainterPath& shape) {
    constexpr int w = 25;
    constexpr int h = 32;
    QImage canvas = transparentCanvas(w, h);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, shape.boundingRect().top(), 0, shape.boundingRect().bottom());
    fill.setColorAt(0.0, QColor(255, 255, 255));
    fill.setColorAt(1.0, QColor(214, 216, 226));
    paintOutlined(p, shape, QBrush(fill), QColor(12, 10, 14), 4.0);
    p.end();
    return toKeyed(canvas);
}

} // namespace

QImage digit(int value) {
    return markerCanvasToKeyed(textPath(QString::number(value), Face::SansBold, 33, QPointF(12.5, 16)));
}

QImage sign(bool plus) {
    // One outline around the whole cross, so no seam shows where bars meet.
    const qreal c = 12.5;
    const qreal m = 16;
    const qreal arm = 8;
    const qreal half = 2.8;
    if (!plus)
        return markerCanvasToKeyed(polygonPath(
            {{c - arm, m - half}, {c + arm, m - half}, {c + arm, m + half}, {c - arm, m + half}}));
    return markerCanvasToKeyed(polygonPath({{c - half, m - arm},
                                            {c + half, m - arm},
                                            {c + half, m - half},
                                            {c + arm, m - half},
                                            {c + arm, m + half},
                                            {c + half, m + half},
                                            {c + half, m + arm},
                                            {c - half, m + arm},
                                            {c - half, m + half},
                                            {c - arm, m + half},
                                            {c - arm, m - half},
                                            {c - half, m - half}}));
}

} // namespace artgen

namespace artgen {

QImage lettering() {
    const QString letters = QString::fromUtf8(LetterSetUtf8);
    const int cellWidth = LetterCellLargeWidth;
    const int cellHeight = LetterCellLargeHeight;
    QImage canvas = transparentCanvas(cellWidth * int(letters.size()), cellHeight);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(28, 12, 10);
    const qreal baseline = 36;
    const QColor top(255, 252, 226);
    const QColor bottom(232, 178, 40);
    for (qsizetype i = 0; i < letters.size(); ++i) {
        QPainterPath glyph =
            glyphPath(QString(letters[i]), Face::SansBold, 27, QPointF(cellWidth * qreal(i) + 7, baseline));
        // The rule banners' lettering, a glyph at a time: a forward lean,
        // drop shadow, dark ink, a light rim and a bright gradient.
        QTransform lean;
        lean.translate(0, baseline);
        lean.shear(-0.18, 0);
        lean.translate(0, -baseline);
        glyph = lean.map(glyph);
        // Each cell is cut to itself, so no glyph's stroke reaches a neighbour.
        p.save();
        p.setClipRect(QRectF(cellWidth * qreal(i), 0, cellWidth, cellHeight));
        p.setPen(QPen(ink, 5.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(ink);
        p.drawPath(glyph.translated(2, 2));
        p.drawPath(glyph);
        p.setPen(QPen(mix(top, Qt::white, 0.5), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(glyph);
        QLinearGradient fill(0, baseline - 22, 0, baseline + 2);
        fill.setColorAt(0.0, top);
        fill.setColorAt(0.5, mix(top, bottom, 0.6));
        fill.setColorAt(1.0, bottom);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPath(glyph);
        p.restore();
    }
    p.end();
    return toKeyed(canvas);
}

QImage resultPlate() {
    // Room for the longest result, "Blue left the match", between the notches.
    constexpr int w = 400;
    constexpr int h = 62;
    QImage canvas = transparentCanvas(w, h);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    // A dark enamel ribbon with a gilt rim and notched ends.
    const qreal notch = 14;
    QPainterPath ribbon = polygonPath({{2, 4},
                                       {w - 2.0, 4},
                                       {w - 2.0 - notch, h / 2.0},
                                       {w - 2.0, h - 4.0},
                                       {2, h - 4.0},
                                       {2 + notch, h / 2.0}});
    QLinearGradient enamel(0, 4, 0, h - 4);
    enamel.setColorAt(0.0, QColor(70, 46, 96));
    enamel.setColorAt(0.5, QColor(38, 22, 58));
    enamel.setColorAt(1.0, QColor(24, 12, 36));
    fillOutlined(p, ribbon, QBrush(enamel), QColor(28, 12, 10), 3.0);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(236, 190, 70), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPainterPath inner = polygonPath({{9, 9},
                                            {w - 9.0, 9},
                                            {w - 9.0 - notch + 4, h / 2.0},
                                            {w - 9.0, h - 9.0},
                                            {9, h - 9.0},
                                            {9 + notch - 4, h / 2.0}});
    p.drawPath(inner);
    p.end();
    return toKeyed(canvas);
}

} // namespace artgen
