#pragma once

#include "game/GameRules.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

// Lets the players choose the optional rules of the next match. The dialog
// lives for the whole run and keeps its ticks between showings; Rules changes
// only when the players press OK.
class TRulesForm : public QDialog {
public:
    explicit TRulesForm(QWidget* parent = nullptr);

    TGameRules Rules;

    QGroupBox* GroupBox1;
    QRadioButton* SinglePlayerRadio;
    QRadioButton* HotSeatRadio;
    QRadioButton* MultiRadio;
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
