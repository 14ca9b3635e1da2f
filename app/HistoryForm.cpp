#include "app/HistoryForm.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The side this computer's player sat on: "You", else Blue.
int32_t HomeSide(const TMatchRecord& record) {
    if (record.Players[0] == "You") return 0;
    return 1;
}

} // namespace

QString RecordResultText(const TMatchRecord& record) {
    const int32_t home = HomeSide(record);
    // At one keyboard nobody is "you": the result names the winner.
    if (record.Mode == TMatchMode::HotSeat && record.Ending == TMatchEnding::Finished) {
        const QString score = QStringLiteral("%1\u2013%2");
        if (record.Winner == -1)
            return QStringLiteral("Draw ") + score.arg(record.Score[0]).arg(record.Score[1]);
        const int32_t w = record.Winner;
        return QStringLiteral("%1 won ").arg(QString::fromStdString(record.Players[w])) +
               score.arg(record.Score[w]).arg(record.Score[1 - w]);
    }
    const QString score = QStringLiteral("%1\u2013%2").arg(record.Score[home]).arg(record.Score[1 - home]);
    switch (record.Ending) {
    case TMatchEnding::Abandoned:
        return QStringLiteral("Abandoned at ") + score;
    case TMatchEnding::Left:
        return (record.Winner == home ? QStringLiteral("Won (%1 left) ").arg(RecordOpponent(record))
                                      : QStringLiteral("Left, lost ")) +
               score;
    case TMatchEnding::Time:
    case TMatchEnding::Forfeit:
        return (record.Winner == home ? QStringLiteral("Won by forfeit ")
                                      : QStringLiteral("Lost by forfeit ")) +
               score;
    case TMatchEnding::Finished:
        break;
    }
    if (record.Winner == -1) return QStringLiteral("Drew ") + score;
    return (record.Winner == home ? QStringLiteral("Won ") : QStringLiteral("Lost ")) + score;
}

QString RecordOpponent(const TMatchRecord& record) {
    if (record.Mode == TMatchMode::HotSeat)
        return QString::fromStdString(record.Players[0] + " and " + record.Players[1]);
    return QString::fromStdString(record.Players[1 - HomeSide(record)]);
}

THistoryForm::THistoryForm(std::vector<TMatchHistory::TEntry> entries, QWidget* parent)
    : QDialog(parent), Entries(std::move(entries)) {
    setWindowTitle("Match History");
    setObjectName("HistoryForm");
    List = new QTreeWidget(this);
    List->setObjectName("HistoryList");
    List->setRootIsDecorated(false);
    List->setHeaderLabels({"Date", "Mode", "Opponent", "Result"});
    List->setAllColumnsShowFocus(true);
    static const char* const modes[] = {"Hot-seat", "Single Player", "Network", "Server"};
    for (size_t i = 0; i < Entries.size(); ++i) {
        const TMatchHistory::TEntry& entry = Entries[i];
        QStringList columns;
        if (entry.Record) {
            const TMatchRecord& record = *entry.Record;
            columns
                << QDateTime::fromSecsSinceEpoch(record.StartTime).toLocalTime().toString("yyyy-MM-dd HH:mm")
                << modes[int(record.Mode)] << RecordOpponent(record) << RecordResultText(record);
        } else {
            columns << QString() << QString() << QString()
                    << QStringLiteral("Unreadable: ") + QString::fromStdString(entry.Problem);
        }
        auto* item = new QTreeWidgetItem(List, columns);
        item->setData(0, Qt::UserRole, qulonglong(i));
        if (!entry.Record) item->setDisabled(true);
    }
    for (int column = 0; column < 4; ++column) List->resizeColumnToContents(column);
    if (List->topLevelItemCount() > 0) List->setCurrentItem(List->topLevelItem(0));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(List, &QTreeWidget::itemActivated, this, [this] { accept(); });
    buttons->button(QDialogButtonBox::Open)->setEnabled(!Entries.empty());
    auto* layout = new QVBoxLayout(this);
    if (Entries.empty()) List->setHeaderLabels({"No matches are kept yet: every match played here will be."});
    layout->addWidget(List);
    layout->addWidget(buttons);
    resize(560, 400);
}

std::optional<TMatchHistory::TEntry> THistoryForm::Chosen() const {
    const QTreeWidgetItem* item = List->currentItem();
    if (!item) return std::nullopt;
    const size_t index = size_t(item->data(0, Qt::UserRole).toULongLong());
    if (index >= Entries.size() || !Entries[index].Record) return std::nullopt;
    return Entries[index];
}
