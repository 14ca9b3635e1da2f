#include "render/DataFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

TDataFileRead ReadDataFile(const QString& path, int64_t limit, QByteArray& bytes) {
    bytes.clear();
    if (QFileInfo(path).isDir()) return TDataFileRead::Folder;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return TDataFileRead::NotOpened;
    // A plain file says its size; devices and pipes are read until they end.
    if (!file.isSequential()) {
        if (file.size() > limit) return TDataFileRead::TooLarge;
        bytes.reserve(qsizetype(file.size()) + 1);
    }
    constexpr int64_t Chunk = 64 * 1024;
    for (;;) {
        const qsizetype had = bytes.size();
        const int64_t want = std::min<int64_t>(Chunk, limit + 1 - had);
        bytes.resize(had + qsizetype(want));
        const qint64 got = file.read(bytes.data() + had, want);
        if (got < 0) {
            bytes.clear();
            return TDataFileRead::Failed;
        }
        bytes.resize(had + qsizetype(got));
        if (bytes.size() > limit) {
            bytes.clear();
            return TDataFileRead::TooLarge;
        }
        if (got == 0) return TDataFileRead::Read;
    }
}
