#include "app/ChatForm.h"

#include "app/ChatSpeaker.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
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
    Blah1 = menu->addAction("Blah");
    Blah1->setObjectName("Blah1");
    LogMenu = menu->addMenu("&Log");
    LogCopy = LogMenu->addAction("&Copy Log", this, [this] { CopyLog(); });
    LogSave = LogMenu->addAction("&Save Log…", this, [this] {
        const QString file = AskSaveFile ? AskSaveFile() : QString();
        if (!file.isEmpty() && !SaveLog(file)) AppendLine("The log could not be saved to " + file + ".");
    });
    LogClear = LogMenu->addAction("C&lear Log", this, [this] { ClearLog(); });
    LogMenu->menuAction()->setVisible(false);
    AskSaveFile = [this] {
        return QFileDialog::getSaveFileName(this, "Save Log", "vantaro-log.txt", "Text files (*.txt)");
    };

    auto* client = new QWidget(this);
    Client = client;
    client->setFixedSize(242, 384);
    setCentralWidget(client);

    ChatLog = new QTextEdit(client);
    ChatLog->setGeometry(0, 0, 241, 257);
    ChatLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ChatLog->setReadOnly(true);
    // Out of reach of focus and typing, yet it scrolls: the wheel and the
    // scroll bar reach the early lines. It keeps the quiet look it has always
    // had, its lines as plain as any text.
    ChatLog->setFocusPolicy(Qt::NoFocus);
    ChatLog->setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette quiet = ChatLog->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::Base})
        quiet.setColor(QPalette::Disabled, role, quiet.color(QPalette::Active, role));
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            quiet.setColor(group, QPalette::ColorRole(role),
                           quiet.color(QPalette::Disabled, QPalette::ColorRole(role)));
    ChatLog->setPalette(quiet);
    ChatLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ChatLog, &QTextEdit::customContextMenuRequested, this, [this](const QPoint& at) {
        const QString speaker = SpeakerAt(at);
        if (speaker.isEmpty() || !SpeakerMenu) return;
        QMenu menu(this);
        SpeakerMenu(menu, speaker);
        if (!menu.isEmpty()) menu.exec(ChatLog->viewport()->mapToGlobal(at));
    });

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

void TChatForm::SetMode(TMode mode) {
    if (mode == CurrentMode) return;
    const bool live = mode == TMode::Chat;
    // The inert window's texts belong to it alone.
    Blah1->setVisible(mode == TMode::HotSeat);
    LogMenu->menuAction()->setVisible(mode != TMode::HotSeat);
    if (live) {
        if (CurrentMode == TMode::HotSeat || ChatEdit->toPlainText() == "ChatEdit") ChatEdit->clear();
        ChatEdit->setPlaceholderText("Type a message for the other player, then Enter");
    } else if (mode == TMode::HotSeat) {
        ChatEdit->setPlaceholderText(QString());
        if (ChatEdit->toPlainText().isEmpty()) ChatEdit->setPlainText("ChatEdit");
    }
    CurrentMode = mode;
    LayOut();
}

void TChatForm::SetClientHeight(int height) {
    ClientHeight = height;
    LayOut();
}

void TChatForm::LayOut() {
    // At the first height and with a chat field this is the window's first
    // layout; taller, the log takes the room; without chat, all of it.
    const bool chat = CurrentMode != TMode::Log && !Panel;
    const int grow = ClientHeight - 384;
    ChatEdit->setVisible(chat);
    SendButton->setVisible(chat);
    const int top = Panel ? Panel->sizeHint().height() : 0;
    if (Panel) Panel->setGeometry(0, 0, 241, top);
    ChatLog->setGeometry(0, top, 241, (chat ? 257 + grow : ClientHeight) - top);
    ChatEdit->setGeometry(0, 264 + grow, 240, 81);
    SendButton->setGeometry(168, 352 + grow, 73, 25);
    if (Client->height() == ClientHeight) return;
    Client->setFixedSize(242, ClientHeight);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (layout()) layout()->activate();
    setFixedSize(sizeHint());
}

void TChatForm::SetPanel(QWidget* panel) {
    if (Panel && Panel != panel) Panel->hide();
    Panel = panel;
    if (Panel) {
        Panel->setParent(Client);
        Panel->show();
    }
    LayOut();
}

void TChatForm::CopyLog() {
    QApplication::clipboard()->setText(ChatLog->toPlainText());
}

bool TChatForm::SaveLog(const QString& fileName) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    file.write(ChatLog->toPlainText().toUtf8() + "\n");
    return file.commit();
}

void TChatForm::ClearLog() {
    ChatLog->clear();
    // The bound counts what the window holds; an emptied window starts afresh.
    Cap.Clear();
}

void TChatForm::keyPressEvent(QKeyEvent* event) {
    // The window itself has the focus only when nothing in it does: every
    // key of the table goes back to it.
    if (ForwardKey) {
        ForwardKey(event);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TChatForm::eventFilter(QObject* watched, QEvent* event) {
    // Enter alone does not break the line; Ctrl+Enter does.
    if (watched == ChatEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && ReturnToTable) {
            ReturnToTable();
            return true;
        }
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

void TChatForm::AppendLine(const QString& line, const QString& speaker) {
    const QString kept = Cap.Clip(line);
    QScrollBar* bar = ChatLog->verticalScrollBar();
    // A reader scrolled up keeps their place; at the bottom the log follows.
    const bool following = bar->value() >= bar->maximum();
    QTextDocument* document = ChatLog->document();
    // The first line fills the empty block the document starts with.
    const bool first = Cap.Lines() == 0;
    const int32_t drop = Cap.Add(kept.size());
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    // Plain text, whatever it looks like: a card name is never markup.
    if (!first) end.insertBlock();
    end.insertText(kept);
    ChatSpeaker::Mark(end, speaker);
    if (drop > 0) {
        // The oldest lines go, so the log costs the same after a day as after an hour.
        QTextCursor oldest(document);
        oldest.movePosition(QTextCursor::Start);
        oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
        // The lines read stay where they were as the ones above them go.
        QAbstractTextDocumentLayout* layout = document->documentLayout();
        const qreal gone = layout->blockBoundingRect(document->findBlockByNumber(drop)).top() -
                           layout->blockBoundingRect(document->begin()).top();
        const int at = bar->value();
        oldest.removeSelectedText();
        if (!following) bar->setValue(at - int(gone));
    }
    if (following) bar->setValue(bar->maximum());
}

QString TChatForm::SpeakerAt(const QPoint& at) const {
    return ChatSpeaker::Of(ChatLog->cursorForPosition(at).block());
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
