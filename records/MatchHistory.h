#pragma once

#include "records/MatchRecord.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

// The matches played on this computer, one record file each in a folder
// beside the settings, numbered in the order they were added. Only the last
// Limit are kept: adding one more removes the oldest. Files of other names
// in the folder are left alone.
class TMatchHistory {
public:
    static constexpr int32_t DefaultLimit = 500;

    struct TEntry {
        QString Path;
        std::optional<TMatchRecord> Record; // absent when the file cannot be read
        std::string Problem;
    };

    explicit TMatchHistory(QString folder, int32_t limit = DefaultLimit);

    // Writes the record (whole or not at all) and drops the oldest beyond the
    // limit; false with the reason when it cannot be written.
    bool Add(const TMatchRecord& record, std::string& problem);
    // Newest first; a damaged file is listed with its problem.
    std::vector<TEntry> List() const;
    const QString& Folder() const { return Directory; }

private:
    // The numbered record files, oldest first.
    QStringList Files() const;

    QString Directory;
    int32_t Limit;
};
