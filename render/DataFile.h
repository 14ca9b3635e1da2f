#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// How reading a data file went.
enum class TDataFileRead {
    Read,      // the whole file is in the bytes
    NotOpened, // missing or not readable
    Folder,    // the path names a folder
    TooLarge,  // the file goes on past the limit (a device or a pipe may never end)
    Failed,    // reading stopped with an error
};

// Reads a whole data file of at most `limit` bytes. Nothing past the limit
// is ever read, so a file that never ends cannot exhaust memory.
TDataFileRead ReadDataFile(const QString& path, int64_t limit, QByteArray& bytes);
