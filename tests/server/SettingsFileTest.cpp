// The operator's settings file: what it may say, and how a mistake is told
// (the file, the line, what is wrong) rather than half taken.
#include "server/SettingsFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(SettingsFile, AGoodFileSetsWhatItSaysAndLeavesTheRest) {
    EXPECT_EQ(SettingsFile::Parse("", "s.conf").Settings, TServerSettings());
    const SettingsFile::TReading reading = SettingsFile::Parse(R"(# a comment
[connections]
per_address = 16
silence_seconds = 60

[address]
chat_lines = 20

[matches]
away_seconds = 0

[ratings]
leaderboard_min_matches = 3

[community]
motd = "Welcome; be kind."
moderators = ["Ann", "Bob"]
reports_per_day = 5
)",
                                                               "s.conf");
    ASSERT_TRUE(reading.Settings) << reading.Error;
    TServerSettings expected;
    expected.ConnectionsPerAddress = 16;
    expected.SilenceSeconds = 60;
    expected.ChatLines = 20;
    expected.AwaySeconds = 0;
    expected.LeaderboardMinMatches = 3;
    expected.Motd = "Welcome; be kind.";
    expected.Moderators = {"Ann", "Bob"};
    expected.ReportsPerDay = 5;
    EXPECT_EQ(*reading.Settings, expected);
}

TEST(SettingsFile, AMistakeIsRefusedWithItsLineAndReason) {
    struct TCase {
        const char* Text;
        const char* Error;
    } cases[] = {
        {"[ratings]\nleaderboard_min_matches = 1\n[matches]\naway_second = 1\n",
         "s.conf:4: unknown setting 'away_second' in [matches]"},
        {"\n\nmotto = 'x'\n", "s.conf:3: unknown setting 'motto'"},
        {"[connections]\nper_adress = 3\n", "s.conf:2: unknown setting 'per_adress' in [connections]"},
        {"[connections]\nper_address = 0\n",
         "s.conf:2: connections.per_address must be a whole number from 1"},
        {"[connections]\nper_address = '8'\n", "s.conf:2: connections.per_address must be a whole number"},
        {"[connections]\nper_address = 8.5\n", "s.conf:2: connections.per_address must be a whole number"},
        {"[matches]\naway_seconds = 99999999999\n", "s.conf:2: matches.away_seconds must be"},
        {"connections = 5\n", "s.conf:1: [connections] must be a table"},
        {"[connections\nmax = 1\n", "s.conf:1: "},
        {"max = 1\nmax = 2\n", "s.conf:2: "},
        {"[community]\nmoderators = ['Ann', 'no body']\n",
         "s.conf:2: community.moderators holds something that is not a player's name"},
        {"[community]\nmoderators = 'Ann'\n", "s.conf:2: community.moderators must be a list"},
        {"[community]\nmotd = 5\n", "s.conf:2: community.motd must be text"},
        {"[community]\nmotto = 'x'\n", "s.conf:2: unknown setting 'motto' in [community]"},
    };
    for (const TCase& c : cases) {
        const SettingsFile::TReading reading = SettingsFile::Parse(c.Text, "s.conf");
        EXPECT_FALSE(reading.Settings) << c.Text;
        EXPECT_EQ(reading.Error.rfind(c.Error, 0), 0u) << c.Text << " gave: " << reading.Error;
        EXPECT_EQ(reading.Error.find('\n'), std::string::npos) << reading.Error;
    }
}

// The example installed for operators names every setting with the value the
// server runs on without it: uncommented, it reads as the built-in settings.
TEST(SettingsFile, TheExampleShowsEverySettingAtItsBuiltInValue) {
    std::ifstream example(VANTARO_SOURCE_DIR "/server/vantaro-server.conf");
    ASSERT_TRUE(example);
    std::string text, line;
    int settings = 0;
    while (std::getline(example, line)) {
        const bool setting =
            line.rfind("# [", 0) == 0 || (line.rfind("# ", 0) == 0 && line.find(" = ") != std::string::npos);
        settings += setting && line[2] != '[';
        text += (setting ? line.substr(2) : line) + "\n";
    }
    const SettingsFile::TReading reading = SettingsFile::Parse(text, "example");
    ASSERT_TRUE(reading.Settings) << reading.Error;
    EXPECT_EQ(*reading.Settings, TServerSettings());
    EXPECT_EQ(settings, 18) << "every setting";
}

TEST(SettingsFile, AFileMustBeThereAndOfASensibleSize) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("vantaro-server.conf").toStdString();
    EXPECT_EQ(SettingsFile::Read(path).Error, path + ": cannot be read");
    std::ofstream(path) << "# " << std::string(70 * 1024, 'x') << "\n";
    EXPECT_NE(SettingsFile::Read(path).Error.find("longer than 64 KiB"), std::string::npos);
    std::ofstream(path) << "[ratings]\nleaderboard_min_matches = 5\n";
    ASSERT_TRUE(SettingsFile::Read(path).Settings);
    EXPECT_EQ(SettingsFile::Read(path).Settings->LeaderboardMinMatches, 5);
}

} // namespace
