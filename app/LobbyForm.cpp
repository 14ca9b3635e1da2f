#include "app/LobbyForm.h"

#include "net/ServerCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

TLobbyForm::TLobbyForm(TActions actions, QWidget* parent) : QWidget(parent, Qt::Window), Actions(std::move(actions)) {
    setObjectName("LobbyForm");
    setWindowTitle("Vantaro — Online Lobby");
    resize(720, 520);
    auto* layout = new QVBoxLayout(this);
    Status = new QLabel("Not connected.", this);
    Status->setObjectName("LobbyStatus");
    layout->addWidget(Status);

    auto* lists = new QHBoxLayout;
    PlayerList = new QTreeWidget(this);
    PlayerList->setObjectName("PlayerList");
    PlayerList->setHeaderLabels({"Player", "Doing"});
    PlayerList->setRootIsDecorated(false);
    TableList = new QTreeWidget(this);
    TableList->setObjectName("TableList");
    TableList->setHeaderLabels({"Table", "Red", "Blue", "Rules", "Time", "Watching", ""});
    TableList->setRootIsDecorated(false);
    TableList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lists->addWidget(PlayerList, 1);
    lists->addWidget(TableList, 2);
    layout->addLayout(lists, 3);

    auto* choose = new QGroupBox("New table", this);
    auto* chooseLayout = new QHBoxLayout(choose);
    const char* const names[5] = {"Same", "Same Wall", "Plus", "Elemental", "Sudden Death"};
    for (int i = 0; i < 5; ++i) {
        RuleBoxes[i] = new QCheckBox(names[i], choose);
        chooseLayout->addWidget(RuleBoxes[i]);
    }
    SecondsBox = new QComboBox(choose);
    SecondsBox->addItem("30 s a move", 30);
    SecondsBox->addItem("60 s a move", 60);
    SecondsBox->addItem("Unlimited", 0);
    SecondsBox->setCurrentIndex(1);
    chooseLayout->addWidget(SecondsBox);
    layout->addWidget(choose);

    auto* buttons = new QHBoxLayout;
    CreateButton = new QPushButton("&Create Table", this);
    SitButton = new QPushButton("&Sit", this);
    WatchButton = new QPushButton("&Watch", this);
    PlayNowButton = new QPushButton("&Play Now", this);
    LeaveButton = new QPushButton("&Leave Table", this);
    for (QPushButton* button : {CreateButton, SitButton, WatchButton, PlayNowButton, LeaveButton})
        buttons->addWidget(button);
    layout->addLayout(buttons);

    ChatLog = new QTextEdit(this);
    ChatLog->setObjectName("LobbyChat");
    ChatLog->setReadOnly(true);
    ChatLog->setAcceptRichText(false);
    layout->addWidget(ChatLog, 2);
    auto* chatLine = new QHBoxLayout;
    ChatEdit = new QLineEdit(this);
    ChatEdit->setObjectName("LobbyChatEdit");
    ChatEdit->setMaxLength(int(ServerCodec::MaxChatCharacters));
    ChatEdit->setPlaceholderText("Say something to everyone in the lobby");
    auto* send = new QPushButton("Send", this);
    chatLine->addWidget(ChatEdit, 1);
    chatLine->addWidget(send);
    layout->addLayout(chatLine);

    connect(CreateButton, &QPushButton::clicked, this, [this] {
        if (Actions.Create) Actions.Create(ChosenRules(), ChosenSeconds());
    });
    connect(PlayNowButton, &QPushButton::clicked, this, [this] {
        if (Actions.PlayNow) Actions.PlayNow(ChosenRules(), ChosenSeconds());
    });
    connect(SitButton, &QPushButton::clicked, this, [this] {
        if (const auto table = ChosenTable(); table && Actions.Sit) Actions.Sit(*table);
    });
    connect(WatchButton, &QPushButton::clicked, this, [this] {
        if (const auto table = ChosenTable(); table && Actions.Watch) Actions.Watch(*table);
    });
    connect(LeaveButton, &QPushButton::clicked, this, [this] {
        if (Actions.Leave) Actions.Leave();
    });
    const auto sendChat = [this] {
        if (Actions.Chat && Actions.Chat(ChatEdit->text())) ChatEdit->clear();
    };
    connect(send, &QPushButton::clicked, this, sendChat);
    connect(ChatEdit, &QLineEdit::returnPressed, this, sendChat);
    connect(TableList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(TableList, &QTreeWidget::itemDoubleClicked, this, [this] {
        const auto table = ChosenTable();
        if (!table) return;
        const QTreeWidgetItem* item = TableList->currentItem();
        const bool open = item && item->data(0, Qt::UserRole + 1).toBool();
        if (open && Actions.Sit) Actions.Sit(*table);
        else if (Actions.Watch) Actions.Watch(*table);
    });
    UpdateButtons();
}

void TLobbyForm::Show(const TLobbyModel& model) {
    const std::optional<int64_t> chosen = ChosenTable();
    PlayerList->clear();
    for (const auto& [key, player] : model.Players())
        new QTreeWidgetItem(PlayerList, {player.Name, TLobbyModel::Doing(player)});
    TableList->clear();
    for (const auto& [id, table] : model.Tables()) {
        const bool open = !table.Playing && (table.Seats[0].isEmpty() || table.Seats[1].isEmpty());
        auto* item = new QTreeWidgetItem(
            TableList, {QString::number(id), table.Seats[0].isEmpty() ? "(open)" : table.Seats[0],
                        table.Seats[1].isEmpty() ? "(open)" : table.Seats[1], TLobbyModel::RulesText(table.Rules),
                        TLobbyModel::SecondsText(table.Seconds), QString::number(table.Watchers),
                        table.Playing ? "playing" : open ? "waiting" : ""});
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(id));
        item->setData(0, Qt::UserRole + 1, open);
        if (chosen && *chosen == id) TableList->setCurrentItem(item);
    }
    UpdateButtons();
}

