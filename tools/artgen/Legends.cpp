// The five upper tiers: clockwork engines, spirit masks, wardens of the
// realm, the great wyrms and the sovereigns of Vantaro.

#include "Elements.h"
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

QColor glowFor(const Sketch& s, const QColor& fallback) {
    return s.card.element > 0 ? elementInfo(s.card.element).colour : fallback;
}

void paintRivets(QPainter& p, const std::vector<QPointF>& at, const QColor& colour) {
    p.save();
    p.setPen(Qt::NoPen);
    for (const QPointF& c : at) {
        p.setBrush(mix(colour, Qt::black, 0.5));
        p.drawEllipse(c, 1.5, 1.5);
        p.setBrush(mix(colour, Qt::white, 0.6));
        p.drawEllipse(c + QPointF(-0.4, -0.4), 0.7, 0.7);
    }
    p.restore();
}

QPainterPath gearPath(QPointF centre, qreal outer, qreal inner, int teeth, qreal hole) {
    std::vector<QPointF> rim;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i - 0.5) * (2.0 * kPi / (teeth * 4));
        const bool out = (i % 4 == 1) || (i % 4 == 2);
        const qreal rr = out ? outer : inner;
        rim.emplace_back(centre.x() + rr * std::cos(a), centre.y() + rr * std::sin(a));
    }
    QPainterPath p = polygonPath(rim);
    if (hole > 0) p = p.subtracted(ellipsePath(centre, hole, hole));
    return p;
}

void paintGlowSpot(QPainter& p, QPointF c, qreal radius, const QColor& colour) {
    QRadialGradient g(c, radius);
    g.setColorAt(0.0, withAlpha(mix(colour, Qt::white, 0.5), 230));
    g.setColorAt(0.4, withAlpha(colour, 150));
    g.setColorAt(1.0, withAlpha(colour, 0));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, radius, radius);
    p.restore();
}

// A flight feather: rounded at the tip, so a fan of them reads as a wing
// rather than a crown of spikes.
QPainterPath featherAt(QPointF base, double angleDeg, qreal length, qreal width) {
    QPainterPath f;
    f.moveTo(0, 0);
    f.cubicTo(length * 0.3, -width * 0.6, length * 0.75, -width * 0.75, length, -width * 0.25);
    f.quadTo(length + 1.5, width * 0.3, length * 0.8, width * 0.5);
    f.cubicTo(length * 0.5, width * 0.6, length * 0.2, width * 0.4, 0, 0);
    f.closeSubpath();
    QTransform t;
    t.translate(base.x(), base.y());
    t.rotate(angleDeg);
    return t.map(f);
}

struct Metal {
    QColor base;
    QColor dark;
    QColor bright;
};

Metal pickMetal(Sketch& s) {
    struct Tone {
        double h, sat, val;
    };
    const Tone tones[] = {
        {0.11, 0.6, 0.82}, {0.06, 0.62, 0.75}, {0.6, 0.1, 0.72}, {0.45, 0.35, 0.6}, {0.0, 0.04, 0.5}};
    Tone t = s.r.pick(tones);
    if (s.card.element == 8) t = {0.6, 0.12, 0.78};
    return {hsv(t.h, t.sat, t.val), hsv(t.h, t.sat * 1.1, t.val * 0.5),
            hsv(t.h, t.sat * 0.5, std::min(1.0, t.val + 0.25))};
}

} // namespace

