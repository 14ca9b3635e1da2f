#include "app/LobbyForm.h"

#include "app/CommunityPage.h"
#include "app/ModerationPage.h"
#include "app/RatingChart.h"
#include "net/RulesText.h"
#include "net/ServerCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int RulesColumn = 3; // of the tables list

// A long list of rules on lines of a few rules each, so that it does not push
// the columns after it out of sight.
QString WrappedRules(const QString& text) {
    const qsizetype lineLength = 24;
    QString wrapped, line;
    for (const QString& rule : text.split(QStringLiteral(", "))) {
        if (!line.isEmpty() && line.size() + 2 + rule.size() > lineLength) {
            wrapped += line + QStringLiteral(",\n");
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + rule;
    }
    return wrapped + line;
}

} // namespace

TLobbyForm::TLobbyForm(TActions actions, QWidget* parent)
    : QWidget(parent, Qt::Window), Actions(std::move(actions)) {
    setObjectName("LobbyForm");
    setWindowTitle("Vantaro — Online Lobby");
    resize(860, 540);
    auto* layout = new QVBoxLayout(this);
    Status = new QLabel("Not connected.", this);
    Status->setObjectName("LobbyStatus");
    layout->addWidget(Status);

    Views = new QTabWidget(this);
    Views->setObjectName("LobbyViews");
    TablesPage = new QWidget(Views);
    auto* lists = new QHBoxLayout(TablesPage);
    lists->setContentsMargins(0, 0, 0, 0);
    PlayerList = new QTreeWidget(TablesPage);
    PlayerList->setObjectName("PlayerList");
    PlayerList->setHeaderLabels({"Player", "Rating", "Doing"});
    PlayerList->setRootIsDecorated(false);
    PlayerList->setToolTip("Double-click a player for their profile");
    PlayerList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TableList = new QTreeWidget(TablesPage);
    TableList->setObjectName("TableList");
    TableList->setHeaderLabels({"Table", "Red", "Blue", "Rules", "Time", "Watching", "Match", ""});
    TableList->setRootIsDecorated(false);
    TableList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lists->addWidget(PlayerList, 1);
    lists->addWidget(TableList, 2);
    Views->addTab(TablesPage, "&Tables");

    LeaderboardPage = new QWidget(Views);
    auto* leaders = new QVBoxLayout(LeaderboardPage);
    LeaderList = new QTreeWidget(LeaderboardPage);
    LeaderList->setObjectName("LeaderList");
    LeaderList->setHeaderLabels({"#", "Player", "Rating", "Rated matches"});
    LeaderList->setRootIsDecorated(false);
    LeaderList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    LeaderList->setToolTip("Double-click a player for their profile");
    leaders->addWidget(LeaderList, 1);
    auto* leaderNote = new QHBoxLayout;
    leaderNote->addWidget(new QLabel("The top 50 of those with at least 10 rated matches.", LeaderboardPage),
                          1);
    RefreshButton = new QPushButton("&Refresh", LeaderboardPage);
    leaderNote->addWidget(RefreshButton);
    leaders->addLayout(leaderNote);
    Views->addTab(LeaderboardPage, "Leader&board");

    ProfilePage = new QWidget(Views);
    auto* profile = new QVBoxLayout(ProfilePage);
    ProfileTitle = new QLabel("Double-click a player in the lists for their profile.", ProfilePage);
    ProfileTitle->setObjectName("ProfileTitle");
    profile->addWidget(ProfileTitle);
    ProfileChart = new TRatingChart(ProfilePage);
    profile->addWidget(ProfileChart, 1);
    RecentList = new QTreeWidget(ProfilePage);
    RecentList->setObjectName("RecentList");
    RecentList->setHeaderLabels({"Ended", "Opponent", "As", "Rules", "Result", "Rating"});
    RecentList->setRootIsDecorated(false);
    RecentList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    profile->addWidget(RecentList, 2);
    auto* replayLine = new QHBoxLayout;
    replayLine->addWidget(
        new QLabel("The last 50 matches; open one to step through it on the main window.", ProfilePage), 1);
    ReplayButton = new QPushButton("Open &Replay", ProfilePage);
    replayLine->addWidget(ReplayButton);
    profile->addLayout(replayLine);
    Views->addTab(ProfilePage, "Pro&file");
    TCommunityPage::TActions people;
    people.Follow = [this](const QString& name, bool on) {
        if (Actions.Follow) Actions.Follow(name, on);
    };
    people.Block = [this](const QString& name, bool on) {
        if (Actions.Block) Actions.Block(name, on);
    };
    people.Profile = [this](const QString& name) { AskProfile(name); };
    people.Watch = [this](int64_t table) {
        if (Actions.Watch) Actions.Watch(table);
    };
    PeoplePage = new TCommunityPage(std::move(people), Views);
    Views->addTab(PeoplePage, "P&eople");
    ModerationPage = new TModerationPage(
        [this](const Requests::TModerate& action) {
            if (Actions.Moderate) Actions.Moderate(action);
        },
        Views);
    layout->addWidget(Views, 3);

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
    RatedBox = new QCheckBox("Ra&ted", choose);
    RatedBox->setToolTip("A rated match moves both players' ratings; Play Now is always rated");
    chooseLayout->addWidget(RatedBox);
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
        if (Actions.Create) Actions.Create(ChosenRules(), ChosenSeconds(), ChosenRated());
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
        if (open && Actions.Sit)
            Actions.Sit(*table);
        else if (Actions.Watch)
            Actions.Watch(*table);
    });
    // A name in either list opens its profile; a match in the profile its replay.
    const auto profileOf = [this](QTreeWidgetItem* item, int column) {
        if (item) AskProfile(item->text(column));
    };
    connect(PlayerList, &QTreeWidget::itemActivated, this,
            [profileOf](QTreeWidgetItem* item) { profileOf(item, 0); });
    PlayerList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PlayerList, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = PlayerList->itemAt(at);
        if (!item) return;
        QMenu menu(this);
        FillPlayerMenu(menu, item->text(0));
        menu.exec(PlayerList->viewport()->mapToGlobal(at));
    });
    connect(LeaderList, &QTreeWidget::itemActivated, this,
            [profileOf](QTreeWidgetItem* item) { profileOf(item, 1); });
    connect(RecentList, &QTreeWidget::itemActivated, this, [this] { OpenChosenMatch(); });
    connect(RecentList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(ReplayButton, &QPushButton::clicked, this, [this] { OpenChosenMatch(); });
    connect(RefreshButton, &QPushButton::clicked, this, [this] {
        if (Actions.Leaderboard) Actions.Leaderboard();
    });
    // The leaderboard is asked for when first looked at; Refresh asks again.
    connect(Views, &QTabWidget::currentChanged, this, [this] {
        if (Views->currentWidget() != LeaderboardPage || LeadersAsked || !Actions.Leaderboard) return;
        LeadersAsked = true;
        Actions.Leaderboard();
    });
    UpdateButtons();
}