void TLobbyForm::SetStatus(const QString& text) {
    Status->setText(text);
}

void TLobbyForm::AppendChat(const QString& line) {
    ChatLog->append(line.toHtmlEscaped());
}

std::optional<int64_t> TLobbyForm::ChosenTable() const {
    const QTreeWidgetItem* item = TableList->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    return item->data(0, Qt::UserRole).toLongLong();
}

TGameRules TLobbyForm::ChosenRules() const {
    TGameRules rules;
    rules.Same = RuleBoxes[0]->isChecked();
    rules.SameWall = RuleBoxes[1]->isChecked();
    rules.Plus = RuleBoxes[2]->isChecked();
    rules.Elemental = RuleBoxes[3]->isChecked();
    rules.SuddenDeath = RuleBoxes[4]->isChecked();
    return rules;
}

int32_t TLobbyForm::ChosenSeconds() const {
    return SecondsBox->currentData().toInt();
}

void TLobbyForm::UpdateButtons() {
    const QTreeWidgetItem* item = TableList->currentItem();
    const bool chosen = ChosenTable().has_value();
    SitButton->setEnabled(chosen && item && item->data(0, Qt::UserRole + 1).toBool());
    WatchButton->setEnabled(chosen);
}

bool AskServerAndName(QWidget* parent, QString& server, QString& name) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Play Online");
    auto* form = new QFormLayout(&dialog);
    auto* serverEdit = new QLineEdit(server, &dialog);
    serverEdit->setPlaceholderText("host or host:port (port 47018 if none)");
    auto* nameEdit = new QLineEdit(name, &dialog);
    nameEdit->setMaxLength(16);
    nameEdit->setPlaceholderText("3 to 16 letters, digits, - or _");
    form->addRow("&Server:", serverEdit);
    form->addRow("&Name:", nameEdit);
    auto* note = new QLabel(&dialog);
    form->addRow(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (serverEdit->text().trimmed().isEmpty())
            note->setText("Give the server's name or address.");
        else if (!ServerCodec::IsPlayerName(nameEdit->text()))
            note->setText("A name has 3 to 16 letters, digits, - or _.");
        else
            dialog.accept();
    });
    if (dialog.exec() != QDialog::Accepted) return false;
    server = serverEdit->text().trimmed();
    name = nameEdit->text();
    return true;
}
