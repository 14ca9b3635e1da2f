// The vantaro-server program itself: its command line, its first start in an
// empty data folder, SIGTERM with a client connected, kill -9 at a match's
// end, and (through with_postgres.sh) two servers on one PostgreSQL database
// and three sharing one lobby over a throwaway Redis.
#include "RedisTestServer.h"
#include "TlsTestClient.h"

#include "server/RulesReferee.h"
#include "server/SqlStorage.h"
#include "server/StoredMatch.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr int WaitMs = 30000;

TEST(ServerProcess, HelpListsTheOptionsAndABadOptionExitsTwoWithOneLine) {
    QProcess help;
    help.start(VANTARO_SERVER_PROGRAM, {"--help"});
    ASSERT_TRUE(help.waitForFinished(WaitMs));
    EXPECT_EQ(help.exitCode(), 0);
    QString text = help.readAllStandardOutput();
    for (const char* option : {"--port", "--data", "--database", "--cert", "--key", "--instance", "47018"})
        EXPECT_TRUE(text.contains(option)) << option;

    for (QStringList arguments :
         {QStringList{"--port", "http"}, QStringList{"--cert", "x.pem"}, QStringList{"-x"}}) {
        QProcess bad;
        bad.start(VANTARO_SERVER_PROGRAM, arguments);
        ASSERT_TRUE(bad.waitForFinished(WaitMs));
        EXPECT_EQ(bad.exitCode(), 2) << arguments.join(' ').toStdString();
        QByteArray error = bad.readAllStandardError();
        EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
        EXPECT_TRUE(error.startsWith("vantaro-server: ")) << error.toStdString();
    }
}

// Starts the server on a free loopback port and returns the port, read from
// its log; the log up to there in startLog when asked.
uint16_t StartServer(QProcess& server, const QString& data, const QStringList& extra = {},
                     QByteArray* startLog = nullptr) {
    server.setReadChannel(QProcess::StandardError);
    server.start(VANTARO_SERVER_PROGRAM,
                 QStringList{"--listen", "127.0.0.1", "--port", "0", "--data", data} + extra);
    QByteArray log;
    while (server.waitForReadyRead(WaitMs)) {
        log += server.readAllStandardError();
        int at = log.indexOf("listening on 127.0.0.1 port ");
        if (at >= 0 && log.indexOf('\n', at) > at && startLog) *startLog = log;
        if (at >= 0 && log.indexOf('\n', at) > at)
            return uint16_t(log.mid(at + 28, log.indexOf('\n', at) - at - 28).toUInt());
    }
    ADD_FAILURE() << "no listening line: " << log.toStdString();
    return 0;
}

TEST(ServerProcess, FirstStartMakesItsFilesAndSigtermSaysGoodbyeAndExitsZero) {
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
std::optional<QJsonObject> WaitFor(TTlsTestClient& client, const QString& type) {
    for (int i = 0; i < 200; ++i) {
        std::optional<std::string> line = client.ReadLine();
        if (!line) return std::nullopt;
        QJsonObject message = QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object();
        if (message["type"].toString() == type) return message;
    }
    return std::nullopt;
}

std::unique_ptr<TTlsTestClient> SignIn(const TIdentity& identity, uint16_t port, const std::string& name,
                                       const std::string& source = "127.0.0.1") {
    auto client = std::make_unique<TTlsTestClient>(&identity);
    EXPECT_TRUE(client->Connect(port, source));
    client->Send("{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":1}\n"
                 "{\"type\":\"login\",\"name\":\"" +
                 name + "\"}\n");
    EXPECT_TRUE(WaitFor(*client, "signed_in")) << name;
    return client;
}

int32_t RuleBits(const QJsonObject& rules) {
    return (rules["same"].toBool() ? RuleSame : 0) | (rules["same_wall"].toBool() ? RuleSameWall : 0) |
           (rules["plus"].toBool() ? RulePlus : 0) | (rules["elemental"].toBool() ? RuleElemental : 0) |
           (rules["sudden_death"].toBool() ? RuleSuddenDeath : 0);
}

