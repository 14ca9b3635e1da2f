#pragma once

#include <QString>
#include <optional>
#include <string>

// The folder that holds the game's Data/ tree. The game has always read
// Data/ from its working directory; a player who starts the program from
// somewhere else gets the tree installed beside the executable instead.
class TDataFolder {
public:
    // The working directory: every path stays exactly as written.
    TDataFolder() = default;
    // Another folder: paths are taken relative to it.
    explicit TDataFolder(QString base) : Base(std::move(base)) {}

    // The working directory when it holds Data/, otherwise applicationDir when
    // that does; nothing when neither does.
    static std::optional<TDataFolder> Locate(const QString& workingDir, const QString& applicationDir);
    // What to tell the player when Locate found nothing: the folders searched.
    static std::string NotFoundMessage(const QString& workingDir, const QString& applicationDir);

    // A path such as "Data/Board.bmp", as the file is to be opened.
    std::string PathOf(const std::string& relative) const;

private:
    QString Base; // empty for the working directory
};
