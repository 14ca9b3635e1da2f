#pragma once

#include "protocol/ServerMessage.h"

#include <QWidget>
#include <functional>
#include <vector>

class QListWidget;
class QPushButton;
class QTreeWidget;

// The lobby's People tab: the players one follows, whether they are online
// and where, to watch, challenge or look up; and the players one blocks, to unblock.
// Both lists are kept by the server.
class TCommunityPage : public QWidget {
public:
    struct TActions {
        std::function<void(const QString& name, bool on)> Follow;
        std::function<void(const QString& name, bool on)> Block;
        std::function<void(const QString& name)> Profile;
        std::function<void(int64_t table)> Watch;
        std::function<void(const QString& name)> Challenge;
    };

    explicit TCommunityPage(TActions actions, QWidget* parent = nullptr);
    void Show(const std::vector<TFollowedPlayer>& follows, const std::vector<QString>& blocks);

    QTreeWidget* FollowList;
    QListWidget* BlockList;
    QPushButton* WatchButton;
    QPushButton* ChallengeButton;
    QPushButton* ProfileButton;
    QPushButton* UnfollowButton;
    QPushButton* UnblockButton;

private:
    void UpdateButtons();
    TActions Actions;
};
