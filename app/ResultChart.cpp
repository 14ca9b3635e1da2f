#include "app/ResultChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

TResultChart::TResultChart(QWidget* parent) : QWidget(parent) {
    setObjectName("ResultChart");
    setMinimumHeight(72);
}

void TResultChart::SetPoints(std::vector<TPoint> points) {
    Shown = std::move(points);
    update();
}

void TResultChart::SetCurrent(int32_t moves) {
    if (moves == Current) return;
    Current = moves;
    update();
}

void TResultChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(30, 6, -8, -14);
    painter.fillRect(rect(), QColor(24, 28, 36));
    painter.setFont(QFont(font().family(), 7));
    // Red's side above the even line, Blue's below.
    painter.fillRect(QRectF(frame.left(), frame.top(), frame.width(), frame.height() / 2),
                     QColor(70, 30, 34));
    painter.fillRect(QRectF(frame.left(), frame.center().y(), frame.width(), frame.height() / 2),
                     QColor(28, 40, 74));
    painter.setPen(QColor(200, 200, 200));
    const auto yOf = [&](int32_t red) { return frame.bottom() - frame.height() * red / 10.0; };
    for (const int32_t red : {10, 5, 0})
        painter.drawText(QRectF(0, yOf(red) - 6, 27, 12), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(red) + QStringLiteral("\u2013") + QString::number(10 - red));
    painter.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
    painter.drawLine(QPointF(frame.left(), yOf(5)), QPointF(frame.right(), yOf(5)));
    if (Shown.empty()) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(frame, Qt::AlignCenter, "Review scores every move");
        return;
    }
    const int32_t count = int32_t(Shown.size());
    const auto xOf = [&](int32_t move) { return frame.left() + frame.width() * move / std::max(1, count); };
    // The move on the table.
    painter.setPen(QPen(QColor(255, 230, 120, 160), 2));
    const double at = xOf(std::clamp(Current, 0, count));
    painter.drawLine(QPointF(at, frame.top()), QPointF(at, frame.bottom()));
    // Before the first move nothing is known; the line starts at move 1.
    QPainterPath line;
    for (int32_t i = 0; i < count; ++i) {
        const QPointF point(xOf(i + 1), yOf(Shown[size_t(i)].RedCards));
        if (i == 0)
            line.moveTo(point);
        else
            line.lineTo(point);
    }
    painter.setPen(QPen(QColor(250, 250, 250), 1.6));
    painter.drawPath(line);
    for (int32_t i = 0; i < count; ++i) {
        if (!Shown[size_t(i)].ThrewAway) continue;
        painter.setPen(QPen(QColor(255, 170, 40), 1.6));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(xOf(i + 1), yOf(Shown[size_t(i)].RedCards)), 3.5, 3.5);
    }
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRectF(frame.left(), frame.bottom() + 1, frame.width(), 12), Qt::AlignLeft, "move 1");
    painter.drawText(QRectF(frame.left(), frame.bottom() + 1, frame.width(), 12), Qt::AlignRight,
                     QString::number(count));
}
