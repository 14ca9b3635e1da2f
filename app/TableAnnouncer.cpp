#include "app/TableAnnouncer.h"

#include "game/Game.h"
#include "render/DataFolder.h"
#include "render/Graphics.h"
#include "render/LetterSet.h"

#include <QStringList>

namespace {

constexpr int32_t TableCentreX = 256;
constexpr int32_t TableCentreY = 192;
// The turn line stands in a name box in the strip above the board and the
// hands, written as card names are in the box below the board.
constexpr int32_t TurnBoxTop = 3;
constexpr int32_t TurnTextTop = TurnBoxTop + (TGame::NameTextTop - TGame::NameBoxTop);
// Where the lettering's capitals sit within their cells, so the line looks
// centred on the plate.
constexpr int32_t LargeInkMiddle = 27;
// The lettering stays this far inside the plate's ends.
constexpr int32_t PlateMargin = 24;
// The turn line while the clock of the move runs short.
constexpr uint32_t ClockWarningColour = 0x003060FF; // blue, green, red

bool BoardFull(const TGame& game) {
    for (const auto& row : game.Board)
        for (const TOwnedCard& square : row)
            if (square.Card == -1) return false;
    return true;
}

QString Score(int32_t first, int32_t second) {
    return QStringLiteral("%1\u2013%2").arg(first).arg(second);
}

} // namespace

bool TTableAnnouncer::Load(TGraphics& graphics, const TDataFolder& data) {
    TRect size;
    Plate = graphics.LoadBitmapSurface(data.PathOf("Data/ResultPlate.bmp"), &size, true, false);
    if (Plate) Plate->SetColorKey(Plate->FirstPixel());
    const bool large =
        Large.Load(graphics, data.PathOf("Data/Lettering.bmp"), LetterCellLargeWidth, LetterCellLargeHeight);
    return Plate && large;
}

QString TTableAnnouncer::PlayerName(int32_t player) {
    return player == 0 ? QStringLiteral("Red") : QStringLiteral("Blue");
}

QString TTableAnnouncer::TurnLine(const TGame& game, const TTableSeats& seats) {
    if (!seats.Announce || !game.InProgress || game.Turn < 0 || game.Turn > 1) return {};
    const QString clock = seats.Clock.isEmpty() ? QString() : QStringLiteral(" \u00b7 ") + seats.Clock;
    const QString mover = PlayerName(game.Turn);
    // A line dropped (someone away, or this computer reconnecting) is all the line says after the seat.
    const bool waiting = !seats.Clock.isEmpty() && !seats.Clock.front().isDigit();
    if (waiting)
        return seats.You == -1 ? seats.Clock
                               : QStringLiteral("You play ") + PlayerName(seats.You) +
                                     QStringLiteral(" \u00b7 ") + seats.Clock;
    if (!seats.Replay.isEmpty())
        return seats.Replay + QStringLiteral(" \u00b7 ") + mover + QStringLiteral(" to move");
    if (seats.You == -1) return mover + QStringLiteral(" to move") + clock;
    const QString you = QStringLiteral("You play ") + PlayerName(seats.You) + QStringLiteral(" \u00b7 ");
    if (game.Turn == seats.You) return you + QStringLiteral("Your turn") + clock;
    if (seats.ComputerOpponent) return you + mover + QStringLiteral(" is thinking\u2026");
    return you + QStringLiteral("Waiting for ") + mover + clock;
}

QString TTableAnnouncer::ResultLine(const TGame& game, const TTableSeats& seats) {
    if (!seats.Announce || game.InProgress || !game.GameOver) return {};
    if (!seats.Ending.isEmpty()) return seats.Ending;
    if (!BoardFull(game)) {
        if (!seats.LeftBy.isEmpty()) return seats.LeftBy + QStringLiteral(" left the match");
        return QStringLiteral("Match stopped");
    }
    const int32_t red = game.Score[0], blue = game.Score[1];
    if (red == blue) return QStringLiteral("Draw ") + Score(red, blue);
    const int32_t winner = blue > red ? 1 : 0;
    const int32_t high = std::max(red, blue), low = std::min(red, blue);
    if (seats.You == -1) return PlayerName(winner) + QStringLiteral(" wins ") + Score(high, low);
    if (winner == seats.You) return QStringLiteral("You win ") + Score(high, low);
    return QStringLiteral("You lose ") + Score(low, high);
}

void TTableAnnouncer::Draw(TGame& game, const TTableSeats& seats) const {
    TSurface* target = game.Graphics ? game.Graphics->BackBuffer.get() : nullptr;
    if (!target || !seats.Announce) return;
    if (const QString turn = TurnLine(game, seats); !turn.isEmpty()) {
        if (TSprite* box = game.Sprites ? game.Sprites->CardNameInfoBox.get() : nullptr) {
            const int32_t left = TruncToInt(float(TableCentreX) - box->Width * 0.5f);
            box->SetDestRect(
                {left, TurnBoxTop, left + TruncToInt(box->Width), TurnBoxTop + TruncToInt(box->Height)});
            box->Draw(target);
        }
        // Written as card names are, in Latin-1: the ellipsis as three dots.
        QString latin = turn;
        latin.replace(QChar(u'\u2026'), QStringLiteral("..."));
        game.Graphics->WriteText(latin.toLatin1().toStdString(), TableCentreX, TurnTextTop, TA_CENTER,
                                 seats.ClockWarns ? ClockWarningColour : ColorWhite);
    }
    const QString result = ResultLine(game, seats);
    if (result.isEmpty()) return;
    if (Plate) {
        const int32_t left = TableCentreX - Plate->Width() / 2, top = TableCentreY - Plate->Height() / 2;
        target->Blt({left, top, left + Plate->Width(), top + Plate->Height()}, Plate.get(), Plate->Bounds(),
                    BltWait | BltKeySrc);
    }
    // A line too wide for the plate keeps what comes before its dash there;
    // the rest goes in a box under it, as the rating line does.
    QStringList boxed;
    QString large = result;
    const QString dash = QStringLiteral(" \u2013 ");
    if (const qsizetype at = result.indexOf(dash);
        at > 0 && Plate && Large.TextWidth(result) > Plate->Width() - 2 * PlateMargin) {
        large = result.left(at);
        boxed << result.mid(at + dash.size());
    }
    Large.DrawCentred(target, large, TableCentreX, TableCentreY - LargeInkMiddle);
    if (!seats.Rating.isEmpty()) boxed << seats.Rating;
    if (!seats.Offer.isEmpty()) boxed << seats.Offer;
    int32_t boxTop = TableCentreY + (Plate ? Plate->Height() / 2 : 2 * LargeInkMiddle) + 4;
    for (const QString& line : boxed) {
        TSprite* box = game.Sprites ? game.Sprites->CardNameInfoBox.get() : nullptr;
        if (box) {
            const int32_t left = TruncToInt(float(TableCentreX) - box->Width * 0.5f);
            box->SetDestRect({left, boxTop, left + TruncToInt(box->Width), boxTop + TruncToInt(box->Height)});
            box->Draw(target);
        }
        // The lettering is Latin-1: the arrow and the minus sign written plainly.
        QString latin = line;
        latin.replace(QChar(u'\u2192'), QStringLiteral("->")).replace(QChar(u'\u2212'), QLatin1Char('-'));
        game.Graphics->WriteText(latin.toLatin1().toStdString(), TableCentreX,
                                 boxTop + (TGame::NameTextTop - TGame::NameBoxTop), TA_CENTER, ColorWhite);
        boxTop += box ? TruncToInt(box->Height) + 4 : 28;
    }
}
