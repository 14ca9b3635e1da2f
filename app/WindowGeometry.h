#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>

class QAction;
class QActionGroup;
class QMainWindow;
class QWidget;
class TGraphics;

// The main window's size and place: the board's zoom, which zooms fit the
// screen, and the side window kept against the table's right edge.
class TWindowGeometry {
public:
    // What the zoom commands of the View menu are.
    struct TZoomActions {
        QAction* Zoom[3]{};
        QAction* ZoomIn = nullptr;
        QAction* ZoomOut = nullptr;
    };
    // screenArea: the available area of the table's screen, unset to ask the
    // screen; zoomChanged: the chosen zoom, to be remembered.
    TWindowGeometry(QMainWindow& window, QWidget& board, const TGraphics& graphics, TZoomActions actions,
                    std::function<QRect()> screenArea, std::function<void(int32_t)> zoomChanged);

    // The board enlarged 1 to 3 times; the drawing area itself stays 512 x 384.
    void SetZoom(int32_t factor);
    int32_t Zoom() const { return Factor; }
    // Opens at `wanted`, or the largest zoom that fits when that is too large;
    // before the drawing device exists the board keeps its first size.
    void ApplyZoom(int32_t wanted);
    // The largest zoom at which the table and the side window both fit the
    // available area of the screen the table is on.
    int32_t LargestFittingZoom() const;
    // Where the side window goes: against the table's right edge, kept on
    // the table's screen.
    QPoint ChatFormPlace() const;
    QRect AvailableArea() const;
    // Where a window of `size` (frame included) goes to cover neither the
    // table nor the side window: to their right, else left, below or above
    // them, on the table's screen; where it covers least when none has room.
    QPoint BesideTable(QSize size) const;
    // As tall as the table's client area, against its right edge.
    void PlaceChatForm();

private:
    void UpdateZoomChoices();

    QMainWindow& Window;
    QWidget& Board;
    const TGraphics& Graphics;
    TZoomActions Actions;
    std::function<QRect()> ScreenArea;
    std::function<void(int32_t)> ZoomChanged;
    int32_t Factor = 1;
};
