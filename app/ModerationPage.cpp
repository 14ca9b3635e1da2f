#include "app/ModerationPage.h"

#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int IdRole = Qt::UserRole;

// What the form may do, as the server names it, and how long for (minutes; 0 for good).
const std::pair<const char*, const char*> Actions[] = {{"mute", "Mute the player"},
                                                       {"ban", "Ban the player"},
                                                       {"ban_certificate", "Ban the player's certificate"},
                                                       {"ban_address", "Ban an address range"},
                                                       {"remove_chat", "Remove the player's lobby chat"}};
const std::pair<int32_t, const char*> Times[] = {
    {30, "30 minutes"}, {120, "2 hours"}, {1440, "1 day"}, {10080, "7 days"}, {0, "for good"}};

QString When(int64_t ms) {
    return ms == 0 ? QStringLiteral("for good")
                   : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

TModerationPage::TModerationPage(TAsk ask, QWidget* parent) : QWidget(parent), Ask(std::move(ask)) {
    // No mnemonics here: the lobby's own buttons, shown beside this page, hold those letters.
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QHBoxLayout();
    auto* reports = new QVBoxLayout();
    reports->addWidget(new QLabel("Open reports:", this));
    ReportList = new QTreeWidget(this);
    ReportList->setObjectName("ReportList");
    ReportList->setHeaderLabels({"#", "Reported", "By", "Reason", "When"});
    ReportList->setRootIsDecorated(false);
    ReportList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    reports->addWidget(ReportList, 2);
    Evidence = new QTextEdit(this);
    Evidence->setObjectName("ReportEvidence");
    Evidence->setReadOnly(true);
    Evidence->setPlaceholderText("The report's words and the reported player's last lines");
    reports->addWidget(Evidence, 1);
    lists->addLayout(reports, 1);
    auto* sanctions = new QVBoxLayout();
    sanctions->addWidget(new QLabel("Sanctions in force:", this));
    SanctionList = new QTreeWidget(this);
    SanctionList->setObjectName("SanctionList");
    SanctionList->setHeaderLabels({"#", "What", "Whom", "Until", "By", "Why"});
    SanctionList->setRootIsDecorated(false);
    SanctionList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sanctions->addWidget(SanctionList, 1);
    lists->addLayout(sanctions, 1);
    layout->addLayout(lists, 1);

    auto* form = new QFormLayout();
    ActionBox = new QComboBox(this);
    for (const auto& [action, text] : Actions) ActionBox->addItem(text, QString::fromLatin1(action));
    TargetEdit = new QLineEdit(this);
    TargetEdit->setObjectName("ModerationTarget");
    TimeBox = new QComboBox(this);
    for (const auto& [minutes, text] : Times) TimeBox->addItem(text, minutes);
    ReasonEdit = new QLineEdit(this);
    ReasonEdit->setObjectName("ModerationReason");
    ReasonEdit->setMaxLength(200);
    ReasonEdit->setPlaceholderText("Why: the player is told, and the log keeps it");
    form->addRow("Action:", ActionBox);
    form->addRow("Player or range:", TargetEdit);
    form->addRow("Time:", TimeBox);
    form->addRow("Reason:", ReasonEdit);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout();
    ApplyButton = new QPushButton("Apply", this);
    LiftButton = new QPushButton("Lift Sanction", this);
    CloseButton = new QPushButton("Close Report", this);
    RefreshButton = new QPushButton("Refresh", this);
    for (QPushButton* button : {ApplyButton, LiftButton, CloseButton}) buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(RefreshButton);
    layout->addLayout(buttons);

    auto chosenId = [](QTreeWidget* list) {
        QTreeWidgetItem* item = list->currentItem();
        return item ? item->data(0, IdRole).toLongLong() : 0;
    };
    connect(ApplyButton, &QPushButton::clicked, this, [this] {
        Requests::TModerate action;
        action.Action = ActionBox->currentData().toString();
        (action.Action == QLatin1String("ban_address") ? action.Target : action.Name) =
            TargetEdit->text().trimmed();
        // Lines said are gone for good: a removal has no time.
        action.Minutes = action.Action == QLatin1String("remove_chat") ? 0 : TimeBox->currentData().toInt();
        action.Reason = ReasonEdit->text().trimmed();
        Ask(action);
    });
    connect(LiftButton, &QPushButton::clicked, this, [this, chosenId] {
        Ask({QStringLiteral("lift"), {}, 0, chosenId(SanctionList), {}, ReasonEdit->text().trimmed()});
    });
    connect(CloseButton, &QPushButton::clicked, this, [this, chosenId] {
        Ask({QStringLiteral("close_report"), {}, 0, chosenId(ReportList), {}, ReasonEdit->text().trimmed()});
    });
    connect(RefreshButton, &QPushButton::clicked, this, [this] {
        Ask({QStringLiteral("list"), {}, 0, 0, {}, {}});
    });
    connect(ReportList, &QTreeWidget::currentItemChanged, this, [this] { ShowEvidence(); });
    for (QTreeWidget* list : {ReportList, SanctionList})
        connect(list, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(TargetEdit, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(ActionBox, &QComboBox::currentIndexChanged, this, [this] { UpdateButtons(); });
    connect(ReasonEdit, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    UpdateButtons();
}

void TModerationPage::Show(const std::vector<TOpenReport>& reports,
                           const std::vector<TSanctionEntry>& sanctions) {
    Reports = reports;
    ReportList->clear();
    for (const TOpenReport& report : reports) {
        auto* item =
            new QTreeWidgetItem(ReportList, {QString::number(report.Id), report.Reported, report.Reporter,
                                             report.Reason, When(report.CreatedMs)});
        item->setData(0, IdRole, qlonglong(report.Id));
    }
    SanctionList->clear();
    for (const TSanctionEntry& sanction : sanctions) {
        auto* item =
            new QTreeWidgetItem(SanctionList, {QString::number(sanction.Id), sanction.Kind, sanction.Target,
                                               When(sanction.UntilMs), sanction.By, sanction.Reason});
        item->setData(0, IdRole, qlonglong(sanction.Id));
    }
    Evidence->clear();
    UpdateButtons();
}

void TModerationPage::Aim(const QString& name, const QString& action) {
    TargetEdit->setText(name);
    if (!action.isEmpty())
        ActionBox->setCurrentIndex(std::max(0, ActionBox->findData(action)));
    else if (ActionBox->currentData().toString() == QLatin1String("ban_address"))
        ActionBox->setCurrentIndex(0);
}

void TModerationPage::ShowEvidence() {
    QTreeWidgetItem* item = ReportList->currentItem();
    Evidence->clear();
    if (!item) return;
    for (const TOpenReport& report : Reports)
        if (report.Id == item->data(0, IdRole).toLongLong()) {
            QStringList lines{
                QStringLiteral("%1 reports %2 for %3.").arg(report.Reporter, report.Reported, report.Reason)};
            if (!report.Text.isEmpty()) lines << QStringLiteral("Their words: %1").arg(report.Text);
            if (report.Match) lines << QStringLiteral("During match %1.").arg(report.Match);
            lines << (report.Evidence.empty() ? QStringLiteral("No lines of chat were kept.")
                                              : QStringLiteral("%1's last lines:").arg(report.Reported));
            for (const QString& line : report.Evidence) lines << QStringLiteral("    ") + line;
            Evidence->setPlainText(lines.join('\n'));
            Aim(report.Reported);
        }
    UpdateButtons();
}

void TModerationPage::UpdateButtons() {
    const bool reason = !ReasonEdit->text().trimmed().isEmpty();
    ApplyButton->setEnabled(reason && !TargetEdit->text().trimmed().isEmpty());
    ApplyButton->setToolTip(
        ApplyButton->isEnabled() ? QString() : QStringLiteral("Name the player or range and say why"));
    TimeBox->setEnabled(ActionBox->currentData().toString() != QLatin1String("remove_chat"));
    LiftButton->setEnabled(SanctionList->currentItem() != nullptr);
    LiftButton->setToolTip(LiftButton->isEnabled() ? QString() : QStringLiteral("Choose a sanction"));
    CloseButton->setEnabled(ReportList->currentItem() != nullptr && reason);
    CloseButton->setToolTip(
        CloseButton->isEnabled() ? QString() : QStringLiteral("Choose a report and say what was done"));
}
