#include "app/RulesForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

TRulesForm* RulesForm = nullptr;

namespace {

// Controls sit where the layout puts them; a caption that is wider than its
// box in the current font gets the room it needs instead of being cut off.
template <class Control> Control* Place(Control* control, int x, int y, int width, int height) {
    control->setGeometry(x, y, std::max(width, control->sizeHint().width()), height);
    return control;
}

QCheckBox* Check(QWidget* parent, const char* caption, int y, bool ticked, bool enabled) {
    auto* box = Place(new QCheckBox(caption, parent), 8, y, 97, 17);
    box->setChecked(ticked);
    box->setEnabled(enabled);
    return box;
}

} // namespace

TRulesForm::TRulesForm(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    setWindowTitle("Rules");
    // The client area that an outer frame of 297 x 292 leaves.
    resize(289, 265);
    move(315, 145);

    GroupBox1 = new QGroupBox("Game Type", this);
    GroupBox1->setGeometry(8, 8, 273, 73);
    SinglePlayerRadio = Place(new QRadioButton("Single Player", GroupBox1), 8, 16, 113, 17);
    HotSeatRadio = Place(new QRadioButton("Multiplayer Hot-Seat", GroupBox1), 8, 32, 113, 17);
    MultiRadio = Place(new QRadioButton("MultiPlayer TCP/IP", GroupBox1), 8, 48, 113, 17);
    HotSeatRadio->setChecked(true);
    // Play across a network does not exist yet.
    MultiRadio->setEnabled(false);
    // The computer's level sits beside the game type it belongs to and counts
    // only for it.
    LevelCombo = new QComboBox(GroupBox1);
    LevelCombo->setObjectName("LevelCombo");
    LevelCombo->addItems({"Easy", "Normal", "Perfect"});
    LevelCombo->setCurrentIndex(int(Level));
    LevelCombo->setGeometry(160, 13, 105, 22);
    LevelCombo->setEnabled(false);
    connect(SinglePlayerRadio, &QRadioButton::toggled, LevelCombo, &QWidget::setEnabled);

    GroupBox2 = new QGroupBox("Rules", this);
    GroupBox2->setGeometry(8, 88, 273, 137);
    // Both hands are always shown and always dealt at random.
    OpenCheck = Check(GroupBox2, "&Open", 16, true, false);
    RandomCheck = Check(GroupBox2, "&Random", 32, true, false);
    SameCheck = Check(GroupBox2, "&Same", 48, false, true);
    SameWallCheck = Check(GroupBox2, "Same &Wall", 64, false, true);
    PlusCheck = Check(GroupBox2, "&Plus", 80, false, true);
    ElementalCheck = Check(GroupBox2, "&Elemental", 96, false, true);
    SuddenDeathCheck = Check(GroupBox2, "S&udden Death", 112, false, true);

    OKButton = new QPushButton("OK", this);
    OKButton->setGeometry(208, 232, 75, 25);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setGeometry(128, 232, 75, 25);
    CancelButton->setAutoDefault(false);

    setTabOrder(GroupBox1, GroupBox2);
    setTabOrder(GroupBox2, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TRulesForm::OKButtonClick() {
    Rules.Open = OpenCheck->isChecked();
    Rules.Random = RandomCheck->isChecked();
    Rules.Same = SameCheck->isChecked();
    Rules.SameWall = SameWallCheck->isChecked();
    Rules.Plus = PlusCheck->isChecked();
    Rules.Elemental = ElementalCheck->isChecked();
    Rules.SuddenDeath = SuddenDeathCheck->isChecked();
    GameType = SinglePlayerRadio->isChecked() ? TGameType::SinglePlayer : TGameType::HotSeat;
    Level = TLevel(LevelCombo->currentIndex());
    accept();
}

void TRulesForm::SetChoices(const TGameRules& rules, TGameType gameType, TLevel level) {
    // Open and Random are always in force, whatever was remembered.
    Rules = rules;
    Rules.Open = Rules.Random = true;
    SameCheck->setChecked(Rules.Same);
    SameWallCheck->setChecked(Rules.SameWall);
    PlusCheck->setChecked(Rules.Plus);
    ElementalCheck->setChecked(Rules.Elemental);
    SuddenDeathCheck->setChecked(Rules.SuddenDeath);
    GameType = gameType == TGameType::SinglePlayer ? TGameType::SinglePlayer : TGameType::HotSeat;
    Level = level;
    (GameType == TGameType::SinglePlayer ? SinglePlayerRadio : HotSeatRadio)->setChecked(true);
    LevelCombo->setCurrentIndex(int(Level));
}
