#pragma once

#include "records/MatchHistory.h"

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

class QTreeWidget;

// "Won 6–4", "Lost 3–7", "Drew 5–5", "Abandoned 4–6" ... as the player of
// `record` at this computer sees it (Blue at one keyboard).
QString RecordResultText(const TMatchRecord& record);
// The other side's name, as the history lists it.
QString RecordOpponent(const TMatchRecord& record);

// File › Match History: the matches kept on this computer, newest first
// (date, mode, opponent, result). Open (or a double click) chooses one.
class THistoryForm : public QDialog {
public:
    THistoryForm(std::vector<TMatchHistory::TEntry> entries, QWidget* parent = nullptr);

    // The entry chosen when the dialog was accepted.
    std::optional<TMatchHistory::TEntry> Chosen() const;

    QTreeWidget* List;

private:
    std::vector<TMatchHistory::TEntry> Entries;
};
