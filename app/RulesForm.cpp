#include "app/RulesForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

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

    NetworkBox = new QGroupBox("Network", this);
    NetworkBox->setObjectName("NetworkBox");
    NetworkBox->setGeometry(8, 232, 273, 77);
    HostRadio = Place(new QRadioButton("&Host", NetworkBox), 8, 18, 60, 17);
    JoinRadio = Place(new QRadioButton("&Join", NetworkBox), 80, 18, 60, 17);
    AddressEdit = new QLineEdit(NetworkBox);
    AddressEdit->setObjectName("AddressEdit");
    AddressEdit->setPlaceholderText("host name or address");
    AddressEdit->setGeometry(8, 44, 168, 22);
    PortSpin = new QSpinBox(NetworkBox);
    PortSpin->setObjectName("PortSpin");
    PortSpin->setRange(1, 65535);
    PortSpin->setGeometry(184, 44, 81, 22);
    // Only a joiner names the computer it goes to.
    connect(JoinRadio, &QRadioButton::toggled, AddressEdit, &QWidget::setEnabled);
    connect(MultiRadio, &QRadioButton::toggled, this, [this](bool on) { ShowNetworkBox(on); });
    ShowNetwork(Network);
    NetworkBox->hide();

    OKButton = new QPushButton("OK", this);
    OKButton->setGeometry(208, 232, 75, 25);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setGeometry(128, 232, 75, 25);
    CancelButton->setAutoDefault(false);

    setTabOrder(GroupBox1, GroupBox2);
    setTabOrder(GroupBox2, NetworkBox);
    setTabOrder(NetworkBox, OKButton);
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
    GameType = SinglePlayerRadio->isChecked() ? TGameType::SinglePlayer
               : MultiRadio->isChecked()      ? TGameType::Network
                                              : TGameType::HotSeat;
    Level = TLevel(LevelCombo->currentIndex());
    Network.Join = JoinRadio->isChecked();
    Network.Address = AddressEdit->text().trimmed();
    Network.Port = uint16_t(PortSpin->value());
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

void TRulesForm::SetNetwork(const TNetworkChoice& network) {
    Network = network;
    GameType = TGameType::Network;
    MultiRadio->setChecked(true);
    ShowNetwork(network);
}

void TRulesForm::ShowNetwork(const TNetworkChoice& network) {
    (network.Join ? JoinRadio : HostRadio)->setChecked(true);
    AddressEdit->setText(network.Address);
    AddressEdit->setEnabled(network.Join);
    PortSpin->setValue(network.Port);
}

void TRulesForm::ShowNetworkBox(bool shown) {
    // The dialog grows by the box only while network play is chosen; otherwise
    // it keeps its usual size and its buttons their usual place.
    const int grow = shown ? 84 : 0;
    NetworkBox->setVisible(shown);
    OKButton->move(208, 232 + grow);
    CancelButton->move(128, 232 + grow);
    resize(289, 265 + grow);
}
