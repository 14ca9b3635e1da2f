// The five lower tiers: small folk of the marsh, the reeds, the shallows, the
// sky and the forest floor.

#include "Motifs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>
#include <numbers>

namespace artgen {

namespace {

constexpr double kPi = std::numbers::pi;

void paintMouth(Sketch& s, QPointF at, qreal width, int kind) {
    QPainter& p = s.p;
    p.save();
    const QColor dark(40, 12, 18);
    switch (kind) {
    case 0: { // content smile
        QPainterPath m;
        m.moveTo(at + QPointF(-width / 2, 0));
        m.quadTo(at + QPointF(0, width * 0.55), at + QPointF(width / 2, 0));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(s.pal.outline, s.line * 0.8, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(m);
        break;
    }
    case 1: { // open, with a tongue
        QPainterPath m;
        m.moveTo(at + QPointF(-width / 2, 0));
        m.quadTo(at + QPointF(0, -width * 0.08), at + QPointF(width / 2, 0));
        m.quadTo(at + QPointF(0, width * 0.9), at + QPointF(-width / 2, 0));
        fillOutlined(p, m, dark, s.pal.outline, s.line * 0.7);
        p.save();
        p.setClipPath(m);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 90, 110));
        p.drawEllipse(at + QPointF(0, width * 0.5), width * 0.3, width * 0.2);
        p.restore();
        break;
    }
    case 2: { // grin with two fangs
        QPainterPath m;
        m.moveTo(at + QPointF(-width / 2, 0));
        m.quadTo(at + QPointF(0, width * 0.5), at + QPointF(width / 2, 0));
        m.quadTo(at + QPointF(0, width * 0.2), at + QPointF(-width / 2, 0));
        fillOutlined(p, m, dark, s.pal.outline, s.line * 0.7);
        p.setPen(QPen(s.pal.outline, 0.8));
        p.setBrush(Qt::white);
        for (int side : {-1, 1}) {
            const qreal x = at.x() + side * width * 0.22;
            const qreal y = at.y() + width * 0.12;
            p.drawPolygon(QPolygonF({QPointF(x - 2, y), QPointF(x + 2, y), QPointF(x, y + width * 0.3)}));
        }
        break;
    }
    default: { // a small surprised "o"
        fillOutlined(p, ellipsePath(at + QPointF(0, width * 0.15), width * 0.18, width * 0.24), dark,
                     s.pal.outline, s.line * 0.7);
        break;
    }
    }
    p.restore();
}

} // namespace

// Tier 1: blobs and puffs, soft bodies with big eyes.
void paintBlob(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const qreal w = r.uniform(32, 40);
    const qreal h = r.uniform(34, 44);
    const qreal ground = 40;
    const qreal cy = ground - 0.5 * h;
    const qreal lean = r.uniform(-0.3, 0.3);

    paintGroundShadow(p, QPointF(0, ground + 1), w * 1.15, 6);

    const int n = 14;
    const double ph1 = r.uniform(0, 2 * kPi);
    const double ph2 = r.uniform(0, 2 * kPi);
    const double amp = r.uniform(0.02, 0.07);
    std::vector<QPointF> pts;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * kPi * i / n;
        const double rr = 1 + amp * std::sin(3 * t + ph1) + amp * 0.6 * std::sin(5 * t + ph2);
        const double sn = std::sin(t);
        qreal y = (sn > 0 ? sn * 0.5 : sn) * h * rr;
        qreal x = std::cos(t) * w * rr * (sn > 0 ? 1.05 : 1.0);
        x += lean * (-y) * 0.45;
        pts.emplace_back(x, cy + y);
    }
    const QPainterPath body = smoothClosed(pts);
    const QRectF box = body.boundingRect();

    // A pointed tip on some of them, like a drop of jelly that has just set.
    const QPointF top(lean * h * 0.45, cy - h);
    const int topper = r.range(0, 4);
    if (topper == 1) {
        QPainterPath tip;
        tip.moveTo(top + QPointF(-8, 5));
        tip.quadTo(top + QPointF(-2, -4), top + QPointF(lean * 10 + 6, -12));
        tip.quadTo(top + QPointF(4, 0), top + QPointF(8, 5));
        fillOutlined(p, tip, s.pal.body, s.pal.outline, s.line);
    }

    fillOutlined(p, body, shadedBrush(box, s.pal.body), s.pal.outline, s.line);

    p.save();
    p.setClipPath(body);
    if (r.chance(0.5)) {
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(s.pal.light, 170));
        const int spots = r.range(3, 6);
        for (int i = 0; i < spots; ++i) {
            const QPointF c(r.uniform(box.left() + 4, box.right() - 4), r.uniform(cy - h * 0.2, ground - 3));
            const qreal rad = r.uniform(2.5, 5.5);
            p.drawEllipse(c, rad, rad * 0.8);
        }
    } else {
        // A paler belly.
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(s.pal.light, 120));
        p.drawEllipse(QPointF(lean * 4, ground - h * 0.12), w * 0.7, h * 0.35);
    }
    p.restore();

    // Drips running down the sides.
    const int drips = r.range(0, 2);
    for (int i = 0; i < drips; ++i) {
        const qreal side = (i == 0 ? 1 : -1) * (r.chance(0.5) ? 1 : -1);
        const qreal x = side * w * r.uniform(0.55, 0.85);
        const qreal y = cy + r.uniform(-h * 0.2, h * 0.15);
        QPainterPath d;
        d.moveTo(x - 3.5, y - 4);
        d.quadTo(x - 4.5, y + 8, x, y + 10);
        d.quadTo(x + 4.5, y + 8, x + 3.5, y - 4);
        d.closeSubpath();
        fillOutlined(p, d, s.pal.body, s.pal.outline, s.line * 0.7);
        p.setPen(Qt::NoPen);
        p.setBrush(s.pal.body);
        p.drawRect(QRectF(x - 3.0, y - 6, 6, 5));
    }

    paintGloss(p, QRectF(box.left() + w * 0.25, cy - h * 0.85, w * 0.45, h * 0.28), 130);

    const int eyeRoll = r.range(0, 99);
    const int eyes = eyeRoll < 25 ? 1 : (eyeRoll < 85 ? 2 : 3);
    const qreal eyeR =
        eyes == 1 ? r.uniform(8.5, 11) : (eyes == 2 ? r.uniform(5.5, 7.5) : r.uniform(4.5, 5.2));
    const qreal eyeY = cy - h * 0.38;
    const QPointF look(r.uniform(-0.9, 0.9), r.uniform(-0.3, 0.8));
    const EyeKind kind = r.chance(0.15) ? EyeKind::Sleepy : EyeKind::Round;
    const qreal eyeX0 = lean * h * 0.2;
    for (int i = 0; i < eyes; ++i) {
        const qreal dx = (i - (eyes - 1) / 2.0) * eyeR * 2.5;
        const qreal dy = (eyes == 3 && i == 1) ? -eyeR * 0.9 : 0;
        paintEye(p, QPointF(eyeX0 + dx, eyeY + dy), eyeR, kind, s.pal.accent, s.pal.outline, look);
    }
    if (r.chance(0.5)) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 120, 140, 110));
        for (int side : {-1, 1})
            p.drawEllipse(QPointF(eyeX0 + side * (eyeR * 2.6 + 3), eyeY + eyeR * 1.6), 4, 2.5);
    }
    paintMouth(s, QPointF(eyeX0, eyeY + eyeR * 1.6 + 3), r.uniform(9, 14), r.range(0, 3));

    if (topper == 2) {
        QPainterPath stalk;
        stalk.moveTo(top);
        stalk.quadTo(top + QPointF(-4, -8), top + QPointF(3, -14));
        strokeOutlined(p, stalk, s.pal.shade, 1.8, s.pal.outline, 1.0);
        fillOutlined(p, ellipsePath(top + QPointF(3, -15), 3.6, 3.6), s.pal.glow, s.pal.outline,
                     s.line * 0.7);
    } else if (topper == 3) {
        const QColor leafColour = hsv(0.28, 0.7, 0.75);
        fillOutlined(p, leafShape(top + QPointF(0, 2), -130, 16, 6), leafColour, s.pal.outline, s.line * 0.7);
        fillOutlined(p, leafShape(top + QPointF(0, 2), -50, 14, 5), leafColour, s.pal.outline, s.line * 0.7);
    }
}