void TLobbyForm::AskProfile(const QString& name) {
    if (ServerCodec::IsPlayerName(name) && Actions.Profile) Actions.Profile(name);
}

void TLobbyForm::OpenChosenMatch() {
    if (const auto match = ChosenMatch(); match && Actions.Record) Actions.Record(*match);
}

void TLobbyForm::ShowLeaderboard(const std::vector<TLeaderboardEntry>& leaders) {
    LeadersAsked = true;
    LeaderList->clear();
    int32_t place = 0;
    for (const TLeaderboardEntry& leader : leaders)
        new QTreeWidgetItem(LeaderList, {QString::number(++place), leader.Name,
                                         TLobbyModel::RatingText(leader.Rating, leader.Deviation),
                                         QString::number(leader.Matches)});
    if (leaders.empty())
        new QTreeWidgetItem(LeaderList, {QString(), "No one has played 10 rated matches yet."});
}

void TLobbyForm::ShowProfile(const TPlayerProfile& profile) {
    ProfileTitle->setText(QStringLiteral("%1: rating %2, volatility %3, %4 rated match%5")
                              .arg(profile.Name, TLobbyModel::RatingText(profile.Rating, profile.Deviation))
                              .arg(profile.Volatility, 0, 'f', 4)
                              .arg(profile.Matches)
                              .arg(profile.Matches == 1 ? "" : "es"));
    std::vector<int32_t> ratings;
    for (const TPlayerProfile::TPoint& point : profile.History) ratings.push_back(point.Rating);
    ProfileChart->SetRatings(std::move(ratings));
    RecentList->clear();
    for (const TProfileMatch& match : profile.Recent) {
        auto* item = new QTreeWidgetItem(
            RecentList,
            {QDateTime::fromMSecsSinceEpoch(match.EndedMs).toLocalTime().toString("yyyy-MM-dd HH:mm"),
             match.Opponent, match.Seat == 0 ? "Red" : "Blue", RulesText(match.Rules),
             TLobbyModel::ResultText(match),
             match.Change  ? TLobbyModel::ChangeText(*match.Change)
             : match.Rated ? QStringLiteral("rated")
                           : QStringLiteral("casual")});
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(match.Match));
    }
    if (RecentList->topLevelItemCount() > 0) RecentList->setCurrentItem(RecentList->topLevelItem(0));
    Views->setCurrentWidget(ProfilePage);
    UpdateButtons();
}

