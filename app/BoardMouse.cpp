#include "app/BoardMouse.h"

#include "game/Game.h"
#include "game/KeyCodes.h"
#include "game/KeyRoute.h"
#include "render/WholePixels.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <cmath>

namespace {

// The drawing area the board panel shows, whatever its enlargement.
QSize DrawingArea(const TGame& game) {
    if (game.Graphics && game.Graphics->BackBuffer) {
        const TRect& area = game.Graphics->BackBufferRect;
        return {area.right, area.bottom};
    }
    return {512, 384};
}

constexpr int32_t SquareWidth = 85;
constexpr int32_t SquareHeight = 110;
constexpr int32_t HandStep = SquareHeight / 2;

} // namespace

TBoardMouse::TBoardMouse(QWidget* board, const TGame& game, TActions actions)
    : Board(board), Game(game), Actions(std::move(actions)) {
    // The pointer leads the board cursor without a button held.
    Board->setMouseTracking(true);
    Board->installEventFilter(this);
}

TBoardMouse::~TBoardMouse() {
    if (Board) Board->removeEventFilter(this);
}

QPoint TBoardMouse::DrawingPoint(const QPointF& widgetPoint) const {
    const QSize area = DrawingArea(Game);
    const QRectF picture = WholePixelRect(Board->size(), area, Board->devicePixelRatioF());
    if (picture.isEmpty()) return {-1, -1};
    const double x = (widgetPoint.x() - picture.left()) * area.width() / picture.width();
    const double y = (widgetPoint.y() - picture.top()) * area.height() / picture.height();
    return {int(std::floor(x)), int(std::floor(y))};
}

std::optional<TBoardMouse::TSquare> TBoardMouse::SquareAt(const QPoint& at) {
    const int32_t x = at.x() - TGame::BoardLeft, y = at.y() - TGame::BoardTop;
    if (x < 0 || y < 0 || x >= 3 * SquareWidth || y >= 3 * SquareHeight) return std::nullopt;
    return TSquare{x / SquareWidth, y / SquareHeight};
}

int32_t TBoardMouse::HandSlotAt(const TGame& game, int32_t player, const QPoint& at) {
    if (player < 0 || player > 1) return -1;
    // Each slot covers the lower half of the one above it, so the lowest
    // card under the point is the one on top.
    for (int32_t slot = 4; slot >= 0; --slot) {
        if (game.Hands[slot][player] == -1) continue;
        const bool selected = player == game.Turn && slot == game.HandCursor;
        const int32_t left = TGame::HandX[player] + (selected ? TGame::HandSelectShift[player] : 0);
        const QRect card(left, TGame::HandTop + HandStep * slot, SquareWidth, SquareHeight);
        if (card.contains(at)) return slot;
    }
    return -1;
}

bool TBoardMouse::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Board) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // A quick second click is a click like any other.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            LeftPress(DrawingPoint(mouse->position()), mouse->position());
        else if (mouse->button() == Qt::RightButton)
            RightPress();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        Move(DrawingPoint(mouse->position()), mouse->position(), mouse->buttons() & Qt::LeftButton);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            LeftRelease(DrawingPoint(mouse->position()), mouse->position());
        return true;
    }
    default:
        return false;
    }
}

bool TBoardMouse::TakesInput() const {
    // As for keys: only while a match runs and nothing moves.
    return Game.InProgress && Game.Phase == TGame::PhaseIdle;
}

void TBoardMouse::LeftPress(const QPoint& at, const QPointF& widgetAt) {
    DragSlot = -1;
    if (!Game.InProgress) {
        if (Actions.NewGame) Actions.NewGame();
        return;
    }
    if (!TakesInput()) return;
    if (const int32_t slot = HandSlotAt(Game, Game.Turn, at); slot != -1) {
        Press(KeysToSelectSlot(Game, slot));
        // Only arm when the keys were taken: a seat that may not move stays put.
        if (Game.HandCursor == slot && !Game.BoardCursorActive) {
            Armed = true;
            ArmedTurn = Game.Turn;
            DragSlot = slot;
            PressedAt = widgetAt;
            const int32_t left = TGame::HandX[Game.Turn] + TGame::HandSelectShift[Game.Turn];
            GrabOffset = at - QPoint(left, TGame::HandTop + HandStep * slot);
        }
        return;
    }
    if (HandSlotAt(Game, 1 - Game.Turn, at) != -1) return;
    if (const auto square = SquareAt(at)) {
        PlayOn(*square);
        return;
    }
    BackToHand();
}

void TBoardMouse::RightPress() {
    DragSlot = -1;
    EndDrag();
    if (TakesInput()) BackToHand();
}

void TBoardMouse::Move(const QPoint& at, const QPointF& widgetAt, bool leftHeld) {
    if (!TakesInput()) {
        EndDrag();
        return;
    }
    if (Game.Turn != ArmedTurn) Armed = false;
    if (leftHeld && DragSlot != -1 &&
        (widgetAt - PressedAt).manhattanLength() < QApplication::startDragDistance())
        return;
    // Past the drag distance the card leaves the hand and follows the pointer.
    if (leftHeld && DragSlot != -1 && Game.HandCursor == DragSlot) {
        Lifted = true;
        if (Actions.Drag) Actions.Drag(DragSlot, at - GrabOffset);
    }
    if (!Armed && !Game.BoardCursorActive) return;
    const auto square = SquareAt(at);
    if (!square) return;
    if (Game.BoardCursorActive && Game.BoardCursorX == square->X && Game.BoardCursorY == square->Y) return;
    Press(KeysToSquare(Game, square->X, square->Y));
}

void TBoardMouse::LeftRelease(const QPoint& at, const QPointF& widgetAt) {
    const int32_t dragged = DragSlot;
    DragSlot = -1;
    EndDrag();
    if (dragged == -1 || !TakesInput()) return;
    if ((widgetAt - PressedAt).manhattanLength() < QApplication::startDragDistance()) return;
    // Let go anywhere but on an empty square, the card goes back into the hand.
    const auto square = SquareAt(at);
    if (square && Game.Board[square->Y][square->X].Card == -1)
        PlayOn(*square);
    else
        BackToHand();
}

void TBoardMouse::EndDrag() {
    if (!Lifted) return;
    Lifted = false;
    if (Actions.Drag) Actions.Drag(-1, {});
}

void TBoardMouse::PlayOn(const TSquare& square) {
    // An occupied square takes no card, as Enter on it does nothing.
    if (Game.Board[square.Y][square.X].Card != -1) return;
    std::vector<uint16_t> keys;
    if (Game.BoardCursorActive) {
        keys = KeysToSquare(Game, square.X, square.Y);
        keys.push_back(VK_RETURN);
    } else {
        keys = KeysToPlay(Game, Game.HandCursor, square.X, square.Y);
    }
    Press(keys);
    Armed = false;
}

void TBoardMouse::BackToHand() {
    Armed = false;
    if (Game.BoardCursorActive) Press({VK_ESCAPE});
}

void TBoardMouse::Press(const std::vector<uint16_t>& keys) {
    if (!Actions.PressKey) return;
    for (const uint16_t key : keys) Actions.PressKey(key);
}
