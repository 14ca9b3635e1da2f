#include "Elements.h"

#include "ImageFiles.h"
#include "PaintKit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace artgen {

namespace {

const ElementInfo kElements[kElementCount] = {
    {"Cinder", QColor(245, 112, 28)}, // a flame
    {"Rime", QColor(150, 222, 255)},  // a snowflake
    {"Spark", QColor(255, 222, 40)},  // a lightning bolt
    {"Root", QColor(96, 192, 58)},    // a leaf
    {"Tide", QColor(42, 118, 236)},   // a water drop
    {"Gale", QColor(86, 216, 178)},   // curls of wind
    {"Gloom", QColor(136, 100, 232)}, // a crescent moon and star
    {"Cog", QColor(178, 184, 198)},   // a gear wheel
};

const QColor kRim(24, 18, 30);

// Every symbol is drawn in a unit box (-1..1); the caller's transform sizes it.
QPainterPath flame() {
    QPainterPath p;
    p.moveTo(0, 0.95);
    p.cubicTo(-0.72, 0.95, -0.9, 0.2, -0.45, -0.3);
    p.cubicTo(-0.42, -0.02, -0.3, 0.1, -0.18, 0.12);
    p.cubicTo(-0.38, -0.35, -0.12, -0.7, 0.12, -0.98);
    p.cubicTo(0.12, -0.62, 0.42, -0.5, 0.48, -0.18);
    p.cubicTo(0.55, -0.3, 0.58, -0.42, 0.54, -0.58);
    p.cubicTo(0.95, -0.2, 0.82, 0.95, 0, 0.95);
    p.closeSubpath();
    return p;
}

QPainterPath flameCore() {
    QPainterPath p;
    p.moveTo(0.02, 0.9);
    p.cubicTo(-0.42, 0.9, -0.5, 0.4, -0.2, 0.1);
    p.cubicTo(-0.12, 0.3, 0.0, 0.35, 0.05, 0.32);
    p.cubicTo(-0.05, 0.05, 0.05, -0.15, 0.18, -0.3);
    p.cubicTo(0.22, -0.05, 0.48, 0.15, 0.45, 0.45);
    p.cubicTo(0.42, 0.75, 0.25, 0.9, 0.02, 0.9);
    p.closeSubpath();
    return p;
}

QPainterPath snowflake() {
    QPainterPath p;
    for (int arm = 0; arm < 6; ++arm) {
        const double a = arm * std::numbers::pi / 3.0 - std::numbers::pi / 2.0;
        const QPointF dir(std::cos(a), std::sin(a));
        const QPointF side(-dir.y(), dir.x());
        p.moveTo(0, 0);
        p.lineTo(dir * 0.92);
        const QPointF fork = dir * 0.52;
        p.moveTo(fork);
        p.lineTo(fork + dir * 0.25 + side * 0.26);
        p.moveTo(fork);
        p.lineTo(fork + dir * 0.25 - side * 0.26);
    }
    return p;
}

QPainterPath bolt() {
    return polygonPath({{0.22, -0.98},
                        {-0.55, 0.12},
                        {-0.06, 0.12},
                        {-0.28, 0.98},
                        {0.58, -0.22},
                        {0.08, -0.22},
                        {0.42, -0.98}});
}

QPainterPath leaf() {
    QPainterPath p;
    p.moveTo(-0.62, 0.62);
    p.cubicTo(-0.8, -0.25, -0.1, -0.88, 0.86, -0.86);
    p.cubicTo(0.82, 0.1, 0.22, 0.82, -0.62, 0.62);
    p.closeSubpath();
    return p;
}

QPainterPath leafVeins() {
    QPainterPath p;
    p.moveTo(-0.92, 0.92);
    p.lineTo(0.5, -0.5);
    for (double t : {-0.25, 0.05, 0.32}) {
        p.moveTo(t, -t);
        p.lineTo(t - 0.02, -t - 0.32);
        p.moveTo(t, -t);
        p.lineTo(t + 0.32, -t + 0.02);
    }
    return p;
}

QPainterPath drop() {
    QPainterPath p;
    p.moveTo(0, -0.98);
    p.cubicTo(0.22, -0.6, 0.72, -0.12, 0.72, 0.3);
    p.cubicTo(0.72, 0.72, 0.4, 0.96, 0, 0.96);
    p.cubicTo(-0.4, 0.96, -0.72, 0.72, -0.72, 0.3);
    p.cubicTo(-0.72, -0.12, -0.22, -0.6, 0, -0.98);
    p.closeSubpath();
    return p;
}

QPainterPath windCurls() {
    QPainterPath p;
    p.moveTo(-0.92, -0.36);
    p.lineTo(0.28, -0.36);
    p.cubicTo(0.66, -0.36, 0.7, -0.86, 0.38, -0.86);
    p.cubicTo(0.18, -0.86, 0.12, -0.66, 0.22, -0.56);
    p.moveTo(-0.92, 0.06);
    p.lineTo(0.5, 0.06);
    p.cubicTo(0.94, 0.06, 0.96, 0.6, 0.6, 0.6);
    p.cubicTo(0.38, 0.6, 0.32, 0.4, 0.44, 0.32);
    p.moveTo(-0.7, 0.46);
    p.lineTo(-0.05, 0.46);
    p.cubicTo(0.2, 0.46, 0.24, 0.82, 0.02, 0.84);
    return p;
}

QPainterPath crescent() {
    QPainterPath outer;
    outer.addEllipse(QPointF(-0.08, 0.02), 0.86, 0.86);
    QPainterPath bite;
    bite.addEllipse(QPointF(0.3, -0.2), 0.7, 0.7);
    return outer.subtracted(bite);
}

QPainterPath gear() {
    std::vector<QPointF> rim;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i - 0.5) * (2.0 * std::numbers::pi / (teeth * 4));
        const bool outer = (i % 4 == 1) || (i % 4 == 2);
        const double r = outer ? 0.95 : 0.7;
        rim.emplace_back(r * std::cos(a), r * std::sin(a));
    }
    QPainterPath p = polygonPath(rim);
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 0.3, 0.3);
    return p.subtracted(hole);
}

