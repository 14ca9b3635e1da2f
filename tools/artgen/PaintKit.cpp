#include "PaintKit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace artgen {

QColor hsv(double hue, double saturation, double value, int alpha) {
    hue -= std::floor(hue);
    return QColor::fromHsvF(static_cast<float>(hue), static_cast<float>(std::clamp(saturation, 0.0, 1.0)),
                            static_cast<float>(std::clamp(value, 0.0, 1.0)),
                            static_cast<float>(alpha / 255.0));
}

QColor mix(const QColor& a, const QColor& b, double t) {
    auto lerp = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                  lerp(a.alpha(), b.alpha()));
}

QColor withAlpha(const QColor& c, int alpha) {
    QColor out = c;
    out.setAlpha(alpha);
    return out;
}

Palette paletteFromHue(double hue, double saturation, double value, Random& random) {
    Palette p;
    p.body = hsv(hue, saturation, value);
    p.light = hsv(hue - 0.02, saturation * 0.45, std::min(1.0, value + 0.3));
    p.shade = hsv(hue + 0.03, std::min(1.0, saturation + 0.1), value * 0.55);
    p.outline = hsv(hue + 0.02, 0.7, 0.16);
    // Accents sit a third of the wheel away, or opposite, so parts stay apart.
    const double accentHue = hue + (random.chance(0.5) ? 0.5 : (random.chance(0.5) ? 0.33 : -0.33));
    p.accent = hsv(accentHue, 0.75, 0.85);
    p.accentLight = hsv(accentHue, 0.35, 1.0);
    const double glowHues[] = {0.14, 0.5, 0.33, 0.08, 0.55};
    p.glow = hsv(random.pick(glowHues), 0.6, 1.0);
    return p;
}

Palette paletteFor(int element, Random& random) {
    // Element hues match the element icons, so a player learns them together.
    switch (element) {
    case 1:
        return paletteFromHue(random.uniform(0.02, 0.07), 0.85, 0.95, random);
    case 2:
        return paletteFromHue(random.uniform(0.52, 0.56), 0.35, 0.98, random);
    case 3:
        return paletteFromHue(random.uniform(0.13, 0.16), 0.8, 1.0, random);
    case 4:
        return paletteFromHue(random.uniform(0.25, 0.32), 0.7, 0.75, random);
    case 5:
        return paletteFromHue(random.uniform(0.57, 0.61), 0.75, 0.9, random);
    case 6:
        return paletteFromHue(random.uniform(0.43, 0.47), 0.55, 0.85, random);
    case 7:
        return paletteFromHue(random.uniform(0.74, 0.79), 0.6, 0.7, random);
    case 8:
        return paletteFromHue(random.uniform(0.58, 0.62), 0.12, 0.75, random);
    default:
        break;
    }
    const double hues[] = {0.0, 0.05, 0.09, 0.13, 0.2, 0.3, 0.4, 0.48, 0.55, 0.62, 0.72, 0.8, 0.9};
    return paletteFromHue(random.pick(hues) + random.uniform(-0.02, 0.02), random.uniform(0.45, 0.8),
                          random.uniform(0.7, 0.95), random);
}

QBrush shadedBrush(const QRectF& box, const QColor& base) {
    QRadialGradient g(box.left() + box.width() * 0.35, box.top() + box.height() * 0.3,
                      std::max(box.width(), box.height()) * 0.85);
    g.setColorAt(0.0, mix(base, Qt::white, 0.35));
    g.setColorAt(0.55, base);
    g.setColorAt(1.0, mix(base, Qt::black, 0.45));
    return QBrush(g);
}

QBrush verticalBrush(const QRectF& box, const QColor& top, const QColor& bottom) {
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    return QBrush(g);
}

void fillOutlined(QPainter& painter, const QPainterPath& path, const QBrush& fill, const QColor& outline,
                  qreal width) {
    painter.save();
    painter.setPen(QPen(outline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(path);
    painter.restore();
}

void strokeOutlined(QPainter& painter, const QPainterPath& path, const QColor& colour, qreal width,
                    const QColor& outline, qreal rim) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outline, width + 2 * rim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.restore();
}

void paintEye(QPainter& painter, QPointF centre, qreal radius, EyeKind kind, const QColor& iris,
              const QColor& outline, QPointF look) {
    painter.save();
    const qreal rim = std::max(0.9, radius * 0.22);
    switch (kind) {
    case EyeKind::Round: {
        painter.setPen(QPen(outline, rim));
        painter.setBrush(QColor(250, 250, 245));
        painter.drawEllipse(centre, radius, radius * 1.1);
        const QPointF pupil = centre + look * radius * 0.35;
        painter.setPen(Qt::NoPen);
        painter.setBrush(iris);
        painter.drawEllipse(pupil, radius * 0.62, radius * 0.7);
        painter.setBrush(QColor(15, 12, 20));
        painter.drawEllipse(pupil, radius * 0.36, radius * 0.42);
        painter.setBrush(Qt::white);
        painter.drawEllipse(pupil + QPointF(-radius * 0.25, -radius * 0.3), radius * 0.2, radius * 0.2);
        break;
    }
    case EyeKind::Slit: {
        QPainterPath almond;
        almond.moveTo(centre + QPointF(-radius * 1.3, 0));
        almond.quadTo(centre + QPointF(0, -radius * 1.2), centre + QPointF(radius * 1.3, 0));
        almond.quadTo(centre + QPointF(0, radius * 1.2), centre + QPointF(-radius * 1.3, 0));
        painter.setPen(QPen(outline, rim));
        painter.setBrush(iris);
        painter.drawPath(almond);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(15, 10, 10));
        painter.drawEllipse(centre + look * radius * 0.3, radius * 0.22, radius * 0.6);
        break;
    }
    case EyeKind::Glow: {
        painter.setPen(QPen(outline, rim));
        painter.setBrush(mix(iris, Qt::white, 0.25));
        painter.drawEllipse(centre, radius, radius);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre + QPointF(-radius * 0.2, -radius * 0.2), radius * 0.4, radius * 0.4);
        break;
    }
    case EyeKind::Sleepy: {
        QPainterPath lid;
        lid.moveTo(centre + QPointF(-radius, 0));
        lid.quadTo(centre + QPointF(0, radius * 1.1), centre + QPointF(radius, 0));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(outline, rim * 1.3, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(lid);
        break;
    }
    }
    painter.restore();
}

