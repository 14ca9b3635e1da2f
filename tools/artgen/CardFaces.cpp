#include "CardFaces.h"

#include "Elements.h"
#include "Illustration.h"
#include "ImageFiles.h"
#include "Lettering.h"
#include "PaintKit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <cmath>

namespace artgen {

namespace {

struct OwnerStyle {
    QColor rim;
    QColor frameLight;
    QColor frameDark;
    QColor glowCentre;
    QColor glowMid;
    QColor glowEdge;
};

const OwnerStyle kRed{QColor(52, 6, 10),     QColor(236, 74, 66),  QColor(132, 14, 22),
                      QColor(255, 206, 188), QColor(232, 104, 96), QColor(150, 28, 36)};
const OwnerStyle kBlue{QColor(6, 14, 52),     QColor(86, 140, 246),  QColor(16, 40, 138),
                       QColor(206, 226, 255), QColor(104, 148, 236), QColor(26, 50, 150)};

const QRectF kWindow(5, 5, 90, 117);

QString rankText(int rank) {
    return rank == 10 ? QStringLiteral("A") : QString::number(rank);
}

// Top above, bottom below, left and right beside: read like a compass,
// matching the sides of the card they guard.
void paintRanks(QPainter& p, const std::array<int, 4>& ranks) {
    const QPointF c(21.5, 24.5);
    const qreal arm = 11.5;

    // A dark plate keeps the digits apart from bright art beneath them.
    QPainterPath plate;
    plate.moveTo(c + QPointF(0, -arm - 10));
    plate.cubicTo(c + QPointF(arm + 4, -arm - 10), c + QPointF(arm + 10, -arm + 2), c + QPointF(arm + 10, 0));
    plate.cubicTo(c + QPointF(arm + 10, arm - 2), c + QPointF(arm + 4, arm + 10), c + QPointF(0, arm + 10));
    plate.cubicTo(c + QPointF(-arm - 4, arm + 10), c + QPointF(-arm - 10, arm - 2),
                  c + QPointF(-arm - 10, 0));
    plate.cubicTo(c + QPointF(-arm - 10, -arm + 2), c + QPointF(-arm - 4, -arm - 10),
                  c + QPointF(0, -arm - 10));
    plate.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawPath(plate);

    const QPainterPath diamond =
        polygonPath({c + QPointF(0, -3.2), c + QPointF(3.2, 0), c + QPointF(0, 3.2), c + QPointF(-3.2, 0)});
    fillOutlined(p, diamond, QColor(250, 224, 120), QColor(20, 14, 10), 1.4);

    const QPointF at[4] = {c + QPointF(0, -arm - 0.5), c + QPointF(arm, 0), c + QPointF(0, arm + 0.5),
                           c + QPointF(-arm, 0)};
    QLinearGradient fill(0, 0, 0, 1);
    fill.setCoordinateMode(QGradient::ObjectMode);
    fill.setColorAt(0.0, QColor(255, 255, 255));
    fill.setColorAt(1.0, QColor(226, 226, 232));
    for (int side = 0; side < 4; ++side) {
        const QPainterPath digit =
            textPath(rankText(ranks[static_cast<std::size_t>(side)]), Face::SansBold, 16.5, at[side]);
        paintOutlined(p, digit, QBrush(fill), QColor(10, 8, 12), 3.4);
    }
}

} // namespace

QImage cardFace(const CardRecord& card, Owner owner, const QImage& art) {
    const OwnerStyle& style = owner == Owner::Red ? kRed : kBlue;
    QImage face(kFaceWidth, kFaceHeight, QImage::Format_ARGB32_Premultiplied);
    face.fill(style.rim);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);

    // Frame: a bevelled band in the owner's colour.
    const QRectF frame(1, 1, kFaceWidth - 2, kFaceHeight - 2);
    QLinearGradient band(frame.topLeft(), frame.bottomRight());
    band.setColorAt(0.0, style.frameLight);
    band.setColorAt(0.5, mix(style.frameLight, style.frameDark, 0.45));
    band.setColorAt(1.0, style.frameDark);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(frame);
    p.setPen(QPen(withAlpha(Qt::white, 110), 1.0));
    p.drawLine(QPointF(1.5, 1.5), QPointF(kFaceWidth - 2, 1.5));
    p.drawLine(QPointF(1.5, 1.5), QPointF(1.5, kFaceHeight - 2));