QBrush symbolFill(const QColor& c) {
    QLinearGradient g(0, -1, 0, 1);
    g.setColorAt(0.0, mix(c, Qt::white, 0.45));
    g.setColorAt(0.5, c);
    g.setColorAt(1.0, mix(c, Qt::black, 0.25));
    return QBrush(g);
}

} // namespace

const ElementInfo& elementInfo(int element) {
    if (element < 1 || element > kElementCount) throw std::out_of_range("element number out of range");
    return kElements[element - 1];
}

void paintElementSymbol(QPainter& painter, int element, const QRectF& box, qreal rim) {
    const QColor colour = elementInfo(element).colour;
    painter.save();
    painter.translate(box.center());
    const qreal scale = std::min(box.width(), box.height()) / 2.0;
    painter.scale(scale, scale);
    const qreal rimUnits = rim / scale;

    auto solid = [&](const QPainterPath& path) {
        painter.setPen(QPen(kRim, rimUnits * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(kRim);
        painter.drawPath(path);
        painter.setPen(Qt::NoPen);
        painter.setBrush(symbolFill(colour));
        painter.drawPath(path);
    };
    auto lines = [&](const QPainterPath& path, qreal width) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kRim, width + rimUnits * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
        painter.setPen(QPen(symbolFill(colour), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    };

    switch (element) {
    case 1:
        solid(flame());
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 228, 110));
        painter.drawPath(flameCore());
        break;
    case 2:
        lines(snowflake(), 0.2);
        break;
    case 3:
        solid(bolt());
        break;
    case 4: {
        QPainterPath stem;
        stem.moveTo(-0.62, 0.62);
        stem.lineTo(-0.9, 0.9);
        lines(stem, 0.16);
    }
        solid(leaf());
        painter.setPen(QPen(mix(colour, Qt::black, 0.45), 0.08, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.save();
        painter.setClipPath(leaf());
        painter.drawPath(leafVeins());
        painter.restore();
        break;
    case 5:
        solid(drop());
        painter.setPen(QPen(QColor(255, 255, 255, 230), 0.14, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(-0.5, -0.1, 0.8, 0.8), 150 * 16, 70 * 16);
        break;
    case 6:
        lines(windCurls(), 0.2);
        break;
    case 7:
        solid(crescent());
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 246, 200));
        painter.drawPath(starPath(QPointF(0.55, -0.55), 4, 0.3, 0.1, -90));
        break;
    case 8:
        solid(gear());
        break;
    default:
        break;
    }
    painter.restore();
}

QImage elementIcon(int element) {
    constexpr int size = 40;
    QImage canvas = transparentCanvas(size, size);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = elementInfo(element).colour;
    const QPointF centre(size / 2.0, size / 2.0);

    // A dark disc with a ring in the element's colour: the symbol then reads
    // on the felt of any square and the ring names the element from afar.
    QRadialGradient disc(centre + QPointF(-4, -5), 22);
    disc.setColorAt(0.0, mix(colour, QColor(20, 16, 28), 0.55));
    disc.setColorAt(1.0, mix(colour, QColor(12, 10, 18), 0.85));
    painter.setPen(QPen(kRim, 2.0));
    painter.setBrush(disc);
    painter.drawEllipse(centre, 18.5, 18.5);
    painter.setPen(QPen(colour, 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 16.2, 16.2);
    paintElementSymbol(painter, element, QRectF(centre.x() - 12.5, centre.y() - 12.5, 25, 25), 1.4);
    painter.end();
    return toKeyed(canvas);
}

} // namespace artgen