std::optional<int64_t> TLobbyForm::ChosenMatch() const {
    const QTreeWidgetItem* item = RecentList->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    return item->data(0, Qt::UserRole).toLongLong();
}

bool TLobbyForm::ChosenRated() const {
    return RatedBox->isChecked();
}

void TLobbyForm::Show(const TLobbyModel& model) {
    const std::optional<int64_t> chosen = ChosenTable();
    PlayerList->clear();
    for (const auto& [key, player] : model.Players())
        new QTreeWidgetItem(PlayerList,
                            {player.Name, TLobbyModel::RatingText(player.Rating, player.Deviation),
                             TLobbyModel::Doing(player)});
    TableList->clear();
    for (const auto& [id, table] : model.Tables()) {
        const bool open = !table.Playing && (table.Seats[0].isEmpty() || table.Seats[1].isEmpty());
        auto* item = new QTreeWidgetItem(
            TableList, {QString::number(id), table.Seats[0].isEmpty() ? "(open)" : table.Seats[0],
                        table.Seats[1].isEmpty() ? "(open)" : table.Seats[1],
                        WrappedRules(RulesText(table.Rules)), TLobbyModel::SecondsText(table.Seconds),
                        QString::number(table.Watchers), table.Rated ? "rated" : "casual",
                        table.Playing ? "playing"
                        : open        ? "waiting"
                                      : ""});
        item->setToolTip(RulesColumn, RulesText(table.Rules));
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
    ReplayButton->setEnabled(ChosenMatch().has_value());
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

void TLobbyForm::ShowRelations(const std::vector<TFollowedPlayer>& follows,
                               const std::vector<QString>& blocks) {
    Followed.clear();
    for (const TFollowedPlayer& player : follows) Followed << player.Name;
    Blocked = QStringList(blocks.begin(), blocks.end());
    PeoplePage->Show(follows, blocks);
}

void TLobbyForm::SetModerator(bool moderator) {
    const int at = Views->indexOf(ModerationPage);
    if (moderator && at < 0)
        Views->addTab(ModerationPage, "&Moderation");
    else if (!moderator && at >= 0)
        Views->removeTab(at);
}

void TLobbyForm::ShowModeration(const std::vector<TOpenReport>& reports,
                                const std::vector<TSanctionEntry>& sanctions) {
    ModerationPage->Show(reports, sanctions);
}

void TLobbyForm::FillPlayerMenu(QMenu& menu, const QString& name) {
    menu.addAction(QStringLiteral("Profile"), this, [this, name] { AskProfile(name); });
    const bool followed = Followed.contains(name, Qt::CaseInsensitive);
    const bool blocked = Blocked.contains(name, Qt::CaseInsensitive);
    menu.addAction(followed ? QStringLiteral("Unfollow") : QStringLiteral("Follow"), this,
                   [this, name, followed] {
                       if (Actions.Follow) Actions.Follow(name, !followed);
                   });
    menu.addAction(blocked ? QStringLiteral("Unblock") : QStringLiteral("Block"), this,
                   [this, name, blocked] {
                       if (Actions.Block) Actions.Block(name, !blocked);
                   });
    QMenu* report = menu.addMenu(QStringLiteral("Report"));
    const std::pair<const char*, const char*> reasons[] = {{"abuse", "Abuse or insults"},
                                                           {"cheating", "Cheating"},
                                                           {"spam", "Spam"},
                                                           {"name", "An offensive name"},
                                                           {"other", "Something else"}};
    for (const auto& [reason, text] : reasons)
        report->addAction(QString::fromLatin1(text), this,
                          [this, name, reason = QString::fromLatin1(reason)] {
                              if (Actions.Report) Actions.Report(name, reason);
                          });
    if (Views->indexOf(ModerationPage) >= 0)
        menu.addAction(QStringLiteral("Moderate…"), this, [this, name] {
            ModerationPage->Aim(name);
            Views->setCurrentWidget(ModerationPage);
        });
}
