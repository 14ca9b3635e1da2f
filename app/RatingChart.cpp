#include "app/RatingChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

TRatingChart::TRatingChart(QWidget* parent) : QWidget(parent) {
    setObjectName("RatingChart");
    setMinimumHeight(90);
}

void TRatingChart::SetRatings(std::vector<int32_t> ratings) {
    Shown = std::move(ratings);
    update();
}

std::pair<int32_t, int32_t> TRatingChart::Span(const std::vector<int32_t>& ratings) {
    if (ratings.empty()) return {1450, 1550};
    const auto [least, most] = std::minmax_element(ratings.begin(), ratings.end());
    const auto floor50 = [](int32_t rating) { return rating - ((rating % 50) + 50) % 50; };
    int32_t low = floor50(*least), high = -floor50(-*most);
    while (high - low < 100) {
        high += 50;
        if (high - low < 100) low -= 50;
    }
    return {low, high};
}

void TRatingChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(24, 28, 36));
    painter.setFont(QFont(font().family(), 7));
    const QRectF frame = QRectF(rect()).adjusted(36, 8, -8, -14);
    painter.fillRect(frame, QColor(34, 40, 52));
    const auto [low, high] = Span(Shown);
    const auto yOf = [&, low = low, high = high](int32_t rating) {
        return frame.bottom() - frame.height() * (rating - low) / double(high - low);
    };
    painter.setPen(QColor(200, 200, 200));
    for (const int32_t rating : {high, low})
        painter.drawText(QRectF(0, yOf(rating) - 6, 33, 12), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(rating));
    if (low < 1500 && 1500 < high) {
        painter.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
        painter.drawLine(QPointF(frame.left(), yOf(1500)), QPointF(frame.right(), yOf(1500)));
    }
    if (Shown.empty()) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(frame, Qt::AlignCenter, "No rated matches yet");
        return;
    }
    const qsizetype count = qsizetype(Shown.size());
    const auto xOf = [&](qsizetype i) {
        return count == 1 ? frame.center().x() : frame.left() + frame.width() * double(i) / double(count - 1);
    };
    QPainterPath line;
    for (qsizetype i = 0; i < count; ++i) {
        const QPointF point(xOf(i), yOf(Shown[size_t(i)]));
        if (i == 0)
            line.moveTo(point);
        else
            line.lineTo(point);
    }
    painter.setPen(QPen(QColor(255, 216, 96), 1.6));
    painter.drawPath(line);
    painter.setBrush(QColor(255, 216, 96));
    painter.drawEllipse(QPointF(xOf(count - 1), yOf(Shown.back())), 2.5, 2.5);
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRectF(frame.left(), frame.bottom() + 1, frame.width(), 12), Qt::AlignLeft,
                     count == 1 ? QStringLiteral("1 rated match")
                                : QStringLiteral("last %1 rated matches").arg(count));
    painter.drawText(QRectF(frame.left(), frame.bottom() + 1, frame.width(), 12), Qt::AlignRight,
                     QStringLiteral("now %1").arg(Shown.back()));
}
