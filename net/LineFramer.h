#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Cuts a byte stream into lines ending in '\n' (a '\r' before it is dropped
// and does not count against the limit). It holds at most one unfinished line
// of at most the limit and no queue: each call hands out the next complete
// line as soon as it is there. A line that runs past the limit is refused as
// soon as that is known, without waiting for its end.
class TLineFramer {
public:
    enum class TStep { NeedMore, Line, Overflow };

    explicit TLineFramer(qsizetype maxLineBytes) : MaxLineBytes(maxLineBytes) {}

    // Takes bytes from the front of `chunk` until a line is complete (Line:
    // it is in `line`, without its ending, and `chunk` holds what follows) or
    // the chunk is used up (NeedMore). Overflow once a line has run over the
    // limit; from then on nothing more is taken.
    TStep Next(QByteArrayView& chunk, QByteArray& line);

    bool Overflowed() const { return Overflow; }
    // Bytes of a line that has begun but not ended.
    qsizetype PartialBytes() const { return Partial.size(); }
    void Reset();

private:
    qsizetype MaxLineBytes;
    QByteArray Partial;
    bool Overflow = false;
};
