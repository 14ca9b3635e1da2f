#pragma once

#include "app/LogCap.h"

#include <QMainWindow>
#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The side window: the match log, and the chat of a network match. Enter (or
// Send) hands the input field's text to SendText and empties the field once
// the text has gone; Ctrl+Enter breaks the line.
class TChatForm : public QMainWindow {
public:
    explicit TChatForm(QWidget* parent = nullptr);

    // Adds one line of plain text at the end of the log and keeps it in view;
    // the oldest lines go once the log is at its bound.
    void AppendLine(const QString& line);
    // Sends the input field's text; empties the field when it was sent.
    void SendChat();

    // Where typed lines go; true once a line has gone. Unset, nothing is sent.
    std::function<bool(const QString&)> SendText;

    QTextEdit* ChatLog;
    QPlainTextEdit* ChatEdit;
    QPushButton* SendButton;
    TLogCap Cap;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TChatForm* ChatForm;
