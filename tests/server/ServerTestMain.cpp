#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // A client the server closes on must not end the test run.
    std::signal(SIGPIPE, SIG_IGN);
    // Qt SQL finds its drivers through the application object.
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
