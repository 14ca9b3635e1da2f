#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

// The result best play forces after each move of a match, as cards Red ends
// with (10 down to 0), drawn as a line across the match over the 5–5 line;
// the moves that threw a result away are ringed.
class TResultChart : public QWidget {
public:
    struct TPoint {
        int32_t RedCards = 5;
        bool ThrewAway = false;
    };

    explicit TResultChart(QWidget* parent = nullptr);
    void SetPoints(std::vector<TPoint> points);
    const std::vector<TPoint>& Points() const { return Shown; }
    // The move now on the table (0: before the first), marked by a bar.
    void SetCurrent(int32_t moves);

    QSize sizeHint() const override { return {241, 96}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TPoint> Shown;
    int32_t Current = 0;
};
