#include "server/InstanceName.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The name a server resumes its matches by survives its restarts, differs
// from another data folder's, and a damaged file stops the start.
TEST(InstanceName, TheNameMadeOnFirstStartIsKeptAndADamagedOneRefused) {
    QTemporaryDir folder;
    const std::string file = folder.filePath("instance").toStdString();
    std::string error;
    const std::string made = LoadOrMakeInstanceName(file, error);
    ASSERT_TRUE(IsValidInstanceName(made)) << made << ": " << error;
    EXPECT_EQ(LoadOrMakeInstanceName(file, error), made);
    EXPECT_NE(LoadOrMakeInstanceName(folder.filePath("other").toStdString(), error), made);

    for (const char* damaged : {"", "two words\n", "a/b\n"}) {
        std::ofstream(file) << damaged;
        error.clear();
        EXPECT_EQ(LoadOrMakeInstanceName(file, error), "") << damaged;
        EXPECT_NE(error.find(file), std::string::npos) << error;
    }
    EXPECT_EQ(LoadOrMakeInstanceName(folder.filePath("none/instance").toStdString(), error), "");
}

} // namespace
