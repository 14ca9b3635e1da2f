#include "Showcase.h"

#include "Elements.h"
#include "ImageFiles.h"
#include "Lettering.h"
#include "PaintKit.h"
#include "TableArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <cmath>

namespace artgen {

namespace {

// The game shrinks 100 x 127 faces to 85 x 110 without filtering; the sheet
// shows them the same way so what is judged here is what players see.
QImage asInGame(const QImage& face) {
    return face.copy(0, 0, 100, 127).scaled(85, 110, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void label(QPainter& p, const QString& text, QPointF at, int size = 14, QColor colour = QColor(30, 30, 36)) {
    p.save();
    p.setFont(captionFont(Face::SansBold, size));
    p.setPen(colour);
    p.drawText(at, text);
    p.restore();
}

// A match in progress, composed in the game's drawing order with its layout.
QImage mockMatch(const ArtSet& art, const Catalogue& catalogue, bool withBanner) {
    using namespace table;
    QImage screen = art.board.convertToFormat(QImage::Format_RGB32);
    QPainter p(&screen);
    struct Placed {
        int row, col, card, owner;
    };
    const Placed placed[] = {{0, 0, 107, 0}, {0, 2, 94, 1}, {1, 1, 58, 1}, {2, 0, 12, 0}, {2, 2, 101, 1}};
    const int elementsOnBoard[3][3] = {{0, 0, 0}, {0, 0, 3}, {5, 0, 0}};
    p.end();

    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const int e = elementsOnBoard[row][col];
            bool occupied = false;
            for (const Placed& pl : placed) occupied = occupied || (pl.row == row && pl.col == col);
            const int cx = kBoardLeft + kSquareWidth * col + 42;
            const int cy = kBoardTop + kSquareHeight * row + 55;
            if (e != 0 && !occupied) {
                const QImage& icon = art.elements[static_cast<std::size_t>(e - 1)];
                drawKeyed(screen, icon,
                          QPoint(static_cast<int>(cx - icon.width() * 0.5),
                                 static_cast<int>(cy - icon.height() * 0.5)));
            }
        }
    }
    p.begin(&screen);
    for (const Placed& pl : placed) {
        const QImage& face = (pl.owner == 0 ? art.red : art.blue)[static_cast<std::size_t>(pl.card - 1)];
        p.drawImage(QPoint(kBoardLeft + kSquareWidth * pl.col, kBoardTop + kSquareHeight * pl.row),
                    asInGame(face));
    }
    p.end();
    // Card 12 lies on the Tide square: neutral, so it shows the minus sign.
    {
        const int cx = kBoardLeft + 42;
        const int cy = kBoardTop + 2 * kSquareHeight + 55;
        const bool match = catalogue.cards[11].element == 5;
        const QImage& s = match ? art.plusSign : art.minusSign;
        drawKeyed(
            screen, s,
            QPoint(static_cast<int>(cx - s.width() * 0.5 - 9), static_cast<int>(cy - s.height() * 0.5)));
        const QImage& one = art.digits[0];
        drawKeyed(
            screen, one,
            QPoint(static_cast<int>(cx - one.width() * 0.5 + 9), static_cast<int>(cy - one.height() * 0.5)));
    }

    const int hands[2][5] = {{3, 36, 66, 89, -1}, {22, 45, 77, 104, -1}};
    const int turn = 0;
    const int cursor = 1;
    p.begin(&screen);
    for (int side = 0; side < 2; ++side) {
        for (int slot = 0; slot < 5; ++slot) {
            const int card = hands[side][slot];
            if (card < 0) continue;
            const bool selected = !withBanner && side == turn && slot == cursor;
            const int shift = selected ? (side == 0 ? 20 : -20) : 0;
            const QImage& face = (side == 0 ? art.red : art.blue)[static_cast<std::size_t>(card - 1)];
            p.drawImage(QPoint(kHandX[side] + shift, kHandTop + kHandStep * slot), asInGame(face));
            if (selected) {
                p.end();
                const int offsetY = static_cast<int>(55 - art.handLeft.height() * 0.5);
                const QImage& hand = side == 0 ? art.handLeft : art.handRight;
                const int left = side == 0 ? 105 : static_cast<int>(407 - hand.width());
                drawKeyed(screen, hand, QPoint(left, kHandTop + kHandStep * slot + offsetY));
                p.begin(&screen);
            }
        }
        p.end();
        const QImage& score = art.digits[static_cast<std::size_t>(side == 0 ? 4 : 3)];
        drawKeyed(screen, score,
                  QPoint(static_cast<int>(kHandX[side] + 42 - score.width() * 0.5), kScoreTop));
        p.begin(&screen);
    }
    if (!withBanner) {
        const int boxLeft = static_cast<int>(art.board.width() * 0.5 - art.nameBox.width() * 0.5);
        p.drawImage(QPoint(boxLeft, kNameBoxTop), art.nameBox);
        p.setFont(captionFont(Face::Sans, 16));
        p.setPen(Qt::white);
        const QString name = catalogue.cards[static_cast<std::size_t>(hands[turn][cursor] - 1)].displayName();
        p.drawText(QRect(0, kNameTextTop - 2, art.board.width(), 20), Qt::AlignHCenter | Qt::AlignTop, name);
        p.setFont(captionFont(Face::Sans, 12));
        p.drawText(QPoint(0, 12), QStringLiteral("FPS: 60"));
        p.end();
    } else {
        p.end();
        // Mid-flip: a card narrowed to its back, and the Combo banner.
        const QImage back =
            art.cardBack.copy(0, 0, 100, 127).scaled(40, 110, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QPainter q(&screen);
        q.drawImage(QPoint(kBoardLeft + kSquareWidth + 22, kBoardTop), back);
        q.end();
        drawKeyed(screen, art.comboText,
                  QPoint((512 - art.comboText.width()) / 2, (384 - art.comboText.height()) / 2));
    }
    return screen;
}

} // namespace

void drawKeyed(QImage& target, const QImage& image, QPoint at) {
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const int ty = at.y() + y;
        if (ty < 0 || ty >= target.height()) continue;
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* t = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int x = 0; x < src.width(); ++x) {
            const int tx = at.x() + x;
            if (tx >= 0 && tx < target.width() && (s[x] | 0xFF000000u) != kKeyColour)
                t[tx] = s[x] | 0xFF000000u;
        }
    }
}

