#pragma once

#include <QString>
#include <QStringView>

// Text the server relays from other players (chat, names, reasons) made
// into one plain line for a person to read: line breaks of every kind
// become "↵", other control and invisible format characters (direction
// overrides, isolates, marks) a space; with a limit, longer text is cut and
// ends in "…". Joiners, which only shape emoji and scripts, stay.
namespace LobbyText {

QString Readable(QStringView text, qsizetype maxCharacters = -1);

} // namespace LobbyText
