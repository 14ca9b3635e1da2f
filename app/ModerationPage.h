#pragma once

#include "protocol/Requests.h"
#include "protocol/ServerMessage.h"

#include <QWidget>
#include <functional>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTreeWidget;

// The lobby's Moderation tab, shown to moderators only: the open reports
// with the evidence the server kept, the sanctions in force, and a form to
// mute or ban a player (by name or certificate) or an address range, to lift
// a sanction, to close a report and to remove a player's lines from the
// lobby's backlog. The server checks every request again.
class TModerationPage : public QWidget {
public:
    using TAsk = std::function<void(const Requests::TModerate&)>;

    explicit TModerationPage(TAsk ask, QWidget* parent = nullptr);
    void Show(const std::vector<TOpenReport>& reports, const std::vector<TSanctionEntry>& sanctions);
    // The form filled in for a player: from a report, or the lobby's list;
    // with an action (as the server names it), that action chosen.
    void Aim(const QString& name, const QString& action = QString());

    QTreeWidget* ReportList;
    QTextEdit* Evidence;
    QTreeWidget* SanctionList;
    QComboBox* ActionBox;
    QLineEdit* TargetEdit;
    QComboBox* TimeBox;
    QLineEdit* ReasonEdit;
    QPushButton* ApplyButton;
    QPushButton* LiftButton;
    QPushButton* CloseButton;
    QPushButton* RefreshButton;

private:
    void UpdateButtons();
    void ShowEvidence();
    TAsk Ask;
    std::vector<TOpenReport> Reports;
};
