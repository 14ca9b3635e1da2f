// The vantaro-server program itself: its command line, its first start in an
// empty data folder, and SIGTERM with a client connected.
#include "TlsTestClient.h"

#include "server/StoredMatch.h"
#include "server/RulesReferee.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    std::optional<std::string> hello = client.ReadLine();
    ASSERT_TRUE(hello);
    EXPECT_NE(hello->find("\"type\":\"hello\""), std::string::npos) << *hello;
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

// Reads lines until one of the type comes (bounded).
std::optional<QJsonObject> WaitFor(TTlsTestClient& client, const QString& type)
{
    for (int i = 0; i < 200; ++i) {
        std::optional<std::string> line = client.ReadLine();
        if (!line)
            return std::nullopt;
        QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object();
        if (message["type"].toString() == type)
            return message;
    }
    return std::nullopt;
}

std::unique_ptr<TTlsTestClient> SignIn(const TIdentity& identity, uint16_t port, const std::string& name)
{
    auto client = std::make_unique<TTlsTestClient>(&identity);
    EXPECT_TRUE(client->Connect(port));
    client->Send("{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":1}\n"
                 "{\"type\":\"login\",\"name\":\"" + name + "\"}\n");
    EXPECT_TRUE(WaitFor(*client, "signed_in")) << name;
    return client;
}

int32_t RuleBits(const QJsonObject& rules)
{
    return (rules["same"].toBool() ? RuleSame : 0) | (rules["same_wall"].toBool() ? RuleSameWall : 0) |
           (rules["plus"].toBool() ? RulePlus : 0) | (rules["elemental"].toBool() ? RuleElemental : 0) |
           (rules["sudden_death"].toBool() ? RuleSuddenDeath : 0);
}

// The player to move plays the first move the rules allow; both see it.
void PlayOne(TRulesReferee& referee, TTlsTestClient* seats[2], int index)
{
    int32_t seat = referee.ToMove();
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t square = 0; square < 9; ++square)
            if (referee.MoveProblem(seat, slot, square % 3, square / 3).empty()) {
                seats[seat]->Send("{\"type\":\"move\",\"slot\":" + std::to_string(slot) + ",\"x\":" +
                                  std::to_string(square % 3) + ",\"y\":" + std::to_string(square / 3) + "}\n");
                for (int who = 0; who < 2; ++who) {
                    std::optional<QJsonObject> moved = WaitFor(*seats[who], "moved");
                    ASSERT_TRUE(moved) << "move " << index;
                    EXPECT_EQ((*moved)["index"].toInt(), index);
                }
                referee.Play(slot, square % 3, square / 3);
                return;
            }
    FAIL() << "no legal move";
}

TEST(ServerProcess, AMatchGoesOnFromItsLastMoveAfterTheServerIsKilled)
{
    QTemporaryDir folder;
    QString data = folder.filePath("data");
    TIdentity annIdentity = MakeIdentity("ann"), bobIdentity = MakeIdentity("bob");
    QProcess server;
    uint16_t port = StartServer(server, data);
    ASSERT_NE(port, 0);
    auto ann = SignIn(annIdentity, port, "Ann");
    auto bob = SignIn(bobIdentity, port, "Bob");
    ann->Send("{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":true,"
              "\"elemental\":true,\"sudden_death\":true},\"seconds\":0}\n");
    ASSERT_TRUE(WaitFor(*ann, "table"));
    bob->Send("{\"type\":\"sit\",\"table\":1}\n");
    std::optional<QJsonObject> match = WaitFor(*bob, "match");
    ASSERT_TRUE(match);
    ASSERT_TRUE(WaitFor(*ann, "match"));
    int64_t seed = int64_t((*match)["seed"].toDouble());
    TRulesReferee referee(BuiltInCatalogue(), seed, RuleBits((*match)["rules"].toObject()), (*match)["first"].toInt());
    TTlsTestClient* seats[2] = {bob.get(), ann.get()}; // the one who opened the table is Blue
    for (int i = 0; i < 3; ++i)
        PlayOne(referee, seats, i);

    ::kill(pid_t(server.processId()), SIGKILL);
    ASSERT_TRUE(server.waitForFinished(WaitMs));
    ann.reset();
    bob.reset();

    QProcess restarted;
    port = StartServer(restarted, data);
    ASSERT_NE(port, 0);
    auto ann2 = SignIn(annIdentity, port, "Ann");
    auto bob2 = SignIn(bobIdentity, port, "Bob");
    for (auto* who : {ann2.get(), bob2.get()}) {
        std::optional<QJsonObject> resumed = WaitFor(*who, "match");
        ASSERT_TRUE(resumed) << "the match to replay";
        EXPECT_EQ(int64_t((*resumed)["seed"].toDouble()), seed);
        EXPECT_EQ((*resumed)["moves"].toArray().size(), 3);
    }
    TTlsTestClient* seats2[2] = {bob2.get(), ann2.get()};
    PlayOne(referee, seats2, 3);
    restarted.terminate();
    ASSERT_TRUE(restarted.waitForFinished(WaitMs));
    EXPECT_EQ(restarted.exitCode(), 0);
}

} // namespace
