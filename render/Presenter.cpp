#include "render/Presenter.h"

#include "render/Graphics.h"
#include "render/WholePixels.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>

TPresenter::TPresenter(QWidget* target, const TGraphics& device) : Target(target), Device(device) {
    // The frame covers the whole widget, so Qt need not clear it first.
    Target->setAttribute(Qt::WA_OpaquePaintEvent);
    Target->installEventFilter(this);
}

TPresenter::~TPresenter() {
    if (Target) Target->removeEventFilter(this);
}

bool TPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Target || event->type() != QEvent::Paint) return false;
    if (!Device.BackBuffer || Device.BackBuffer->IsNull()) return false;
    const QImage& frame = Device.BackBuffer->Image();
    QPainter painter(Target);
    PaintWholePixels(painter, frame, Target->rect());
    return true;
}