// Tier 6: clockwork engines, golems and drones.
void paintClockwork(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const Metal metal = pickMetal(s);
    const QColor glow = glowFor(s, r.chance(0.5) ? QColor(90, 230, 255) : QColor(255, 170, 60));
    const QColor outline(28, 22, 20);
    const bool heavy = s.named("Golem") || s.named("Walker") || s.named("Knocker") || s.named("Heart");
    const bool drone = s.named("Drone") || s.named("Lamp");

    if (drone) {
        paintGroundShadow(p, QPointF(0, 40), 20, 4);
        // Rotor arms.
        for (int side : {-1, 1}) {
            QPainterPath arm;
            arm.moveTo(side * 14, -10);
            arm.lineTo(side * 30, -26);
            strokeOutlined(p, arm, metal.dark, 3.0, outline, 1.0);
            fillOutlined(p, ellipsePath(QPointF(side * 30, -28), 13, 3), withAlpha(metal.bright, 200),
                         outline, 1.2);
            fillOutlined(p, ellipsePath(QPointF(side * 30, -27), 2.5, 2.5), metal.dark, outline, 1.0);
        }
        // Dangling claws.
        for (int side : {-1, 1}) {
            QPainterPath leg;
            leg.moveTo(side * 8, 14);
            leg.lineTo(side * 12, 26);
            leg.lineTo(side * 7, 32);
            strokeOutlined(p, leg, metal.dark, 2.4, outline, 1.0);
        }
        const QPainterPath shell = ellipsePath(QPointF(0, 0), 22, 20);
        fillOutlined(p, shell, shadedBrush(shell.boundingRect(), metal.base), outline, s.line);
        p.save();
        p.setClipPath(shell);
        p.setPen(QPen(metal.dark, 2.0));
        p.drawLine(QPointF(-22, -6), QPointF(22, -6));
        p.drawLine(QPointF(-22, 12), QPointF(22, 12));
        p.restore();
        paintRivets(p, {{-16, -9}, {-8, -11}, {8, -11}, {16, -9}, {-14, 15}, {14, 15}}, metal.base);
        fillOutlined(p, ellipsePath(QPointF(0, 3), 10, 10), metal.dark, outline, s.line);
        paintGlowSpot(p, QPointF(0, 3), 14, glow);
        fillOutlined(p, ellipsePath(QPointF(0, 3), 6.5, 6.5), glow, outline, 1.4);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(-2, 1), 2.2, 2.2);
        QPainterPath ant;
        ant.moveTo(0, -20);
        ant.lineTo(0, -32);
        strokeOutlined(p, ant, metal.dark, 1.6, outline, 0.8);
        fillOutlined(p, ellipsePath(QPointF(0, -34), 3, 3), glow, outline, 1.0);
        return;
    }

    paintGroundShadow(p, QPointF(0, 40), 32, 6);
    const qreal torsoW = heavy ? r.uniform(24, 28) : r.uniform(17, 21);
    const qreal torsoTop = heavy ? -12.0 : -6.0;
    const qreal torsoBottom = heavy ? 24.0 : 20.0;

    // Legs or treads.
    if (!heavy && r.chance(0.35)) {
        QPainterPath t;
        t.addRoundedRect(QRectF(-24, 24, 48, 15), 7, 7);
        fillOutlined(p, t, verticalBrush(t.boundingRect(), metal.dark, mix(metal.dark, Qt::black, 0.4)),
                     outline, s.line);
        for (int i = 0; i < 4; ++i)
            fillOutlined(p, ellipsePath(QPointF(-15 + i * 10, 31.5), 4, 4), metal.base, outline, 1.2);
    } else {
        for (int side : {-1, 1}) {
            QPainterPath leg;
            leg.addRoundedRect(QRectF(side * torsoW * 0.5 - 5, torsoBottom - 4, 10, 38 - torsoBottom), 3, 3);
            fillOutlined(p, leg, metal.dark, outline, s.line);
            QPainterPath foot;
            foot.addRoundedRect(QRectF(side * torsoW * 0.5 - 9, 34, 18, 7), 3, 3);
            fillOutlined(p, foot, shadedBrush(foot.boundingRect(), metal.base), outline, s.line);
        }
    }

    // Arms.
    const qreal shoulderY = torsoTop + 6;
    for (int side : {-1, 1}) {
        const QPointF shoulder(side * (torsoW + 2), shoulderY);
        const QPointF elbow = shoulder + QPointF(side * r.uniform(6, 10), r.uniform(10, 16));
        const QPointF hand =
            elbow + QPointF(side * r.uniform(-2, 6), r.uniform(10, 14) * (r.chance(0.3) ? -1 : 1));
        QPainterPath arm;
        arm.moveTo(shoulder);
        arm.lineTo(elbow);
        arm.lineTo(hand);
        strokeOutlined(p, arm, metal.dark, heavy ? 7 : 4.2, outline, 1.2);
        fillOutlined(p, ellipsePath(elbow, 3.2, 3.2), metal.base, outline, 1.2);
        if (heavy) {
            QPainterPath fist;
            fist.addRoundedRect(QRectF(hand.x() - 8, hand.y() - 6, 16, 14), 4, 4);
            fillOutlined(p, fist, shadedBrush(fist.boundingRect(), metal.base), outline, s.line);
        } else {
            for (int k : {-1, 1}) {
                QPainterPath claw;
                claw.moveTo(hand);
                claw.quadTo(hand + QPointF(k * 5, 3), hand + QPointF(k * 2, 8));
                strokeOutlined(p, claw, metal.bright, 2.0, outline, 0.9);
            }
        }
        fillOutlined(p, ellipsePath(shoulder, heavy ? 8 : 6, heavy ? 8 : 6),
                     shadedBrush(QRectF(shoulder.x() - 7, shoulder.y() - 7, 14, 14), metal.base), outline,
                     s.line);
    }

    QPainterPath torso;
    if (heavy) {
        torso = smoothClosed({{-torsoW, torsoTop + 4},
                              {-torsoW * 0.6, torsoTop - 2},
                              {torsoW * 0.6, torsoTop - 2},
                              {torsoW, torsoTop + 4},
                              {torsoW * 0.9, torsoBottom},
                              {-torsoW * 0.9, torsoBottom}},
                             0.6);
    } else {
        torso.addRoundedRect(QRectF(-torsoW, torsoTop, 2 * torsoW, torsoBottom - torsoTop), 6, 6);
    }
    const QRectF tb = torso.boundingRect();
    fillOutlined(p, torso, shadedBrush(tb, metal.base), outline, s.line);

    // The chest piece: a gear, a dial or a furnace grate.
    const QPointF chest(0, (torsoTop + torsoBottom) / 2 + 1);
    const int chestKind = s.named("Furnace") || s.named("Kiln") ? 2 : r.range(0, 2);
    if (chestKind == 0) {
        const QPainterPath g = gearPath(chest, 9, 7, 8, 2.6);
        fillOutlined(p, g, metal.bright, outline, 1.4);
    } else if (chestKind == 1) {
        fillOutlined(p, ellipsePath(chest, 8.5, 8.5), QColor(245, 240, 220), outline, 1.6);
        p.setPen(QPen(outline, 1.4, Qt::SolidLine, Qt::RoundCap));
        const double a = r.uniform(0, 2 * kPi);
        p.drawLine(chest, chest + QPointF(std::cos(a) * 6, std::sin(a) * 6));
        p.setPen(QPen(outline, 0.9));
        for (int i = 0; i < 8; ++i) {
            const double b = i * kPi / 4;
            p.drawLine(chest + QPointF(std::cos(b) * 6.5, std::sin(b) * 6.5),
                       chest + QPointF(std::cos(b) * 8, std::sin(b) * 8));
        }
    } else {
        const QColor fire = glowFor(s, QColor(255, 140, 40));
        QPainterPath grate;
        grate.addRoundedRect(QRectF(chest.x() - 10, chest.y() - 7, 20, 14), 3, 3);
        paintGlowSpot(p, chest, 16, fire);
        fillOutlined(p, grate, verticalBrush(grate.boundingRect(), mix(fire, Qt::white, 0.5), fire), outline,
                     1.6);
        p.setPen(QPen(outline, 1.6));
        for (int i = -1; i <= 1; ++i)
            p.drawLine(QPointF(chest.x() + i * 5, chest.y() - 7), QPointF(chest.x() + i * 5, chest.y() + 7));
    }
    paintRivets(p,
                {{tb.left() + 3.5, tb.top() + 4},
                 {tb.right() - 3.5, tb.top() + 4},
                 {tb.left() + 3.5, tb.bottom() - 4},
                 {tb.right() - 3.5, tb.bottom() - 4}},
                metal.base);

    // Head.
    const qreal headW = heavy ? 9 : r.uniform(10, 13);
    const qreal headBottom = torsoTop + 2;
    const qreal headTop = headBottom - (heavy ? 13 : r.uniform(16, 20));
    if (s.named("Stag")) {
        for (int side : {-1, 1}) {
            QPainterPath antler;
            antler.moveTo(side * 6, headTop + 2);
            antler.lineTo(side * 14, headTop - 14);
            antler.lineTo(side * 22, headTop - 20);
            antler.moveTo(side * 14, headTop - 14);
            antler.lineTo(side * 12, headTop - 24);
            antler.moveTo(side * 10, headTop - 7);
            antler.lineTo(side * 20, headTop - 6);
            strokeOutlined(p, antler, metal.bright, 2.4, outline, 1.0);
        }
    } else if (s.named("Hound")) {
        for (int side : {-1, 1})
            fillOutlined(
                p,
                polygonPath(
                    {{side * 4.0, headTop + 2}, {side * 12.0, headTop - 12}, {side * 13.0, headTop + 4}}),
                metal.dark, outline, s.line);
    } else if (!heavy) {
        QPainterPath ant;
        const qreal ax = r.uniform(-6, 6);
        ant.moveTo(ax, headTop);
        ant.lineTo(ax + r.uniform(-3, 3), headTop - 10);
        strokeOutlined(p, ant, metal.dark, 1.6, outline, 0.8);
        paintGlowSpot(p, QPointF(ax, headTop - 12), 6, glow);
        fillOutlined(p, ellipsePath(QPointF(ax, headTop - 12), 2.6, 2.6), glow, outline, 1.0);
    }
    QPainterPath head;
    if (r.chance(0.5) && !heavy) {
        head.moveTo(-headW, headBottom);
        head.lineTo(-headW, headTop + headW * 0.8);
        head.cubicTo(-headW, headTop - 2, headW, headTop - 2, headW, headTop + headW * 0.8);
        head.lineTo(headW, headBottom);
        head.closeSubpath();
    } else {
        head.addRoundedRect(QRectF(-headW, headTop, 2 * headW, headBottom - headTop), 3, 3);
    }
    fillOutlined(p, head, shadedBrush(head.boundingRect(), metal.base), outline, s.line);
    const qreal eyeY = (headTop + headBottom) / 2;
    if (r.chance(0.5) || heavy) {
        QPainterPath visor;
        visor.addRoundedRect(QRectF(-headW + 2.5, eyeY - 3, 2 * headW - 5, 6), 3, 3);
        fillOutlined(p, visor, QColor(20, 18, 24), outline, 1.0);
        paintGlowSpot(p, QPointF(0, eyeY), headW, glow);
        p.setPen(Qt::NoPen);
        p.setBrush(mix(glow, Qt::white, 0.4));
        p.drawRoundedRect(QRectF(-headW + 4, eyeY - 1.4, 2 * headW - 8, 2.8), 1.4, 1.4);
    } else {
        for (int side : {-1, 1}) {
            fillOutlined(p, ellipsePath(QPointF(side * headW * 0.45, eyeY), 3.8, 3.8), QColor(20, 18, 24),
                         outline, 1.2);
            fillOutlined(p, ellipsePath(QPointF(side * headW * 0.45, eyeY), 2.2, 2.2), glow, outline, 0.6);
        }
    }
    if (heavy) {
        // Glowing seams where the plates meet.
        p.save();
        p.setClipPath(torso);
        p.setPen(QPen(withAlpha(glow, 220), 1.6));
        QPainterPath crack;
        crack.moveTo(-torsoW * 0.8, torsoTop + 10);
        crack.lineTo(-torsoW * 0.4, torsoTop + 16);
        crack.lineTo(-torsoW * 0.5, torsoBottom - 4);
        crack.moveTo(torsoW * 0.7, torsoTop + 4);
        crack.lineTo(torsoW * 0.45, torsoTop + 14);
        p.setBrush(Qt::NoBrush);
        p.drawPath(crack);
        p.restore();
    }
    paintGloss(p, QRectF(tb.left() + 4, tb.top() + 2, tb.width() * 0.35, 5), 110);
}

