#pragma once

#include "app/LogCap.h"

#include <QMainWindow>
#include <functional>

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

// The side window: the match log, and the chat of a network match. Enter (or
// Send) hands the input field's text to SendText and empties the field once
// the text has gone; Ctrl+Enter breaks the line.
class TChatForm : public QMainWindow {
public:
    // What the window offers: at one keyboard it is the plain side window it
    // has always been; against the computer a log with its commands and no
    // chat; in network play the log and a live chat.
    enum class TMode { HotSeat, Log, Chat };

    explicit TChatForm(QWidget* parent = nullptr);

    // Adds one line of plain text at the end of the log and keeps it in view;
    // the oldest lines go once the log is at its bound.
    // speaker: who said a line of chat, empty for any other line.
    void AppendLine(const QString& line, const QString& speaker = QString());
    // Who said the line at a point of the log's viewport; empty for none.
    QString SpeakerAt(const QPoint& at) const;
    // Sends the input field's text; empties the field when it was sent.
    void SendChat();

    void SetMode(TMode mode);
    TMode Mode() const { return CurrentMode; }
    // The log and the input below it grow with the window to this client height.
    void SetClientHeight(int height);
    // The log's commands: to the clipboard, to a file, emptied.
    void CopyLog();
    bool SaveLog(const QString& fileName);
    void ClearLog();
    // A panel above the log (a replay's controls), or none; the log makes room.
    void SetPanel(QWidget* panel);

    // Where typed lines go; true once a line has gone. Unset, nothing is sent.
    std::function<bool(const QString&)> SendText;
    // Asks where to save the log; empty for nowhere. Tests replace it.
    std::function<QString()> AskSaveFile;
    // Keys the side window has no use for (arrows, Enter outside the chat
    // field), and the wish to hand the keys back to the table (Esc).
    std::function<void(QKeyEvent*)> ForwardKey;
    std::function<void()> ReturnToTable;
    // What a right click on a line someone said offers for them; unset or
    // left empty, nothing is shown.
    std::function<void(QMenu&, const QString& speaker)> SpeakerMenu;

    QTextEdit* ChatLog;
    QPlainTextEdit* ChatEdit;
    QPushButton* SendButton;
    TLogCap Cap;
    QAction* Blah1;
    QMenu* LogMenu;
    QAction* LogCopy;
    QAction* LogSave;
    QAction* LogClear;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LayOut();

    QWidget* Client;
    QWidget* Panel = nullptr;
    TMode CurrentMode = TMode::HotSeat;
    int ClientHeight = 384;
};

extern TChatForm* ChatForm;
