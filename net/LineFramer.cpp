#include "net/LineFramer.h"

bool TLineFramer::Feed(QByteArrayView chunk) {
    if (Overflow) return false;
    while (!chunk.isEmpty()) {
        const qsizetype end = chunk.indexOf('\n');
        const QByteArrayView piece = end < 0 ? chunk : chunk.first(end);
        if (Partial.size() + piece.size() > MaxLineBytes) {
            // Keeping the rest would only grow memory for a line already refused.
            Overflow = true;
            Partial.clear();
            Lines.clear();
            return false;
        }
        Partial.append(piece);
        if (end < 0) break;
        if (Partial.endsWith('\r')) Partial.chop(1);
        Lines.push_back(std::move(Partial));
        Partial = QByteArray();
        chunk = chunk.sliced(end + 1);
    }
    return true;
}

bool TLineFramer::TakeLine(QByteArray& line) {
    if (Lines.empty()) return false;
    line = std::move(Lines.front());
    Lines.pop_front();
    return true;
}

void TLineFramer::Reset() {
    Partial.clear();
    Lines.clear();
    Overflow = false;
}