    // Window: a glow in the owner's colour with a faint lattice.
    QPainterPath window;
    window.addRoundedRect(kWindow, 3, 3);
    QRadialGradient glow(QPointF(52, 72), 70, QPointF(54, 66));
    glow.setColorAt(0.0, style.glowCentre);
    glow.setColorAt(0.5, style.glowMid);
    glow.setColorAt(1.0, style.glowEdge);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawPath(window);
    p.save();
    p.setClipPath(window);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1.0));
    for (int k = -130; k < 130; k += 9) {
        p.drawLine(QPointF(k, 0), QPointF(k + 127, 127));
        p.drawLine(QPointF(k + 127, 0), QPointF(k, 127));
    }
    p.drawImage(0, 0, art);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 150), 1.2));
    p.drawPath(window);
    p.setPen(QPen(withAlpha(style.glowCentre, 120), 1.0));
    p.drawRoundedRect(kWindow.adjusted(-1.5, -1.5, 1.5, 1.5), 4, 4);

    paintRanks(p, card.ranks);
    if (card.element != 0) paintElementSymbol(p, card.element, QRectF(74, 6, 19, 19), 1.5);
    p.end();
    return toOpaque(face);
}

QImage cardBack() {
    QImage back(kFaceWidth, kFaceHeight, QImage::Format_ARGB32_Premultiplied);
    back.fill(QColor(22, 20, 24));
    QPainter p(&back);
    p.setRenderHint(QPainter::Antialiasing);

    const QColor bronze(196, 150, 84);
    const QColor bronzeDark(110, 78, 40);
    const QColor cream(240, 226, 190);

    const QRectF frame(1, 1, kFaceWidth - 2, kFaceHeight - 2);
    QLinearGradient band(frame.topLeft(), frame.bottomRight());
    band.setColorAt(0.0, QColor(224, 184, 118));
    band.setColorAt(0.5, bronze);
    band.setColorAt(1.0, bronzeDark);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(frame);

    QPainterPath panel;
    panel.addRoundedRect(kWindow, 3, 3);
    QRadialGradient slate(QPointF(50, 63), 75);
    slate.setColorAt(0.0, QColor(86, 84, 92));
    slate.setColorAt(1.0, QColor(40, 38, 46));
    p.setBrush(slate);
    p.drawPath(panel);

    // Lattice of small lozenges across the panel.
    p.save();
    p.setClipPath(panel);
    p.setPen(QPen(withAlpha(bronze, 90), 1.0));
    for (int k = -130; k < 130; k += 12) {
        p.drawLine(QPointF(k, 0), QPointF(k + 127, 127));
        p.drawLine(QPointF(k + 127, 0), QPointF(k, 127));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(cream, 70));
    for (int y = 5; y < 127; y += 12)
        for (int x = (y / 12) % 2 ? 11 : 5; x < 100; x += 12) p.drawEllipse(QPointF(x + 1, y + 1), 1.1, 1.1);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1.2));
    p.drawPath(panel);
    p.setPen(QPen(withAlpha(cream, 150), 1.0));
    p.drawRoundedRect(kWindow.adjusted(4, 4, -4, -4), 2, 2);

    // Medallion: the same compass that carries the ranks on the faces.
    const QPointF c(50, 63.5);
    QRadialGradient disc(c + QPointF(-6, -8), 30);
    disc.setColorAt(0.0, QColor(96, 92, 104));
    disc.setColorAt(1.0, QColor(28, 26, 32));
    fillOutlined(p, ellipsePath(c, 25, 25), disc, bronzeDark, 2.0);
    p.setPen(QPen(bronze, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 21.5, 21.5);
    const QPainterPath star = starPath(c, 4, 20, 5.5, -90);
    fillOutlined(p, star, verticalBrush(star.boundingRect(), cream, bronze), QColor(30, 20, 12), 1.4);
    const QPainterPath small = starPath(c, 4, 12, 3.5, -45);
    fillOutlined(p, small, withAlpha(bronze, 230), QColor(30, 20, 12), 1.0);
    fillOutlined(p, ellipsePath(c, 3, 3), cream, QColor(30, 20, 12), 1.0);

    // Corner lozenges.
    for (const QPointF& corner : {QPointF(16, 16), QPointF(84, 16), QPointF(16, 111), QPointF(84, 111)}) {
        const QPainterPath lozenge = polygonPath({corner + QPointF(0, -6), corner + QPointF(4.5, 0),
                                                  corner + QPointF(0, 6), corner + QPointF(-4.5, 0)});
        fillOutlined(p, lozenge, bronze, QColor(30, 20, 12), 1.0);
    }
    p.end();
    return toOpaque(back);
}

} // namespace artgen
