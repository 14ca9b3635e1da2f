// The vantaro-server program itself: its command line, its first start in an
// empty data folder, and SIGTERM with a client connected.
#include "TlsTestClient.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr int WaitMs = 30000;

TEST(ServerProcess, HelpListsTheOptionsAndABadOptionExitsTwoWithOneLine)
{
    QProcess help;
    help.start(VANTARO_SERVER_PROGRAM, {"--help"});
    ASSERT_TRUE(help.waitForFinished(WaitMs));
    EXPECT_EQ(help.exitCode(), 0);
    QString text = help.readAllStandardOutput();
    for (const char* option : {"--port", "--data", "--database", "--cert", "--key", "47018"})
        EXPECT_TRUE(text.contains(option)) << option;

    for (QStringList arguments : {QStringList{"--port", "http"}, QStringList{"--cert", "x.pem"}, QStringList{"-x"}}) {
        QProcess bad;
        bad.start(VANTARO_SERVER_PROGRAM, arguments);
        ASSERT_TRUE(bad.waitForFinished(WaitMs));
        EXPECT_EQ(bad.exitCode(), 2) << arguments.join(' ').toStdString();
        QByteArray error = bad.readAllStandardError();
        EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
        EXPECT_TRUE(error.startsWith("vantaro-server: ")) << error.toStdString();
    }
}

// Starts the server on a free loopback port and returns the port, read from its log.
uint16_t StartServer(QProcess& server, const QString& data)
{
    server.setReadChannel(QProcess::StandardError);
    server.start(VANTARO_SERVER_PROGRAM, {"--listen", "127.0.0.1", "--port", "0", "--data", data});
    QByteArray log;
    while (server.waitForReadyRead(WaitMs)) {
        log += server.readAllStandardError();
        int at = log.indexOf("listening on 127.0.0.1 port ");
        if (at >= 0 && log.indexOf('\n', at) > at)
            return uint16_t(log.mid(at + 28, log.indexOf('\n', at) - at - 28).toUInt());
    }
    ADD_FAILURE() << "no listening line: " << log.toStdString();
    return 0;
}

TEST(ServerProcess, FirstStartMakesItsFilesAndSigtermSaysGoodbyeAndExitsZero)
{
    QTemporaryDir folder;
    QString data = folder.filePath("data");
    QProcess server;
    uint16_t port = StartServer(server, data);
    ASSERT_NE(port, 0);
    struct stat info;
    ASSERT_EQ(stat((data + "/server-key.pem").toUtf8().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(stat((data + "/server-cert.pem").toUtf8().constData(), &info), 0);
    EXPECT_EQ(stat((data + "/vantaro.sqlite").toUtf8().constData(), &info), 0);

    TIdentity identity = MakeIdentity("player");
    TTlsTestClient client(&identity);
    ASSERT_TRUE(client.Connect(port));
    ::kill(pid_t(server.processId()), SIGTERM);
    std::optional<std::string> bye = client.ReadLine();
    ASSERT_TRUE(bye);
    EXPECT_NE(bye->find("\"type\":\"bye\""), std::string::npos) << *bye;
    EXPECT_TRUE(client.WaitClosed());
    ASSERT_TRUE(server.waitForFinished(WaitMs));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);

    // A second start keeps the certificate it made.
    QProcess again;
    ASSERT_NE(StartServer(again, data), 0);
    again.terminate();
    ASSERT_TRUE(again.waitForFinished(WaitMs));
    EXPECT_EQ(again.exitCode(), 0);
}

} // namespace
