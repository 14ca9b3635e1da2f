#include "app/ChatForm.h"

#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

TChatForm* ChatForm = nullptr;

TChatForm::TChatForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setWindowTitle("Vantaro Chat");
    setObjectName("ChatForm");
    // Closing it only hides it; it never keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);

    QMenuBar* menu = menuBar();
    menu->setObjectName("ChatFormMenu");
    menu->addAction("Blah")->setObjectName("Blah1");

    auto* client = new QWidget(this);
    client->setFixedSize(242, 384);
    setCentralWidget(client);

    ChatLog = new QTextEdit(client);
    ChatLog->setGeometry(0, 0, 241, 257);
    ChatLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ChatLog->setReadOnly(true);
    ChatLog->setEnabled(false);
    // Out of reach of focus and typing, but its lines read as plainly as any text.
    QPalette legible = ChatLog->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base})
        legible.setColor(QPalette::Disabled, role, legible.color(QPalette::Active, role));
    ChatLog->setPalette(legible);

    ChatEdit = new QPlainTextEdit("ChatEdit", client);
    ChatEdit->setGeometry(0, 264, 240, 81);
    ChatEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ChatEdit->installEventFilter(this);

    SendButton = new QPushButton("Send", client);
    SendButton->setGeometry(168, 352, 73, 25);
    connect(SendButton, &QPushButton::clicked, this, [this] { SendChat(); });

    setTabOrder(ChatEdit, ChatLog);
    setTabOrder(ChatLog, SendButton);
    setFixedSize(sizeHint());
    move(300, 102);
}

bool TChatForm::eventFilter(QObject* watched, QEvent* event) {
    // Enter alone does not break the line; Ctrl+Enter does.
    if (watched == ChatEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ControlModifier)
                ChatEdit->insertPlainText("\n");
            else
                SendChat();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TChatForm::AppendLine(const QString& line) {
    const QString kept = Cap.Clip(line);
    QTextDocument* document = ChatLog->document();
    // The first line fills the empty block the document starts with.
    const bool first = Cap.Lines() == 0;
    const int32_t drop = Cap.Add(kept.size());
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    // Plain text, whatever it looks like: a card name is never markup.
    if (!first) end.insertBlock();
    end.insertText(kept);
    if (drop > 0) {
        // The oldest lines go, so the log costs the same after a day as after an hour.
        QTextCursor oldest(document);
        oldest.movePosition(QTextCursor::Start);
        oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
        oldest.removeSelectedText();
    }
    ChatLog->verticalScrollBar()->setValue(ChatLog->verticalScrollBar()->maximum());
}

void TChatForm::SendChat() {
    const QString text = ChatEdit->toPlainText();
    if (text.trimmed().isEmpty()) return;
    if (!SendText) {
        AppendLine("Chat goes to the other player of a network match (File › Rules, MultiPlayer TCP/IP).");
        return;
    }
    // A line that could not go stays in the field, to be shortened or sent later.
    if (SendText(text)) ChatEdit->clear();
}
