#pragma once

#include <QMainWindow>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The side window with a message log, an input field and a Send button. The
// log tells what happened at the table; nothing is sent yet.
class TChatForm : public QMainWindow {
public:
    explicit TChatForm(QWidget* parent = nullptr);

    // Adds one line of plain text at the end of the log and keeps it in view.
    void AppendLine(const QString& line);

    QTextEdit* ChatLog;
    QPlainTextEdit* ChatEdit;
    QPushButton* SendButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TChatForm* ChatForm;
