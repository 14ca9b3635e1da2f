#include "TestSupport.h"
#include "cards/CardsInfo.h"
#include "render/DataFolder.h"
#include "render/GameSprites.h"
#include "render/Graphics.h"

#include <gtest/gtest.h>

namespace {

// A folder holding a Data/ tree with one picture in it.
struct TFolderWithData {
    QTemporaryDir Dir;
    TFolderWithData() {
        QDir(Dir.path()).mkpath("Data");
        QImage picture(3, 2, QImage::Format_RGB888);
        picture.fill(Qt::green);
        picture.save(Dir.filePath("Data/Picture.bmp"), "BMP");
    }
    QString Path() const { return QDir(Dir.path()).absolutePath(); }
};

} // namespace

TEST(RenderDataFolder, TheWorkingDirectoryComesFirstThenTheProgramsFolder) {
    TFolderWithData working, beside;
    QTemporaryDir empty, alsoEmpty;

    // Found in the working directory, paths stay as they are written.
    std::optional<TDataFolder> data = TDataFolder::Locate(working.Path(), beside.Path());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->PathOf("Data/Cards.dat"), "Data/Cards.dat");

    // Found beside the program, paths lead there.
    data = TDataFolder::Locate(empty.path(), beside.Path());
    ASSERT_TRUE(data);
    const std::string picture = data->PathOf("Data/Picture.bmp");
    EXPECT_EQ(picture, (beside.Path() + "/Data/Picture.bmp").toStdString());
    TGraphics graphics;
    EXPECT_TRUE(graphics.LoadBitmapSurface(picture, nullptr, false, false));

    // A file called Data is not the folder.
    QFile(empty.filePath("Data")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(TDataFolder::Locate(empty.path(), alsoEmpty.path()));
    EXPECT_FALSE(TDataFolder::Locate(empty.path(), ""));

    // The message names every folder searched, each once.
    const QString a = QDir(empty.path()).absolutePath(), b = QDir(alsoEmpty.path()).absolutePath();
    EXPECT_EQ(TDataFolder::NotFoundMessage(a, b),
              "Could not find the Data folder with the game's cards and pictures; looked in " +
                  a.toStdString() + " and in " + b.toStdString() + ".");
    EXPECT_EQ(TDataFolder::NotFoundMessage(a, a),
              "Could not find the Data folder with the game's cards and pictures; looked in " +
                  a.toStdString() + ".");
}

TEST(RenderDataFolder, LoadersReadEveryFileFromTheFolderGiven) {
    TFolderWithData beside;
    TScopedWorkDir elsewhere; // the working directory, without Data/
    const TDataFolder data(beside.Path());
    const std::string root = beside.Path().toStdString() + "/";

    TGraphics graphics;
    TGameSprites sprites;
    TRecorder messages;
    EXPECT_FALSE(sprites.LoadSprites(graphics, {}, messages.Sink(), data));
    EXPECT_EQ(messages.Lines, std::vector<std::string>{"Could not load image " + root + "Data/Board.bmp"});

    std::vector<std::string> asked;
    QFile cards(beside.Dir.filePath("Data/Cards.dat"));
    ASSERT_TRUE(cards.open(QIODevice::WriteOnly));
    for (int n = 1; n <= 110; ++n) cards.write(("Card 1 2 3 4 0\n"));
    cards.close();
    TCardsInfo catalogue;
    ASSERT_TRUE(catalogue.LoadCards(
        [&asked](const std::string& path, std::string&) {
            asked.push_back(path);
            return std::make_unique<TSurface>(TCardsInfo::FaceWidth, TCardsInfo::FaceHeight);
        },
        {}, messages.Sink(), data));
    ASSERT_EQ(asked.size(), 220u);
    EXPECT_EQ(asked.front(), root + "Data/Red/1.bmp");
    EXPECT_EQ(asked.back(), root + "Data/Blue/110.bmp");
}
