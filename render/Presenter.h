#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QImage;

// Paints the finished frame into the target widget whenever the widget is
// painted, enlarged by whole pixels to the widget's current size. Installed on the target
// as an event filter, so any widget can be drawn into.
class TPresenter : public QObject {
public:
    TPresenter(QWidget* target, const QImage* frame);
    ~TPresenter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> Target;
    const QImage* Frame;
};
