#include "render/Presenter.h"

#include "render/WholePixels.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>

TPresenter::TPresenter(QWidget* target, const QImage* frame) : Target(target), Frame(frame) {
    // The frame covers the whole widget, so Qt need not clear it first.
    Target->setAttribute(Qt::WA_OpaquePaintEvent);
    Target->installEventFilter(this);
}

TPresenter::~TPresenter() {
    if (Target) Target->removeEventFilter(this);
}

bool TPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Target || event->type() != QEvent::Paint) return false;
    QPainter painter(Target);
    PaintWholePixels(painter, *Frame, Target->rect());
    return true;
}
