// What a player feels of the frame loop, on a real X server (run it as
// xvfb-run -a): the processor time the program takes while a dealt table
// waits for a key, against a bare widget presenting a still 512 x 384 picture
// through the same frame loop; the time it takes with the window minimised;
// the real length of the deal and of a flight; and how evenly the frames
// follow each other while the cards move.
#include "app/ChatForm.h"
#include "app/FrameLoop.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

const QString Data = QStringLiteral(VANTARO_DATA_DIR);
constexpr int MeasuredMs = 5000;
constexpr double CpuGoal = 5.0; // per cent of one core

QElapsedTimer WallClock;

int64_t WallMicroseconds() {
    return WallClock.nsecsElapsed() / 1000;
}

int64_t CpuMicroseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) { return int64_t(t.tv_sec) * 1000000 + t.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// Lets the event loop run, and with it the frames, for a while.
void Run(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntil(const std::function<bool()>& done, int milliseconds = 20000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > milliseconds) return false;
        Run(2);
    }
    return true;
}

// Per cent of one core this process uses while the event loop runs.
double CpuShare(int milliseconds) {
    const int64_t cpu = CpuMicroseconds(), wall = WallMicroseconds();
    Run(milliseconds);
    return 100.0 * double(CpuMicroseconds() - cpu) / double(WallMicroseconds() - wall);
}

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

// The least a paced program pays: a still picture presented at every refresh.
double BareCpuShare() {
    TBareWidget widget;
    widget.show();
    TFrameLoop loop(
        &widget, [&widget] { widget.repaint(); }, [] { return true; });
    RunUntil([&loop] { return loop.CanBeSeen(); });
    loop.Wake();
    Run(500);
    return CpuShare(MeasuredMs);
}

// When each frame of the main window was presented, and in which phase.
class TFrameLog : public QObject {
public:
    struct TFrame {
        int64_t At;
        uint8_t Phase;
    };
    std::vector<TFrame> Frames;
    const TGame* Game = nullptr;

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) Frames.push_back({WallMicroseconds(), Game->Phase});
        return false;
    }
    // When the first frame at or after a moment showed a phase other than the one given.
    int64_t Left(uint8_t phase, int64_t since) const {
        for (const TFrame& frame : Frames)
            if (frame.At >= since && frame.Phase != phase) return frame.At;
        return -1;
    }
};

void Press(uint16_t key) {
    VantaroForm->FormKeyDown(key);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "vantaro_bench_pacing needs an X server: run it as  xvfb-run -a %s\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    WallClock.start();
    const double bare = BareCpuShare();

    QDir::setCurrent(QFileInfo(Data).path());
    CreateWindows();
    VantaroForm->show();
    TGame& game = *VantaroForm->Game;
    if (!RunUntil([] { return ChatForm->isVisible() && VantaroForm->Frames(); }) ||
        game.Cards->NumCards != 110) {
        std::fprintf(stderr, "the program did not start with the data under %s\n", qPrintable(Data));
        return 1;
    }
    const double rate = VantaroForm->screen()->refreshRate();
    const int64_t period = VantaroForm->Frames()->Period();
    TFrameLog log;
    log.Game = &game;
    VantaroForm->GameBoard->installEventFilter(&log);

    // The deal, from New Game to the first frame after it.
    Run(500);
    const int64_t dealt = WallMicroseconds();
    VantaroForm->FileNewGameClick();
    RunUntil([&game] { return game.Phase != TGame::PhaseDealing; });
    Run(50);
    const double dealSeconds = double(log.Left(TGame::PhaseDealing, dealt) - dealt) * 1e-6;

    // The table waits for a key.
    Run(1000);
    const double waiting = CpuShare(MeasuredMs);
    const int32_t counter = game.Timer.FramesPerSecond;

    // Minimised, nothing may be drawn.
    VantaroForm->showMinimized();
    Run(300);
    size_t before = log.Frames.size();
    const double minimised = CpuShare(MeasuredMs);
    const size_t minimisedFrames = log.Frames.size() - before;
    VantaroForm->showNormal();
    VantaroForm->activateWindow();
    Run(500);

    // A whole match, each card played as soon as the last one has settled;
    // the first flight goes from blue's slot 0 to row 0.
    const bool firstFromSlotZero = game.Turn == 1 && game.HandCursor == 0;
    before = log.Frames.size();
    int64_t flown = 0, flightEnd = -1;
    bool rowZero = false;
    for (int play = 0; play < 9 && game.InProgress; ++play) {
        Press(VK_RETURN);
        const int64_t pressed = WallMicroseconds();
        Press(VK_RETURN);
        if (play == 0) flown = pressed;
        RunUntil([&game] { return game.Phase == TGame::PhaseIdle; });
        if (play == 0) {
            Run(50);
            flightEnd = log.Left(TGame::PhaseFlight, flown);
            rowZero = game.Board[0][0].Card != -1;
        }
    }
    const double flightSeconds = double(flightEnd - flown) * 1e-6;
    std::vector<int64_t> intervals;
    for (size_t i = before + 1; i < log.Frames.size(); ++i)
        intervals.push_back(log.Frames[i].At - log.Frames[i - 1].At);
    const int64_t span = log.Frames.back().At - log.Frames[before].At;
    const double fps = double(log.Frames.size() - before - 1) * 1e6 / double(span);
    // The first interval may hold the keys' handling; every later one counts.
    const int64_t longest =
        intervals.size() > 1 ? *std::max_element(intervals.begin() + 1, intervals.end()) : 0;
    const auto late =
        std::count_if(intervals.begin() + std::min<ptrdiff_t>(1, ptrdiff_t(intervals.size())),
                      intervals.end(), [period](int64_t interval) { return interval > 2 * period; });
    const bool finished = game.GameOver;
    DestroyWindows();

    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    std::printf("display: %.2f Hz reported, frames paced every %.3f ms\n", rate, double(period) / 1000);
    std::printf("CPU while a dealt table waits for a key: %5.2f %% of one core (FPS counter %d)\n", waiting,
                int(counter));
    std::printf("  floor, a bare widget presenting a still picture through the same loop: %5.2f %%\n", bare);
    std::printf("  ratio %.2f; goal <= %.0f %% of one core: %s\n", bare > 0 ? waiting / bare : 0, CpuGoal,
                verdict(waiting <= CpuGoal));
    std::printf("CPU with the window minimised: %5.2f %%, frames drawn %zu (goal: none): %s\n", minimised,
                minimisedFrames, verdict(minimisedFrames == 0));
    std::printf("deal: %.3f s from New Game to the first frame after it (523 px at 700 px/s: 0.747 s)\n",
                dealSeconds);
    std::printf("flight from slot 0 to row 0: %.3f s from the key to the first frame after landing "
                "(398 px at 600 px/s: 0.663 s)%s\n",
                flightSeconds,
                firstFromSlotZero && rowZero ? "" : "  [the first play was not slot 0 to row 0]");
    std::printf(
        "pacing over a whole match (%zu frames): %.2f frames per second, within 10 %% of %.2f Hz: %s\n",
        intervals.size() + 1, fps, 1e6 / double(period),
        verdict(std::abs(fps * double(period) / 1e6 - 1) <= 0.10));
    std::printf("  longest frame interval after the first %.2f ms, at most two periods (%.2f ms): %s"
                " (%td intervals longer)\n",
                double(longest) / 1000, 2 * double(period) / 1000, verdict(longest <= 2 * period), late);
    if (!finished) std::printf("  [the match did not finish]\n");
    return 0;
}