// The player to move sends the first move the rules allow, and the referee
// plays it; false when there is none.
bool SendOne(TRulesReferee& referee, TTlsTestClient* seats[2]) {
    int32_t seat = referee.ToMove();
    for (int32_t slot = 0; slot < 5; ++slot)
        for (int32_t square = 0; square < 9; ++square)
            if (referee.MoveProblem(seat, {slot, square % 3, square / 3}).empty()) {
                seats[seat]->Send("{\"type\":\"move\",\"slot\":" + std::to_string(slot) +
                                  ",\"x\":" + std::to_string(square % 3) +
                                  ",\"y\":" + std::to_string(square / 3) + "}\n");
                referee.Play({slot, square % 3, square / 3});
                return true;
            }
    return false;
}

// The player to move plays the first move the rules allow; both see it.
void PlayOne(TRulesReferee& referee, TTlsTestClient* seats[2], int index) {
    ASSERT_TRUE(SendOne(referee, seats)) << "no legal move";
    for (int who = 0; who < 2; ++who) {
        std::optional<QJsonObject> moved = WaitFor(*seats[who], "moved");
        ASSERT_TRUE(moved) << "move " << index;
        EXPECT_EQ((*moved)["index"].toInt(), index);
    }
}

const char* PlainCreate = "{\"type\":\"create\",\"rules\":{\"same\":false,\"same_wall\":false,\"plus\":false,"
                          "\"elemental\":false,\"sudden_death\":false},\"seconds\":0,\"rated\":true}\n";

// What SignInAndStart leaves: both players' connections, and the referee the
// match is decided by, dealt as the server dealt it (null when it did not start).
struct TStartedMatch {
    std::unique_ptr<TTlsTestClient> Blue, Red;
    std::unique_ptr<TRulesReferee> Referee;
    int64_t Seed = 0;
    int64_t MatchId = 0;
    TTlsTestClient* Seats[2]{}; // by colour: Red, Blue
};

// Two players sign in; the first opens a table with `create` (so is Blue) and
// the second sits at it.
TStartedMatch SignInAndStart(uint16_t port, const TIdentity& blue, const std::string& blueName,
                             const TIdentity& red, const std::string& redName,
                             const std::string& create = PlainCreate,
                             const std::string& redSource = "127.0.0.1") {
    TStartedMatch started;
    started.Blue = SignIn(blue, port, blueName);
    started.Red = SignIn(red, port, redName, redSource);
    started.Seats[0] = started.Red.get();
    started.Seats[1] = started.Blue.get();
    started.Blue->Send(create);
    // Not always table 1: a server may hold matches in play another left.
    std::optional<QJsonObject> table;
    for (int i = 0;
         i < 10 && !(table && (*table)["seats"].toArray().contains(QString::fromStdString(blueName))); ++i)
        table = WaitFor(*started.Blue, "table");
    EXPECT_TRUE(table);
    started.Red->Send("{\"type\":\"sit\",\"table\":" +
                      std::to_string(int64_t(table.value_or(QJsonObject())["table"].toDouble(1))) + "}\n");
    std::optional<QJsonObject> match = WaitFor(*started.Red, "match");
    EXPECT_TRUE(match && WaitFor(*started.Blue, "match"));
    if (!match) return started;
    started.Seed = int64_t((*match)["seed"].toDouble());
    started.MatchId = int64_t((*match)["match"].toDouble());
    started.Referee = std::make_unique<TRulesReferee>(
        BuiltInCatalogue(), started.Seed, RuleBits((*match)["rules"].toObject()), (*match)["first"].toInt());
    return started;
}

// One scrape of the process's figures, on the port its log names.
std::string Scrape(const QByteArray& startLog) {
    const QByteArray before("metrics on 127.0.0.1 port ");
    const int at = startLog.indexOf(before);
    if (at < 0) return "no metrics line";
    const int from = at + int(before.size());
    const uint16_t port = uint16_t(startLog.mid(from, startLog.indexOf('\n', from) - from).toUInt());
    return HttpExchange(port, "GET /metrics HTTP/1.1\r\n\r\n");
}

