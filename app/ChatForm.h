#pragma once

#include <QMainWindow>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The side window with a message log, an input field and a Send button. It
// carries no behaviour yet: nothing is sent and nothing fills the log.
class TChatForm : public QMainWindow {
public:
    explicit TChatForm(QWidget* parent = nullptr);

    QTextEdit* ChatLog;
    QPlainTextEdit* ChatEdit;
    QPushButton* SendButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TChatForm* ChatForm;