QImage appIcon(const ArtSet& art) {
    QImage image(128, 128, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // A red and a blue face crossed, as on the table at the end of a turn.
    const struct {
        const QImage& face;
        double angle;
        QPointF centre;
    } cards[2] = {{art.red[97], -14.0, QPointF(50, 66)}, {art.blue[108], 12.0, QPointF(78, 62)}};
    for (const auto& card : cards) {
        p.save();
        p.translate(card.centre);
        p.rotate(card.angle);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 80));
        p.drawRoundedRect(QRectF(-37 + 3, -47 + 4, 74, 94), 4, 4);
        p.drawImage(QRectF(-37, -47, 74, 94), card.face);
        p.restore();
    }
    p.end();
    return image;
}

QImage splashPicture(const ArtSet& art) {
    QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QRadialGradient grey(QPointF(160, 130), 210);
    grey.setColorAt(0.0, QColor(168, 168, 172));
    grey.setColorAt(1.0, QColor(78, 78, 84));
    p.fillRect(image.rect(), grey);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1.0));
    for (int k = -240; k < 320; k += 10) p.drawLine(QPointF(k, 0), QPointF(k + 240, 240));

    // Five cards of rising rank, fanned about a point below the picture.
    const int cards[5] = {7, 40, 63, 95, 108};
    const QPointF pivot(160, 372);
    for (int i = 0; i < 5; ++i) {
        const double angle = (i - 2) * 13.0;
        const QImage& face = (i % 2 == 0 ? art.red : art.blue)[static_cast<std::size_t>(cards[i] - 1)];
        p.save();
        p.translate(pivot);
        p.rotate(angle);
        p.translate(0, -236);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawRoundedRect(QRectF(-46 + 4, -58 + 5, 92, 117), 3, 3);
        p.drawImage(QRectF(-46, -58, 92, 117), face);
        p.restore();
    }

    const QPainterPath title = textPath(QStringLiteral("Vantaro"), Face::SerifBold, 38, QPointF(160, 34));
    p.setPen(QPen(QColor(0, 0, 0, 90), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(title.translated(2, 3));
    QLinearGradient gold(0, title.boundingRect().top(), 0, title.boundingRect().bottom());
    gold.setColorAt(0.0, QColor(255, 240, 180));
    gold.setColorAt(0.55, QColor(236, 180, 60));
    gold.setColorAt(1.0, QColor(170, 110, 30));
    paintOutlined(p, title, QBrush(gold), QColor(34, 18, 8), 5.0);
    p.end();
    return toOpaque(image);
}

QImage contactSheet(const ArtSet& art, const Catalogue& catalogue) {
    constexpr int width = 1100;
    constexpr int margin = 20;
    constexpr int cell = 89;
    const int facesTop = 60;
    const int facesHeight = 10 * 116;
    const int matchTop = facesTop + facesHeight + 40;
    const int partsTop = matchTop + 384 + 50;
    const int height = partsTop + 560;

    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(QColor(214, 212, 206));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);

    label(p,
          QStringLiteral("Vantaro art - all 110 faces at game size (85 x 110, nearest neighbour), red and "
                         "blue alternating"),
          QPointF(margin, 30), 16);
    for (const CardRecord& card : catalogue.cards) {
        const int i = card.number - 1;
        const int row = i / 11;
        const int col = i % 11;
        const bool red = (row + col) % 2 == 0;
        const QImage& face = (red ? art.red : art.blue)[static_cast<std::size_t>(i)];
        const int x = margin + col * (cell + 2);
        const int y = facesTop + row * 116;
        p.drawImage(QPoint(x, y), asInGame(face));
        if (col == 0)
            label(p, QStringLiteral("T%1").arg(row + 1), QPointF(x + 11 * (cell + 2) + 4, y + 60), 13);
    }
    // Full-size pair of one card in both colours, and the back.
    const int pairX = margin + 11 * (cell + 2) + 40;
    label(p, QStringLiteral("100 x 127 files"), QPointF(pairX, facesTop + 10), 12);
    for (int k = 0; k < 4; ++k) {
        const int card = (k * 29 + 5) % 110;
        p.drawImage(QPoint(pairX, facesTop + 20 + k * 270), art.red[static_cast<std::size_t>(card)]);
        p.drawImage(QPoint(pairX, facesTop + 20 + k * 270 + 131), art.blue[static_cast<std::size_t>(card)]);
    }

    label(p, QStringLiteral("A match as the game composes it (1:1), and mid-flip with a banner"),
          QPointF(margin, matchTop - 12), 16);
    p.drawImage(QPoint(margin, matchTop), mockMatch(art, catalogue, false));
    p.drawImage(QPoint(margin + 512 + 20, matchTop), mockMatch(art, catalogue, true));

    label(p, QStringLiteral("Keyed images on their magenta, and the opaque parts"),
          QPointF(margin, partsTop - 12), 16);
    int x = margin;
    int y = partsTop;
    auto place = [&](const QImage& img, const QString& name) {
        if (x + img.width() > width - margin) {
            x = margin;
            y += 110;
        }
        p.drawImage(QPoint(x, y), img);
        label(p, name, QPointF(x, y + img.height() + 14), 11);
        x += std::max(img.width(), 60) + 16;
    };
    place(art.handLeft, QStringLiteral("HandLeft"));
    place(art.handRight, QStringLiteral("HandRight"));
    place(art.sameText, QStringLiteral("SameText"));
    place(art.plusText, QStringLiteral("PlusText"));
    place(art.comboText, QStringLiteral("ComboText"));
    x = margin;
    y += 100;
    for (int e = 1; e <= 8; ++e)
        place(art.elements[static_cast<std::size_t>(e - 1)],
              QStringLiteral("%1 %2").arg(e).arg(QLatin1String(elementInfo(e).name)));
    for (int d = 1; d <= 9; ++d) place(art.digits[static_cast<std::size_t>(d - 1)], QString::number(d));
    place(art.plusSign, QStringLiteral("+"));
    place(art.minusSign, QStringLiteral("-"));
    x = margin;
    y += 70;
    place(art.cardBack, QStringLiteral("CardBack"));
    place(art.nameBox, QStringLiteral("CardNameInfoBox"));
    place(art.splash, QStringLiteral("Splash"));
    p.end();
    return sheet;
}

} // namespace artgen
