#pragma once

#include "app/FramePacer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>

// Runs the program's frames at the pace of the display the window is on, and
// only while they can change what is seen: not while the window is hidden,
// minimised or covered entirely, and not when the picture is at rest (the
// paint of an exposed window shows the last frame without running another).
class TFrameLoop : public QObject {
public:
    // window: the top-level window whose visibility counts; runFrame: one frame;
    // moving: whether the next frame may differ from the last.
    TFrameLoop(QWidget* window, std::function<void()> runFrame, std::function<bool()> moving);
    ~TFrameLoop() override;

    // Runs a frame soon and goes on while the picture moves; called whenever
    // something may have set it moving.
    void Wake();

    bool CanBeSeen() const;
    // A frame is due: the loop is running.
    bool Scheduled() const { return Timer.isActive(); }
    int64_t FramesRun() const { return Frames; }
    int64_t Period() const { return Pacer.Period; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RunFrame();
    void WatchWindowHandle();
    int64_t Now() const { return Clock.nsecsElapsed() / 1000; }

    QPointer<QWidget> Window;
    QPointer<QWindow> WatchedHandle;
    std::function<void()> Step;
    std::function<bool()> Moving;
    QTimer Timer;
    QElapsedTimer Clock;
    TFramePacer Pacer;
    int64_t Frames = 0;
};