QPainterPath smoothClosed(const std::vector<QPointF>& points, qreal tension) {
    QPainterPath path;
    const std::size_t n = points.size();
    if (n < 3) return path;
    path.moveTo(points[0]);
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF& p0 = points[(i + n - 1) % n];
        const QPointF& p1 = points[i];
        const QPointF& p2 = points[(i + 1) % n];
        const QPointF& p3 = points[(i + 2) % n];
        path.cubicTo(p1 + (p2 - p0) * (tension / 6.0), p2 - (p3 - p1) * (tension / 6.0), p2);
    }
    path.closeSubpath();
    return path;
}

QPainterPath smoothOpen(const std::vector<QPointF>& points) {
    QPainterPath path;
    const std::size_t n = points.size();
    if (n < 2) return path;
    path.moveTo(points[0]);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const QPointF& p0 = points[i == 0 ? 0 : i - 1];
        const QPointF& p1 = points[i];
        const QPointF& p2 = points[i + 1];
        const QPointF& p3 = points[std::min(n - 1, i + 2)];
        path.cubicTo(p1 + (p2 - p0) / 6.0, p2 - (p3 - p1) / 6.0, p2);
    }
    return path;
}

QPainterPath taperedStroke(const std::vector<QPointF>& points, qreal startWidth, qreal endWidth) {
    // Sample the smooth curve, then walk both edges.
    const QPainterPath spine = smoothOpen(points);
    constexpr int steps = 24;
    std::vector<QPointF> left;
    std::vector<QPointF> right;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = static_cast<qreal>(i) / steps;
        const QPointF at = spine.pointAtPercent(t);
        const qreal angle = spine.angleAtPercent(t) * std::numbers::pi / 180.0;
        const QPointF normal(std::sin(angle), std::cos(angle));
        const qreal half = (startWidth + (endWidth - startWidth) * t) / 2.0;
        left.push_back(at + normal * half);
        right.push_back(at - normal * half);
    }
    QPainterPath path;
    path.moveTo(left.front());
    for (std::size_t i = 1; i < left.size(); ++i) path.lineTo(left[i]);
    for (auto it = right.rbegin(); it != right.rend(); ++it) path.lineTo(*it);
    path.closeSubpath();
    return path;
}

QPainterPath ellipsePath(QPointF centre, qreal rx, qreal ry) {
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

QPainterPath polygonPath(const std::vector<QPointF>& points) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(points[0]);
    for (std::size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    path.closeSubpath();
    return path;
}

QPainterPath starPath(QPointF centre, int points, qreal outer, qreal inner, qreal rotationDeg) {
    std::vector<QPointF> corners;
    for (int i = 0; i < points * 2; ++i) {
        const double a = (rotationDeg + 180.0 * i / points) * std::numbers::pi / 180.0;
        const qreal r = (i % 2 == 0) ? outer : inner;
        corners.emplace_back(centre.x() + r * std::cos(a), centre.y() + r * std::sin(a));
    }
    return polygonPath(corners);
}

void paintGroundShadow(QPainter& painter, QPointF centre, qreal rx, qreal ry) {
    painter.save();
    QRadialGradient g(centre, rx);
    g.setColorAt(0.0, QColor(0, 0, 0, 110));
    g.setColorAt(0.7, QColor(0, 0, 0, 60));
    g.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(g);
    painter.translate(centre);
    painter.scale(1.0, ry / rx);
    painter.drawEllipse(QPointF(0, 0), rx, rx);
    painter.restore();
}

void paintGloss(QPainter& painter, const QRectF& box, int alpha) {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, alpha));
    painter.drawEllipse(box);
    painter.restore();
}

QPainterPath leafShape(QPointF base, double angleDeg, qreal length, qreal width) {
    QPainterPath leaf;
    leaf.moveTo(0, 0);
    leaf.quadTo(length * 0.5, -width, length, 0);
    leaf.quadTo(length * 0.5, width, 0, 0);
    QTransform t;
    t.translate(base.x(), base.y());
    t.rotate(angleDeg);
    return t.map(leaf);
}

} // namespace artgen
