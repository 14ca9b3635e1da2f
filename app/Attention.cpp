#include "app/Attention.h"

#include "rules/Match.h"

namespace {

QString ColourName(int32_t player) {
    return player == 1 ? QStringLiteral("Blue") : QStringLiteral("Red");
}

} // namespace

void TAttention::Take(const TTableEvent& event) {
    const TSeats& seats = event.Seats;
    if (!seats.AcrossNetwork() || seats.Person < 0) return;
    switch (event.Kind) {
    case TTableEvent::TKind::Dealt:
        Call(QStringLiteral("Your match has started: you play %1.").arg(ColourName(seats.Person)));
        break;
    case TTableEvent::TKind::Placed:
        // The other player's card has landed and the move is now this person's.
        if (event.Match && event.Match->InProgress() && !event.Match->BoardFull() &&
            event.Match->Turn == seats.Person)
            Call(QStringLiteral("%1 has played: your move.").arg(ColourName(1 - seats.Person)));
        break;
    default:
        break;
    }
}

void TAttention::Call(const QString& body) {
    if (Hooks.InForeground && Hooks.InForeground()) return;
    if (Hooks.Alert) Hooks.Alert();
    if (Hooks.Notify) Hooks.Notify(QStringLiteral("Vantaro"), body);
}
