#pragma once

#include "app/GameType.h"
#include "app/NetworkChoice.h"
#include "rules/GameRules.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;
class QPushButton;
class QRadioButton;

// Lets the players choose the optional rules of the next match. The dialog
// lives for the whole run and keeps its ticks between showings; Rules, GameType
// and Level change only when the players press OK.
class TRulesForm : public QDialog {
public:
    explicit TRulesForm(QWidget* parent = nullptr);

    TGameRules Rules;
    TGameType GameType = TGameType::HotSeat;
    TLevel Level = TLevel::Normal;

    // Where a network match is played; taken with the rest on OK.
    TNetworkChoice Network;

    // Takes remembered choices as if the players had made them and pressed OK.
    void SetChoices(const TGameRules& rules, TGameType gameType, TLevel level);
    // Chooses network play there, as if the players had done it and pressed OK.
    void SetNetwork(const TNetworkChoice& network);

    QGroupBox* GroupBox1;
    QRadioButton* SinglePlayerRadio;
    QRadioButton* HotSeatRadio;
    QRadioButton* MultiRadio;
    QComboBox* LevelCombo;
    QGroupBox* GroupBox2;
    QCheckBox* OpenCheck;
    QCheckBox* RandomCheck;
    QCheckBox* SameCheck;
    QCheckBox* SameWallCheck;
    QCheckBox* PlusCheck;
    QCheckBox* ElementalCheck;
    QCheckBox* SuddenDeathCheck;
    // Shown below the rules only while network play is chosen.
    QGroupBox* NetworkBox;
    QRadioButton* HostRadio;
    QRadioButton* JoinRadio;
    QLineEdit* AddressEdit;
    QSpinBox* PortSpin;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButtonClick();

private:
    void ShowNetworkBox(bool shown);
    void ShowNetwork(const TNetworkChoice& network);
};

extern TRulesForm* RulesForm;
