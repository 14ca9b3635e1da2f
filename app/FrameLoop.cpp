#include "app/FrameLoop.h"

#include <QEvent>
#include <QScreen>

TFrameLoop::TFrameLoop(QWidget* window, std::function<void()> runFrame, std::function<bool()> moving)
    : Window(window), Step(std::move(runFrame)), Moving(std::move(moving)) {
    Clock.start();
    Timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % late, which shows as uneven motion.
    Timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer, &QTimer::timeout, this, [this] { RunFrame(); });
    if (Window) Window->installEventFilter(this);
    WatchWindowHandle();
}

TFrameLoop::~TFrameLoop() {
    if (Window) Window->removeEventFilter(this);
    if (WatchedHandle) WatchedHandle->removeEventFilter(this);
}

void TFrameLoop::WatchWindowHandle() {
    QWindow* handle = Window ? Window->windowHandle() : nullptr;
    if (!handle || handle == WatchedHandle) return;
    if (WatchedHandle) WatchedHandle->removeEventFilter(this);
    WatchedHandle = handle;
    WatchedHandle->installEventFilter(this);
}

bool TFrameLoop::CanBeSeen() const {
    if (!Window || !Window->isVisible() || Window->isMinimized()) return false;
    const QWindow* handle = Window->windowHandle();
    return handle && handle->isExposed();
}

void TFrameLoop::Wake() {
    if (Timer.isActive() || !CanBeSeen()) return;
    // The window may have moved to another screen since it last ran.
    const QScreen* screen = Window->screen();
    Pacer.Period = TFramePacer::PeriodFor(screen ? screen->refreshRate() : 0);
    Pacer.Restart(Now());
    Timer.start(0);
}

void TFrameLoop::RunFrame() {
    if (!CanBeSeen()) return;
    Step();
    ++Frames;
    const int64_t now = Now();
    Pacer.FrameRan(now);
    if (!Moving() || !CanBeSeen()) return;
    // Whole milliseconds, rounded up so that the frame is never early.
    Timer.start(int((Pacer.Delay(now) + 999) / 1000));
}

bool TFrameLoop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::Expose:
        if (watched == Window) WatchWindowHandle();
        if (CanBeSeen())
            Wake();
        else
            Timer.stop();
        break;
    default:
        break;
    }
    return false;
}
