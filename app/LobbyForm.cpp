#include "app/LobbyForm.h"

#include "app/ChatSpeaker.h"
#include "app/CommunityPage.h"
#include "app/ModerationPage.h"
#include "app/RatingChart.h"
#include "net/RulesText.h"
#include "net/ServerCodec.h"
#include "rules/RuleBits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>

namespace {

constexpr int RulesColumn = 3;             // of the tables list
constexpr int BusyRole = Qt::UserRole + 2; // of a player: at a match
constexpr int32_t PlayNowSeconds[3] = {30, 60, 0};
// What a player may report another for, in the server's words and in the player's.
constexpr std::pair<const char*, const char*> ReportReasons[] = {{"abuse", "Abuse or insults"},
                                                                 {"cheating", "Cheating"},
                                                                 {"spam", "Spam"},
                                                                 {"name", "An offensive name"},
                                                                 {"other", "Something else"}};
// Open first, then the rule sets of one switch, of two, and so on.
std::vector<int32_t> RuleSetsInOrder() {
    std::vector<int32_t> sets;
    for (int32_t bits = 0; bits <= RuleAllBits; ++bits) sets.push_back(bits);
    std::stable_sort(sets.begin(), sets.end(), [](int32_t a, int32_t b) {
        return std::popcount(uint32_t(a)) < std::popcount(uint32_t(b));
    });
    return sets;
}

// A button that cannot act says why; one that can, what it does.
void Able(QPushButton* button, const QString& reason, const QString& does) {
    button->setEnabled(reason.isEmpty());
    button->setToolTip(reason.isEmpty() ? does : reason);
}

QString Minutes(uint64_t ms) {
    const uint64_t seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

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
    auto* statusLine = new QHBoxLayout;
    Status = new QLabel("Not connected.", this);
    Status->setObjectName("LobbyStatus");
    Status->setWordWrap(true);
    statusLine->addWidget(Status, 1);
    ReconnectButton = new QPushButton("Rec&onnect", this);
    statusLine->addWidget(ReconnectButton);
    layout->addLayout(statusLine);

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
    // What one does with a player sits under the players.
    auto* players = new QVBoxLayout;
    players->addWidget(PlayerList, 1);
    auto* playerButtons = new QHBoxLayout;
    ChallengeButton = new QPushButton("C&hallenge…", TablesPage);
    MyProfileButton = new QPushButton("&My Profile", TablesPage);
    playerButtons->addWidget(ChallengeButton);
    playerButtons->addWidget(MyProfileButton);
    players->addLayout(playerButtons);
    lists->addLayout(players, 1);
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
    // No mnemonics: these come and go with the profile shown.
    auto* relationLine = new QHBoxLayout;
    ProfileFollowButton = new QPushButton("Follow", ProfilePage);
    ProfileFollowButton->setObjectName("ProfileFollow");
    ProfileBlockButton = new QPushButton("Block", ProfilePage);
    ProfileBlockButton->setObjectName("ProfileBlock");
    ProfileBlockLabel = new QLabel("You block:", ProfilePage);
    ProfileBlockList = new QListWidget(ProfilePage);
    ProfileBlockList->setObjectName("ProfileBlockList");
    ProfileBlockList->setFlow(QListView::LeftToRight);
    ProfileBlockList->setFixedHeight(fontMetrics().height() * 2);
    ProfileBlockList->setToolTip(
        "The players you block: their chat does not reach you, and you are not paired");
    ProfileUnblockButton = new QPushButton("Unblock", ProfilePage);
    relationLine->addWidget(ProfileFollowButton);
    relationLine->addWidget(ProfileBlockButton);
    relationLine->addWidget(ProfileBlockLabel);
    relationLine->addWidget(ProfileBlockList, 1);
    relationLine->addWidget(ProfileUnblockButton);
    relationLine->addStretch(0);
    profile->addLayout(relationLine);
    connect(ProfileFollowButton, &QPushButton::clicked, this, [this] {
        if (Actions.Follow) Actions.Follow(ProfileName, !Followed.contains(ProfileName, Qt::CaseInsensitive));
    });
    connect(ProfileBlockButton, &QPushButton::clicked, this, [this] {
        if (Actions.Block) Actions.Block(ProfileName, !Blocked.contains(ProfileName, Qt::CaseInsensitive));
    });
    connect(ProfileUnblockButton, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = ProfileBlockList->currentItem(); item && Actions.Block)
            Actions.Block(item->text(), false);
    });
    connect(ProfileBlockList, &QListWidget::currentItemChanged, this, [this] { UpdateProfileRelations(); });
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
    people.Challenge = [this](const QString& name) { AskToChallenge(name); };
    PeoplePage = new TCommunityPage(std::move(people), Views);
    Views->addTab(PeoplePage, "P&eople");
    ModerationPage = new TModerationPage(
        [this](const Requests::TModerate& action) {
            if (Actions.Moderate) Actions.Moderate(action);
        },
        Views);
    // A tab for moderators only: until then not shown at all.
    ModerationPage->hide();
    layout->addWidget(Views, 3);

    auto* choose = new QGroupBox("New table or challenge", this);
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

    auto* playNow = new QGroupBox("Play Now accepts", this);
    auto* playNowLayout = new QHBoxLayout(playNow);
    PlayNowRules = new QListWidget(playNow);
    PlayNowRules->setObjectName("PlayNowRules");
    PlayNowRules->setFlow(QListView::LeftToRight);
    PlayNowRules->setWrapping(true);
    PlayNowRules->setResizeMode(QListView::Adjust);
    PlayNowRules->setFixedHeight(fontMetrics().height() * 4);
    PlayNowRules->setToolTip(
        "Every rule set you would play; the server pairs you on one both players accept");
    for (int32_t bits : RuleSetsInOrder()) {
        auto* item = new QListWidgetItem(TLobbyModel::RuleSetText(RulesOfBits(bits)), PlayNowRules);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, bits);
    }
    playNowLayout->addWidget(PlayNowRules, 1);
    auto* times = new QVBoxLayout;
    const char* const timeNames[3] = {"30 s a move", "60 s a move", "Unlimited"};
    for (int i = 0; i < 3; ++i) {
        PlayNowTimes[i] = new QCheckBox(timeNames[i], playNow);
        times->addWidget(PlayNowTimes[i]);
    }
    playNowLayout->addLayout(times);
    PlayNowButton = new QPushButton("&Play Now", playNow);
    playNowLayout->addWidget(PlayNowButton, 0, Qt::AlignBottom);
    layout->addWidget(playNow);

    auto* waiting = new QHBoxLayout;
    WaitingLine = new QLabel(this);
    WaitingLine->setObjectName("WaitingLine");
    waiting->addWidget(WaitingLine, 1);
    StopWaitingButton = new QPushButton("Stop Wa&iting", this);
    waiting->addWidget(StopWaitingButton);
    layout->addLayout(waiting);

    ChallengeBar = new QFrame(this);
    ChallengeBar->setObjectName("ChallengeBar");
    ChallengeBar->setFrameShape(QFrame::StyledPanel);
    auto* challengeLayout = new QHBoxLayout(ChallengeBar);
    ChallengeLine = new QLabel(ChallengeBar);
    ChallengeLine->setObjectName("ChallengeLine");
    ChallengeLine->setWordWrap(true);
    challengeLayout->addWidget(ChallengeLine, 1);
    AcceptButton = new QPushButton("&Accept", ChallengeBar);
    DeclineButton = new QPushButton("&Decline", ChallengeBar);
    WithdrawButton = new QPushButton("With&draw", ChallengeBar);
    for (QPushButton* button : {AcceptButton, DeclineButton, WithdrawButton})
        challengeLayout->addWidget(button);
    layout->addWidget(ChallengeBar);

    auto* buttons = new QHBoxLayout;
    CreateButton = new QPushButton("&Create Table", this);
    SitButton = new QPushButton("&Sit", this);
    WatchButton = new QPushButton("&Watch", this);
    LeaveButton = new QPushButton("&Leave Table", this);
    for (QPushButton* button : {CreateButton, SitButton, WatchButton, LeaveButton})
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
        if (Actions.PlayNow) Actions.PlayNow(AcceptedRules(), AcceptedSeconds());
    });
    connect(StopWaitingButton, &QPushButton::clicked, this, [this] {
        if (Actions.Leave) Actions.Leave();
    });
    connect(ChallengeButton, &QPushButton::clicked, this, [this] { AskToChallenge(ChosenPlayer()); });
    connect(MyProfileButton, &QPushButton::clicked, this, [this] { AskProfile(SignedInAs); });
    connect(ReconnectButton, &QPushButton::clicked, this, [this] {
        if (Actions.Reconnect) Actions.Reconnect();
    });
    const auto answer = [this](bool accept) {
        if (!ChallengesToMe.empty() && Actions.Answer) Actions.Answer(ChallengesToMe.front().Id, accept);
    };
    connect(AcceptButton, &QPushButton::clicked, this, [answer] { answer(true); });
    connect(DeclineButton, &QPushButton::clicked, this, [answer] { answer(false); });
    connect(WithdrawButton, &QPushButton::clicked, this, [this] {
        if (SentChallenge && Actions.Answer) Actions.Answer(SentChallenge->Id, false);
    });
    connect(PlayerList, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(PlayNowRules, &QListWidget::itemChanged, this, [this] { UpdateButtons(); });
    for (QCheckBox* box : PlayNowTimes) connect(box, &QCheckBox::toggled, this, [this] { UpdateButtons(); });
    WaitingClock = new QTimer(this);
    WaitingClock->setInterval(1000);
    connect(WaitingClock, &QTimer::timeout, this, [this] { UpdateWaiting(); });
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
    // A line someone said offers what their name in the list offers.
    ChatLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ChatLog, &QTextEdit::customContextMenuRequested, this, [this](const QPoint& at) {
        const QString speaker = SpeakerAt(at);
        std::unique_ptr<QMenu> menu(speaker.isEmpty() ? ChatLog->createStandardContextMenu()
                                                      : new QMenu(this));
        if (!speaker.isEmpty()) FillPlayerMenu(*menu, speaker);
        menu->exec(ChatLog->viewport()->mapToGlobal(at));
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
    AskReport = [this](const QString& name, QString& reason, QString& text) {
        return AskReportDetails(this, name, reason, text);
    };
    UpdateProfileRelations();
    SetLink(TLink::Offline);
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
    ProfileName = profile.Name;
    UpdateProfileRelations();
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
    const QString chosenPlayer = ChosenPlayer();
    SignedInAs = model.SignedInAs;
    const TLobbyPlayer* own = model.Own();
    OwnTable = own ? own->Table : 0;
    OwnSeat = own ? own->Seat : -1;
    const TLobbyTable* ownTable = model.Table(OwnTable);
    OwnTablePlaying = ownTable && ownTable->Playing;
    PlayNowWait = model.Waiting();
    SentChallenge = model.OwnChallenge();
    ChallengesToMe = model.ChallengesToMe();
    PlayerList->clear();
    for (const auto& [key, player] : model.Players()) {
        const TLobbyTable* at = model.Table(player.Table);
        auto* item = new QTreeWidgetItem(
            PlayerList, {player.Name, TLobbyModel::RatingText(player.Rating, player.Deviation),
                         TLobbyModel::Doing(player)});
        item->setData(0, BusyRole, player.Seat >= 0 && at && at->Playing);
        if (player.Name == chosenPlayer) PlayerList->setCurrentItem(item);
    }
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
    if (ChallengesToMe.empty() && !SentChallenge) {
        ChallengeBar->hide();
    } else {
        ChallengeBar->show();
        ChallengeLine->setText(
            !ChallengesToMe.empty()
                ? QStringLiteral("%1 challenges you: %2.")
                      .arg(ChallengesToMe.front().From, TLobbyModel::OfferText(ChallengesToMe.front()))
                : QStringLiteral("Your challenge to %1 (%2) waits for an answer.")
                      .arg(SentChallenge->To, TLobbyModel::OfferText(*SentChallenge)));
        AcceptButton->setVisible(!ChallengesToMe.empty());
        DeclineButton->setVisible(!ChallengesToMe.empty());
        WithdrawButton->setVisible(ChallengesToMe.empty());
    }
    UpdateWaiting();
    UpdateButtons();
}

void TLobbyForm::SetLink(TLink link) {
    Link = link;
    ReconnectButton->setVisible(link == TLink::Lost);
    if (link != TLink::SignedIn) {
        PlayNowWait.reset();
        SentChallenge.reset();
        ChallengesToMe.clear();
        ChallengeBar->hide();
        OwnTable = 0;
        OwnSeat = -1;
    }
    UpdateWaiting();
    UpdateButtons();
}

// While Play Now or a table waits, a line says for what and for how long.
void TLobbyForm::UpdateWaiting() {
    QString waitingFor;
    if (PlayNowWait)
        waitingFor = QStringLiteral("Waiting for an opponent: ") +
                     TLobbyModel::AcceptedText(PlayNowWait->Rules, PlayNowWait->Seconds);
    else if (OwnSeat >= 0 && OwnTable != 0 && !OwnTablePlaying)
        waitingFor = QStringLiteral("Waiting at table %1 for an opponent").arg(OwnTable);
    const uint64_t now = Actions.NowMs ? Actions.NowMs() : 0;
    if (waitingFor.isEmpty()) {
        WaitingSinceMs.reset();
        WaitingClock->stop();
    } else if (!WaitingSinceMs || waitingFor != WaitingFor) {
        WaitingSinceMs = now;
        WaitingClock->start();
    }
    WaitingFor = waitingFor;
    WaitingLine->setText(waitingFor.isEmpty() ? QString()
                                              : waitingFor + QStringLiteral(" \u00B7 ") +
                                                    Minutes(now - std::min(now, *WaitingSinceMs)));
    WaitingLine->setVisible(!waitingFor.isEmpty());
    StopWaitingButton->setVisible(!waitingFor.isEmpty());
}

QString TLobbyForm::ChosenPlayer() const {
    const QTreeWidgetItem* item = PlayerList->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

void TLobbyForm::AskToChallenge(const QString& name) {
    if (name.isEmpty() || !Actions.Challenge) return;
    TGameRules rules = ChosenRules();
    int32_t seconds = ChosenSeconds();
    bool rated = ChosenRated();
    const bool asked = Actions.AskChallenge ? Actions.AskChallenge(name, rules, seconds, rated)
                                            : AskChallengeTerms(this, name, rules, seconds, rated);
    if (asked) Actions.Challenge(name, rules, seconds, rated);
}

std::vector<int32_t> TLobbyForm::AcceptedRules() const {
    std::vector<int32_t> rules;
    for (int row = 0; row < PlayNowRules->count(); ++row)
        if (PlayNowRules->item(row)->checkState() == Qt::Checked)
            rules.push_back(PlayNowRules->item(row)->data(Qt::UserRole).toInt());
    return rules;
}

std::vector<int32_t> TLobbyForm::AcceptedSeconds() const {
    std::vector<int32_t> seconds;
    for (int i = 0; i < 3; ++i)
        if (PlayNowTimes[i]->isChecked()) seconds.push_back(PlayNowSeconds[i]);
    return seconds;
}

void TLobbyForm::SetAccepted(const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds) {
    for (int row = 0; row < PlayNowRules->count(); ++row) {
        QListWidgetItem* item = PlayNowRules->item(row);
        const bool accepted =
            std::find(rules.begin(), rules.end(), item->data(Qt::UserRole).toInt()) != rules.end();
        item->setCheckState(accepted ? Qt::Checked : Qt::Unchecked);
    }
    for (int i = 0; i < 3; ++i)
        PlayNowTimes[i]->setChecked(std::find(seconds.begin(), seconds.end(), PlayNowSeconds[i]) !=
                                    seconds.end());
    UpdateButtons();
}

void TLobbyForm::SetStatus(const QString& text) {
    Status->setText(text);
}

void TLobbyForm::AppendChat(const QString& line, const QString& speaker) {
    ChatLog->append(line.toHtmlEscaped());
    QTextCursor last(ChatLog->document()->lastBlock());
    ChatSpeaker::Mark(last, speaker);
}

QString TLobbyForm::SpeakerAt(const QPoint& at) const {
    return ChatSpeaker::Of(ChatLog->cursorForPosition(at).block());
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
    const bool open = chosen && item && item->data(0, Qt::UserRole + 1).toBool();
    const bool signedIn = Link == TLink::SignedIn;
    const bool seated = OwnTable != 0 && OwnSeat >= 0;
    const QString signIn = Link == TLink::Connecting ? QStringLiteral("Signing in…")
                           : Link == TLink::Lost     ? QStringLiteral("Connection lost: reconnect first")
                                                     : QStringLiteral("Sign in first");
    const QString notSigned = signedIn ? QString() : signIn;
    const QString alreadySeated = seated ? QStringLiteral("You are already seated") : QString();
    const auto first = [](std::initializer_list<QString> reasons) {
        for (const QString& reason : reasons)
            if (!reason.isEmpty()) return reason;
        return QString();
    };
    Able(CreateButton, first({notSigned, alreadySeated}),
         "Open a table with the rules and time above and sit at it");
    Able(SitButton,
         first({notSigned, alreadySeated, chosen ? QString() : QStringLiteral("Choose a table"),
                open ? QString() : QStringLiteral("That table has no open seat")}),
         "Sit at the chosen table");
    Able(WatchButton,
         first({notSigned, alreadySeated, chosen ? QString() : QStringLiteral("Choose a table")}),
         "Watch the chosen table");
    const bool accepts = !AcceptedRules().empty() && !AcceptedSeconds().empty();
    Able(PlayNowButton,
         first({notSigned, alreadySeated,
                accepts ? QString() : QStringLiteral("Tick at least one rule set and one time")}),
         PlayNowWait ? "Wait for what is ticked now instead"
                     : "Play the nearest rating who accepts what you tick");
    Able(LeaveButton,
         first({notSigned, OwnTable != 0 ? QString() : QStringLiteral("You are not at a table")}),
         OwnSeat >= 0 && OwnTablePlaying ? "Leave the table, giving up the match" : "Leave the table");
    const QString player = ChosenPlayer();
    const QTreeWidgetItem* playerItem = PlayerList->currentItem();
    const bool busy = !player.isEmpty() && playerItem && playerItem->data(0, BusyRole).toBool();
    Able(ChallengeButton,
         first({notSigned, player.isEmpty() ? QStringLiteral("Choose a player") : QString(),
                player.compare(SignedInAs, Qt::CaseInsensitive) == 0
                    ? QStringLiteral("You cannot challenge yourself")
                    : QString(),
                busy ? QStringLiteral("%1 is playing a match").arg(player) : QString(),
                seated && OwnTablePlaying ? QStringLiteral("Finish your match first") : QString(),
                SentChallenge ? QStringLiteral("Your challenge to %1 is still open").arg(SentChallenge->To)
                              : QString()}),
         QStringLiteral("Offer %1 a match").arg(player));
    Able(MyProfileButton, notSigned, "Your own rating and matches");
    Able(ReconnectButton, QString(), "Connect and sign in again");
    ReplayButton->setEnabled(ChosenMatch().has_value());
}

bool AskReportDetails(QWidget* parent, const QString& name, QString& reason, QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName("ReportDialog");
    dialog.setWindowTitle(QStringLiteral("Report %1").arg(name));
    auto* form = new QFormLayout(&dialog);
    form->addRow(new QLabel(
        QStringLiteral("The moderators see your report with %1's last lines of chat.").arg(name), &dialog));
    auto* reasons = new QComboBox(&dialog);
    reasons->setObjectName("ReportReason");
    for (const auto& [said, shown] : ReportReasons)
        reasons->addItem(QString::fromLatin1(shown), QString::fromLatin1(said));
    reasons->setCurrentIndex(std::max(0, reasons->findData(reason)));
    form->addRow("&Reason:", reasons);
    auto* line = new QLineEdit(text, &dialog);
    line->setObjectName("ReportText");
    line->setMaxLength(int(ServerCodec::MaxReasonCharacters));
    line->setPlaceholderText("What happened (optional)");
    form->addRow("&In your words:", line);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("Re&port");
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    reason = reasons->currentData().toString();
    text = line->text();
    return true;
}

bool AskChallengeTerms(QWidget* parent, const QString& name, TGameRules& rules, int32_t& seconds,
                       bool& rated) {
    QDialog dialog(parent);
    dialog.setObjectName("ChallengeDialog");
    dialog.setWindowTitle(QStringLiteral("Challenge %1").arg(name));
    auto* form = new QFormLayout(&dialog);
    form->addRow(new QLabel(
        QStringLiteral("Offer %1 a match; they accept or decline within a minute.").arg(name), &dialog));
    const char* const names[5] = {"Same", "Same Wall", "Plus", "Elemental", "Sudden Death"};
    bool TGameRules::*const switches[5] = {&TGameRules::Same, &TGameRules::SameWall, &TGameRules::Plus,
                                           &TGameRules::Elemental, &TGameRules::SuddenDeath};
    auto* ruleLine = new QHBoxLayout;
    QCheckBox* boxes[5];
    for (int i = 0; i < 5; ++i) {
        boxes[i] = new QCheckBox(names[i], &dialog);
        boxes[i]->setChecked(rules.*switches[i]);
        ruleLine->addWidget(boxes[i]);
    }
    form->addRow("Rules:", ruleLine);
    auto* time = new QComboBox(&dialog);
    time->addItem("30 s a move", 30);
    time->addItem("60 s a move", 60);
    time->addItem("Unlimited", 0);
    time->setCurrentIndex(std::max(0, time->findData(seconds)));
    form->addRow("&Time:", time);
    auto* ratedBox = new QCheckBox("Ra&ted", &dialog);
    ratedBox->setChecked(rated);
    form->addRow(ratedBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("&Challenge");
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    for (int i = 0; i < 5; ++i) rules.*switches[i] = boxes[i]->isChecked();
    seconds = time->currentData().toInt();
    rated = ratedBox->isChecked();
    return true;
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
    UpdateProfileRelations();
}

void TLobbyForm::UpdateProfileRelations() {
    const bool own = !ProfileName.isEmpty() && ProfileName.compare(SignedInAs, Qt::CaseInsensitive) == 0;
    const bool other = !ProfileName.isEmpty() && !own;
    ProfileFollowButton->setVisible(other);
    ProfileBlockButton->setVisible(other);
    ProfileFollowButton->setText(Followed.contains(ProfileName, Qt::CaseInsensitive) ? "Unfollow" : "Follow");
    ProfileBlockButton->setText(Blocked.contains(ProfileName, Qt::CaseInsensitive) ? "Unblock" : "Block");
    ProfileBlockLabel->setVisible(own);
    ProfileBlockList->setVisible(own);
    ProfileUnblockButton->setVisible(own);
    if (!own) return;
    QStringList shown;
    for (int row = 0; row < ProfileBlockList->count(); ++row) shown << ProfileBlockList->item(row)->text();
    if (shown != Blocked) {
        const QString chosen =
            ProfileBlockList->currentItem() ? ProfileBlockList->currentItem()->text() : QString();
        const QSignalBlocker quiet(ProfileBlockList);
        ProfileBlockList->clear();
        ProfileBlockList->addItems(Blocked);
        if (!Blocked.isEmpty())
            ProfileBlockList->setCurrentRow(int(std::max<qsizetype>(0, Blocked.indexOf(chosen))));
    }
    ProfileUnblockButton->setEnabled(ProfileBlockList->currentItem() != nullptr);
    ProfileUnblockButton->setToolTip(Blocked.isEmpty() ? QStringLiteral("You block no one")
                                                       : QStringLiteral("Unblock the chosen player"));
}

void TLobbyForm::SetModerator(bool moderator) {
    const int at = Views->indexOf(ModerationPage);
    if (moderator && at < 0)
        Views->addTab(ModerationPage, "Moderatio&n");
    else if (!moderator && at >= 0) {
        Views->removeTab(at);
        ModerationPage->hide();
    }
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
    for (const auto& [reason, text] : ReportReasons)
        report->addAction(QString::fromLatin1(text) + QStringLiteral("…"), this,
                          [this, name, reason = QString::fromLatin1(reason)] {
                              QString chosen = reason, line;
                              if (AskReport(name, chosen, line) && Actions.Report)
                                  Actions.Report(name, chosen, line.trimmed());
                          });
    if (Views->indexOf(ModerationPage) < 0) return;
    menu.addAction(QStringLiteral("Moderate…"), this, [this, name] {
        ModerationPage->Aim(name);
        Views->setCurrentWidget(ModerationPage);
    });
    menu.addAction(QStringLiteral("Remove Their Lobby Chat…"), this, [this, name] {
        ModerationPage->Aim(name, QStringLiteral("remove_chat"));
        Views->setCurrentWidget(ModerationPage);
        ModerationPage->ReasonEdit->setFocus();
    });
}
