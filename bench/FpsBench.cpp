// Frames per second of the real program while a match runs, read from its own
// counter, against a bare widget that only presents a static 512 x 384 image
// with repaint() as fast as the event loop allows. Both run in this process on
// the same display, one after the other. Needs a real X server (DISPLAY);
// run it under Xvfb for repeatable figures.
#include "app/Windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <cstdio>

namespace {

const QString Data = QStringLiteral(VANTARO_DATA_DIR);
constexpr int Seconds = 4;

class TBareWidget : public QWidget {
public:
    QImage Picture{512, 384, QImage::Format_RGB32};
    TBareWidget() {
        Picture.fill(QColor(30, 90, 60));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(512, 384);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, Picture);
    }
};

double BareRate() {
    TBareWidget widget;
    widget.show();
    QElapsedTimer clock;
    int64_t frames = 0;
    QTimer idle;
    idle.setInterval(0);
    QObject::connect(&idle, &QTimer::timeout, [&] {
        widget.repaint();
        ++frames;
        if (clock.elapsed() >= Seconds * 1000) QCoreApplication::quit();
    });
    QTimer::singleShot(500, [&] {
        clock.start();
        frames = 0;
        idle.start();
    });
    QApplication::exec();
    return double(frames) * 1000.0 / double(clock.elapsed());
}

// The program's own frame counter, read once a second while a match runs.
double GameRate() {
    QDir::setCurrent(QFileInfo(Data).path());
    CreateWindows();
    VantaroForm->show();
    double sum = 0;
    int samples = 0;
    QTimer::singleShot(300, [] { VantaroForm->FileNewGameClick(); });
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        // The first second holds the deal and the start; the rest is the match at rest.
        if (samples++ > 0) sum += VantaroForm->Game->Timer.FramesPerSecond;
        if (samples > Seconds) QCoreApplication::quit();
    });
    sampler.start();
    QApplication::exec();
    const bool running = VantaroForm->Game->InProgress;
    DestroyWindows();
    return running ? sum / Seconds : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "vantaro_bench_fps needs an X server: run it as  xvfb-run -a %s\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const double bare = BareRate();
    const double game = GameRate();
    const double share = bare > 0 ? game / bare : 0;
    std::printf("bare widget, repaint() of a static image: %8.0f frames per second\n", bare);
    std::printf("Vantaro while a match runs (its counter): %8.0f frames per second\n", game);
    std::printf("ratio %.2f  (target >= 0.70) %s\n", share, share >= 0.70 ? "met" : "MISSED");
    return 0;
}
