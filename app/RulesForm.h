#pragma once

#include "app/GameType.h"
#include "game/GameRules.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
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

    // Takes remembered choices as if the players had made them and pressed OK.
    void SetChoices(const TGameRules& rules, TGameType gameType, TLevel level);

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
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void OKButtonClick();
};

extern TRulesForm* RulesForm;
