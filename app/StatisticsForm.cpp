#include "app/StatisticsForm.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

struct TRow {
    TGameType Type;
    TLevel Level;
    const char* Caption;
};
const TRow Rows[] = {{TGameType::SinglePlayer, TLevel::Easy, "Single Player, Easy"},
                     {TGameType::SinglePlayer, TLevel::Normal, "Single Player, Normal"},
                     {TGameType::SinglePlayer, TLevel::Perfect, "Single Player, Perfect"},
                     {TGameType::HotSeat, TLevel::Normal, "Hot-Seat (Blue's results)"},
                     {TGameType::Network, TLevel::Normal, "Network"}};
const char* const Columns[] = {"Played", "Won",         "Lost",          "Drawn",
                               "Streak", "Best streak", "Won with Undo", "Won with Hint"};

} // namespace

TResultsChart::TResultsChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(int(TStatistics::RecentLength) * 8 + 2, 64);
}

void TResultsChart::SetResults(std::string results) {
    Shown = std::move(results);
    update();
}

void TResultsChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int middle = height() / 2;
    const int slot = std::max(1, (width() - 2) / int(TStatistics::RecentLength));
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().mid().color());
    painter.drawLine(0, middle, width(), middle);
    for (size_t i = 0; i < Shown.size(); ++i) {
        const int left = 1 + int(i) * slot;
        const int bar = std::max(1, slot - 2);
        switch (Shown[i]) {
        case 'W':
            painter.fillRect(left, 4, bar, middle - 4, QColor(40, 150, 60));
            break;
        case 'L':
            painter.fillRect(left, middle + 1, bar, middle - 5, QColor(190, 50, 40));
            break;
        default:
            painter.fillRect(left, middle - 3, bar, 7, QColor(140, 140, 140));
            break;
        }
    }
}

TStatisticsForm::TStatisticsForm(TStatistics& statistics, TGameType type, TLevel level, QWidget* parent)
    : QDialog(parent), Statistics(statistics) {
    setWindowTitle("Statistics");
    setObjectName("StatisticsForm");
    ConfirmReset = [](QWidget* owner) {
        return QMessageBox::question(owner, "Reset Statistics",
                                     "Forget the results of every game type and level?") == QMessageBox::Yes;
    };
    Table = new QTableWidget(int(std::size(Rows)), int(std::size(Columns)), this);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int column = 0; column < int(std::size(Columns)); ++column)
        Table->setHorizontalHeaderItem(column, new QTableWidgetItem(Columns[column]));
    for (int row = 0; row < int(std::size(Rows)); ++row)
        Table->setVerticalHeaderItem(row, new QTableWidgetItem(Rows[row].Caption));
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);

    Chart = new TResultsChart(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    ResetButton = buttons->addButton("&Reset", QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ResetButton, &QPushButton::clicked, this, [this] { ResetClick(); });
    connect(Table, &QTableWidget::currentCellChanged, this, [this] { Refresh(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addWidget(
        new QLabel("Latest results of the chosen row, oldest first (up: won, down: lost):", this));
    layout->addWidget(Chart);
    layout->addWidget(buttons);

    int current = 0;
    for (int row = 0; row < int(std::size(Rows)); ++row)
        if (TStatistics::ModeKey(Rows[row].Type, Rows[row].Level) == TStatistics::ModeKey(type, level))
            current = row;
    Table->setCurrentCell(current, 0);
    Refresh();
    // Every column in view, with no scrolling.
    Table->resizeColumnsToContents();
    Table->setMinimumWidth(Table->verticalHeader()->sizeHint().width() + Table->horizontalHeader()->length() +
                           2 * Table->frameWidth());
    Table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TStatisticsForm::Refresh() {
    for (int row = 0; row < int(std::size(Rows)); ++row) {
        const TTally& tally = Statistics.Tally(Rows[row].Type, Rows[row].Level);
        const int32_t values[] = {tally.Played, tally.Won,        tally.Lost,        tally.Drawn,
                                  tally.Streak, tally.BestStreak, tally.WonWithUndo, tally.WonWithHint};
        for (int column = 0; column < int(std::size(values)); ++column) {
            auto* item = new QTableWidgetItem(QString::number(values[column]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(row, column, item);
        }
    }
    const int row = std::clamp(Table->currentRow(), 0, int(std::size(Rows)) - 1);
    Chart->SetResults(Statistics.Tally(Rows[row].Type, Rows[row].Level).Recent);
}

void TStatisticsForm::ResetClick() {
    if (ConfirmReset && !ConfirmReset(this)) return;
    Statistics.Reset();
    Refresh();
}
