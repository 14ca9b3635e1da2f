#pragma once

#include <QString>

// The side window's log as the table writes into it. A command mashed again
// and again gets the same answer each time; the log shows it once.
class TSideLog {
public:
    // Anything said at the table: the match, the network, the computer.
    static void Note(const QString& line);
    // A line of the table's own story; never held back, and what a repeated answer is compared with.
    void Line(const QString& line);
    // The answer to a command (F2 that cannot deal, a hint): held back when
    // it repeats the last line told here.
    void Answer(const QString& line);

private:
    QString Last;
};