// Tier 2: beetles, ticks and crabs, seen from above.
void paintCrawler(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const bool crab = s.named("Crab") || s.named("Scuttler") || s.named("Shellback");
    const bool mantis = s.named("Mantis");
    const qreal sx = crab ? r.uniform(27, 31) : r.uniform(18, 23);
    const qreal sy = crab ? r.uniform(18, 22) : r.uniform(24, 29);
    const QPointF shellC(0, crab ? 10 : 12);

    paintGroundShadow(p, QPointF(0, 40), sx * 1.4, 6);
    p.save();
    p.translate(0, 6);
    p.rotate(r.uniform(-14, 14));
    p.translate(0, -6);

    const QColor leg = mix(s.pal.shade, s.pal.outline, 0.3);
    for (int side : {-1, 1}) {
        for (int k = 0; k < 3; ++k) {
            const QPointF root(side * sx * 0.55, shellC.y() - sy * 0.45 + k * sy * 0.45);
            const QPointF knee = root + QPointF(side * r.uniform(13, 17), -7 + k * 5.5);
            const QPointF foot = knee + QPointF(side * r.uniform(4, 8), 9 + k * 2);
            QPainterPath l;
            l.moveTo(root);
            l.lineTo(knee);
            l.lineTo(foot);
            strokeOutlined(p, l, leg, 2.8, s.pal.outline, 1.1);
        }
    }

    const qreal thoraxY = shellC.y() - sy - 4;
    const qreal headY = thoraxY - 10;
    const qreal headR = r.uniform(7.5, 9.5);

    // Antennae and jaws go under the head.
    const bool feathered = r.chance(0.3);
    for (int side : {-1, 1}) {
        QPainterPath a;
        const QPointF root(side * 3, headY - headR * 0.6);
        const QPointF tip(side * r.uniform(13, 20), headY - r.uniform(18, 25));
        a.moveTo(root);
        a.quadTo(QPointF(side * 3, tip.y() + 4), tip);
        strokeOutlined(p, a, leg, 1.6, s.pal.outline, 0.9);
        if (feathered)
            fillOutlined(p, leafShape(tip, side > 0 ? -60 : -120, 8, 3), s.pal.accent, s.pal.outline, 1.0);
        else
            fillOutlined(p, ellipsePath(tip, 2.4, 2.4), s.pal.glow, s.pal.outline, 1.0);
    }
    if (crab || mantis) {
        for (int side : {-1, 1}) {
            const QPointF arm0(side * sx * 0.7, shellC.y() - sy * 0.6);
            const QPointF elbow(side * (sx + 6), headY - 2);
            const QPointF claw(side * (sx * 0.55), headY - 16);
            QPainterPath arm;
            arm.moveTo(arm0);
            arm.lineTo(elbow);
            arm.lineTo(claw);
            strokeOutlined(p, arm, s.pal.body, 4.0, s.pal.outline, 1.2);
            if (crab) {
                QPainterPath pincer = ellipsePath(claw, 8, 6);
                QPainterPath notch;
                notch.moveTo(claw);
                notch.lineTo(claw + QPointF(-side * 10, -9));
                notch.lineTo(claw + QPointF(-side * 10, 1));
                notch.closeSubpath();
                fillOutlined(p, pincer.subtracted(notch), shadedBrush(pincer.boundingRect(), s.pal.body),
                             s.pal.outline, s.line);
            } else {
                QPainterPath blade;
                blade.moveTo(claw);
                blade.quadTo(claw + QPointF(-side * 4, 10), claw + QPointF(-side * 2, 16));
                strokeOutlined(p, blade, s.pal.light, 2.2, s.pal.outline, 1.0);
            }
        }
    } else {
        for (int side : {-1, 1}) {
            QPainterPath m;
            m.moveTo(side * 3, headY - headR * 0.7);
            m.quadTo(QPointF(side * 9, headY - headR - 4), QPointF(side * 2, headY - headR - 8));
            strokeOutlined(p, m, s.pal.shade, 2.0, s.pal.outline, 1.0);
        }
    }

    fillOutlined(p, ellipsePath(QPointF(0, headY), headR, headR * 0.85),
                 shadedBrush(QRectF(-headR, headY - headR, 2 * headR, 2 * headR), s.pal.shade), s.pal.outline,
                 s.line);
    for (int side : {-1, 1})
        paintEye(p, QPointF(side * headR * 0.55, headY - 1), 2.8, EyeKind::Glow, s.pal.glow, s.pal.outline);

    if (!crab && r.chance(0.35)) {
        QPainterPath horn;
        horn.moveTo(-3, headY - 2);
        horn.quadTo(-3, headY - 18, 6, headY - 24);
        horn.quadTo(2, headY - 14, 3, headY - 2);
        horn.closeSubpath();
        fillOutlined(p, horn, s.pal.light, s.pal.outline, s.line * 0.8);
    }

    const QPainterPath thorax = ellipsePath(QPointF(0, thoraxY), sx * 0.72, 7.5);
    fillOutlined(p, thorax, shadedBrush(thorax.boundingRect(), s.pal.shade), s.pal.outline, s.line);

    const QPainterPath shell = ellipsePath(shellC, sx, sy);
    const QRectF sb = shell.boundingRect();
    fillOutlined(p, shell, shadedBrush(sb, s.pal.body), s.pal.outline, s.line);
    p.save();
    p.setClipPath(shell);
    const int pattern = r.range(0, 3);
    if (pattern == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(s.pal.outline);
        const int spots = r.range(2, 4);
        for (int i = 0; i < spots; ++i) {
            const qreal y = shellC.y() - sy * 0.5 + i * sy * 1.0 / spots + r.uniform(0, 4);
            const qreal rad = r.uniform(3, 5);
            for (int side : {-1, 1}) p.drawEllipse(QPointF(side * sx * r.uniform(0.35, 0.55), y), rad, rad);
        }
    } else if (pattern == 1) {
        p.setPen(QPen(s.pal.accent, r.uniform(3, 5)));
        for (int side : {-1, 1})
            p.drawLine(QPointF(side * sx * 0.45, sb.top()), QPointF(side * sx * 0.45, sb.bottom()));
    } else if (pattern == 2) {
        p.setPen(QPen(withAlpha(s.pal.outline, 150), 1.4));
        for (int i = 1; i < 4; ++i) {
            const qreal y = sb.top() + sb.height() * i / 4.0;
            p.drawLine(QPointF(sb.left(), y), QPointF(sb.right(), y));
        }
    }
    p.restore();
    if (!crab) {
        p.setPen(QPen(s.pal.outline, 1.6));
        p.drawLine(QPointF(0, sb.top() + 1), QPointF(0, sb.bottom() - 1));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(s.pal.outline);
        for (int side : {-1, 1}) p.drawEllipse(QPointF(side * 6, shellC.y() - sy * 0.2), 2.2, 2.2);
    }
    paintGloss(p, QRectF(-sx * 0.75, shellC.y() - sy * 0.85, sx * 0.5, sy * 0.45), 120);
    paintGloss(p, QRectF(sx * 0.22, shellC.y() - sy * 0.8, sx * 0.32, sy * 0.3), 70);
    p.restore();
}

