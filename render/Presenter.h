#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class TGraphics;

// Paints the finished frame into the target widget whenever the widget is
// painted, enlarged by whole pixels to the widget's current size. Installed on
// the target as an event filter, so any widget can be drawn into. The frame is
// the device's back buffer as it is at each paint, so a back buffer the device
// replaces is never drawn from after it is gone.
class TPresenter : public QObject {
public:
    // The device owns the presenter and so outlives it.
    TPresenter(QWidget* target, const TGraphics& device);
    ~TPresenter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> Target;
    const TGraphics& Device;
};
