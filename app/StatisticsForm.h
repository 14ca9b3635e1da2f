#pragma once

#include "app/Statistics.h"

#include <QDialog>
#include <QWidget>
#include <functional>
#include <string>

class QTableWidget;
class QPushButton;

// The latest results as a row of bars: a win rises, a loss falls, a draw is a
// short grey mark; the oldest is at the left.
class TResultsChart : public QWidget {
public:
    explicit TResultsChart(QWidget* parent = nullptr);
    void SetResults(std::string results);
    const std::string& Results() const { return Shown; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string Shown;
};

// Game statistics: a row per game type and level, the chart of the chosen
// row's latest results, and a button that forgets them all.
class TStatisticsForm : public QDialog {
public:
    TStatisticsForm(TStatistics& statistics, TGameType type, TLevel level, QWidget* parent = nullptr);

    // Asked before Reset forgets everything; tests answer it themselves.
    std::function<bool(QWidget*)> ConfirmReset;

    void ResetClick();
    void Refresh();

    QTableWidget* Table;
    TResultsChart* Chart;
    QPushButton* ResetButton;

private:
    TStatistics& Statistics;
};
