#include "app/WindowGeometry.h"

#include "app/ChatForm.h"
#include "app/Settings.h"
#include "render/Graphics.h"

#include <QAction>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdint>

namespace {

// The height of a title bar, for a window whose frame is not known yet.
constexpr int FrameAllowance = 32;

} // namespace

TWindowGeometry::TWindowGeometry(QMainWindow& window, QWidget& board, const TGraphics& graphics,
                                 TZoomActions actions, std::function<QRect()> screenArea,
                                 std::function<void(int32_t)> zoomChanged)
    : Window(window), Board(board), Graphics(graphics), Actions(actions), ScreenArea(std::move(screenArea)),
      ZoomChanged(std::move(zoomChanged)) {}

QRect TWindowGeometry::AvailableArea() const {
    if (ScreenArea) return ScreenArea();
    const QScreen* onScreen = Window.screen();
    return onScreen ? onScreen->availableGeometry() : QRect();
}

QPoint TWindowGeometry::ChatFormPlace() const {
    const QRect frame = Window.frameGeometry();
    QPoint place(frame.x() + frame.width(), frame.y());
    const QRect area = AvailableArea();
    if (!ChatForm || area.isEmpty()) return place;
    // Kept on the table's screen: pushed back from its right edge (over the
    // table if it must), never above or left of its top-left corner.
    const QSize size = ChatForm->frameGeometry().size();
    place.setX(std::max(area.left(), std::min(place.x(), area.right() + 1 - size.width())));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() + 1 - size.height())));
    return place;
}

QPoint TWindowGeometry::BesideTable(QSize size) const {
    QRect taken = Window.frameGeometry();
    if (ChatForm) taken |= QRect(ChatFormPlace(), ChatForm->frameGeometry().size());
    const QRect area = AvailableArea();
    const int32_t gap = 8;
    const QPoint candidates[] = {{taken.right() + 1 + gap, taken.top()},
                                 {taken.left() - gap - size.width(), taken.top()},
                                 {taken.left(), taken.bottom() + 1 + gap},
                                 {taken.left(), taken.top() - gap - size.height()}};
    if (area.isEmpty()) return candidates[0];
    // Each side in turn, slid back onto the screen; the first that covers
    // nothing, else the one that covers least.
    QPoint best = area.topLeft();
    int64_t leastCovered = INT64_MAX;
    for (QPoint place : candidates) {
        place.setX(
            std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        place.setY(
            std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
        const QRect covered = QRect(place, size) & taken;
        const int64_t coveredArea = covered.isEmpty() ? 0 : int64_t(covered.width()) * covered.height();
        if (coveredArea < leastCovered) {
            leastCovered = coveredArea;
            best = place;
        }
    }
    return best;
}

void TWindowGeometry::PlaceChatForm() {
    if (!ChatForm) return;
    // As tall as the table's client area, at whatever zoom.
    ChatForm->SetClientHeight(Board.height());
    ChatForm->move(ChatFormPlace());
}

int32_t TWindowGeometry::LargestFittingZoom() const {
    const QSize area = AvailableArea().size();
    if (area.isEmpty()) return TSettings::MaxZoom;
    // What the window frames and the menu bar add around the boards.
    QSize tableExtra = Window.frameGeometry().size() - Board.size();
    // Before a window manager has framed the window, allow for a title bar.
    if (Window.frameGeometry().size() == Window.size()) tableExtra += QSize(0, FrameAllowance);
    const int32_t chatExtraWidth = ChatForm ? ChatForm->frameGeometry().width() : 0;
    const QSize base(512, 384);
    for (int32_t factor = TSettings::MaxZoom; factor > 1; --factor) {
        const QSize table = base * factor + tableExtra;
        if (table.width() + chatExtraWidth <= area.width() && table.height() <= area.height()) return factor;
    }
    return 1;
}

void TWindowGeometry::UpdateZoomChoices() {
    const int32_t largest = LargestFittingZoom();
    for (int32_t factor = 1; factor <= TSettings::MaxZoom; ++factor)
        Actions.Zoom[factor - 1]->setEnabled(factor <= largest);
    Actions.ZoomIn->setEnabled(Factor < largest);
    Actions.ZoomOut->setEnabled(Factor > 1);
}

void TWindowGeometry::SetZoom(int32_t factor) {
    Factor = std::clamp(factor, 1, Graphics.BackBuffer ? LargestFittingZoom() : TSettings::MaxZoom);
    ZoomChanged(Factor);
    Actions.Zoom[Factor - 1]->setChecked(true);
    // Before the drawing device exists the board keeps its first size, which
    // is the size of the drawing area; the first showing applies the zoom.
    if (Graphics.BackBuffer) ApplyZoom(Factor);
}

void TWindowGeometry::ApplyZoom(int32_t wanted) {
    // A zoom remembered from a larger screen opens at the largest that fits;
    // the remembered choice stays for that screen.
    Factor = std::clamp(wanted, 1, LargestFittingZoom());
    Actions.Zoom[Factor - 1]->setChecked(true);
    UpdateZoomChoices();
    const QSize area = Graphics.BackBuffer
                           ? QSize(Graphics.BackBufferRect.right, Graphics.BackBufferRect.bottom)
                           : Board.size();
    const QSize board = area * Factor;
    if (Board.size() == board) {
        PlaceChatForm();
        return;
    }
    Board.setFixedSize(board);
    Window.setMinimumSize(0, 0);
    Window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (Window.layout()) Window.layout()->activate();
    Window.setFixedSize(Window.sizeHint());
    UpdateZoomChoices();
    // The chat window stays against the right edge, now and once the window
    // manager has settled the new frame.
    PlaceChatForm();
    QTimer::singleShot(0, &Window, [this] { PlaceChatForm(); });
}