// Tier 7: spirit masks that float in their own light.
void paintMask(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const Palette& pal = s.pal;
    const bool hooded = s.named("Wraith") || s.named("Shade") || s.named("Hollow");
    const QColor dark(24, 14, 26);
    const QColor eyeGlow = glowFor(s, pal.glow);

    QColor faceColour = pal.body;
    if (s.card.element == 0) {
        const QColor tones[] = {QColor(238, 228, 205), QColor(226, 184, 70), QColor(90, 170, 130),
                                QColor(60, 52, 70), QColor(200, 60, 50)};
        faceColour = r.pick(tones);
    }
    if (s.named("Gilded")) faceColour = QColor(228, 186, 64);
    if (s.named("Moon")) faceColour = QColor(236, 236, 220);

    // What frames the mask.
    const int crown = hooded ? 4 : r.range(0, 3);
    if (crown == 0 || s.named("Horned")) {
        for (int side : {-1, 1}) {
            QPainterPath horn;
            horn.moveTo(side * 12, -22);
            horn.cubicTo(side * 30, -26, side * 40, -40, side * 30, -52);
            horn.cubicTo(side * 32, -38, side * 24, -32, side * 16, -30);
            horn.closeSubpath();
            fillOutlined(p, horn,
                         verticalBrush(horn.boundingRect(), QColor(250, 240, 215), QColor(150, 130, 100)),
                         dark, s.line);
        }
    } else if (crown == 1) {
        const int feathers = r.range(5, 7);
        for (int i = 0; i < feathers; ++i) {
            const double a = -90 + (i - (feathers - 1) / 2.0) * 24;
            const QPainterPath f = leafShape(QPointF(0, -10), a, 40, 7);
            fillOutlined(p, f, i % 2 ? pal.accent : pal.accentLight, dark, s.line * 0.8);
            p.setPen(QPen(withAlpha(dark, 150), 1.0));
            const double rad = a * kPi / 180;
            p.drawLine(QPointF(0, -10), QPointF(std::cos(rad) * 36, -10 + std::sin(rad) * 36));
        }
    } else if (crown == 2) {
        const QPainterPath rays = starPath(QPointF(0, -4), 12, 46, 28, -90);
        fillOutlined(p, rays, verticalBrush(rays.boundingRect(), pal.accentLight, pal.accent), dark, s.line);
    } else if (crown == 3) {
        // Flames of the spirit's own colour.
        for (int i = -2; i <= 2; ++i) {
            QPainterPath flame;
            const qreal x = i * 11;
            flame.moveTo(x - 8, -10);
            flame.quadTo(x - 10, -30 + std::abs(i) * 3, x + r.uniform(-2, 4), -46 + std::abs(i) * 7);
            flame.quadTo(x + 10, -28, x + 8, -10);
            flame.closeSubpath();
            fillOutlined(p, flame, verticalBrush(flame.boundingRect(), mix(eyeGlow, Qt::white, 0.4), eyeGlow),
                         dark, s.line * 0.8);
        }
    } else {
        const QPainterPath hood = smoothClosed(
            {{0, -50}, {30, -30}, {36, 10}, {26, 44}, {0, 36}, {-26, 44}, {-36, 10}, {-30, -30}}, 0.9);
        fillOutlined(p, hood, verticalBrush(hood.boundingRect(), mix(pal.shade, dark, 0.3), dark), dark,
                     s.line);
    }

    // Ribbons below.
    if (!hooded) {
        for (int side : {-1, 1}) {
            QPainterPath ribbon;
            ribbon.moveTo(side * 10, 22);
            ribbon.cubicTo(side * 16, 30, side * 6, 36, side * 14, 44);
            strokeOutlined(p, ribbon, pal.accent, 3.4, dark, 1.0);
            fillOutlined(p, ellipsePath(QPointF(side * 14, 44), 3, 3), pal.glow, dark, 1.0);
        }
    }

    // The mask itself, one half mirrored.
    const int shape = r.range(0, 2);
    std::vector<QPointF> half;
    if (shape == 0)
        half = {{0, -30}, {16, -27}, {24, -12}, {22, 8}, {12, 24}, {0, 30}};
    else if (shape == 1)
        half = {{0, -30}, {20, -26}, {26, -8}, {18, 14}, {0, 34}};
    else
        half = {{0, -28}, {22, -26}, {30, -10}, {24, 2}, {16, 20}, {0, 26}};
    std::vector<QPointF> ring = half;
    for (auto it = half.rbegin() + 1; it != half.rend() - 1; ++it) ring.emplace_back(-it->x(), it->y());
    const QPainterPath mask = smoothClosed(ring, 0.9);
    const QRectF mb = mask.boundingRect();
    fillOutlined(p, mask, shadedBrush(mb, faceColour), dark, s.line);

    // Markings.
    p.save();
    p.setClipPath(mask);
    const int marks = r.range(0, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(pal.accent, 230));
    if (marks == 0) {
        for (int side : {-1, 1})
            for (int i = 0; i < 3; ++i) p.drawRect(QRectF(side > 0 ? 10 : -20, 2 + i * 5, 10, 2.2));
    } else if (marks == 1) {
        for (int side : {-1, 1})
            p.drawPolygon(QPolygonF({QPointF(side * 6, 0), QPointF(side * 22, -2), QPointF(side * 12, 14)}));
    } else {
        p.drawRect(QRectF(-2.5, mb.top(), 5, 18));
    }
    if (s.named("Weeping")) {
        p.setBrush(QColor(70, 140, 230));
        for (int side : {-1, 1}) p.drawRect(QRectF(side * 10 - 1.5, -4, 3, 22));
    }
    p.restore();

    // Brow, eyes, mouth.
    const qreal eyeY = -8;
    for (int side : {-1, 1}) {
        QPainterPath hole;
        hole.moveTo(side * 3.5, eyeY + 1);
        hole.quadTo(side * 9, eyeY - 7, side * 16, eyeY - 2);
        hole.quadTo(side * 10, eyeY + 5, side * 3.5, eyeY + 1);
        hole.closeSubpath();
        fillOutlined(p, hole, dark, dark, 1.2);
        paintGlowSpot(p, QPointF(side * 9.5, eyeY - 1), 6, eyeGlow);
        p.setPen(Qt::NoPen);
        p.setBrush(mix(eyeGlow, Qt::white, 0.6));
        p.drawEllipse(QPointF(side * 9.5, eyeY - 1), 1.8, 1.8);
    }
    if (s.named("Oracle") || r.chance(0.3)) {
        const QPainterPath gem = polygonPath({{0, -26}, {4, -20}, {0, -14}, {-4, -20}});
        paintGlowSpot(p, QPointF(0, -20), 8, eyeGlow);
        fillOutlined(p, gem, verticalBrush(gem.boundingRect(), mix(eyeGlow, Qt::white, 0.5), eyeGlow), dark,
                     1.2);
    }
    const int mouth = s.named("Laughing") || s.named("Grinning") ? 0 : r.range(0, 2);
    if (mouth == 0) {
        QPainterPath grin;
        grin.moveTo(-12, 10);
        grin.quadTo(0, 24, 12, 10);
        grin.quadTo(0, 15, -12, 10);
        grin.closeSubpath();
        fillOutlined(p, grin, dark, dark, 1.2);
        p.save();
        p.setClipPath(grin);
        p.setPen(QPen(QColor(240, 236, 220), 1.6));
        for (int i = -3; i <= 3; ++i) p.drawLine(QPointF(i * 3.2, 10), QPointF(i * 3.2, 24));
        p.restore();
    } else if (mouth == 1) {
        fillOutlined(p, ellipsePath(QPointF(0, 15), 4.2, 5.2), dark, dark, 1.2);
    } else {
        QPainterPath frown;
        frown.moveTo(-9, 17);
        frown.quadTo(0, 8, 9, 17);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(dark, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(frown);
    }
    p.setPen(QPen(withAlpha(dark, 160), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, -3), QPointF(0, 5));
    paintGloss(p, QRectF(mb.left() + 6, mb.top() + 4, mb.width() * 0.3, 6), 120);
}

namespace {

const QColor kSkins[] = {QColor(242, 204, 172), QColor(214, 164, 124), QColor(174, 120, 84),
                         QColor(122, 84, 58), QColor(236, 192, 160)};
const QColor kHair[] = {QColor(60, 40, 28), QColor(200, 160, 80), QColor(150, 60, 30), QColor(30, 28, 34),
                        QColor(225, 225, 230)};

void paintFace(Sketch& s, QPointF c, qreal rx, qreal ry, const QColor& skin, bool serene) {
    QPainter& p = s.p;
    const QColor outline(40, 24, 20);
    fillOutlined(p, ellipsePath(c, rx, ry), shadedBrush(QRectF(c.x() - rx, c.y() - ry, 2 * rx, 2 * ry), skin),
                 outline, s.line);
    for (int side : {-1, 1}) {
        if (serene) {
            paintEye(p, c + QPointF(side * rx * 0.42, -ry * 0.05), rx * 0.22, EyeKind::Sleepy, skin, outline);
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(outline);
            p.drawEllipse(c + QPointF(side * rx * 0.4, -ry * 0.05), rx * 0.13, rx * 0.17);
        }
        p.setPen(QPen(outline, 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(side * rx * 0.2, -ry * 0.3), c + QPointF(side * rx * 0.62, -ry * 0.36));
    }
    p.setPen(QPen(outline, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath mouth;
    mouth.moveTo(c + QPointF(-rx * 0.25, ry * 0.45));
    mouth.quadTo(c + QPointF(0, ry * 0.55), c + QPointF(rx * 0.25, ry * 0.45));
    p.drawPath(mouth);
}

QPainterPath emblemPath(int kind, QPointF c, qreal size) {
    switch (kind) {
    case 0:
        return starPath(c, 5, size, size * 0.45);
    case 1: {
        QPainterPath cross;
        cross.addRect(QRectF(c.x() - size * 0.25, c.y() - size, size * 0.5, size * 2));
        cross.addRect(QRectF(c.x() - size * 0.8, c.y() - size * 0.45, size * 1.6, size * 0.5));
        return cross.simplified();
    }
    case 2:
        return polygonPath({c + QPointF(-size, -size * 0.2), c + QPointF(0, -size),
                            c + QPointF(size, -size * 0.2), c + QPointF(size, size * 0.4),
                            c + QPointF(0, -size * 0.3), c + QPointF(-size, size * 0.4)});
    default:
        return polygonPath({c + QPointF(0, -size), c + QPointF(size * 0.7, 0), c + QPointF(0, size),
                            c + QPointF(-size * 0.7, 0)});
    }
}

} // namespace

// Tier 8: the wardens, knights and rangers of the realm, in head and shoulders.
void paintWarden(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const Palette& pal = s.pal;
    const QColor outline(26, 20, 24);
    const Metal metal = pickMetal(s);
    const bool ranger = s.named("Ranger") || s.named("Watcher");
    const bool face = ranger || s.named("Lady") || s.named("Captain") || s.named("Duelist") || r.chance(0.25);

    // Weapon behind the shoulder.
    const int weapon = ranger ? 2 : r.range(0, 1);
    p.save();
    if (weapon == 0) {
        p.translate(22, -6);
        p.rotate(r.uniform(8, 22));
        QPainterPath blade = polygonPath({{-3.5, 10}, {-3.5, -40}, {0, -48}, {3.5, -40}, {3.5, 10}});
        fillOutlined(p, blade,
                     verticalBrush(blade.boundingRect(), QColor(240, 244, 250), QColor(150, 160, 175)),
                     outline, s.line);
        p.setPen(QPen(QColor(120, 130, 145), 1.0));
        p.drawLine(QPointF(0, -42), QPointF(0, 8));
        QPainterPath guard;
        guard.addRoundedRect(QRectF(-11, 8, 22, 5), 2, 2);
        fillOutlined(p, guard, QColor(214, 170, 60), outline, s.line * 0.8);
    } else if (weapon == 1) {
        p.translate(-24, 0);
        p.rotate(r.uniform(-14, -4));
        QPainterPath shaft;
        shaft.moveTo(0, 40);
        shaft.lineTo(0, -36);
        strokeOutlined(p, shaft, QColor(130, 86, 48), 3.0, outline, 1.1);
        const QPainterPath head = polygonPath({{0, -54}, {6, -38}, {0, -33}, {-6, -38}});
        fillOutlined(p, head,
                     verticalBrush(head.boundingRect(), QColor(240, 244, 250), QColor(150, 160, 175)),
                     outline, s.line);
        fillOutlined(p, leafShape(QPointF(0, -32), 120, 12, 4), pal.accent, outline, 1.0);
    } else {
        p.translate(20, -4);
        p.rotate(12);
        QPainterPath bow;
        bow.moveTo(0, -42);
        bow.quadTo(16, 0, 0, 42);
        strokeOutlined(p, bow, QColor(140, 92, 50), 3.2, outline, 1.1);
        p.setPen(QPen(QColor(240, 240, 230), 0.9));
        p.drawLine(QPointF(0, -42), QPointF(0, 42));
    }
    p.restore();

    // Cape and shoulders.
    const QPainterPath cape = smoothClosed({{-30, 0}, {-40, 44}, {40, 44}, {30, 0}, {0, -6}}, 0.5);
    fillOutlined(p, cape, verticalBrush(cape.boundingRect(), pal.shade, mix(pal.shade, Qt::black, 0.35)),
                 outline, s.line);
    const QPainterPath chest = smoothClosed({{-26, 4}, {-22, 44}, {22, 44}, {26, 4}, {0, -2}}, 0.6);
    const QColor body = ranger ? hsv(0.3, 0.45, 0.45) : metal.base;
    fillOutlined(p, chest, shadedBrush(chest.boundingRect(), body), outline, s.line);
    // Tabard with an emblem.
    const QPainterPath tabard = polygonPath({{-11, 6}, {11, 6}, {11, 44}, {-11, 44}});
    fillOutlined(p, tabard, verticalBrush(tabard.boundingRect(), pal.body, pal.shade), outline, s.line * 0.8);
    const QPainterPath emblem = emblemPath(r.range(0, 3), QPointF(0, 22), 7);
    fillOutlined(p, emblem, QColor(236, 196, 80), outline, 1.2);
    for (int side : {-1, 1}) {
        const QPainterPath pauldron = smoothClosed(
            {{side * 12.0, 0}, {side * 24.0, -6}, {side * 34.0, 4}, {side * 32.0, 14}, {side * 16.0, 10}},
            0.9);
        fillOutlined(p, pauldron,
                     shadedBrush(pauldron.boundingRect(), ranger ? hsv(0.08, 0.5, 0.5) : metal.base), outline,
                     s.line);
        p.setPen(QPen(QColor(236, 196, 80), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(side > 0 ? 14 : -34, -4, 20, 16), side > 0 ? 20 * 16 : 60 * 16, 100 * 16);
    }

    // Head.
    const QPointF head(0, -16);
    const QColor skin = r.pick(kSkins);
    if (face) {
        const QColor hair = r.pick(kHair);
        if (ranger) {
            const QPainterPath hood =
                smoothClosed({{0, -42}, {17, -28}, {19, -6}, {12, 4}, {-12, 4}, {-19, -6}, {-17, -28}}, 0.9);
            fillOutlined(p, hood, shadedBrush(hood.boundingRect(), hsv(0.3, 0.5, 0.4)), outline, s.line);
            paintFace(s, head + QPointF(0, 1), 10, 12, skin, false);
            p.save();
            p.setClipPath(ellipsePath(head + QPointF(0, 1), 10, 12));
            p.setPen(Qt::NoPen);
            p.setBrush(hsv(0.3, 0.5, 0.3));
            p.drawEllipse(head + QPointF(0, -14), 14, 9);
            p.restore();
        } else {
            const QPainterPath hairBack =
                smoothClosed({{0, -34}, {15, -26}, {16, 0}, {12, 10}, {-12, 10}, {-16, 0}, {-15, -26}}, 0.9);
            fillOutlined(p, hairBack, shadedBrush(hairBack.boundingRect(), hair), outline, s.line);
            paintFace(s, head, 10.5, 12.5, skin, false);
            if (s.named("Lady") || s.named("Duelist") || r.chance(0.4)) {
                QPainterPath fringe;
                fringe.moveTo(-11, -18);
                fringe.quadTo(-4, -32, 11, -20);
                fringe.quadTo(2, -24, -11, -18);
                fillOutlined(p, fringe, hair, outline, 1.2);
            } else {
                QPainterPath helm;
                helm.moveTo(-12.5, -16);
                helm.cubicTo(-12.5, -34, 12.5, -34, 12.5, -16);
                helm.closeSubpath();
                fillOutlined(p, helm, shadedBrush(helm.boundingRect(), metal.base), outline, s.line);
            }
            if (s.named("Lady") || r.chance(0.4)) {
                const QPainterPath circlet =
                    polygonPath({{-10, -25}, {0, -31}, {10, -25}, {10, -23}, {0, -28}, {-10, -23}});
                fillOutlined(p, circlet, QColor(236, 196, 80), outline, 1.0);
            }
        }
    } else {
        // Closed helm with a slit visor and a plume.
        QPainterPath plume;
        plume.moveTo(0, -34);
        plume.cubicTo(-8, -54, 14, -60, 26, -50);
        plume.cubicTo(16, -50, 10, -44, 8, -32);
        plume.closeSubpath();
        fillOutlined(p, plume, verticalBrush(plume.boundingRect(), pal.accentLight, pal.accent), outline,
                     s.line);
        QPainterPath helm;
        helm.moveTo(-13, 2);
        helm.lineTo(-14, -24);
        helm.cubicTo(-14, -38, 14, -38, 14, -24);
        helm.lineTo(13, 2);
        helm.quadTo(0, 6, -13, 2);
        helm.closeSubpath();
        fillOutlined(p, helm, shadedBrush(helm.boundingRect(), metal.base), outline, s.line);
        QPainterPath slit;
        slit.addRect(QRectF(-11, -17, 22, 3.4));
        slit.addRect(QRectF(-1.7, -17, 3.4, 14));
        fillOutlined(p, slit.simplified(), QColor(16, 12, 16), outline, 0.8);
        p.setPen(QPen(metal.dark, 1.4));
        p.drawLine(QPointF(0, -34), QPointF(0, -19));
        paintRivets(p, {{-9, -6}, {9, -6}, {-10, -24}, {10, -24}}, metal.base);
        paintGloss(p, QRectF(-10, -32, 8, 10), 120);
    }

    if (r.chance(0.45) && weapon != 1) {
        // A kite shield carried in front.
        QPainterPath shield;
        shield.moveTo(-34, 6);
        shield.quadTo(-22, 2, -10, 6);
        shield.quadTo(-10, 30, -22, 42);
        shield.quadTo(-34, 30, -34, 6);
        shield.closeSubpath();
        fillOutlined(p, shield, shadedBrush(shield.boundingRect(), pal.body), outline, s.line);
        p.save();
        p.setClipPath(shield);
        p.setPen(Qt::NoPen);
        p.setBrush(pal.light);
        p.drawRect(QRectF(-24.5, 0, 5, 44));
        p.restore();
        fillOutlined(p, emblemPath(r.range(0, 3), QPointF(-22, 18), 5), QColor(236, 196, 80), outline, 1.0);
    }
}

// Tier 9: the great wyrms, in profile.
void paintWyrm(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const Palette& pal = s.pal;
    const QColor outline(22, 14, 18);
    const QColor bone(246, 236, 210);
    const QColor boneDark(150, 128, 96);
    const bool wingless = s.named("Serpent") || s.named("Basilisk") || s.named("Leviathan");
    const bool sea = s.named("Leviathan") || s.named("Reef");

    p.save();
    if (r.chance(0.5)) p.scale(-1, 1);
    p.rotate(r.uniform(-6, 6));

    if (!wingless) {
        const qreal reach = r.uniform(0.9, 1.15);
        const QPointF elbow(-28 * reach, -32 * reach);
        const QPointF tips[] = {QPointF(-48, -46) * reach, QPointF(-52, -16) * reach, QPointF(-46, 6) * reach,
                                QPointF(-36, 20)};
        QPainterPath wing;
        wing.moveTo(-12, 6);
        wing.lineTo(elbow);
        wing.lineTo(tips[0]);
        for (int i = 1; i < 4; ++i) {
            const QPointF mid = (tips[i - 1] + tips[i]) / 2 + QPointF(7, 0);
            wing.quadTo(mid, tips[i]);
        }
        wing.quadTo(QPointF(-24, 12), QPointF(-12, 22));
        wing.closeSubpath();
        fillOutlined(p, wing, verticalBrush(wing.boundingRect(), mix(pal.accent, pal.shade, 0.35), pal.shade),
                     outline, s.line);
        p.setPen(QPen(outline, 1.6, Qt::SolidLine, Qt::RoundCap));
        for (int i = 1; i < 4; ++i) p.drawLine(elbow, tips[i]);
        fillOutlined(p,
                     polygonPath({elbow + QPointF(-1, -1), elbow + QPointF(-6, -8), elbow + QPointF(3, -3)}),
                     bone, outline, 1.0);
    } else if (sea) {
        const QPainterPath fin = polygonPath({{-18, 6}, {-42, -16}, {-34, 2}, {-46, 10}, {-20, 22}});
        fillOutlined(p, fin, pal.accent, outline, s.line);
    }

    // Neck from the bottom left up to the head.
    const qreal sway = r.uniform(-5, 5);
    const QPainterPath neck = smoothClosed({{-30, 46},
                                            {-22 + sway, 12},
                                            {-14 + sway, -10},
                                            {-4, -22},
                                            {10, -24},
                                            {10, -6},
                                            {2 + sway, 6},
                                            {0 + sway, 24},
                                            {6, 46}},
                                           0.8);
    const int spines = r.range(4, 6);
    for (int i = 0; i < spines; ++i) {
        const qreal t = (i + 0.5) / spines;
        const QPointF at = QPointF(-28 + t * 22 + sway * std::sin(t * kPi), 40 - t * 60);
        fillOutlined(p, polygonPath({at + QPointF(-1, 5), at + QPointF(-11, -2), at + QPointF(2, -3)}),
                     pal.accent, outline, 1.2);
    }
    fillOutlined(p, neck, shadedBrush(neck.boundingRect(), pal.body), outline, s.line);
    p.save();
    p.setClipPath(neck);
    p.setPen(QPen(withAlpha(outline, 120), 1.2));
    p.setBrush(withAlpha(pal.light, 210));
    for (int i = 0; i < 6; ++i) {
        const qreal y = 42 - i * 9;
        p.drawEllipse(QPointF(3 + sway * std::sin(i / 6.0 * kPi) - i * 0.4 + (i > 3 ? 4 : 0), y), 7, 3.4);
    }
    p.restore();

    // The head tilts about the top of the neck.
    const QPointF pivot(2, -18);
    p.save();
    p.translate(pivot);
    p.rotate(r.uniform(-12, 10));
    p.translate(-pivot);

    // Horns sweep back from the crown of the skull and curl at the tip.
    const int horns = r.range(1, 2);
    const qreal hornLength = r.uniform(0.8, 1.05);
    for (int i = horns - 1; i >= 0; --i) {
        const QPointF root(4 + i * 8, -33 + i);
        const qreal k = hornLength * (i == 0 ? 1.0 : 0.75);
        const QPainterPath horn = taperedStroke(
            {root, root + QPointF(-10, -9) * k, root + QPointF(-21, -8) * k, root + QPointF(-26, -1) * k},
            9 - i * 2, 1.0);
        fillOutlined(p, horn, verticalBrush(horn.boundingRect(), bone, boneDark), outline, s.line * 0.9);
        p.save();
        p.setClipPath(horn);
        p.setPen(QPen(withAlpha(boneDark, 200), 1.0));
        for (int ring = 1; ring < 4; ++ring) {
            const QPointF at = root + QPointF(-6.5 * ring, -6.5 + ring * 0.8) * k;
            p.drawLine(at + QPointF(-2, -4), at + QPointF(2, 4));
        }
        p.restore();
    }
    // A frill of spikes at the back of the jaw.
    const QPainterPath frill =
        polygonPath({{0, -24}, {-16, -30}, {-8, -22}, {-18, -18}, {-8, -15}, {-14, -8}, {2, -12}});
    fillOutlined(p, frill, pal.accent, outline, 1.2);

    const bool open = r.chance(0.55) || s.card.element != 0;
    const qreal jawDrop = open ? r.uniform(8, 12) : 0;
    if (open) {
        if (s.card.element != 0) {
            const QColor breath = elementInfo(s.card.element).colour;
            for (int i = 0; i < 4; ++i) {
                const QPointF c(46 + i * 3.5, -14 + jawDrop * 0.5 + r.uniform(-3, 3) - i * 2);
                paintGlowSpot(p, c, 11 - i, breath);
            }
        }
        const QPainterPath mouthInside = polygonPath({{14, -16}, {42, -18}, {40, -12 + jawDrop}, {14, -10}});
        fillOutlined(p, mouthInside, QColor(120, 20, 30), outline, 1.0);
        const QPainterPath jaw = smoothClosed(
            {{4, -10}, {22, -10}, {40, -12 + jawDrop}, {38, -6 + jawDrop}, {16, -2}, {4, -2}}, 0.6);
        fillOutlined(p, jaw, shadedBrush(jaw.boundingRect(), pal.body), outline, s.line);
        p.setPen(QPen(outline, 0.8));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i) {
            const qreal x = 24 + i * 5;
            const qreal y = -10 + jawDrop * (x - 14) / 26;
            p.drawPolygon(QPolygonF({QPointF(x, y - 0.5), QPointF(x + 3, y - 1), QPointF(x + 1.5, y - 5)}));
        }
    }
    const QPainterPath skull = smoothClosed({{-8, -28},
                                             {2, -38},
                                             {16, -36},
                                             {30, -28},
                                             {44, -24},
                                             {46, -18},
                                             {42, -13},
                                             {24, -12},
                                             {8, -8},
                                             {-6, -14}},
                                            0.8);
    fillOutlined(p, skull, shadedBrush(skull.boundingRect(), pal.body), outline, s.line);
    if (open) {
        p.setPen(QPen(outline, 0.8));
        p.setBrush(Qt::white);
        for (int i = 0; i < 4; ++i) {
            const qreal x = 22 + i * 5;
            p.drawPolygon(QPolygonF({QPointF(x, -13), QPointF(x + 3, -13), QPointF(x + 1.5, -8.5)}));
        }
    } else {
        p.setPen(QPen(outline, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, -13), QPointF(42, -15));
        p.setPen(QPen(outline, 0.8));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(34, -14.6), QPointF(37, -14.8), QPointF(35.5, -10.5)}));
    }
    // Scales along the snout, brow ridge, eye and nostril.
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(pal.shade, 200));
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(24 + i * 6, -27 + i * 1.2), 2.2, 1.4);
    p.setBrush(pal.shade);
    p.drawPolygon(QPolygonF({QPointF(4, -33), QPointF(24, -31), QPointF(10, -27)}));
    paintEye(p, QPointF(13, -26), 3.4, EyeKind::Slit, glowFor(s, QColor(255, 210, 60)), outline,
             QPointF(0.6, 0));
    p.setBrush(outline);
    p.drawEllipse(QPointF(41, -22), 1.6, 1.1);
    if (s.named("Grimmoth") || s.named("Old")) {
        // Whiskers of a very old wyrm.
        QPainterPath whisker;
        whisker.moveTo(40, -18);
        whisker.cubicTo(50, -12, 46, 2, 56, 6);
        strokeOutlined(p, whisker, bone, 1.2, outline, 0.7);
    }
    paintGloss(p, QRectF(18, -35, 14, 4), 110);
    p.restore();
    p.restore();
}

