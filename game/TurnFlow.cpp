#include "game/Game.h"
#include "game/KeyCodes.h"

void TGame::KeyDown(uint16_t& key) {
    // Keys are not queued: whatever arrives while something moves is lost.
    if (!InProgress || Phase != PhaseIdle) return;

    if (BoardCursorActive) {
        switch (key) {
        case VK_UP:
            if (BoardCursorY - 1 >= 0) BoardCursorY -= 1;
            break;
        case VK_DOWN:
            if (BoardCursorY + 1 < 3) BoardCursorY += 1;
            break;
        case VK_LEFT:
            if (BoardCursorX - 1 >= 0) BoardCursorX -= 1;
            break;
        case VK_RIGHT:
            if (BoardCursorX + 1 < 3) BoardCursorX += 1;
            break;
        case VK_ESCAPE:
            BoardCursorActive = false;
            break;
        case VK_RETURN:
            if (Board[BoardCursorY][BoardCursorX].Card == -1) PlayCard();
            break;
        default:
            break;
        }
        return;
    }

    switch (key) {
    case VK_UP:
        if (HandCursor != 0 && Hands[HandCursor - 1][Turn] != -1) HandCursor -= 1;
        break;
    case VK_DOWN:
        // Hands are packed toward slot 4, so the slots below always hold cards.
        if (HandCursor < 4) HandCursor += 1;
        break;
    case VK_RETURN:
        BoardCursorActive = true;
        for (int32_t square = 0; square < 9; ++square)
            if (Board[square / 3][square % 3].Card == -1) {
                BoardCursorX = square % 3;
                BoardCursorY = square / 3;
                break;
            }
        break;
    default:
        break;
    }
}

void TGame::PlayCard() {
    const TOwnedCard played = MatchState.TakeCard(HandCursor, BoardCursorX, BoardCursorY);
    // The flight starts where the card stood, so it comes before the hand closes up.
    PlaceCard(BoardCursorX, BoardCursorY, played);
    CompactHand(Turn);
    MatchState.EndTurn();
    const int32_t top = MatchState.TopSlot(Turn);
    if (top >= 0) HandCursor = top;
    BoardCursorActive = false;
}

void TGame::CompactHand(int32_t player) {
    MatchState.CompactHand(player, HandCursor);
}

void TGame::CheckMatchEnd() {
    if (!MatchState.EndIfFull()) return;
    Phase = PhaseIdle;
    // Shows the picture composed so far once more; the match is over.
    DoFrame();
    if (MatchState.RedealDue())
        NewGame(Turn, Rules, true);
    else
        Tell(Event(TTableEvent::TKind::Ended));
}
