#include "app/SideLog.h"

#include "app/ChatForm.h"

void TSideLog::Note(const QString& line) {
    if (ChatForm) ChatForm->AppendLine(line);
}

void TSideLog::Line(const QString& line) {
    Last = line;
    Note(line);
}

void TSideLog::Answer(const QString& line) {
    if (line == Last) return;
    Line(line);
}
