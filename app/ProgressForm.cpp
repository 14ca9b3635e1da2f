#include "app/ProgressForm.h"

#include <QLabel>
#include <QPixmap>
#include <QProgressBar>

TProgressForm* ProgressForm = nullptr;

TProgressForm::TProgressForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("ProgressForm");
    setFixedSize(320, 288);
    move(192, 107);

    SplashImage = new QLabel(this);
    QPixmap splash(":/Splash.bmp");
    if (splash.isNull()) {
        // Without the generated picture, a plain grey card table stands in.
        splash = QPixmap(320, 240);
        splash.fill(QColor(128, 128, 128));
    }
    SplashImage->setPixmap(splash);
    SplashImage->setGeometry(0, 0, 320, 240);

    Label1 = new QLabel("Please Wait While Vantaro Loads", this);
    Label1->move(0, 240);
    Label1->adjustSize();

    Progress = new QProgressBar(this);
    Progress->setGeometry(0, 256, 320, 16);
    Progress->setRange(0, Steps);
    Progress->setValue(0);
    Progress->setTextVisible(false);

    Label2 = new QLabel("Current Task: ", this);
    Label2->move(0, 272);
    Label2->adjustSize();

    TaskLabel = new QLabel(this);
    // Beside its caption, which is wider than the usual 72 pixels in some fonts.
    TaskLabel->move(std::max(72, Label2->x() + Label2->width()), 272);
    TaskLabel->adjustSize();
}

void TProgressForm::SetTask(const std::string& task) {
    // No events are processed while loading, so both controls paint now.
    TaskLabel->setText(QString::fromStdString(task));
    TaskLabel->adjustSize();
    TaskLabel->repaint();
    Progress->setValue(std::min(Progress->value() + 1, Progress->maximum()));
    Progress->repaint();
}
