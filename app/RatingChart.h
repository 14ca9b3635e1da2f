#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

// A player's rating after each of their rated matches, oldest on the left,
// drawn as a line over the range it spans, with 1500 (where everyone starts)
// marked when it is in view.
class TRatingChart : public QWidget {
public:
    explicit TRatingChart(QWidget* parent = nullptr);
    void SetRatings(std::vector<int32_t> ratings);
    const std::vector<int32_t>& Ratings() const { return Shown; }
    // The ratings the vertical axis spans: the points' range widened to whole
    // fifties, at least a hundred wide.
    static std::pair<int32_t, int32_t> Span(const std::vector<int32_t>& ratings);

    QSize sizeHint() const override { return {320, 110}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int32_t> Shown;
};
