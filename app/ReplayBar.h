#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class TResultChart;

// The replay's controls in the side window: start, back, play, forward,
// end, review and leave, where the replay stands, and the review's chart.
class TReplayBar : public QWidget {
public:
    struct TActions {
        std::function<void()> Start, Back, Play, Forward, End, Review, Leave;
    };

    TReplayBar(TActions actions, QWidget* parent = nullptr);
    // "3 / 9", whether play is running, whether a review can start.
    void Show(int32_t shown, int32_t count, bool playing, bool reviewing);

    QSize sizeHint() const override { return {241, 158}; }

    QPushButton* StartButton;
    QPushButton* BackButton;
    QPushButton* PlayButton;
    QPushButton* ForwardButton;
    QPushButton* EndButton;
    QPushButton* ReviewButton;
    QPushButton* LeaveButton;
    QLabel* Where;
    TResultChart* Chart;
};
