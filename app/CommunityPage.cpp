#include "app/CommunityPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int TableRole = Qt::UserRole;
constexpr int OnlineRole = Qt::UserRole + 1;

} // namespace

TCommunityPage::TCommunityPage(TActions actions, QWidget* parent)
    : QWidget(parent), Actions(std::move(actions)) {
    // No mnemonics here: the lobby's own buttons, shown beside this page, hold those letters.
    auto* layout = new QHBoxLayout(this);
    auto* following = new QVBoxLayout();
    following->addWidget(new QLabel("Players you follow:", this));
    FollowList = new QTreeWidget(this);
    FollowList->setObjectName("FollowList");
    FollowList->setHeaderLabels({"Player", "Now"});
    FollowList->setRootIsDecorated(false);
    FollowList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    following->addWidget(FollowList, 1);
    auto* followButtons = new QHBoxLayout();
    WatchButton = new QPushButton("Watch", this);
    ChallengeButton = new QPushButton("Challenge…", this);
    ProfileButton = new QPushButton("Profile", this);
    UnfollowButton = new QPushButton("Unfollow", this);
    for (QPushButton* button : {WatchButton, ChallengeButton, ProfileButton, UnfollowButton})
        followButtons->addWidget(button);
    followButtons->addStretch(1);
    following->addLayout(followButtons);
    layout->addLayout(following, 2);

    auto* blocking = new QVBoxLayout();
    blocking->addWidget(new QLabel("Players you block:", this));
    BlockList = new QListWidget(this);
    BlockList->setObjectName("BlockList");
    BlockList->setToolTip("Their chat does not reach you, and Play Now never pairs you");
    blocking->addWidget(BlockList, 1);
    UnblockButton = new QPushButton("Unblock", this);
    blocking->addWidget(UnblockButton, 0, Qt::AlignLeft);
    layout->addLayout(blocking, 1);

    auto chosenName = [this] {
        QTreeWidgetItem* item = FollowList->currentItem();
        return item ? item->text(0) : QString();
    };
    connect(WatchButton, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* item = FollowList->currentItem())
            Actions.Watch(item->data(0, TableRole).toLongLong());
    });
    connect(ChallengeButton, &QPushButton::clicked, this,
            [this, chosenName] { Actions.Challenge(chosenName()); });
    connect(ProfileButton, &QPushButton::clicked, this,
            [this, chosenName] { Actions.Profile(chosenName()); });
    connect(UnfollowButton, &QPushButton::clicked, this,
            [this, chosenName] { Actions.Follow(chosenName(), false); });
    connect(UnblockButton, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = BlockList->currentItem()) Actions.Block(item->text(), false);
    });
    connect(FollowList, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(BlockList, &QListWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    UpdateButtons();
}

void TCommunityPage::Show(const std::vector<TFollowedPlayer>& follows, const std::vector<QString>& blocks) {
    FollowList->clear();
    for (const TFollowedPlayer& player : follows) {
        const QString now = !player.Online      ? QStringLiteral("offline")
                            : player.Table == 0 ? QStringLiteral("in the lobby")
                            : player.Seat >= 0  ? QStringLiteral("playing at table %1").arg(player.Table)
                                                : QStringLiteral("watching table %1").arg(player.Table);
        auto* item = new QTreeWidgetItem(FollowList, {player.Name, now});
        item->setData(0, TableRole, qlonglong(player.Table));
        item->setData(0, OnlineRole, player.Online);
    }
    BlockList->clear();
    for (const QString& name : blocks) BlockList->addItem(name);
    UpdateButtons();
}

void TCommunityPage::UpdateButtons() {
    QTreeWidgetItem* followed = FollowList->currentItem();
    const bool atTable = followed && followed->data(0, TableRole).toLongLong() != 0;
    WatchButton->setEnabled(atTable);
    WatchButton->setToolTip(atTable ? QString() : QStringLiteral("Choose a player who is at a table"));
    // The lobby says why a challenge cannot go (a match under way, one already open).
    const bool online = followed && followed->data(0, OnlineRole).toBool();
    ChallengeButton->setEnabled(online);
    ChallengeButton->setToolTip(online ? QString() : QStringLiteral("Choose a player who is online"));
    ProfileButton->setEnabled(followed != nullptr);
    UnfollowButton->setEnabled(followed != nullptr);
    UnblockButton->setEnabled(BlockList->currentItem() != nullptr);
}