// Tier 10: the sovereigns, crowned and haloed.
void paintSovereign(Sketch& s) {
    QPainter& p = s.p;
    Random& r = s.r;
    const Palette& pal = s.pal;
    const QColor outline(30, 20, 24);
    const QColor gold(238, 196, 72);
    const QColor goldDark(160, 110, 30);
    const bool hollow = s.named("Hollow");
    const bool engine = s.named("Engine");
    const bool elder = s.named("Root");
    const bool warlord = s.named("Warlord");
    const bool winged = s.named("Archon") || s.named("Saint") || s.named("Astra");
    const QColor glow = glowFor(s, QColor(255, 240, 170));
    const int hand = r.chance(0.5) ? 1 : -1; // which side holds the sceptre

    p.save();
    p.scale(1.08, 1.08);
    const QPointF headC(0, -18);

    // Halo: rays, a plain ring, or a ring of stars.
    const int haloKind = r.range(0, 2);
    {
        p.save();
        p.setPen(Qt::NoPen);
        QRadialGradient g(headC, 40);
        g.setColorAt(0.0, withAlpha(mix(glow, Qt::white, 0.6), 230));
        g.setColorAt(0.6, withAlpha(glow, 140));
        g.setColorAt(1.0, withAlpha(glow, 0));
        p.setBrush(g);
        if (haloKind == 0)
            p.drawPath(starPath(headC, 16, 42, 22, -90));
        else
            p.drawEllipse(headC, 34, 34);
        p.restore();
        p.setPen(QPen(gold, 2.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(headC, 20, 20);
        p.setPen(QPen(goldDark, 0.8));
        p.drawEllipse(headC, 21.4, 21.4);
        if (haloKind == 2) {
            for (int i = 0; i < 8; ++i) {
                const double a = -kPi / 2 + i * kPi / 4;
                fillOutlined(p, starPath(headC + QPointF(std::cos(a) * 28, std::sin(a) * 28), 4, 3.6, 1.2),
                             QColor(255, 250, 220), goldDark, 0.6);
            }
        }
    }

    if (winged) {
        // Two layers of feathers fanned up and out from each shoulder.
        for (int side : {-1, 1}) {
            p.save();
            p.scale(side, 1);
            const QPointF shoulder(14, -4);
            for (int k = 0; k < 7; ++k) {
                const QPainterPath f = featherAt(shoulder, -70 + k * 13, 46 - k * 3.5, 9);
                fillOutlined(p, f,
                             verticalBrush(f.boundingRect(), QColor(255, 255, 252),
                                           mix(glow, QColor(190, 190, 205), 0.5)),
                             outline, s.line * 0.7);
            }
            for (int k = 0; k < 5; ++k) {
                const QPainterPath f = featherAt(shoulder + QPointF(2, 0), -58 + k * 15, 26, 9);
                fillOutlined(
                    p, f,
                    verticalBrush(f.boundingRect(), mix(glow, Qt::white, 0.6), mix(glow, Qt::white, 0.2)),
                    outline, s.line * 0.7);
            }
            p.restore();
        }
    }

    // Robe: a gown, or armour for a warlord.
    const QPainterPath robe =
        smoothClosed({{-18, -4}, {-30, 20}, {-38, 44}, {38, 44}, {30, 20}, {18, -4}, {0, -8}}, 0.6);
    fillOutlined(p, robe, shadedBrush(robe.boundingRect(), pal.body), outline, s.line);
    p.save();
    p.setClipPath(robe);
    p.setPen(Qt::NoPen);
    if (warlord) {
        const QPainterPath plate = smoothClosed({{-16, -2}, {-14, 26}, {0, 32}, {14, 26}, {16, -2}}, 0.6);
        fillOutlined(p, plate, shadedBrush(plate.boundingRect(), QColor(150, 150, 164)), outline, s.line);
        fillOutlined(p, starPath(QPointF(0, 12), 4, 8, 3, -90), gold, outline, 1.0);
    } else {
        p.setBrush(verticalBrush(QRectF(-8, -8, 16, 52), gold, goldDark));
        p.drawRect(QRectF(-6, -8, 12, 54));
        p.setBrush(pal.accent);
        for (int i = 0; i < 4; ++i)
            p.drawPath(
                polygonPath({{0, 4.0 + i * 10}, {4, 8.0 + i * 10}, {0, 12.0 + i * 10}, {-4, 8.0 + i * 10}}));
        // Embroidered hem.
        p.setBrush(withAlpha(gold, 220));
        p.drawRect(QRectF(-40, 38, 80, 3));
    }
    p.restore();

    // Mantle: ermine, or spiked pauldrons for a warlord.
    if (warlord) {
        for (int side : {-1, 1}) {
            const QPainterPath pauldron = smoothClosed(
                {{side * 6.0, -4}, {side * 22.0, -10}, {side * 32.0, 2}, {side * 26.0, 10}, {side * 8.0, 6}},
                0.9);
            fillOutlined(p, polygonPath({{side * 18.0, -8}, {side * 26.0, -22}, {side * 26.0, -6}}),
                         QColor(210, 210, 220), outline, 1.2);
            fillOutlined(p, pauldron, shadedBrush(pauldron.boundingRect(), QColor(130, 130, 146)), outline,
                         s.line);
        }
    } else {
        const QPainterPath mantle =
            smoothClosed({{-26, 6}, {-20, -6}, {0, -9}, {20, -6}, {26, 6}, {0, 12}}, 0.7);
        fillOutlined(p, mantle, shadedBrush(mantle.boundingRect(), QColor(246, 244, 236)), outline, s.line);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 26, 30));
        for (int i = -2; i <= 2; ++i) p.drawRect(QRectF(i * 9 - 0.8, 1 + std::abs(i) * -0.6, 1.6, 3.4));
    }

    // What the sovereign holds.
    const int held = warlord ? 2 : (s.named("Tide") ? 3 : r.range(0, 1));
    p.save();
    p.scale(hand, 1);
    if (held == 0 || held == 3) {
        QPainterPath staff;
        staff.moveTo(24, 42);
        staff.lineTo(28, -26);
        strokeOutlined(p, staff, gold, 2.6, outline, 1.0);
        if (held == 3) {
            QPainterPath prongs;
            prongs.moveTo(22, -30);
            prongs.quadTo(22, -24, 28, -24);
            prongs.quadTo(34, -24, 34, -30);
            prongs.moveTo(28, -24);
            prongs.lineTo(28, -36);
            strokeOutlined(p, prongs, gold, 2.2, outline, 1.0);
        } else {
            paintGlowSpot(p, QPointF(28, -30), 10, glow);
            fillOutlined(p, ellipsePath(QPointF(28, -30), 4.5, 4.5), mix(glow, Qt::white, 0.3), outline, 1.2);
        }
        fillOutlined(p, ellipsePath(QPointF(25, 8), 4, 3.5), QColor(242, 204, 172), outline, 1.0);
    } else if (held == 1) {
        paintGlowSpot(p, QPointF(0, 22), 12, glow);
        fillOutlined(p, ellipsePath(QPointF(0, 22), 6, 6),
                     verticalBrush(QRectF(-6, 16, 12, 12), mix(glow, Qt::white, 0.5), glow), outline, 1.4);
        fillOutlined(p, starPath(QPointF(0, 14), 4, 3, 1.2), gold, outline, 0.6);
    } else {
        p.save();
        p.translate(26, 10);
        p.rotate(-20);
        const QPainterPath blade = polygonPath({{-3, 0}, {-3, -46}, {0, -52}, {3, -46}, {3, 0}});
        fillOutlined(p, blade,
                     verticalBrush(blade.boundingRect(), QColor(240, 244, 250), QColor(150, 160, 175)),
                     outline, s.line);
        QPainterPath guard;
        guard.addRoundedRect(QRectF(-9, -2, 18, 4.5), 2, 2);
        fillOutlined(p, guard, gold, outline, 1.2);
        p.restore();
        fillOutlined(p, ellipsePath(QPointF(26, 10), 4, 3.5), QColor(214, 164, 124), outline, 1.0);
    }
    p.restore();

    // Head.
    if (hollow) {
        const QPainterPath hood =
            smoothClosed({{0, -46}, {16, -30}, {17, -8}, {0, -2}, {-17, -8}, {-16, -30}}, 0.9);
        fillOutlined(p, hood, shadedBrush(hood.boundingRect(), pal.shade), outline, s.line);
        fillOutlined(p, ellipsePath(headC + QPointF(0, 2), 9.5, 11.5), QColor(10, 6, 14), outline, 1.0);
        for (int side : {-1, 1}) {
            paintGlowSpot(p, headC + QPointF(side * 4, 0), 5, glow);
            p.setPen(Qt::NoPen);
            p.setBrush(mix(glow, Qt::white, 0.6));
            p.drawEllipse(headC + QPointF(side * 4, 0), 1.7, 1.3);
        }
    } else if (engine) {
        QPainterPath helm;
        helm.addRoundedRect(QRectF(-12, -34, 24, 28), 5, 5);
        fillOutlined(p, helm, shadedBrush(helm.boundingRect(), QColor(190, 196, 210)), outline, s.line);
        QPainterPath visor;
        visor.addRoundedRect(QRectF(-9, -24, 18, 6), 3, 3);
        fillOutlined(p, visor, QColor(16, 16, 22), outline, 1.0);
        paintGlowSpot(p, QPointF(0, -21), 10, glow);
        p.setPen(Qt::NoPen);
        p.setBrush(mix(glow, Qt::white, 0.5));
        p.drawRoundedRect(QRectF(-7, -22.4, 14, 2.8), 1.4, 1.4);
        fillOutlined(p, gearPath(QPointF(0, -38), 9, 7, 8, 3), gold, outline, 1.2);
    } else {
        const QColor hair = elder ? hsv(0.3, 0.5, 0.45) : r.pick(kHair);
        const bool longHair = !warlord && r.chance(0.6);
        const QPainterPath hairBack =
            longHair ? smoothClosed({{0, -36},
                                     {15, -26},
                                     {18, 4},
                                     {20, 16},
                                     {8, 12},
                                     {-8, 12},
                                     {-20, 16},
                                     {-18, 4},
                                     {-15, -26}},
                                    0.9)
                     : smoothClosed({{0, -36}, {14, -26}, {15, -6}, {10, 0}, {-10, 0}, {-15, -6}, {-14, -26}},
                                    0.9);
        fillOutlined(p, hairBack, shadedBrush(hairBack.boundingRect(), hair), outline, s.line);
        QColor skin = r.pick(kSkins);
        if (elder) skin = hsv(0.1, 0.45, 0.55);
        paintFace(s, headC, 10.5, 12.5, skin, r.chance(0.4));
        if (warlord || s.named("Regent") || elder) {
            QPainterPath beard;
            beard.moveTo(-10, -16);
            beard.quadTo(-10, 2, 0, 6);
            beard.quadTo(10, 2, 10, -16);
            beard.quadTo(6, -8, 0, -9);
            beard.quadTo(-6, -8, -10, -16);
            beard.closeSubpath();
            fillOutlined(p, beard, shadedBrush(beard.boundingRect(), elder ? hsv(0.3, 0.4, 0.6) : hair),
                         outline, 1.2);
            p.setPen(QPen(QColor(40, 24, 20), 1.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(-3, -10), QPointF(3, -10));
        }
        if (elder) {
            for (int side : {-1, 1}) {
                const QPainterPath antler =
                    taperedStroke({{side * 7.0, -28}, {side * 14.0, -42}, {side * 26.0, -50}}, 4, 1.2);
                fillOutlined(p, antler, hsv(0.08, 0.45, 0.5), outline, 1.0);
                const QPainterPath tine =
                    taperedStroke({{side * 14.0, -42}, {side * 13.0, -50}, {side * 15.0, -56}}, 3, 1);
                fillOutlined(p, tine, hsv(0.08, 0.45, 0.5), outline, 1.0);
                fillOutlined(p, leafShape(QPointF(side * 25.0, -50), side > 0 ? -30 : -150, 10, 4),
                             hsv(0.3, 0.7, 0.7), outline, 1.0);
            }
        }
    }

    // Crown.
    if (!hollow && !engine) {
        const int kind = warlord ? 2 : r.range(0, 2);
        QPainterPath crown;
        if (kind == 0)
            crown =
                polygonPath({{-11, -26}, {-12, -38}, {-6, -32}, {0, -42}, {6, -32}, {12, -38}, {11, -26}});
        else if (kind == 1)
            crown = polygonPath({{-11, -26}, {-10, -33}, {10, -33}, {11, -26}});
        else
            crown = polygonPath({{-11, -26}, {-18, -44}, {-7, -33}, {7, -33}, {18, -44}, {11, -26}});
        if (s.named("Ember")) {
            for (int i = -1; i <= 1; ++i) {
                QPainterPath flame;
                flame.moveTo(i * 7 - 4, -32);
                flame.quadTo(i * 7 - 3, -44, i * 7 + 1, -52 + std::abs(i) * 5);
                flame.quadTo(i * 7 + 5, -42, i * 7 + 4, -32);
                flame.closeSubpath();
                fillOutlined(p, flame,
                             verticalBrush(flame.boundingRect(), QColor(255, 230, 120), QColor(240, 90, 30)),
                             outline, 1.2);
            }
        }
        fillOutlined(p, crown, verticalBrush(crown.boundingRect(), mix(gold, Qt::white, 0.3), goldDark),
                     outline, s.line);
        p.setPen(Qt::NoPen);
        p.setBrush(pal.accent);
        p.drawEllipse(QPointF(0, -29.5), 2.2, 2.2);
        p.setBrush(glow);
        p.drawEllipse(QPointF(-6, -29.5), 1.4, 1.4);
        p.drawEllipse(QPointF(6, -29.5), 1.4, 1.4);
    }
    p.restore();
}

} // namespace artgen