TEST(ServerProcess, ItsFiguresCountThePlayersTheMatchTheMovesAndTheRefusals) {
    QTemporaryDir folder;
    TIdentity annIdentity = MakeIdentity("ann"), bobIdentity = MakeIdentity("bob");
    QProcess server;
    QByteArray startLog;
    uint16_t port = StartServer(server, folder.filePath("data"), {"--metrics", "127.0.0.1:0"}, &startLog);
    ASSERT_NE(port, 0);
    TStartedMatch started = SignInAndStart(port, annIdentity, "Ann", bobIdentity, "Bob");
    ASSERT_TRUE(started.Referee);
    PlayOne(*started.Referee, started.Seats, 0);
    std::string text = Scrape(startLog);
    for (const char* line : {"vantaro_connections 2\n", "vantaro_players 2\n", "vantaro_matches_in_play 1\n",
                             "vantaro_moves_total 1\n", "vantaro_move_seconds_count 1\n",
                             "vantaro_refusals_total{reason=\"bad_line\"} 0\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(text.find("vantaro_storage_seconds_count 0\n"), std::string::npos) << text;
    started.Blue->Send("{\"type\":\"juggle\"}\n");
    EXPECT_TRUE(started.Blue->WaitClosed());
    text = Scrape(startLog);
    EXPECT_NE(text.find("vantaro_refusals_total{reason=\"bad_line\"} 1\n"), std::string::npos) << text;
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(WaitMs));
}

// Reads the process's log until it holds text (bounded).
bool LogShows(QProcess& server, QByteArray& log, const QByteArray& text) {
    while (!log.contains(text) && server.waitForReadyRead(WaitMs)) log += server.readAllStandardError();
    return log.contains(text);
}

TEST(ServerProcess, ItsSettingsFileIsReadAtStartAndAgainOnSighupAndABadOneIsRefused) {
    QTemporaryDir folder;
    const QString config = folder.filePath("vantaro-server.conf");
    auto write = [&](const char* text) {
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    write("[connections]\nper_address = 0\n");
    QProcess refused;
    refused.start(VANTARO_SERVER_PROGRAM, {"--listen", "127.0.0.1", "--port", "0", "--data",
                                           folder.filePath("data"), "--config", config});
    ASSERT_TRUE(refused.waitForFinished(WaitMs));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains("vantaro-server.conf:2: connections.per_address"));

    write("[connections]\nper_address = 1\n");
    QProcess server;
    QByteArray log;
    const uint16_t port = StartServer(server, folder.filePath("data"), {"--config", config}, &log);
    ASSERT_NE(port, 0);
    TIdentity identity = MakeIdentity("pat");
    TTlsTestClient first(&identity), second(&identity), third(&identity);
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(first.ReadLine());
    second.Connect(port);
    EXPECT_FALSE(second.ReadLine()) << "a second connection from one address";
    // A bad file changes nothing; a good one takes effect without a restart.
    write("[connections]\nper_address = 'two'\n");
    ::kill(pid_t(server.processId()), SIGHUP);
    EXPECT_TRUE(LogShows(server, log, "kept the running settings")) << log.toStdString();
    write("[connections]\nper_address = 2\n");
    ::kill(pid_t(server.processId()), SIGHUP);
    EXPECT_TRUE(LogShows(server, log, "settings reloaded from")) << log.toStdString();
    ASSERT_TRUE(third.Connect(port));
    EXPECT_TRUE(third.ReadLine());
    server.terminate();
    EXPECT_TRUE(server.waitForFinished(WaitMs));
}

TEST(ServerProcess, BehindHAProxyThePlayersOwnAddressIsTheOneThatCounts) {
    if (QStandardPaths::findExecutable("haproxy").isEmpty()) GTEST_SKIP() << "no haproxy";
    QTemporaryDir folder;
    QProcess server;
    QByteArray log;
    const uint16_t port = StartServer(server, folder.filePath("data"),
                                      {"--proxy-from", "127.0.0.1", "--metrics", "127.0.0.1:0"}, &log);
    ASSERT_NE(port, 0);
    const QByteArray before("metrics on 127.0.0.1 port ");
    const int at = log.indexOf(before) + int(before.size());
    const QByteArray metricsPort = log.mid(at, log.indexOf('\n', at) - at);

    asio::io_context io;
    asio::ip::tcp::acceptor probe(io, {asio::ip::make_address("127.0.0.1"), 0});
    const uint16_t frontPort = probe.local_endpoint().port();
    probe.close();
    QFile config(folder.filePath("haproxy.cfg"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("defaults\n  mode tcp\n  timeout connect 5s\n  timeout client 60s\n  timeout server 60s\n"
                 "frontend f\n  bind 127.0.0.1:" +
                 QByteArray::number(frontPort) +
                 "\n  default_backend b\n"
                 "backend b\n  option httpchk GET /health\n  server s 127.0.0.1:" +
                 QByteArray::number(port) + " send-proxy-v2 check port " + metricsPort + " inter 200ms\n");
    config.close();
    QProcess front;
    front.start("haproxy", {"-db", "-f", config.fileName()});
    ASSERT_TRUE(front.waitForStarted(WaitMs));

    TIdentity identity = MakeIdentity("amy");
    std::unique_ptr<TTlsTestClient> amy;
    for (int i = 0; i < 100 && !amy; ++i) {
        auto client = std::make_unique<TTlsTestClient>(&identity);
        if (client->Connect(frontPort, "127.0.0.7"))
            amy = std::move(client);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(amy) << "no front on port " << frontPort;
    amy->Send("{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":1}\n{\"type\":\"login\",\"name\":"
              "\"Amy\"}\n");
    EXPECT_TRUE(WaitFor(*amy, "signed_in"));
    EXPECT_TRUE(LogShows(server, log, "from 127.0.0.7:")) << log.toStdString();
    EXPECT_TRUE(log.contains("(through 127.0.0.1:")) << log.toStdString();
    front.terminate();
    EXPECT_TRUE(front.waitForFinished(WaitMs));
    server.terminate();
    EXPECT_TRUE(server.waitForFinished(WaitMs));
}

TEST(ServerProcess, AMatchGoesOnFromItsLastMoveAfterTheServerIsKilled) {
    QTemporaryDir folder;
    QString data = folder.filePath("data");
    TIdentity annIdentity = MakeIdentity("ann"), bobIdentity = MakeIdentity("bob");
    QProcess server;
    uint16_t port = StartServer(server, data);
    ASSERT_NE(port, 0);
    TStartedMatch started =
        SignInAndStart(port, annIdentity, "Ann", bobIdentity, "Bob",
                       "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":true,"
                       "\"elemental\":true,\"sudden_death\":true},\"seconds\":0}\n");
    ASSERT_TRUE(started.Referee);
    TRulesReferee& referee = *started.Referee;
    const int64_t seed = started.Seed;
    for (int i = 0; i < 3; ++i) PlayOne(referee, started.Seats, i);

    ::kill(pid_t(server.processId()), SIGKILL);
    ASSERT_TRUE(server.waitForFinished(WaitMs));
    started.Blue.reset();
    started.Red.reset();

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

// The last move and the end are one transaction: killed as the last move
// comes (after it was told, or at some moment before), the restarted server
// holds either the finished match with its result and ratings or the match
// still in play without that move, never an abandoned one.
TEST(ServerProcess, AKillAtTheLastMoveLeavesTheMatchFinishedWithItsRatingsOrStillInPlay) {
    TIdentity annIdentity = MakeIdentity("ann"), bobIdentity = MakeIdentity("bob");
    for (int delayMs : {-1, 0, 2, 5}) {
        SCOPED_TRACE("kill " +
                     (delayMs < 0 ? std::string("once told") : std::to_string(delayMs) + " ms after"));
        QTemporaryDir folder;
        QString data = folder.filePath("data");
        QProcess server;
        uint16_t port = StartServer(server, data);
        ASSERT_NE(port, 0);
        TStartedMatch started = SignInAndStart(port, annIdentity, "Ann", bobIdentity, "Bob");
        ASSERT_TRUE(started.Referee);
        TRulesReferee* referee = started.Referee.get();
        TTlsTestClient** seats = started.Seats;
        TTlsTestClient* ann = started.Blue.get();
        for (int i = 0; i < 8; ++i) PlayOne(*referee, seats, i);
        ASSERT_TRUE(SendOne(*referee, seats));
        ASSERT_TRUE(referee->Over());
        if (delayMs < 0)
            ASSERT_TRUE(WaitFor(*ann, "moved"));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(pid_t(server.processId()), SIGKILL);
        ASSERT_TRUE(server.waitForFinished(WaitMs));

        QProcess restarted;
        ASSERT_NE(StartServer(restarted, data), 0);
        restarted.terminate();
        ASSERT_TRUE(restarted.waitForFinished(WaitMs));

        std::string error;
        auto storage = TSqlStorage::Open((data + "/vantaro.sqlite").toStdString(), "", error);
        ASSERT_TRUE(storage) << error;
        std::optional<TStoredMatch> match = storage->LoadMatch(1);
        ASSERT_TRUE(match);
        const int32_t ratedMatches = match->Rated ? 1 : 0;
        if (match->Status == TMatchStatus::Playing) {
            EXPECT_GE(delayMs, 0) << "a move told is kept";
            EXPECT_EQ(match->Moves.size(), 8u);
            continue;
        }
        ASSERT_EQ(match->Status, TMatchStatus::Finished);
        EXPECT_EQ(match->Moves.size(), 9u);
        EXPECT_EQ(match->Winner, referee->Winner());
        EXPECT_EQ(match->Score[0], referee->Score(0));
        EXPECT_EQ(match->Score[1], referee->Score(1));
        for (int seat = 0; seat < 2; ++seat)
            EXPECT_EQ(storage->Standing(match->Players[seat])->RatedMatches, ratedMatches);
    }
}

// A server started while another runs a match on their shared PostgreSQL
// database (the one with_postgres.sh starts; names the storage tests leave
// alone) leaves the match to it, and the match goes on to its end there.
TEST(ServerProcessOnSharedStorage, ASecondServerLeavesTheFirstsMatchAloneAndItGoesOn) {
    const char* url = std::getenv("VANTARO_TEST_DATABASE_URL");
    if (url == nullptr || *url == '\0') GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
    QTemporaryDir folder;
    TIdentity pamIdentity = MakeIdentity("pam"), rexIdentity = MakeIdentity("rex"),
              sueIdentity = MakeIdentity("sue");
    QProcess first, second;
    uint16_t port = StartServer(first, folder.filePath("first"), {"--database", url});
    ASSERT_NE(port, 0);
    TStartedMatch started = SignInAndStart(port, pamIdentity, "Pam", rexIdentity, "Rex");
    ASSERT_TRUE(started.Referee);
    TRulesReferee* referee = started.Referee.get();
    TTlsTestClient* seats[2] = {started.Seats[0], started.Seats[1]};
    PlayOne(*referee, seats, 0);

    uint16_t secondPort = StartServer(second, folder.filePath("second"), {"--database", url});
    ASSERT_NE(secondPort, 0);
    auto sue = SignIn(sueIdentity, secondPort, "Sue");
    std::optional<QJsonObject> lobby = WaitFor(*sue, "lobby");
    ASSERT_TRUE(lobby);
    EXPECT_EQ((*lobby)["open_tables"].toInt(), 0) << "the first server's match is not the second's";

    for (int i = 1; i < 9; ++i) PlayOne(*referee, seats, i);
    for (TTlsTestClient* who : seats)
        EXPECT_EQ(WaitFor(*who, "ended").value_or(QJsonObject())["how"].toString(), "finished");
    for (QProcess* server : {&first, &second}) {
        server->terminate();
        ASSERT_TRUE(server->waitForFinished(WaitMs));
        EXPECT_EQ(server->exitCode(), 0);
    }
}

// The server running a match goes away, killed or stalled past its lease:
// the other takes the match over once the lease has run out, and its players,
// signing in there, play it to its end, stored once with both ratings moved
// once. A stalled server, woken, stores nothing more of the match: the next
// move there is not stored, and both players are told to connect again.
class ServerProcessOnSharedStorageTakeOver : public ::testing::TestWithParam<bool> {};

TEST_P(ServerProcessOnSharedStorageTakeOver, TheOtherServerTakesTheMatchOverAndItEndsThereOnce) {
    const bool stalled = GetParam();
    const char* url = std::getenv("VANTARO_TEST_DATABASE_URL");
    if (url == nullptr || *url == '\0') GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
    QTemporaryDir folder;
    QProcess first, second;
    const uint16_t port =
        StartServer(first, folder.filePath("1"), {"--database", url, "--instance", "lease-1"});
    const uint16_t other =
        StartServer(second, folder.filePath("2"), {"--database", url, "--instance", "lease-2"});
    ASSERT_TRUE(port && other);
    const TIdentity blueIdentity = MakeIdentity("blue"), redIdentity = MakeIdentity("red");
    const std::string blueName = stalled ? "Mae" : "Kit", redName = stalled ? "Ned" : "Lou";
    // From two addresses, so that the match is rated.
    TStartedMatch started =
        SignInAndStart(port, blueIdentity, blueName, redIdentity, redName, PlainCreate, "127.0.0.2");
    ASSERT_TRUE(started.Referee);
    TRulesReferee& referee = *started.Referee;
    for (int i = 0; i < 2; ++i) PlayOne(referee, started.Seats, i);
    ::kill(pid_t(first.processId()), stalled ? SIGSTOP : SIGKILL);

    std::string error;
    std::unique_ptr<TSqlStorage> reader = TSqlStorage::Open("", url, error, "reader");
    ASSERT_TRUE(reader) << error;
    std::optional<TStoredMatch> taken;
    int looks = 0; // a tenth of a second apart, for a minute at most
    for (; looks < 600 && !(taken && taken->Epoch > TStoredMatch::FirstEpoch); ++looks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        taken = reader->LoadMatch(started.MatchId);
    }
    ASSERT_TRUE(taken && taken->Epoch > TStoredMatch::FirstEpoch);
    std::cout << "taken over within " << looks * 100 << " ms\n";
    if (stalled) {
        ::kill(pid_t(first.processId()), SIGCONT);
        const TRulesReferee before = referee;
        ASSERT_TRUE(SendOne(referee, started.Seats));
        referee = before; // not stored, so played again there
        for (TTlsTestClient* who : started.Seats) {
            EXPECT_TRUE(
                WaitFor(*who, "bye").value_or(QJsonObject())["reason"].toString().contains("another"));
            EXPECT_TRUE(who->WaitClosed());
        }
        EXPECT_EQ(reader->LoadMatch(started.MatchId)->Moves.size(), 2u);
    }

    auto blue = SignIn(blueIdentity, other, blueName);
    auto red = SignIn(redIdentity, other, redName, "127.0.0.2");
    for (TTlsTestClient* who : {blue.get(), red.get()})
        EXPECT_EQ(WaitFor(*who, "match").value_or(QJsonObject())["moves"].toArray().size(), 2)
            << "back at the seat with every move";
    TTlsTestClient* seats[2] = {red.get(), blue.get()};
    for (int i = 2; i < 9; ++i) PlayOne(referee, seats, i);
    for (TTlsTestClient* who : seats)
        EXPECT_EQ(WaitFor(*who, "ended").value_or(QJsonObject())["how"].toString(), "finished");
    std::optional<TStoredMatch> stored = reader->LoadMatch(started.MatchId);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Status, TMatchStatus::Finished);
    EXPECT_EQ(stored->Moves.size(), 9u);
    EXPECT_EQ(stored->Winner, referee.Winner());
    EXPECT_TRUE(stored->Rated);
    for (int64_t player : stored->Players) EXPECT_EQ(reader->Standing(player)->RatedMatches, 1);
    for (QProcess* server : {&first, &second}) {
        server->terminate();
        server->waitForFinished(WaitMs);
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, ServerProcessOnSharedStorageTakeOver, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Stalled" : "Killed"; });

// Reads lines until one satisfies done, pinging while the server is quiet;
// false when the connection ends or half a minute passes.
template <typename TDone> bool ReadUntil(TTlsTestClient& client, TDone done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (std::chrono::steady_clock::now() < end) {
        std::optional<std::string> line = client.ReadLine();
        if (!line) {
            if (!client.Send("{\"type\":\"ping\"}\n")) return false;
            continue;
        }
        if (done(QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object())) return true;
    }
    return false;
}

bool Lists(const QJsonObject& message, const QString& name) {
    if (message["type"].toString() == "player") return message["name"].toString() == name;
    for (const QJsonValue& player : message["players"].toArray())
        if (message["type"].toString() == "lobby" && player["name"].toString() == name) return true;
    return false;
}

// A table with the player seated at it, listed whole or as a change: its id, as listed there.
bool Seated(const QJsonObject& message, const QString& name, double& table) {
    const QString type = message["type"].toString();
    const QJsonArray tables = type == "lobby"   ? message["tables"].toArray()
                              : type == "table" ? QJsonArray{message}
                                                : QJsonArray();
    for (const QJsonValue& entry : tables)
        if (entry["seats"].toArray().contains(name)) {
            table = entry["table"].toDouble();
            return true;
        }
    return false;
}

TEST(ServerProcessOnSharedStorage,
     ThreeServersOnOneRedisShareOneLobbyAndItsMatchesAndRebuildItAfterARedisRestart) {
    const char* url = std::getenv("VANTARO_TEST_DATABASE_URL");
    if (url == nullptr || *url == '\0') GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
    if (!TRedisTestServer::Installed()) GTEST_SKIP() << "no redis-server";
    TRedisTestServer redis;
    redis.Start();
    QTemporaryDir folder;
    QProcess servers[3];
    uint16_t ports[3] = {};
    QByteArray firstLog;
    // What each piece said, when something failed: a fault across processes is
    // seldom understood from the clients' side alone.
    struct TLogsOnFailure {
        QProcess* Servers;
        QProcess& Redis;
        ~TLogsOnFailure() {
            if (!::testing::Test::HasFailure()) return;
            // Stopped first, so that everything they wrote has been read.
            for (int i = 0; i < 3; ++i) {
                Servers[i].terminate();
                Servers[i].waitForFinished(WaitMs);
                std::cerr << "--- server " << i << ":\n"
                          << Servers[i].readAllStandardError().toStdString() << std::flush;
            }
            Redis.terminate();
            Redis.waitForFinished(WaitMs);
            std::cerr << "--- redis:\n" << Redis.readAllStandardOutput().toStdString() << std::flush;
        }
    } logsOnFailure{servers, redis.Process};
    for (int i = 0; i < 3; ++i) {
        QStringList options{"--database", url, "--redis", QString::fromStdString(redis.Url() + "/5")};
        if (i == 0)
            options << "--metrics"
                    << "127.0.0.1:0";
        ports[i] = StartServer(servers[i], folder.filePath(QString("s%1").arg(i)), options,
                               i == 0 ? &firstLog : nullptr);
        ASSERT_NE(ports[i], 0);
    }
    const char* names[3] = {"Ann", "Bob", "Cid"};
    TIdentity identities[3] = {MakeIdentity("ann"), MakeIdentity("bob"), MakeIdentity("cid")};
    std::unique_ptr<TTlsTestClient> clients[3];
    for (int i = 0; i < 3; ++i) clients[i] = SignIn(identities[i], ports[i], names[i]);
    for (int i = 0; i < 3; ++i) {
        std::set<QString> seen;
        EXPECT_TRUE(ReadUntil(*clients[i],
                              [&](const QJsonObject& m) {
                                  for (int other : {(i + 1) % 3, (i + 2) % 3})
                                      if (Lists(m, names[other])) seen.insert(names[other]);
                                  return seen.size() == 2;
                              }))
            << names[i] << " does not see everyone";
    }

    // Players on two servers play a rated match to its end, watched from the third.
    TIdentity hal = MakeIdentity("hal"), ida = MakeIdentity("ida"), joe = MakeIdentity("joe");
    TStartedMatch across;
    across.Red = SignIn(ida, ports[1], "Ida", "127.0.0.2");
    across.Blue = SignIn(hal, ports[0], "Hal");
    across.Seats[0] = across.Red.get();
    across.Seats[1] = across.Blue.get();
    across.Blue->Send(PlainCreate);
    double listed = 0;
    ASSERT_TRUE(ReadUntil(*across.Red, [&](const QJsonObject& m) { return Seated(m, "Hal", listed); }));
    across.Red->Send("{\"type\":\"sit\",\"table\":" + std::to_string(int64_t(listed)) + "}\n");
    std::optional<QJsonObject> match = WaitFor(*across.Red, "match");
    ASSERT_TRUE(match && WaitFor(*across.Blue, "match"));
    EXPECT_EQ((*match)["table"].toDouble(), listed);
    TRulesReferee referee(BuiltInCatalogue(), int64_t((*match)["seed"].toDouble()),
                          RuleBits((*match)["rules"].toObject()), (*match)["first"].toInt());
    auto watcher = SignIn(joe, ports[2], "Joe");
    double watched = 0;
    ASSERT_TRUE(ReadUntil(*watcher, [&](const QJsonObject& m) { return Seated(m, "Ida", watched); }));
    watcher->Send("{\"type\":\"watch\",\"table\":" + std::to_string(int64_t(watched)) + "}\n");
    ASSERT_TRUE(WaitFor(*watcher, "match"));
    for (int index = 0; index < 9; ++index) {
        if (index == 4) {
            // Redis goes away mid-match for longer than a process may be silent,
            // and each lobby is its own; the players play on once it is back.
            redis.Stop();
            EXPECT_TRUE(ReadUntil(*clients[0], [](const QJsonObject& m) {
                return m["type"].toString() == "player_gone" && m["name"].toString() == "Bob";
            }));
            ASSERT_TRUE(ReadUntil(*watcher, [](const QJsonObject& m) {
                return m["type"].toString() == "lobby";
            })) << "the watcher elsewhere is back in its lobby";
            redis.Start();
            EXPECT_TRUE(ReadUntil(*clients[0], [](const QJsonObject& m) { return Lists(m, "Bob"); }))
                << "the lobby is rebuilt once Redis is back";
            clients[2]->Send("{\"type\":\"chat\",\"text\":\"back again\"}\n");
            EXPECT_TRUE(ReadUntil(*clients[0], [](const QJsonObject& m) {
                return m["type"].toString() == "chat" && m["from"].toString() == "Cid" &&
                       m["text"].toString() == "back again";
            }));
            // The watcher watches again.
            ASSERT_TRUE(ReadUntil(*watcher, [&](const QJsonObject& m) { return Seated(m, "Ida", watched); }));
            watcher->Send("{\"type\":\"watch\",\"table\":" + std::to_string(int64_t(watched)) + "}\n");
            ASSERT_TRUE(WaitFor(*watcher, "match"));
        }
        PlayOne(referee, across.Seats, index);
        EXPECT_TRUE(ReadUntil(*watcher,
                              [&](const QJsonObject& m) {
                                  return m["type"].toString() == "moved" && m["index"].toInt() == index;
                              }))
            << "the watcher sees move " << index;
    }
    for (TTlsTestClient* seat : across.Seats) {
        std::optional<QJsonObject> ended = WaitFor(*seat, "ended");
        ASSERT_TRUE(ended);
        EXPECT_EQ((*ended)["ratings"].toArray().size(), 2) << "rated";
    }
    EXPECT_TRUE(WaitFor(*watcher, "ended"));

    // Play Now pairs players waiting on two servers.
    TIdentity kim = MakeIdentity("kim"), liv = MakeIdentity("liv");
    auto waiters = {SignIn(kim, ports[1], "Kim"), SignIn(liv, ports[2], "Liv", "127.0.0.3")};
    const std::string playNow =
        "{\"type\":\"play_now\",\"rules\":[{\"same\":false,\"same_wall\":false,"
        "\"plus\":false,\"elemental\":false,\"sudden_death\":false}],\"seconds\":[0]}\n";
    std::set<double> matches;
    for (const auto& waiter : waiters) waiter->Send(playNow);
    for (const auto& waiter : waiters) {
        std::optional<QJsonObject> paired = WaitFor(*waiter, "match");
        ASSERT_TRUE(paired);
        matches.insert((*paired)["match"].toDouble());
    }
    EXPECT_EQ(matches.size(), 1u) << "one match";
    // Ended, so that no later test on this database finds it in play.
    (*waiters.begin())->Send("{\"type\":\"leave\"}\n");
    for (const auto& waiter : waiters) EXPECT_TRUE(WaitFor(*waiter, "ended"));

    // The round trips to Redis are timed, also across its restart (one every
    // 2 s: the first after it may still be to come).
    std::string figures = Scrape(firstLog);
    for (int look = 0; look < 20 && figures.find("vantaro_bus_seconds_count 0\n") != std::string::npos;
         ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        figures = Scrape(firstLog);
    }
    EXPECT_EQ(figures.find("vantaro_bus_seconds_count 0\n"), std::string::npos) << figures;
    EXPECT_NE(figures.find("vantaro_bus_seconds_count"), std::string::npos) << figures;

    // Ann signing in on another server ends her first connection.
    auto again = SignIn(identities[0], ports[2], "Ann");
    EXPECT_TRUE(ReadUntil(*clients[0], [](const QJsonObject& m) { return m["type"].toString() == "bye"; }));
    for (QProcess& server : servers) {
        server.terminate();
        ASSERT_TRUE(server.waitForFinished(WaitMs));
        EXPECT_EQ(server.exitCode(), 0);
    }
}

} // namespace
