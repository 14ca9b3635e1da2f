#include "render/DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool HoldsData(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath("Data")).isDir();
}

QString Shown(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

} // namespace

std::optional<TDataFolder> TDataFolder::Locate(const QString& workingDir, const QString& applicationDir) {
    if (HoldsData(workingDir)) return TDataFolder();
    if (HoldsData(applicationDir)) return TDataFolder(QDir::cleanPath(QDir(applicationDir).absolutePath()));
    return std::nullopt;
}

std::string TDataFolder::NotFoundMessage(const QString& workingDir, const QString& applicationDir) {
    QString searched = Shown(workingDir);
    if (!applicationDir.isEmpty() && Shown(applicationDir) != searched)
        searched += " and in " + Shown(applicationDir);
    return ("Could not find the Data folder with the game's cards and pictures; looked in " + searched + ".")
        .toStdString();
}

std::string TDataFolder::PathOf(const std::string& relative) const {
    if (Base.isEmpty()) return relative;
    return QDir(Base).filePath(QString::fromStdString(relative)).toStdString();
}
