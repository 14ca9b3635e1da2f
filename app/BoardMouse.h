#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QMouseEvent;
class QWidget;
class TGame;

// Play with the mouse on the board panel. Everything it does is a key a person
// could have pressed, handed to the main window's key path, so the mouse obeys
// exactly the rules the keyboard does and the two mix freely in one turn:
//   - a click on a card in the hand of the player to move selects it;
//   - once a card was clicked (or the board cursor is out), the pointer over
//     the board takes the board cursor with it;
//   - a click on an empty square plays the selected card there, and so does
//     dropping a hand card dragged onto one;
//   - a right click, or a click off the board and off the hands, goes back to
//     the hand;
//   - before the first match and after one has ended, a click deals a new one.
class TBoardMouse : public QObject {
public:
    struct TActions {
        std::function<void(uint16_t)> PressKey;
        std::function<void()> NewGame;
        // A hand card is being dragged: its slot and where its top-left corner
        // is now, in the drawing area; slot -1 once it is let go.
        std::function<void(int32_t, QPoint)> Drag;
    };
    struct TSquare {
        int32_t X;
        int32_t Y;
    };

    // Watches `board`, which shows `game`'s drawing area enlarged by whole pixels.
    TBoardMouse(QWidget* board, const TGame& game, TActions actions);
    ~TBoardMouse() override;

    // The pixel of the drawing area under a point of the board panel.
    QPoint DrawingPoint(const QPointF& widgetPoint) const;
    static std::optional<TSquare> SquareAt(const QPoint& drawingPoint);
    // The topmost card of `player`'s hand under the point, as drawn when the
    // match rests; -1 for none.
    static int32_t HandSlotAt(const TGame& game, int32_t player, const QPoint& drawingPoint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LeftPress(const QPoint& at, const QPointF& widgetAt);
    void RightPress();
    void Move(const QPoint& at, const QPointF& widgetAt, bool leftHeld);
    void LeftRelease(const QPoint& at, const QPointF& widgetAt);
    void PlayOn(const TSquare& square);
    void BackToHand();
    bool TakesInput() const;
    void Press(const std::vector<uint16_t>& keys);
    void EndDrag();

    QPointer<QWidget> Board;
    const TGame& Game;
    TActions Actions;
    // A hand card was clicked this turn, so the pointer now leads the card.
    bool Armed = false;
    int32_t ArmedTurn = -1;
    // The hand card a drag started on, and where the press was.
    int32_t DragSlot = -1;
    QPointF PressedAt;
    // Where in the card it was grabbed, in the drawing area; whether it is lifted.
    QPoint GrabOffset;
    bool Lifted = false;
};
