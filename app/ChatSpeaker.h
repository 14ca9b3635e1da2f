#pragma once

#include <QString>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>

// Who said a line of a chat log, kept with the line itself so that a right
// click on it finds them; empty for one's own lines and the server's.
namespace ChatSpeaker {

inline constexpr int Property = QTextFormat::UserProperty;

// Set on every line: a new line would otherwise keep the one before's.
inline void Mark(QTextCursor& line, const QString& speaker) {
    QTextBlockFormat said;
    said.setProperty(Property, speaker);
    line.mergeBlockFormat(said);
}

inline QString Of(const QTextBlock& line) {
    return line.blockFormat().property(Property).toString();
}

} // namespace ChatSpeaker
