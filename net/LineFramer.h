#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <deque>

// Cuts a byte stream into lines ending in '\n' (a '\r' before it is dropped).
// It never holds more than one unfinished line of at most the limit: a line
// that runs past the limit is refused as soon as that is known, without
// waiting for its end.
class TLineFramer {
public:
    explicit TLineFramer(qsizetype maxLineBytes) : MaxLineBytes(maxLineBytes) {}

    // Takes the next chunk of the stream, of any size. Returns false once a
    // line has run over the limit; from then on nothing more is taken.
    bool Feed(QByteArrayView chunk);

    // The next complete line, without its ending; false when there is none.
    bool TakeLine(QByteArray& line);

    bool Overflowed() const { return Overflow; }
    // Bytes of a line that has begun but not ended.
    qsizetype PartialBytes() const { return Partial.size(); }
    qsizetype ReadyLines() const { return qsizetype(Lines.size()); }
    void Reset();

private:
    qsizetype MaxLineBytes;
    QByteArray Partial;
    std::deque<QByteArray> Lines;
    bool Overflow = false;
};
