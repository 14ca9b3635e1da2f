#pragma once

#include "game/GameRules.h"
#include "net/LobbyModel.h"

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTreeWidget;

// The lobby of a game server: who is online and what each is doing, the
// tables with their rules and time per move, and the lobby's chat. Its
// buttons ask; the server's answer changes what it shows.
class TLobbyForm : public QWidget {
public:
    struct TActions {
        std::function<void(const TGameRules&, int32_t seconds)> Create;
        std::function<void(const TGameRules&, int32_t seconds)> PlayNow;
        std::function<void(int64_t table)> Sit;
        std::function<void(int64_t table)> Watch;
        std::function<void()> Leave;
        std::function<bool(const QString&)> Chat;
    };

    explicit TLobbyForm(TActions actions, QWidget* parent = nullptr);

    void Show(const TLobbyModel& model);
    void SetStatus(const QString& text);
    void AppendChat(const QString& line);
    // The table chosen in the list, if any.
    std::optional<int64_t> ChosenTable() const;
    // The rules and time the Create and Play Now buttons ask for.
    TGameRules ChosenRules() const;
    int32_t ChosenSeconds() const;

    QLabel* Status;
    QTreeWidget* PlayerList;
    QTreeWidget* TableList;
    QCheckBox* RuleBoxes[5];
    QComboBox* SecondsBox;
    QPushButton* CreateButton;
    QPushButton* SitButton;
    QPushButton* WatchButton;
    QPushButton* PlayNowButton;
    QPushButton* LeaveButton;
    QTextEdit* ChatLog;
    QLineEdit* ChatEdit;

private:
    void UpdateButtons();
    TActions Actions;
};

// Asks for the server's address (HOST or HOST:PORT) and the player's name;
// false when cancelled.
bool AskServerAndName(QWidget* parent, QString& server, QString& name);
