#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QProgressBar;

// The splash window shown while the program loads. Each loading step names
// itself with SetTask, which shows the text at once and advances the bar.
class TProgressForm : public QWidget {
public:
    static constexpr int Steps = 112; // the device, the image set, 110 cards

    explicit TProgressForm(QWidget* parent = nullptr);

    void SetTask(const std::string& task);

    QLabel* SplashImage;
    QLabel* Label1;
    QProgressBar* Progress;
    QLabel* Label2;
    QLabel* TaskLabel;
};

extern TProgressForm* ProgressForm;
