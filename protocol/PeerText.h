#pragma once

#include <QString>
#include <QStringView>

// Text another program wrote that a person will read (chat, the reason of a
// goodbye or a refusal, a name echoed in an error): made into one plain line
// that cannot pass for another line of the log nor rearrange the text around
// it.
namespace PeerText {

// Line and paragraph breaks of every kind become `LineBreakMark`; other
// control characters, bidirectional embeddings, overrides, isolates and
// marks, unpaired surrogates and other invisible format characters become a
// space. Joiners, which only shape emoji and scripts, stay. With a limit, text
// longer than that many characters (code points) is cut and ends in "…".
QString Readable(QStringView text, qsizetype maxCharacters = -1);

inline constexpr char16_t LineBreakMark = u'\u21b5'; // ↵

// Characters as a person counts them: code points, a surrogate pair being one.
qsizetype Characters(QStringView text);

// Whether text is already one plain line: not empty, at most maxCharacters
// code points, no unpaired surrogate, no control character, line or
// paragraph separator, direction embedding, override, isolate or mark.
bool IsPlain(QStringView text, qsizetype maxCharacters);

} // namespace PeerText
