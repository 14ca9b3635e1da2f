#pragma once

#include "records/MatchRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <string>

// A record read from a file or from the network: the record, or the problem
// with it in words that name where it came from.
struct TRecordReading {
    std::optional<TMatchRecord> Record;
    std::string Problem;
};

// The record as compact JSON (README, "Match records").
QByteArray WriteRecordJson(const TMatchRecord& record);
// Refuses anything malformed, too large, of another version, out of range or
// with a move the table does not allow; `source` (a file name, "the server")
// opens the problem.
TRecordReading ReadRecordJson(QByteArrayView bytes, const std::string& source);
// Reads at most MaxBytes + 1 bytes of the file, whatever it claims to be.
TRecordReading ReadRecordFile(const QString& path);