namespace {

QPainterPath taperedBody(const std::vector<QPointF>& spine, const std::vector<qreal>& widths) {
    std::vector<QPointF> left;
    std::vector<QPointF> right;
    for (std::size_t i = 0; i < spine.size(); ++i) {
        const QPointF a = spine[i == 0 ? 0 : i - 1];
        const QPointF b = spine[std::min(spine.size() - 1, i + 1)];
        QPointF d = b - a;
        const qreal len = std::hypot(d.x(), d.y());
        d /= (len > 0 ? len : 1);
        const QPointF n(-d.y(), d.x());
        left.push_back(spine[i] + n * widths[i]);
        right.push_back(spine[i] - n * widths[i]);
    }
    std::vector<QPointF> ring = left;
    for (auto it = right.rbegin(); it != right.rend(); ++it) ring.push_back(*it);
    return smoothClosed(ring, 0.9);
}

} // namespace

// Tier 3: fish, eels and rays of the shallows.
void paintFish(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    p.save();
    if (r.chance(0.5)) p.scale(-1, 1);
    p.rotate(r.uniform(-10, 8));

    if (s.named("Eel")) {
        std::vector<QPointF> spine;
        std::vector<qreal> widths;
        const double phase = r.uniform(0, 2 * kPi);
        for (int i = 0; i <= 12; ++i) {
            const qreal t = i / 12.0;
            spine.emplace_back(-40 + 80 * t, 8 + 16 * std::sin(phase + t * 2.4 * kPi) * (0.4 + 0.6 * t));
            widths.push_back(i == 0 ? 5.5 : 9.5 * (1.0 - 0.75 * t) + 1.5);
        }
        const QPainterPath body = taperedBody(spine, widths);
        // A fin ribbon along the back.
        std::vector<QPointF> fin;
        std::vector<qreal> finW;
        for (std::size_t i = 2; i < spine.size(); ++i) {
            fin.push_back(spine[i] + QPointF(0, -widths[i] - 1));
            finW.push_back(3.5 * (1.0 - static_cast<double>(i) / spine.size()) + 1.5);
        }
        fillOutlined(p, taperedBody(fin, finW), s.pal.accent, s.pal.outline, s.line * 0.8);
        fillOutlined(p, body, verticalBrush(body.boundingRect(), s.pal.body, s.pal.light), s.pal.outline,
                     s.line);
        p.save();
        p.setClipPath(body);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(s.pal.shade, 170));
        for (int i = 2; i < 12; i += 2)
            p.drawEllipse(spine[static_cast<std::size_t>(i)] +
                              QPointF(0, -widths[static_cast<std::size_t>(i)] * 0.4),
                          3, 2);
        p.restore();
        paintEye(p, spine[0] + QPointF(2, -2.5), 4.5, EyeKind::Round, s.pal.glow, s.pal.outline,
                 QPointF(-0.8, 0));
        paintMouth(s, spine[0] + QPointF(-1, 4), 7, 2);
        p.restore();
        return;
    }

    if (s.named("Ray")) {
        QPainterPath tail;
        tail.moveTo(0, 10);
        tail.quadTo(18, 30, 40, 36);
        strokeOutlined(p, tail, s.pal.shade, 2.0, s.pal.outline, 1.0);
        std::vector<QPointF> wing = {{0, -26}, {16, -14}, {44, -4}, {20, 8},   {8, 16},
                                     {0, 18},  {-8, 16},  {-20, 8}, {-44, -4}, {-16, -14}};
        const QPainterPath body = smoothClosed(wing, 0.7);
        fillOutlined(p, body, shadedBrush(body.boundingRect(), s.pal.body), s.pal.outline, s.line);
        p.save();
        p.setClipPath(body);
        p.setPen(QPen(s.pal.glow, 2.0));
        for (int i = 0; i < 3; ++i) {
            QPainterPath zig;
            zig.moveTo(-30 + i * 4, -2 + i * 6);
            zig.lineTo(-12, -8 + i * 6);
            zig.lineTo(-4, -2 + i * 6);
            zig.lineTo(4, -8 + i * 6);
            zig.lineTo(12, -2 + i * 6);
            zig.lineTo(30 - i * 4, -8 + i * 6);
            p.drawPath(zig);
        }
        p.restore();
        for (int side : {-1, 1})
            paintEye(p, QPointF(side * 7, -14), 3.6, EyeKind::Glow, s.pal.glow, s.pal.outline);
        p.restore();
        return;
    }

    const qreal len = r.uniform(33, 40);
    const qreal ht = r.uniform(15, 22);
    const bool spiky = r.chance(0.5) || s.named("Barbed") || s.named("Pike");
    const bool toothy = r.chance(0.5) || s.named("Gulper") || s.named("Snapper") || s.named("Pike");

    // Tail.
    QPainterPath tail;
    if (r.chance(0.5)) {
        tail = smoothClosed({{len * 0.7, 0}, {len + 14, -ht - 2}, {len + 7, 0}, {len + 14, ht + 2}}, 0.5);
    } else {
        tail =
            smoothClosed({{len * 0.7, 0}, {len + 12, -ht * 0.9}, {len + 16, 0}, {len + 12, ht * 0.9}}, 0.9);
    }
    fillOutlined(p, tail, s.pal.accent, s.pal.outline, s.line);

    // Dorsal fin.
    QPainterPath dorsal;
    if (spiky) {
        std::vector<QPointF> pts = {{-len * 0.35, -ht * 0.7}};
        for (int i = 0; i < 4; ++i) {
            pts.emplace_back(-len * 0.3 + i * len * 0.18, -ht - 12 + i * 2.5);
            pts.emplace_back(-len * 0.22 + i * len * 0.18, -ht * 0.8);
        }
        pts.emplace_back(len * 0.45, -ht * 0.5);
        dorsal = polygonPath(pts);
    } else {
        dorsal.moveTo(-len * 0.3, -ht * 0.8);
        dorsal.quadTo(-len * 0.1, -ht - 16, len * 0.35, -ht * 0.6);
        dorsal.closeSubpath();
    }
    fillOutlined(p, dorsal, s.pal.accent, s.pal.outline, s.line);
    fillOutlined(p, smoothClosed({{-len * 0.05, ht * 0.6}, {len * 0.2, ht + 9}, {len * 0.3, ht * 0.5}}, 0.8),
                 s.pal.accent, s.pal.outline, s.line * 0.8);

    const QPainterPath body = smoothClosed({{-len, 2},
                                            {-len * 0.7, -ht * 0.85},
                                            {-len * 0.1, -ht},
                                            {len * 0.5, -ht * 0.55},
                                            {len * 0.8, -ht * 0.15},
                                            {len * 0.8, ht * 0.15},
                                            {len * 0.4, ht * 0.75},
                                            {-len * 0.2, ht * 0.95},
                                            {-len * 0.75, ht * 0.7}});
    const QRectF bb = body.boundingRect();
    QLinearGradient belly(0, bb.top(), 0, bb.bottom());
    belly.setColorAt(0.0, s.pal.shade);
    belly.setColorAt(0.45, s.pal.body);
    belly.setColorAt(1.0, s.pal.light);
    fillOutlined(p, body, QBrush(belly), s.pal.outline, s.line);

    p.save();
    p.setClipPath(body);
    if (r.chance(0.6)) {
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(s.pal.outline, 110));
        const int bands = r.range(2, 3);
        for (int i = 0; i < bands; ++i) {
            const qreal x = -len * 0.25 + i * len * 0.3;
            p.drawRect(QRectF(x, bb.top(), 5, bb.height()));
        }
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(s.pal.light, 200));
        for (int i = 0; i < 7; ++i)
            p.drawEllipse(QPointF(r.uniform(-len * 0.4, len * 0.6), r.uniform(-ht * 0.7, 0)), 2.2, 2.2);
    }
    // Scale rows.
    p.setPen(QPen(withAlpha(s.pal.outline, 80), 1.0));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i)
        p.drawArc(QRectF(-len * 0.3 + i * len * 0.2, -ht * 0.4, 10, 12), -60 * 16, 120 * 16);
    p.restore();

    // Gill and eye.
    p.setPen(QPen(s.pal.outline, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-len * 0.55, -ht * 0.6, 12, ht * 1.2), -70 * 16, 140 * 16);
    paintEye(p, QPointF(-len * 0.66, -ht * 0.3), r.uniform(4.8, 6.2), EyeKind::Round, s.pal.glow,
             s.pal.outline, QPointF(-0.7, 0.1));
    if (toothy) {
        p.setPen(QPen(s.pal.outline, 1.0));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i) {
            const qreal x = -len * 0.95 + i * 3.5;
            p.drawPolygon(QPolygonF({QPointF(x, 3), QPointF(x + 3, 3), QPointF(x + 1.5, 7)}));
        }
    } else {
        p.setPen(QPen(s.pal.outline, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(-len, 3), QPointF(-len * 0.85, 5));
    }
    if (s.named("Lantern") || r.chance(0.2)) {
        QPainterPath stalk;
        stalk.moveTo(-len * 0.55, -ht * 0.85);
        stalk.quadTo(-len * 0.7, -ht - 22, -len - 6, -ht - 10);
        strokeOutlined(p, stalk, s.pal.shade, 1.6, s.pal.outline, 0.9);
        QRadialGradient glow(QPointF(-len - 6, -ht - 8), 10);
        glow.setColorAt(0, withAlpha(s.pal.glow, 200));
        glow.setColorAt(1, withAlpha(s.pal.glow, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(-len - 6, -ht - 8), 10, 10);
        fillOutlined(p, ellipsePath(QPointF(-len - 6, -ht - 8), 3.6, 3.6), mix(s.pal.glow, Qt::white, 0.5),
                     s.pal.outline, 1.2);
    }
    p.restore();
}

namespace {

// One wing of a bird, bat or moth, for the right-hand side; the left one is
// its mirror image.
QPainterPath birdWing(qreal lift, qreal span, int feathers) {
    const QPointF shoulder(7, -4);
    const QPointF tip(span, -18 - lift * 22);
    QPainterPath w;
    w.moveTo(shoulder);
    w.cubicTo(QPointF(18, -20 - lift * 10), QPointF(span * 0.7, -24 - lift * 22), tip);
    // Feather ends run back from the tip to the body.
    const QPointF end(8, 14);
    for (int i = 1; i <= feathers; ++i) {
        const qreal t = static_cast<qreal>(i) / feathers;
        const QPointF base = tip + (end - tip) * t;
        const QPointF drop = base + QPointF(-2, 9 - 4 * t);
        w.quadTo(drop + QPointF(3, 1), i == feathers ? end : base + QPointF(-1, 1));
    }
    w.closeSubpath();
    return w;
}

QPainterPath batWing(qreal lift, qreal span) {
    const QPointF shoulder(6, -6);
    const QPointF elbow(22, -24 - lift * 14);
    const QPointF tips[] = {QPointF(span, -22 - lift * 18), QPointF(span + 2, 0), QPointF(span - 8, 16)};
    QPainterPath w;
    w.moveTo(shoulder);
    w.lineTo(elbow);
    w.lineTo(tips[0]);
    w.quadTo(QPointF(span - 8, -8), tips[1]);
    w.quadTo(QPointF(span - 12, 6), tips[2]);
    w.quadTo(QPointF(18, 6), QPointF(7, 14));
    w.closeSubpath();
    return w;
}

} // namespace

// Tier 4: birds, bats and moths, wings spread.
void paintWinged(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const qreal lift = r.uniform(-0.3, 0.7);
    const bool bat = s.named("Bat");
    const bool moth = s.named("Moth");
    const bool owl = s.named("Owl");
    const qreal span = r.uniform(40, 46);
    const qreal bodyY = 6;

    const bool longBeak =
        s.named("Heron") || s.named("Kite") || s.named("Shrike") || (!owl && r.chance(0.25));
    const bool longTail = s.named("Kite") || s.named("Sparrow") || r.chance(0.3);
    const bool crest = s.named("Quill") || s.named("Shrike") || r.chance(0.35);

    p.save();
    p.translate(0, -4);
    p.rotate(r.uniform(-9, 9));

    if (moth) {
        for (int side : {-1, 1}) {
            p.save();
            p.scale(side, 1);
            const QPainterPath upper =
                smoothClosed({{4, -4}, {16, -28 - lift * 8}, {40, -34 - lift * 12}, {42, -14}, {20, 0}});
            const QPainterPath lower = smoothClosed({{4, 2}, {26, 4}, {32, 22}, {18, 32}, {6, 18}});
            fillOutlined(p, lower, shadedBrush(lower.boundingRect(), s.pal.accent), s.pal.outline, s.line);
            fillOutlined(p, upper, shadedBrush(upper.boundingRect(), s.pal.body), s.pal.outline, s.line);
            const QPointF spot(28, -20 - lift * 6);
            fillOutlined(p, ellipsePath(spot, 7, 6), s.pal.light, s.pal.outline, 1.2);
            fillOutlined(p, ellipsePath(spot, 3.5, 3), s.pal.glow, s.pal.outline, 1.0);
            p.setPen(QPen(withAlpha(s.pal.outline, 140), 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(14, 8, 14, 14), 0, 180 * 16);
            p.restore();
        }
        const QPainterPath body = smoothClosed({{0, -14}, {6, -4}, {5, 20}, {0, 26}, {-5, 20}, {-6, -4}});
        fillOutlined(p, body, shadedBrush(body.boundingRect(), s.pal.shade), s.pal.outline, s.line);
        p.setPen(QPen(withAlpha(s.pal.outline, 150), 1.2));
        for (int i = 0; i < 4; ++i) p.drawLine(QPointF(-5, 2 + i * 5), QPointF(5, 2 + i * 5));
        for (int side : {-1, 1}) {
            QPainterPath ant;
            ant.moveTo(side * 2, -16);
            ant.quadTo(side * 6, -30, side * 14, -34);
            strokeOutlined(p, ant, s.pal.shade, 1.4, s.pal.outline, 0.8);
            fillOutlined(p, leafShape(QPointF(side * 14, -34), side > 0 ? -30 : -150, 7, 2.5), s.pal.light,
                         s.pal.outline, 0.8);
        }
        fillOutlined(p, ellipsePath(QPointF(0, -17), 7, 6), s.pal.shade, s.pal.outline, s.line);
        for (int side : {-1, 1})
            paintEye(p, QPointF(side * 3.5, -17), 2.6, EyeKind::Glow, s.pal.glow, s.pal.outline);
        p.restore();
        return;
    }

    // Tail feathers under the body.
    if (!bat) {
        const int tailFeathers = longTail ? 2 : 1;
        for (int i = -tailFeathers; i <= tailFeathers; ++i) {
            const qreal length = longTail ? 30 - std::abs(i) * 4 : 18;
            const QPainterPath f =
                leafShape(QPointF(0, bodyY + 14), 90 + i * (longTail ? 12 : 22), length, 4.5);
            fillOutlined(p, f, i % 2 ? s.pal.accent : s.pal.shade, s.pal.outline, s.line * 0.8);
        }
    }

    for (int side : {-1, 1}) {
        p.save();
        p.scale(side, 1);
        const QPainterPath wing = bat ? batWing(lift, span) : birdWing(lift, span, r.range(4, 5));
        fillOutlined(p, wing, shadedBrush(wing.boundingRect(), bat ? s.pal.shade : s.pal.body), s.pal.outline,
                     s.line);
        p.save();
        p.setClipPath(wing);
        if (bat) {
            p.setPen(QPen(s.pal.outline, 1.4));
            p.drawLine(QPointF(22, -24 - lift * 14), QPointF(span + 2, 0));
            p.drawLine(QPointF(22, -24 - lift * 14), QPointF(span - 8, 16));
        } else {
            // Band of lighter coverts and a few feather lines.
            p.setPen(Qt::NoPen);
            p.setBrush(withAlpha(s.pal.accent, 200));
            p.drawEllipse(QPointF(span * 0.45, -16 - lift * 14), span * 0.45, 7);
            p.setPen(QPen(withAlpha(s.pal.outline, 150), 1.1));
            for (int i = 1; i < 4; ++i) {
                const qreal x = 10 + i * (span - 10) / 4.0;
                p.drawLine(QPointF(x, -8 - lift * 14 * (x / span)),
                           QPointF(x - 3, 8 - lift * 10 * (x / span)));
            }
        }
        p.restore();
        p.restore();
    }

    const QPainterPath body = ellipsePath(QPointF(0, bodyY), bat ? 11 : 13, bat ? 16 : 19);
    fillOutlined(p, body, shadedBrush(body.boundingRect(), bat ? s.pal.shade : s.pal.body), s.pal.outline,
                 s.line);
    p.save();
    p.setClipPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(s.pal.light, 200));
    p.drawEllipse(QPointF(0, bodyY + 8), 8, 14);
    p.setPen(QPen(withAlpha(s.pal.outline, 90), 1.0));
    for (int i = 0; i < 4; ++i) p.drawArc(QRectF(-4, bodyY + i * 4, 8, 5), 200 * 16, 140 * 16);
    p.restore();

    // Feet.
    const QColor foot(235, 160, 40);
    for (int side : {-1, 1}) {
        QPainterPath f;
        const QPointF a(side * 5, bodyY + 17);
        f.moveTo(a);
        f.lineTo(a + QPointF(side * 1, 7));
        f.moveTo(a + QPointF(side * 1, 7));
        f.lineTo(a + QPointF(side * 4, 10));
        f.moveTo(a + QPointF(side * 1, 7));
        f.lineTo(a + QPointF(-side * 2, 10));
        strokeOutlined(p, f, foot, 1.6, s.pal.outline, 0.8);
    }

    const qreal headR = owl ? 13 : r.uniform(9.5, 11.5);
    const QPointF head(0, -14);
    if (bat) {
        for (int side : {-1, 1}) {
            const QPainterPath ear = polygonPath({{side * 3.0, -20}, {side * 13.0, -36}, {side * 11.0, -16}});
            fillOutlined(p, ear, s.pal.shade, s.pal.outline, s.line);
        }
    } else if (crest && !owl) {
        for (int i = -1; i <= 1; ++i) {
            const QPainterPath plume =
                leafShape(head + QPointF(i * 2, -headR * 0.7), -90 + i * 25, 14 - std::abs(i) * 3, 3.2);
            fillOutlined(p, plume, s.pal.accent, s.pal.outline, s.line * 0.8);
        }
    } else if (owl || r.chance(0.4)) {
        for (int side : {-1, 1}) {
            const QPainterPath tuft =
                leafShape(head + QPointF(side * 5, -headR * 0.6), side > 0 ? -60 : -120, 12, 3.5);
            fillOutlined(p, tuft, s.pal.accent, s.pal.outline, s.line * 0.8);
        }
    }
    fillOutlined(p, ellipsePath(head, headR, headR * 0.92),
                 shadedBrush(QRectF(head.x() - headR, head.y() - headR, 2 * headR, 2 * headR),
                             bat ? s.pal.shade : s.pal.body),
                 s.pal.outline, s.line);
    if (owl) {
        for (int side : {-1, 1})
            fillOutlined(p, ellipsePath(head + QPointF(side * 5.5, -1), 6, 6), s.pal.light, s.pal.outline,
                         1.0);
    }
    const qreal eyeR = owl ? 4.6 : 3.2;
    const EyeKind kind = bat ? EyeKind::Glow : EyeKind::Round;
    for (int side : {-1, 1})
        paintEye(p, head + QPointF(side * (owl ? 5.5 : 4.5), -2), eyeR, kind,
                 bat ? s.pal.glow : QColor(250, 180, 40), s.pal.outline);
    if (bat) {
        p.setPen(QPen(s.pal.outline, 0.8));
        p.setBrush(Qt::white);
        for (int side : {-1, 1})
            p.drawPolygon(QPolygonF({head + QPointF(side * 2.5, 4), head + QPointF(side * 0.8, 4),
                                     head + QPointF(side * 1.6, 7.5)}));
    } else {
        const QPainterPath beak =
            longBeak ? polygonPath({head + QPointF(-3, 2), head + QPointF(3, 2), head + QPointF(1, 15),
                                    head + QPointF(-1, 15)})
                     : polygonPath({head + QPointF(-3.5, 2), head + QPointF(3.5, 2), head + QPointF(0, 9)});
        fillOutlined(p, beak, foot, s.pal.outline, 1.2);
    }
    p.restore();
}

// Tier 5: mushroom folk, flower spirits and old stumps of the forest floor.
void paintSprout(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const bool flower = s.named("bloom") || s.named("lily") || s.named("Lotus");
    const bool stump = s.named("Elder") || s.named("Hermit") || s.named("Walker") || s.named("Sage");
    const QColor stemColour = hsv(0.1, 0.18, 0.96);

    paintGroundShadow(p, QPointF(0, 40), 30, 6);
    // A tuft of grass at the foot.
    const QColor grass = hsv(0.27, 0.65, 0.55);
    for (int i = -3; i <= 3; ++i) {
        const QPainterPath blade =
            leafShape(QPointF(i * 6, 40), -90 + i * 12 + r.uniform(-6, 6), r.uniform(8, 12), 2.2);
        fillOutlined(p, blade, grass, s.pal.outline, 0.9);
    }

    if (stump) {
        const QPainterPath trunk =
            smoothClosed({{-18, 40}, {-14, 10}, {-16, -12}, {0, -16}, {16, -12}, {14, 10}, {20, 40}}, 0.8);
        const QColor bark = hsv(0.08, 0.45, 0.45);
        // Branch arms.
        for (int side : {-1, 1}) {
            QPainterPath arm;
            arm.moveTo(side * 12, 6);
            arm.quadTo(side * 28, 0, side * 30, -14 + r.uniform(-4, 4));
            strokeOutlined(p, arm, bark, 3.4, s.pal.outline, 1.1);
            fillOutlined(p, leafShape(QPointF(side * 30, -14), side > 0 ? -70 : -110, 11, 4), s.pal.body,
                         s.pal.outline, 1.0);
        }
        fillOutlined(p, trunk, shadedBrush(trunk.boundingRect(), bark), s.pal.outline, s.line);
        p.save();
        p.setClipPath(trunk);
        p.setPen(QPen(withAlpha(s.pal.outline, 120), 1.2));
        for (int i = -2; i <= 2; ++i)
            p.drawLine(QPointF(i * 6, -10), QPointF(i * 6.5 + r.uniform(-2, 2), 40));
        p.restore();
        // Carved face with glowing eyes.
        for (int side : {-1, 1})
            fillOutlined(p, ellipsePath(QPointF(side * 6, 2), 3.6, 4.4), QColor(30, 18, 10), s.pal.outline,
                         1.0);
        for (int side : {-1, 1})
            paintEye(p, QPointF(side * 6, 2.5), 1.8, EyeKind::Glow, s.pal.glow, QColor(30, 18, 10));
        fillOutlined(p, ellipsePath(QPointF(0, 14), 5, 2.6), QColor(30, 18, 10), s.pal.outline, 1.0);
        // Leafy crown.
        std::vector<QPointF> centres;
        const int clumps = r.range(5, 7);
        for (int i = 0; i < clumps; ++i) {
            const double a = kPi + kPi * (i + 0.5) / clumps;
            centres.emplace_back(std::cos(a) * 20, -20 + std::sin(a) * 16);
        }
        for (const QPointF& c : centres) {
            const QPainterPath clump = ellipsePath(c, 11, 9);
            fillOutlined(p, clump, shadedBrush(clump.boundingRect(), s.pal.body), s.pal.outline, s.line);
        }
        fillOutlined(p, ellipsePath(QPointF(0, -30), 12, 10),
                     shadedBrush(QRectF(-12, -40, 24, 20), s.pal.body), s.pal.outline, s.line);
        p.setPen(Qt::NoPen);
        p.setBrush(s.pal.accentLight);
        for (int i = 0; i < 4; ++i)
            p.drawEllipse(centres[static_cast<std::size_t>(r.range(0, clumps - 1))] +
                              QPointF(r.uniform(-4, 4), r.uniform(-3, 3)),
                          2.4, 2.4);
        return;
    }

    // Stem body with arms.
    const qreal bodyRx = r.uniform(12, 15);
    const QPainterPath stem = smoothClosed({{-bodyRx, 38},
                                            {-bodyRx * 0.85, 10},
                                            {-bodyRx * 0.7, -6},
                                            {bodyRx * 0.7, -6},
                                            {bodyRx * 0.85, 10},
                                            {bodyRx, 38}},
                                           0.8);
    for (int side : {-1, 1}) {
        QPainterPath arm;
        arm.moveTo(side * bodyRx * 0.8, 14);
        arm.quadTo(side * (bodyRx + 8), 18 + r.uniform(-6, 4), side * (bodyRx + 10), 8 + r.uniform(-6, 6));
        strokeOutlined(p, arm, stemColour, 3.2, s.pal.outline, 1.1);
    }

    if (flower) {
        QPainterPath stalk;
        stalk.moveTo(0, 38);
        stalk.lineTo(0, 0);
        const int petals = r.range(6, 9);
        const qreal petalLen = r.uniform(17, 21);
        const QPointF c(0, -10);
        for (int side : {-1, 1})
            fillOutlined(p, leafShape(QPointF(0, 30), side > 0 ? -30 : -150, 18, 6), grass, s.pal.outline,
                         1.2);
        fillOutlined(p, stem, verticalBrush(stem.boundingRect(), hsv(0.3, 0.4, 0.85), hsv(0.3, 0.6, 0.55)),
                     s.pal.outline, s.line);
        for (int i = 0; i < petals; ++i) {
            const double a = -90.0 + 360.0 * i / petals;
            const QPainterPath petal = leafShape(c, a, petalLen, petalLen * 0.42);
            fillOutlined(p, petal, shadedBrush(petal.boundingRect(), s.pal.body), s.pal.outline,
                         s.line * 0.9);
        }
        fillOutlined(p, ellipsePath(c, 11, 10.5), shadedBrush(QRectF(-11, -21, 22, 21), hsv(0.13, 0.7, 1.0)),
                     s.pal.outline, s.line);
        for (int side : {-1, 1})
            paintEye(p, c + QPointF(side * 4.2, -2), 2.7, r.chance(0.3) ? EyeKind::Sleepy : EyeKind::Round,
                     s.pal.accent, s.pal.outline);
        paintMouth(s, c + QPointF(0, 3.5), 6, 0);
        return;
    }

    fillOutlined(p, stem, shadedBrush(stem.boundingRect(), stemColour), s.pal.outline, s.line);
    for (int side : {-1, 1})
        paintEye(p, QPointF(side * 5, 8), 3.3, r.chance(0.2) ? EyeKind::Sleepy : EyeKind::Round, s.pal.accent,
                 s.pal.outline, QPointF(r.uniform(-0.6, 0.6), 0.3));
    paintMouth(s, QPointF(0, 15), 8, r.range(0, 3));

    // The cap.
    const int capKind = s.named("Morel") ? 1 : r.range(0, 2);
    QPainterPath cap;
    const qreal capW = capKind == 2 ? r.uniform(36, 42) : r.uniform(28, 34);
    if (capKind == 1) {
        cap = smoothClosed(
            {{-capW * 0.7, -2}, {-capW * 0.55, -22}, {0, -46}, {capW * 0.55, -22}, {capW * 0.7, -2}}, 0.8);
    } else {
        const qreal capH = capKind == 2 ? r.uniform(16, 20) : r.uniform(24, 30);
        cap.moveTo(-capW, 0);
        cap.cubicTo(-capW, -capH * 1.25, capW, -capH * 1.25, capW, 0);
        cap.quadTo(0, -7, -capW, 0);
        cap.closeSubpath();
    }
    fillOutlined(p, cap, shadedBrush(cap.boundingRect(), s.pal.body), s.pal.outline, s.line);
    p.save();
    p.setClipPath(cap);
    p.setPen(Qt::NoPen);
    if (capKind == 1) {
        p.setBrush(withAlpha(s.pal.outline, 120));
        for (int i = 0; i < 12; ++i)
            p.drawEllipse(QPointF(r.uniform(-capW * 0.5, capW * 0.5), r.uniform(-36, -4)), 3, 2.2);
    } else {
        p.setBrush(QColor(255, 250, 235));
        const int spots = r.range(4, 7);
        for (int i = 0; i < spots; ++i) {
            const qreal rad = r.uniform(2.6, 5);
            p.drawEllipse(QPointF(r.uniform(-capW * 0.8, capW * 0.8), r.uniform(-capW * 0.7, -4)), rad,
                          rad * 0.85);
        }
    }
    p.restore();
    paintGloss(p, QRectF(-capW * 0.6, capKind == 1 ? -38 : -capW * 0.62, capW * 0.5, 7), 110);

    if (r.chance(0.5) || s.named("Choir")) {
        // A small companion at the foot.
        const qreal side = r.chance(0.5) ? 1 : -1;
        const QPointF base(side * 30, 40);
        const QPainterPath small = smoothClosed(
            {base + QPointF(-4, 0), base + QPointF(-3, -10), base + QPointF(3, -10), base + QPointF(4, 0)},
            0.8);
        fillOutlined(p, small, stemColour, s.pal.outline, s.line * 0.8);
        QPainterPath smallCap;
        smallCap.moveTo(base + QPointF(-10, -9));
        smallCap.cubicTo(base + QPointF(-10, -24), base + QPointF(10, -24), base + QPointF(10, -9));
        smallCap.closeSubpath();
        fillOutlined(p, smallCap, shadedBrush(smallCap.boundingRect(), s.pal.accent), s.pal.outline,
                     s.line * 0.8);
        for (int e : {-1, 1})
            paintEye(p, base + QPointF(e * 2, -5), 1.3, EyeKind::Glow, QColor(30, 20, 20), s.pal.outline);
    }
}

} // namespace artgen
