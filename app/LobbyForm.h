#pragma once

#include "net/LobbyModel.h"
#include "protocol/Requests.h"
#include "rules/GameRules.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTabWidget;
class QTextEdit;
class QTreeWidget;
class TCommunityPage;
class TModerationPage;
class TRatingChart;

// The lobby of a game server: who is online, their ratings and what each is
// doing, the tables with their rules and time per move, rated or casual, and
// the lobby's chat; beside them the leaderboard and a player's profile, whose
// matches open as replays. Its buttons ask; the server's answer changes what
// it shows. A button that cannot act says why in its tooltip.
class TLobbyForm : public QWidget {
public:
    // What the connection is doing, as the buttons need to know it.
    enum class TLink { Offline, Connecting, SignedIn, Lost };

    struct TActions {
        std::function<void(const TGameRules&, int32_t seconds, bool rated)> Create;
        // Play Now for any of these rule sets (TRuleBits) and seconds a move.
        std::function<void(const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds)> PlayNow;
        std::function<void(const QString& name, const TGameRules&, int32_t seconds, bool rated)> Challenge;
        // Accept or decline a challenge made to this player; withdraw one it made.
        std::function<void(int64_t challenge, bool accept)> Answer;
        // Asks for a challenge's terms, filled in with the New table choices;
        // unset for the dialog.
        std::function<bool(const QString& name, TGameRules&, int32_t& seconds, bool& rated)> AskChallenge;
        std::function<void()> Reconnect;
        std::function<uint64_t()> NowMs; // for how long a wait has lasted
        std::function<void(int64_t table)> Sit;
        std::function<void(int64_t table)> Watch;
        std::function<void()> Leave;
        std::function<bool(const QString&)> Chat;
        std::function<void()> Leaderboard;
        std::function<void(const QString& name)> Profile;
        std::function<void(int64_t match)> Record;
        std::function<void(const QString& name, bool on)> Follow;
        std::function<void(const QString& name, bool on)> Block;
        std::function<void(const QString& name, const QString& reason, const QString& text)> Report;
        std::function<void(const Requests::TModerate&)> Moderate;
    };

    explicit TLobbyForm(TActions actions, QWidget* parent = nullptr);

    void Show(const TLobbyModel& model);
    void SetStatus(const QString& text);
    void SetLink(TLink link);
    // What Play Now accepts, as ticked.
    std::vector<int32_t> AcceptedRules() const;
    std::vector<int32_t> AcceptedSeconds() const;
    void SetAccepted(const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds);
    // A line of the lobby's chat; one a player said names them, and a right
    // click on it offers what the players' list offers for them.
    void AppendChat(const QString& line, const QString& speaker = QString());
    // Who said the chat line at a point of the chat's viewport; empty for none.
    QString SpeakerAt(const QPoint& at) const;
    // The server's answers: shown in their own tab, which comes to the front.
    void ShowLeaderboard(const std::vector<TLeaderboardEntry>& leaders);
    void ShowProfile(const TPlayerProfile& profile);
    // Asks for a player's profile (a name double-clicked in a list).
    void AskProfile(const QString& name);
    // The players one follows and blocks, as the server keeps them.
    void ShowRelations(const std::vector<TFollowedPlayer>& follows, const std::vector<QString>& blocks);
    // The Moderation tab is there for moderators only.
    void SetModerator(bool moderator);
    void ShowModeration(const std::vector<TOpenReport>& reports,
                        const std::vector<TSanctionEntry>& sanctions);
    // What a player's line in the lobby's list offers (right click): profile,
    // follow, block, report, and for a moderator the moderation form.
    void FillPlayerMenu(QMenu& menu, const QString& name);
    // The table chosen in the list, if any.
    std::optional<int64_t> ChosenTable() const;
    // The rules and time the Create and Play Now buttons ask for.
    TGameRules ChosenRules() const;
    int32_t ChosenSeconds() const;
    bool ChosenRated() const;
    // The match chosen in the profile's list, if any.
    std::optional<int64_t> ChosenMatch() const;

    QLabel* Status;
    QTreeWidget* PlayerList;
    QTreeWidget* TableList;
    QCheckBox* RuleBoxes[5];
    QComboBox* SecondsBox;
    QCheckBox* RatedBox;
    QTabWidget* Views;
    QWidget* TablesPage;
    QWidget* LeaderboardPage;
    QWidget* ProfilePage;
    QTreeWidget* LeaderList;
    QPushButton* RefreshButton;
    QLabel* ProfileTitle;
    TRatingChart* ProfileChart;
    QTreeWidget* RecentList;
    QPushButton* ReplayButton;
    // Another's profile: follow or block them; one's own: the players one blocks.
    QPushButton* ProfileFollowButton;
    QPushButton* ProfileBlockButton;
    QLabel* ProfileBlockLabel;
    QListWidget* ProfileBlockList;
    QPushButton* ProfileUnblockButton;
    QPushButton* CreateButton;
    QPushButton* SitButton;
    QPushButton* WatchButton;
    QPushButton* PlayNowButton;
    QPushButton* LeaveButton;
    QPushButton* ChallengeButton;
    QPushButton* MyProfileButton;
    QPushButton* ReconnectButton;
    QListWidget* PlayNowRules;  // every rule set, each ticked or not
    QCheckBox* PlayNowTimes[3]; // 30 s, 60 s, unlimited
    QLabel* WaitingLine;
    QPushButton* StopWaitingButton;
    QFrame* ChallengeBar;
    QLabel* ChallengeLine;
    QPushButton* AcceptButton;
    QPushButton* DeclineButton;
    QPushButton* WithdrawButton;
    QTextEdit* ChatLog;
    QLineEdit* ChatEdit;
    // Asks for a report's reason (the one chosen from the menu first) and
    // the reporter's own line; false when cancelled. Tests replace it.
    std::function<bool(const QString& name, QString& reason, QString& text)> AskReport;
    TCommunityPage* PeoplePage;
    TModerationPage* ModerationPage;

private:
    void UpdateButtons();
    // What the profile shown offers, after it or the lists change.
    void UpdateProfileRelations();
    void UpdateWaiting();
    void OpenChosenMatch();
    void AskToChallenge(const QString& name);
    // The name chosen in the players' list, if any.
    QString ChosenPlayer() const;
    TActions Actions;
    bool LeadersAsked = false;
    QStringList Followed, Blocked;
    QString ProfileName; // the player whose profile is shown
    TLink Link = TLink::Offline;
    // As last shown: where this player is, what it waits for, its challenges.
    QString SignedInAs;
    int64_t OwnTable = 0;
    int32_t OwnSeat = -1;
    bool OwnTablePlaying = false;
    std::optional<TLobbyModel::TWaiting> PlayNowWait;
    std::optional<TChallengeOffer> SentChallenge;
    std::vector<TChallengeOffer> ChallengesToMe;
    // When the wait under way began.
    std::optional<uint64_t> WaitingSinceMs;
    QString WaitingFor; // what the wait under way is for, in words
    QTimer* WaitingClock;
};

// Asks for a report's reason (preset to the one given) and an optional line
// of the reporter's own; false when cancelled.
bool AskReportDetails(QWidget* parent, const QString& name, QString& reason, QString& text);

// Asks for a challenge's rules, time and rated flag; false when cancelled.
bool AskChallengeTerms(QWidget* parent, const QString& name, TGameRules& rules, int32_t& seconds,
                       bool& rated);

// Asks for the server's address (HOST or HOST:PORT) and the player's name;
// false when cancelled.
bool AskServerAndName(QWidget* parent, QString& server, QString& name);
