// What the program remembers between runs, and what it does with a file it
// cannot trust.
#include "app/Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes) {
        QFile file(File);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return File;
    }
    void ExpectDefaults(const TStoredSettings& settings) {
        const TStoredSettings defaults;
        EXPECT_EQ(std::memcmp(&settings.Rules, &defaults.Rules, sizeof defaults.Rules), 0);
        EXPECT_EQ(settings.GameType, TGameType::HotSeat);
        EXPECT_EQ(settings.Level, defaults.Level);
        EXPECT_EQ(settings.Zoom, 1);
        EXPECT_FALSE(settings.AnnounceTurns);
        EXPECT_TRUE(settings.ShowFrameRate);
        EXPECT_FALSE(settings.Position);
    }

    QTemporaryDir Dir;
    QString File = Dir.filePath("Vantaro.conf");
};

TEST_F(SettingsTest, RoundTrip) {
    ExpectDefaults(TSettings(File).Load()); // no file yet

    TStoredSettings saved;
    saved.Rules.Same = saved.Rules.Elemental = saved.Rules.SuddenDeath = true;
    saved.GameType = TGameType::SinglePlayer;
    saved.Level = TLevel::Perfect;
    saved.Zoom = 3;
    saved.AnnounceTurns = true;
    saved.ShowFrameRate = false;
    saved.Position = QPoint(40, 50);
    TSettings(File).Save(saved);

    const TStoredSettings loaded = TSettings(File).Load();
    EXPECT_TRUE(loaded.Rules.Open && loaded.Rules.Random);
    EXPECT_TRUE(loaded.Rules.Same);
    EXPECT_FALSE(loaded.Rules.SameWall);
    EXPECT_FALSE(loaded.Rules.Plus);
    EXPECT_TRUE(loaded.Rules.Elemental);
    EXPECT_TRUE(loaded.Rules.SuddenDeath);
    EXPECT_EQ(loaded.GameType, TGameType::SinglePlayer);
    EXPECT_EQ(loaded.Level, TLevel::Perfect);
    EXPECT_EQ(loaded.Zoom, 3);
    EXPECT_TRUE(loaded.AnnounceTurns);
    EXPECT_FALSE(loaded.ShowFrameRate);
    EXPECT_EQ(loaded.Position, QPoint(40, 50));

    // Saving again replaces everything, also a position no longer known.
    saved = {};
    TSettings(File).Save(saved);
    ExpectDefaults(TSettings(File).Load());
}

TEST_F(SettingsTest, NonsenseIsIgnoredValueByValue) {
    Write("[Rules]\nSame=yes please\nPlus=true\nSameWall=1\n"
          "[Game]\nType=network\nLevel=godlike\n"
          "[View]\nZoom=7\nAnnounceTurns=maybe\nShowFrameRate=0\n"
          "[Window]\nX=-50000\nY=-50000\n");
    const TStoredSettings loaded = TSettings(File).Load();
    EXPECT_FALSE(loaded.Rules.Same);
    EXPECT_TRUE(loaded.Rules.Plus) << "a good value beside bad ones still counts";
    EXPECT_FALSE(loaded.Rules.SameWall);
    EXPECT_EQ(loaded.GameType, TGameType::HotSeat);
    EXPECT_EQ(loaded.Level, TStoredSettings().Level);
    EXPECT_EQ(loaded.Zoom, 1);
    EXPECT_FALSE(loaded.AnnounceTurns);
    EXPECT_TRUE(loaded.ShowFrameRate);
    EXPECT_FALSE(loaded.Position) << "off every screen";

    Write("[View]\nZoom=0\n[Window]\nX=12\nY=abc\n");
    EXPECT_EQ(TSettings(File).Load().Zoom, 1);
    EXPECT_FALSE(TSettings(File).Load().Position);
}

TEST_F(SettingsTest, UnreadableOrCorruptFileGivesTheDefaults) {
    // Binary junk, a file that is a folder, and a folder that is not there.
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) junk.append(char((i * 7919) & 0xff));
    ExpectDefaults(TSettings(Write(junk)).Load());
    ExpectDefaults(TSettings(Dir.path()).Load());
    ExpectDefaults(TSettings(Dir.filePath("missing/folder/Vantaro.conf")).Load());

    // Saving over a corrupt file leaves a good one.
    TStoredSettings saved;
    saved.Zoom = 2;
    TSettings(Write("[View\nZoom=\x01\x02[[[\n")).Save(saved);
    EXPECT_EQ(TSettings(File).Load().Zoom, 2);
}

} // namespace
