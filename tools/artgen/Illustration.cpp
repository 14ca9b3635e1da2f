#include "Illustration.h"

#include "ImageFiles.h"
#include "Motifs.h"
#include "PaintKit.h"
#include "Random.h"

#include <QPainter>
#include <QPen>
#include <cmath>
#include <numbers>

namespace artgen {

namespace {

constexpr double kPi = std::numbers::pi;

// Scenery behind the creature, in white or black at low opacity so it takes
// the owner's colour from the background it is laid over.
void paintBackdrop(QPainter& p, int tier, Random& r) {
    const QColor haze(255, 255, 255, 60);
    const QColor dusk(0, 0, 0, 50);
    p.save();
    p.setPen(Qt::NoPen);
    switch (tier) {
    case 1: // bubbles
        for (int i = 0; i < 7; ++i) {
            const QPointF c(r.uniform(12, 92), r.uniform(40, 110));
            const qreal rad = r.uniform(3, 8);
            p.setBrush(QColor(255, 255, 255, 30));
            p.setPen(QPen(QColor(255, 255, 255, 90), 1.2));
            p.drawEllipse(c, rad, rad);
        }
        break;
    case 2: { // reeds
        p.setBrush(dusk);
        for (int i = 0; i < 9; ++i) {
            const qreal x = 8 + i * 10 + r.uniform(-3, 3);
            const qreal top = r.uniform(70, 95);
            QPainterPath reed;
            reed.moveTo(x - 2.5, 122);
            reed.quadTo(x - 1, top + 10, x + r.uniform(-6, 6), top);
            reed.quadTo(x + 1, top + 10, x + 2.5, 122);
            p.drawPath(reed);
        }
        break;
    }
    case 3: { // ripples
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(haze, 1.6));
        for (int row = 0; row < 6; ++row) {
            QPainterPath wave;
            const qreal y = 45 + row * 13 + r.uniform(-3, 3);
            wave.moveTo(4, y);
            for (int x = 4; x <= 96; x += 12)
                wave.quadTo(x + 3, y - 3, x + 6, y), wave.quadTo(x + 9, y + 3, x + 12, y);
            p.drawPath(wave);
        }
        break;
    }
    case 4: // clouds
        p.setBrush(QColor(255, 255, 255, 55));
        for (int i = 0; i < 3; ++i) {
            const QPointF c(r.uniform(15, 85), r.uniform(45, 100));
            for (int k = 0; k < 3; ++k)
                p.drawEllipse(c + QPointF((k - 1) * 7, k == 1 ? -3 : 0), k == 1 ? 8 : 6, k == 1 ? 7 : 5);
        }
        break;
    case 5: // forest floor and drifting spores
        p.setBrush(dusk);
        p.drawEllipse(QPointF(50, 130), 62, 24);
        p.setBrush(QColor(255, 255, 240, 140));
        for (int i = 0; i < 10; ++i) p.drawEllipse(QPointF(r.uniform(8, 92), r.uniform(40, 100)), 1.1, 1.1);
        break;
    case 6: { // a great wheel turning behind
        std::vector<QPointF> rim;
        const QPointF c(r.uniform(55, 70), r.uniform(70, 85));
        const double turn = r.uniform(0, 1);
        for (int i = 0; i < 48; ++i) {
            const double a = (i + turn) * (2 * kPi / 48);
            const qreal rr = (i % 4 < 2) ? 46 : 40;
            rim.emplace_back(c.x() + rr * std::cos(a), c.y() + rr * std::sin(a));
        }
        QPainterPath wheel = polygonPath(rim).subtracted(ellipsePath(c, 30, 30));
        wheel.addEllipse(c, 8, 8);
        p.setBrush(dusk);
        p.drawPath(wheel);
        break;
    }
    case 7: { // rings of a spirit circle
        const QPointF c(54, 74);
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(QColor(255, 255, 255, 70 - i * 15), 1.5));
            p.drawEllipse(c, 24 + i * 11, 24 + i * 11);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        for (int i = 0; i < 8; ++i) {
            const double a = i * kPi / 4 + r.uniform(0, 0.3);
            p.drawEllipse(c + QPointF(std::cos(a) * 35, std::sin(a) * 35), 1.3, 1.3);
        }
        break;
    }
    case 8: { // a keep's arch
        QPainterPath arch;
        arch.moveTo(18, 122);
        arch.lineTo(18, 62);
        arch.cubicTo(18, 28, 90, 28, 90, 62);
        arch.lineTo(90, 122);
        arch.closeSubpath();
        p.setBrush(dusk);
        p.drawPath(arch);
        p.setPen(QPen(QColor(0, 0, 0, 40), 1.0));
        for (int y = 70; y < 122; y += 10) p.drawLine(QPointF(18, y), QPointF(90, y));
        break;
    }
    case 9: { // peaks and a pale moon
        p.setBrush(QColor(255, 255, 255, 70));
        p.drawEllipse(QPointF(r.uniform(60, 80), 44), 10, 10);
        std::vector<QPointF> ridge = {{0, 122}, {0, 98}};
        for (int x = 8; x <= 100; x += 12) ridge.emplace_back(x, r.uniform(78, 100) - ((x / 12) % 2) * 10);
        ridge.emplace_back(100, 122);
        p.setBrush(QColor(0, 0, 0, 60));
        p.drawPath(polygonPath(ridge));
        break;
    }
    default: { // sunburst
        const QPointF c(52, 62);
        p.setBrush(QColor(255, 255, 255, 45));
        for (int i = 0; i < 16; i += 2) {
            const double a0 = i * kPi / 8;
            const double a1 = (i + 1) * kPi / 8;
            p.drawPolygon(QPolygonF({c, c + QPointF(std::cos(a0) * 120, std::sin(a0) * 120),
                                     c + QPointF(std::cos(a1) * 120, std::sin(a1) * 120)}));
        }
        break;
    }
    }
    p.restore();
}

} // namespace

QImage illustration(const CardRecord& card) {
    QImage layer = transparentCanvas(kFaceWidth, kFaceHeight);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    // Seeded by the card alone, so reordering the generator's work, or
    // painting one card on its own, never changes a picture.
    Random random(static_cast<std::uint64_t>(card.number) * 1000003ULL + 77ULL);

    QPainterPath window;
    window.addRoundedRect(QRectF(5, 5, 90, 117), 3, 3);
    p.setClipPath(window);
    paintBackdrop(p, card.tier(), random);

    // The stage sits low and to the right: the ranks own the top-left corner.
    p.translate(53, 80);
    p.scale(0.8, 0.8);
    Sketch sketch{p, random, paletteFor(card.element, random), card};
    switch (card.tier()) {
    case 1:
        paintBlob(sketch);
        break;
    case 2:
        paintCrawler(sketch);
        break;
    case 3:
        paintFish(sketch);
        break;
    case 4:
        paintWinged(sketch);
        break;
    case 5:
        paintSprout(sketch);
        break;
    case 6:
        paintClockwork(sketch);
        break;
    case 7:
        paintMask(sketch);
        break;
    case 8:
        paintWarden(sketch);
        break;
    case 9:
        paintWyrm(sketch);
        break;
    default:
        paintSovereign(sketch);
        break;
    }
    p.end();
    return layer;
}

} // namespace artgen
