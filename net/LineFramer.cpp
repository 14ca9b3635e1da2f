#include "net/LineFramer.h"

TLineFramer::TStep TLineFramer::Next(QByteArrayView& chunk, QByteArray& line) {
    if (Overflow) return TStep::Overflow;
    if (chunk.isEmpty()) return TStep::NeedMore;
    const qsizetype end = chunk.indexOf('\n');
    const QByteArrayView piece = end < 0 ? chunk : chunk.first(end);
    const qsizetype length = Partial.size() + piece.size();
    // One byte past the limit may still be the '\r' of a "\r\n" ending.
    const bool lastIsReturn = !piece.isEmpty() ? piece.back() == '\r' : Partial.endsWith('\r');
    if (length > MaxLineBytes + 1 || (length == MaxLineBytes + 1 && !lastIsReturn)) {
        // Keeping the rest would only grow memory for a line already refused.
        Overflow = true;
        Partial = QByteArray();
        return TStep::Overflow;
    }
    Partial.append(piece);
    if (end < 0) {
        chunk = QByteArrayView();
        return TStep::NeedMore;
    }
    chunk = chunk.sliced(end + 1);
    if (Partial.endsWith('\r')) Partial.chop(1);
    line = std::move(Partial);
    Partial = QByteArray();
    return TStep::Line;
}

void TLineFramer::Reset() {
    Partial = QByteArray();
    Overflow = false;
}
