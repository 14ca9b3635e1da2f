// Three lobbies of one cluster, without sockets or Redis: what each hands
// back for the bus is delivered by the test to the others (and back to
// itself, as Redis does), or lost when the test says the bus is down.
#include "FakeReferee.h"

#include "protocol/Requests.h"
#include "server/AddressLimits.h"
#include "server/Lobby.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"
#include "server/cluster/ClusterMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <tuple>

#include <gtest/gtest.h>

namespace {

class LobbyClusterTest : public ::testing::Test {
protected:
    struct TNode {
        std::unique_ptr<TSqlStorage> Storage; // the shared database, under the process's name
        std::unique_ptr<TLobby> Lobby;
        bool OnBus = true;
        std::set<std::string> Channels{"lobby"};
    };

    void SetUp() override {
        std::string error;
        Storage = TSqlStorage::Open(File(), "", error, "reader");
        ASSERT_TRUE(Storage) << error;
        for (const char* name : {"a", "b", "c"}) {
            TNode& node = Nodes[name];
            node.Storage = TSqlStorage::Open(File(), "", error, name);
            ASSERT_TRUE(node.Storage) << error;
            node.Lobby = std::make_unique<TLobby>(
                *node.Storage, Log, Limits,
                [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
                [] { return int64_t(7); });
            node.Lobby->Moderate(*node.Storage, Now);
            node.Lobby->JoinCluster(name, Now);
            node.Lobby->ClusterBus(true, Now);
        }
        Pump();
    }

    std::string File() const { return Folder.filePath("v.sqlite").toStdString(); }

    // Delivers what each lobby has for the bus until none has more.
    void Pump() {
        for (int round = 0; round < 10; ++round) {
            bool any = false;
            for (auto& [name, node] : Nodes) {
                for (const auto& [channel, subscribe] : node.Lobby->TakeClusterSubscriptions())
                    subscribe ? (void)node.Channels.insert(channel) : (void)node.Channels.erase(channel);
                for (const auto& [channel, payload] : node.Lobby->TakeClusterOutgoing()) {
                    any = true;
                    ++Published[channel.substr(0, channel.find(':'))];
                    if (!node.OnBus) continue;
                    for (auto& [other, to] : Nodes)
                        if (to.OnBus && to.Channels.count(channel)) to.Lobby->HandleCluster(payload, Now);
                }
            }
            if (!any) break;
        }
        Collect();
    }

    // Time passes, every lobby ticks at each of its deadlines, and the bus carries what they say.
    void Advance(int64_t ms) {
        const int64_t end = Now + ms;
        for (int step = 0; step < 1000 && Now < end; ++step) {
            int64_t next = end;
            for (auto& [name, node] : Nodes) next = std::min(next, std::max(Now, node.Lobby->NextDeadline()));
            Now = next;
            for (auto& [name, node] : Nodes) node.Lobby->Tick(Now);
            Pump();
        }
    }

    // Long enough for a change to reach the bus and each lobby's clients.
    void Settle() { Advance(2 * TLobby::LobbyFlushMs); }

    uint64_t Join(const char* node, const std::string& name) {
        const uint64_t connection = NextConnection++;
        At[connection] = node;
        Nodes[node].Lobby->Connected(connection, "fp-" + name, "198.51.100." + std::to_string(connection),
                                     "198.51.100." + std::to_string(connection));
        Ask(connection, "{\"type\":\"login\",\"name\":\"" + name + "\"}");
        EXPECT_TRUE(Last(connection, "signed_in")) << name;
        return connection;
    }

    void Ask(uint64_t connection, const std::string& line) {
        Requests::TDecoded decoded = Requests::Decode(line);
        ASSERT_TRUE(decoded.Ok) << line;
        Nodes[At[connection]].Lobby->Handle(connection, decoded.Request, Now);
        Pump();
    }

    void Collect() {
        for (auto& [name, node] : Nodes)
            for (TLobby::TOutgoing& out : node.Lobby->TakeOutgoing()) {
                if (out.Close) Closed.insert(out.Connection);
                for (const QByteArray& line : QByteArray::fromStdString(out.Line).chopped(1).split('\n'))
                    Inbox[out.Connection].push_back(QJsonDocument::fromJson(line).object());
            }
    }

    std::optional<QJsonObject> Last(uint64_t connection, const char* type) {
        std::optional<QJsonObject> found;
        for (const QJsonObject& message : Inbox[connection])
            if (message["type"].toString() == type) found = message;
        return found;
    }

    // The players a connection's lobby lists now, by name, with the table
    // each is at: its snapshot, then every change since.
    std::map<QString, int64_t> Listed(uint64_t connection) {
        std::map<QString, int64_t> players;
        for (const QJsonObject& message : Inbox[connection]) {
            const QString type = message["type"].toString();
            if (type == "lobby") {
                players.clear();
                for (const QJsonValue& player : message["players"].toArray())
                    players[player["name"].toString()] = int64_t(player["table"].toDouble());
            } else if (type == "player") {
                players[message["name"].toString()] = int64_t(message["table"].toDouble());
            } else if (type == "player_gone") {
                players.erase(message["name"].toString());
            }
        }
        return players;
    }
    std::set<int64_t> ListedTables(uint64_t connection) {
        std::set<int64_t> tables;
        for (const QJsonObject& message : Inbox[connection]) {
            const QString type = message["type"].toString();
            if (type == "lobby") {
                tables.clear();
                for (const QJsonValue& table : message["tables"].toArray())
                    tables.insert(int64_t(table["table"].toDouble()));
            } else if (type == "table") {
                tables.insert(int64_t(message["table"].toDouble()));
            } else if (type == "table_gone") {
                tables.erase(int64_t(message["table"].toDouble()));
            }
        }
        return tables;
    }
    std::vector<QString> Heard(uint64_t connection) {
        std::vector<QString> lines;
        for (const QJsonObject& message : Inbox[connection])
            if (message["type"].toString() == "chat")
                lines.push_back(message["from"].toString() + ": " + message["text"].toString());
        return lines;
    }

    QTemporaryDir Folder;
    std::unique_ptr<TSqlStorage> Storage; // the test's own look at the database
    TServerLog Log{[](const std::string&) {}};
    TAddressLimits Limits;
    std::map<std::string, TNode> Nodes;
    std::map<uint64_t, std::string> At;
    std::map<uint64_t, std::vector<QJsonObject>> Inbox;
    std::set<uint64_t> Closed;
    std::map<std::string, size_t> Published; // messages by kind of channel: "lobby", "node", "table"
    uint64_t NextConnection = 1;
    int64_t Now = 1'700'000'000'000;
};

// Play Now for Same at 60 s a move.
const char* PlayNow = R"({"type":"play_now","rules":[{"same":true,"same_wall":false,"plus":false,)"
                      R"("elemental":false,"sudden_death":false}],"seconds":[60]})";
const char* Create = R"({"type":"create","rules":{"same":true,"same_wall":false,"plus":false,)"
                     R"("elemental":false,"sudden_death":false},"seconds":60})";

TEST_F(LobbyClusterTest, EachLobbyListsTheWholeClusterAndHearsItsChatUnlessBlocked) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("b", "Bob"), cid = Join("c", "Cid");
    Ask(bob, Create);
    Ask(cid, R"({"type":"block","name":"Bob"})");
    Settle();
    using TListing = std::map<QString, int64_t>;
    // Bob's table is listed elsewhere under an id of its own, which Bob's entry names there too.
    const std::set<int64_t> tablesAtA = ListedTables(ann);
    ASSERT_EQ(tablesAtA.size(), 1u);
    const int64_t bobsTable = *tablesAtA.begin();
    EXPECT_NE(bobsTable, 1);
    EXPECT_EQ(Listed(ann), (TListing{{"Ann", 0}, {"Bob", bobsTable}, {"Cid", 0}}));
    EXPECT_EQ(Listed(bob), (TListing{{"Ann", 0}, {"Bob", 1}, {"Cid", 0}}));
    EXPECT_EQ(ListedTables(bob), std::set<int64_t>{1});
    // Heartbeats that change nothing cost the lobby's clients nothing.
    const size_t heard = Inbox[ann].size();
    Advance(3 * TLobby::ClusterHeartbeatMs);
    EXPECT_EQ(Inbox[ann].size(), heard);

    // One coming to the lobby counts the whole cluster.
    const uint64_t dee = Join("c", "Dee");
    const QJsonObject lobby = *Last(dee, "lobby");
    EXPECT_EQ(lobby["online"].toInt(), 4);
    EXPECT_EQ(lobby["open_tables"].toInt(), 1);

    Ask(bob, R"({"type":"chat","text":"hello all"})");
    Ask(ann, R"({"type":"chat","text":"hi Bob"})");
    EXPECT_EQ(Heard(ann), (std::vector<QString>{"Bob: hello all", "Ann: hi Bob"}));
    EXPECT_EQ(Heard(dee), (std::vector<QString>{"Bob: hello all", "Ann: hi Bob"}));
    EXPECT_EQ(Heard(cid), (std::vector<QString>{"Ann: hi Bob"})) << "Cid blocks Bob";
    EXPECT_EQ(Heard(bob), (std::vector<QString>{"Bob: hello all", "Ann: hi Bob"})) << "each line once";
    // Arriving on any process, a player hears the lobby's last lines, wherever they were said.
    for (const char* node : {"a", "b"}) {
        const uint64_t eve = Join(node, std::string("Eve") + node);
        EXPECT_EQ(Heard(eve), (std::vector<QString>{"Bob: hello all", "Ann: hi Bob"})) << node;
        Nodes[node].Lobby->Disconnected(eve, Now);
    }

    // Leaving reaches the others with the next flush; the table goes with its last player.
    Nodes["b"].Lobby->Disconnected(bob, Now);
    Settle();
    EXPECT_EQ(Listed(ann), (TListing{{"Ann", 0}, {"Cid", 0}, {"Dee", 0}}));
    EXPECT_TRUE(ListedTables(ann).empty());
}

// A name signed in on two processes at the same moment: one connection stays,
// the same one wherever it is decided. (Signing in on another later ends the
// older one: the process test.)
TEST_F(LobbyClusterTest, ANameSignedInOnTwoProcessesAtOnceKeepsOneConnection) {
    Nodes["a"].OnBus = Nodes["b"].OnBus = false;
    const uint64_t onA = Join("a", "Cid"), onB = Join("b", "Cid");
    Nodes["a"].OnBus = Nodes["b"].OnBus = true;
    for (const char* node : {"a", "b"}) {
        TClusterMessage signedIn;
        signedIn.Kind = TClusterMessage::TKind::SignedIn;
        signedIn.Origin = node;
        signedIn.Player = Storage->FindPlayer("Cid")->Id;
        signedIn.AtMs = Now;
        for (const char* to : {"a", "b"}) Nodes[to].Lobby->HandleCluster(signedIn.Encode(), Now);
    }
    Collect();
    EXPECT_EQ(Closed.count(onA) + Closed.count(onB), 1u);
}

TEST_F(LobbyClusterTest, ASilentProcessIsForgottenAndABusBackRebuildsTheLobby) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("b", "Bob");
    Join("c", "Cid");
    Settle();
    using TListing = std::map<QString, int64_t>;
    EXPECT_EQ(Listed(ann).size(), 3u);

    // A change lost on the way is mended by the next whole set.
    Nodes["b"].OnBus = false;
    const uint64_t ben = Join("b", "Ben");
    Nodes["b"].Lobby->Disconnected(ben, Now);
    Nodes["b"].Lobby->Disconnected(bob, Now);
    Settle();
    Nodes["b"].OnBus = true;
    const uint64_t bea = Join("b", "Bea");
    Advance(TLobby::ClusterHeartbeatMs);
    EXPECT_EQ(Listed(ann).count("Bob"), 1u) << "a beat between whole sets names nothing";
    Advance(TLobby::ClusterWholeMs);
    EXPECT_EQ(Listed(ann), (TListing{{"Ann", 0}, {"Bea", 0}, {"Cid", 0}}));

    // Cut off: each side forgets the other once silent long enough.
    Nodes["c"].OnBus = false;
    Advance(TLobby::ClusterSilenceMs - 1000);
    EXPECT_EQ(Listed(ann).count("Cid"), 1u);
    Advance(2000);
    EXPECT_EQ(Listed(ann), (TListing{{"Ann", 0}, {"Bea", 0}}));
    EXPECT_EQ(Listed(bea), (TListing{{"Ann", 0}, {"Bea", 0}}));

    // Back on the bus: asked again at once, not at the next heartbeat.
    Nodes["c"].OnBus = true;
    Nodes["c"].Lobby->ClusterBus(true, Now);
    Pump();
    Settle();
    EXPECT_EQ(Listed(ann), (TListing{{"Ann", 0}, {"Bea", 0}, {"Cid", 0}}));
    const uint64_t cy = Join("c", "Cyd");
    EXPECT_EQ((*Last(cy, "lobby"))["online"].toInt(), 4);
}

TEST_F(LobbyClusterTest, AWatcherElsewhereSeesTheMatchAndChatsAtItsTable) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("a", "Bob"), cid = Join("c", "Cid"),
                   dee = Join("c", "Dee");
    Ask(ann, Create);
    Settle();
    const int64_t table = *ListedTables(cid).begin();
    Ask(cid, R"({"type":"watch","table":)" + std::to_string(table) + "}");
    EXPECT_EQ((*Last(cid, "table"))["table"].toDouble(), double(table)) << "the table waiting, as it stands";
    Ask(bob, R"({"type":"sit","table":1})");
    const QJsonObject match = *Last(cid, "match");
    EXPECT_EQ(match["table"].toDouble(), double(table));
    EXPECT_EQ(match["you"].toInt(), -1);
    Ask(dee, R"({"type":"watch","table":)" + std::to_string(table) + "}");
    Ask(ann, R"({"type":"move","slot":0,"x":1,"y":1})");
    Ask(dee, R"({"type":"block","name":"Bob"})");
    Ask(bob, R"({"type":"chat","text":"good luck"})");
    Ask(cid, R"({"type":"chat","text":"go Ann"})");
    EXPECT_EQ(Last(cid, "moved").value_or(QJsonObject())["table"].toDouble(), double(table));
    EXPECT_EQ((*Last(dee, "match"))["moves"].toArray().size(), 0) << "Dee's state came before the move";
    EXPECT_EQ(std::count_if(Inbox[dee].begin(), Inbox[dee].end(),
                            [](const QJsonObject& m) { return m["type"].toString() == "moved"; }),
              1)
        << "the move once, not again within the state";
    EXPECT_EQ(Heard(cid), (std::vector<QString>{"Bob: good luck", "Cid: go Ann"}));
    EXPECT_EQ(Heard(dee), (std::vector<QString>{"Cid: go Ann"})) << "Dee blocks Bob";
    EXPECT_EQ(Heard(ann), (std::vector<QString>{"Bob: good luck", "Cid: go Ann"}));
    Ask(dee, R"({"type":"sit","table":)" + std::to_string(table) + "}");
    EXPECT_EQ((*Last(dee, "refused"))["reason"].toString(), "That table is playing; you can watch it.");
    Ask(dee, R"({"type":"chat","text":"still watching"})");
    EXPECT_EQ(Heard(ann).back(), "Dee: still watching");

    // Out of the lobby while watching; back in it when leaving, or when the table goes.
    Ask(dee, R"({"type":"leave"})");
    Ask(dee, R"({"type":"chat","text":"lobby only"})");
    EXPECT_EQ(Heard(cid).size(), 3u);
    EXPECT_EQ(Heard(ann).size(), 3u);
    EXPECT_TRUE(Nodes["c"].Channels.count("table:a:1"));
    Ask(ann, R"({"type":"leave"})");
    Settle();
    EXPECT_TRUE(Last(cid, "ended"));
    EXPECT_EQ(Last(cid, "lobby").value_or(QJsonObject())["online"].toInt(), 4);
    EXPECT_FALSE(Nodes["c"].Channels.count("table:a:1"));
}

// The answer to a watch lost on the bus: asked again until it comes.
TEST_F(LobbyClusterTest, AWatchWhoseAnswerWasLostIsAskedAgain) {
    const uint64_t ann = Join("a", "Ann"), cid = Join("c", "Cid");
    Ask(ann, Create);
    Settle();
    const int64_t table = *ListedTables(cid).begin();
    Nodes["a"].OnBus = false;
    Inbox[cid].clear();
    Ask(cid, R"({"type":"watch","table":)" + std::to_string(table) + "}");
    Nodes["a"].OnBus = true;
    EXPECT_FALSE(Last(cid, "table"));
    Advance(TLobby::ClusterHeartbeatMs);
    EXPECT_EQ(Last(cid, "table").value_or(QJsonObject())["table"].toDouble(), double(table));
}

TEST_F(LobbyClusterTest, APlayerElsewherePlaysTheMatchThereAndComesBackToItAnywhere) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("b", "Bob"), cid = Join("c", "Cid");
    Ask(ann, std::string(Create).replace(std::string(Create).size() - 1, 1, R"(,"rated":true})"));
    Settle();
    const int64_t atB = *ListedTables(bob).begin();
    const int64_t atC = *ListedTables(cid).begin();
    const std::string sit = R"({"type":"sit","table":)" + std::to_string(atB) + "}";
    Ask(cid, R"({"type":"watch","table":)" + std::to_string(atC) + "}");

    Ask(bob, sit);
    Settle();
    // Listed at the table where it runs, as each process numbers it.
    EXPECT_EQ(Listed(Join("b", "Dee"))["Bob"], atB);
    EXPECT_EQ(Listed(Join("c", "Eve"))["Bob"], atC);
    const QJsonObject match = *Last(bob, "match");
    EXPECT_EQ(match["table"].toDouble(), double(atB));
    EXPECT_EQ(match["you"].toInt(), 0);
    EXPECT_TRUE(Last(ann, "match"));
    Ask(bob, Create);
    EXPECT_EQ((*Last(bob, "refused"))["reason"].toString(), "Leave your table first.");
    uint64_t seats[2] = {bob, ann};
    const int first = match["first"].toInt();
    auto play = [&](int index) {
        const uint64_t mover = seats[(first + index) % 2];
        Ask(seats[(first + index + 1) % 2], R"({"type":"move","slot":4,"x":2,"y":2})");
        Ask(mover, R"({"type":"move","slot":)" + std::to_string(index / 2) + R"(,"x":)" +
                       std::to_string(index % 3) + R"(,"y":)" + std::to_string(index / 3) + "}");
        for (uint64_t to : {ann, seats[0], cid})
            EXPECT_EQ(Last(to, "moved").value_or(QJsonObject())["index"].toInt(), index) << to;
    };
    for (int index = 0; index < 3; ++index) play(index);
    const QJsonObject refused = *Last(bob, "move_refused");
    EXPECT_EQ(refused["reason"].toString(), "It is not your turn.");
    EXPECT_EQ(refused["table"].toDouble(), double(atB));
    Ask(bob, R"({"type":"chat","text":"well played"})");
    EXPECT_EQ(Heard(ann), std::vector<QString>{"Bob: well played"});
    EXPECT_EQ(Heard(cid), std::vector<QString>{"Bob: well played"});
    // Blocked at Bob's own process mid-match: the process running it knows at once.
    Ask(bob, R"({"type":"block","name":"Ann"})");
    Ask(ann, R"({"type":"chat","text":"thanks"})");
    EXPECT_EQ(Heard(bob), std::vector<QString>{"Bob: well played"});
    EXPECT_EQ(Heard(cid).back(), "Ann: thanks");

    // Dropped from one process, signed in on another: back at the seat with every move.
    Nodes["b"].Lobby->Disconnected(bob, Now);
    Pump();
    EXPECT_EQ((*Last(ann, "away"))["seat"].toInt(), 0);
    seats[0] = Join("c", "Bob");
    const QJsonObject again = *Last(seats[0], "match");
    EXPECT_EQ(again["moves"].toArray().size(), 3);
    EXPECT_EQ(again["you"].toInt(), 0);
    EXPECT_EQ(again["table"].toDouble(), (*Last(cid, "match"))["table"].toDouble());
    EXPECT_TRUE(Last(ann, "back"));
    for (int index = 3; index < 9; ++index) play(index);
    for (uint64_t to : {ann, seats[0], cid}) EXPECT_TRUE(Last(to, "ended")) << to;
    EXPECT_EQ(Inbox[seats[0]].back()["type"].toString(), "lobby") << "back in c's lobby after the end";
    const TStorage::TStanding standing = *Storage->Standing(Storage->FindPlayer("Bob")->Id);
    EXPECT_EQ(standing.RatedMatches, 1);
    // Bob's own process lists the rating the match there gave him.
    const QJsonArray listed = (*Last(Join("c", "Gus"), "lobby"))["players"].toArray();
    const auto entry =
        std::find_if(listed.begin(), listed.end(), [](const QJsonValue& p) { return p["name"] == "Bob"; });
    ASSERT_NE(entry, listed.end());
    EXPECT_EQ(entry->toObject()["deviation"].toInt(), std::lround(standing.Rating.Deviation));
    EXPECT_LT(standing.Rating.Deviation, 300);
}

// The process running a match goes quiet for longer than a process may be
// silent, then stops for good. A player elsewhere stays at the match: once the
// bus is back they are sent it with the move they were not told, and once
// another process takes it over they sit back there, without signing in again.
TEST_F(LobbyClusterTest, APlayerElsewhereStaysAtTheirMatchThroughABusOutageAndATakeOver) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("b", "Bob");
    Ask(ann, Create);
    Settle();
    Ask(bob, R"({"type":"sit","table":)" + std::to_string(*ListedTables(bob).begin()) + "}");
    const QJsonObject started = *Last(bob, "match");
    uint64_t seats[2] = {bob, ann};
    const int first = started["first"].toInt();
    if (first == 0) Ask(bob, R"({"type":"move","slot":0,"x":0,"y":0})");
    const int played = first == 0 ? 2 : 1;

    Nodes["a"].OnBus = false;
    Ask(ann, R"({"type":"move","slot":0,"x":1,"y":0})");
    Advance(TLobby::ClusterSilenceMs + TLobby::ClusterHeartbeatMs);
    Inbox[bob].clear();
    Nodes["a"].OnBus = true;
    Nodes["a"].Lobby->ClusterBus(true, Now);
    Pump();
    EXPECT_FALSE(Last(bob, "lobby"));
    EXPECT_EQ(Last(bob, "match").value_or(QJsonObject())["moves"].toArray().size(), played);

    Nodes["a"].OnBus = false;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "raw");
        database.setDatabaseName(QString::fromStdString(File()));
        ASSERT_TRUE(database.open());
        ASSERT_TRUE(QSqlQuery(database).exec("UPDATE instances SET lease_until = 0 WHERE name = 'a'"));
        ASSERT_TRUE(QSqlQuery(database).exec("UPDATE matches SET lease_until = 1"));
    }
    QSqlDatabase::removeDatabase("raw");
    Inbox[bob].clear();
    Nodes["c"].Lobby->KeepLeases(Now);
    Pump();
    const std::optional<QJsonObject> again = Last(bob, "match");
    ASSERT_TRUE(again) << "seated at c";
    EXPECT_EQ((*again)["moves"].toArray().size(), played);
    EXPECT_NE((*again)["table"].toDouble(), started["table"].toDouble());
    seats[1] = Join("c", "Ann");
    Ask(seats[(first + played) % 2], R"({"type":"move","slot":1,"x":2,"y":0})");
    EXPECT_EQ(Last(seats[(first + played + 1) % 2], "moved").value_or(QJsonObject())["index"].toInt(),
              played);
}

TEST_F(LobbyClusterTest, PlayNowPairsThoseWaitingOnAnyProcessAsOneProcessWould) {
    const uint64_t ann = Join("a", "Ann"), bob = Join("b", "Bob"), cid = Join("c", "Cid"),
                   dee = Join("c", "Dee"), eve = Join("b", "Eve"), fay = Join("b", "Fay");
    Settle();
    // Each process's tables, and its clients with those seated from elsewhere.
    auto runs = [&] {
        std::vector<size_t> counts;
        for (auto& [name, node] : Nodes)
            counts.insert(counts.end(), {node.Lobby->Tables(), node.Lobby->PlayersOnline()});
        return counts;
    };
    auto playNow = [](bool plus, const char* seconds) {
        return std::string(R"({"type":"play_now","rules":[{"same":)") + (plus ? "false" : "true") +
               R"(,"same_wall":false,"plus":)" + (plus ? "true" : "false") +
               R"(,"elemental":false,"sudden_death":false}],"seconds":)" + seconds + "}";
    };
    Ask(bob, playNow(false, "[60,30]"));
    Ask(dee, playNow(true, "[60]"));
    Ask(eve, playNow(true, "[30]"));
    for (uint64_t waiting : {bob, dee, eve})
        EXPECT_EQ((*Last(waiting, "waiting"))["rules"].toArray().size(), 1);
    Ask(eve, R"({"type":"leave"})");
    EXPECT_TRUE((*Last(eve, "waiting"))["rules"].toArray().isEmpty()) << "stopped waiting";

    // The asker's order decides among what both accept; the one who waited plays Blue.
    Ask(cid, playNow(false, "[30,60]"));
    Settle();
    const QJsonObject atB = *Last(bob, "match"), atC = *Last(cid, "match");
    EXPECT_EQ(atB["seconds"].toInt(), 30);
    EXPECT_EQ(atB["you"].toInt(), 1);
    EXPECT_EQ(atC["you"].toInt(), 0);
    EXPECT_TRUE((*Last(bob, "waiting"))["rules"].toArray().isEmpty()) << "stopped waiting";
    EXPECT_FALSE(Last(cid, "waiting")) << "paired as it asked";
    EXPECT_EQ(runs(), (std::vector<size_t>{0, 3, 1, 4, 0, 2})) << "run where Bob waited, Cid seated from c";
    EXPECT_EQ(ListedTables(eve).count(int64_t(atB["table"].toDouble())), 1u);
    EXPECT_EQ(ListedTables(dee).count(int64_t(atC["table"].toDouble())), 1u);
    Ask(bob, R"({"type":"move","slot":0,"x":1,"y":1})");
    EXPECT_EQ((*Last(cid, "moved"))["table"].toDouble(), atC["table"].toDouble());

    // One waiting on the process keeping the queue meets one waiting elsewhere.
    Ask(ann, playNow(true, "[30,60]"));
    EXPECT_EQ((*Last(dee, "match"))["seconds"].toInt(), 60);
    EXPECT_EQ((*Last(ann, "match"))["you"].toInt(), 0);
    EXPECT_EQ(runs(), (std::vector<size_t>{0, 2, 1, 4, 1, 3}));
    const QJsonObject annMatch = *Last(ann, "match");
    Ask(annMatch["first"] == annMatch["you"] ? ann : dee, R"({"type":"move","slot":0,"x":0,"y":0})");
    EXPECT_TRUE(Last(ann, "moved") && Last(dee, "moved"));

    // Two waiting on one process play there, neither seated from elsewhere.
    Ask(eve, playNow(true, "[30]"));
    Ask(fay, playNow(true, "[30]"));
    EXPECT_EQ((*Last(eve, "match"))["you"].toInt(), 1);
    EXPECT_EQ(runs(), (std::vector<size_t>{0, 1, 2, 4, 1, 3}));
    EXPECT_EQ(Published["table"], 0u) << "no one elsewhere watches: no table's lines go on the bus";
}

// A rated table open on another process is Play Now's to fill, as one open
// on the keeper is, whichever process the asker is on: the asker sits there.
TEST_F(LobbyClusterTest, PlayNowSeatsTheAskerAtARatedTableOpenOnAnotherProcess) {
    const std::string rated =
        std::string(Create).replace(std::string(Create).size() - 1, 1, R"(,"rated":true})");
    const std::pair<const char*, const char*> places[] = {
        {"b", "c"}, {"a", "c"}, {"c", "c"}}; // asker, creator
    for (const auto& [askerAt, creatorAt] : places) {
        const std::string tag = std::string(askerAt) + creatorAt;
        const uint64_t creator = Join(creatorAt, "Cre" + tag), asker = Join(askerAt, "Ask" + tag);
        Ask(creator, rated);
        Settle();
        Ask(asker, PlayNow);
        Settle();
        const std::optional<QJsonObject> match = Last(asker, "match");
        ASSERT_TRUE(match) << "asked on " << askerAt;
        EXPECT_FALSE(Last(asker, "waiting")) << "never queued";
        EXPECT_EQ((*match)["you"].toInt(), 0) << "the free seat";
        const std::optional<QJsonObject> opponent = Last(creator, "match");
        ASSERT_TRUE(opponent);
        EXPECT_EQ((*opponent)["match"], (*match)["match"]);
        Ask((*match)["first"] == (*match)["you"] ? asker : creator,
            R"({"type":"move","slot":0,"x":1,"y":1})");
        EXPECT_TRUE(Last(asker, "moved") && Last(creator, "moved"));
    }
}

// The keeper's word comes after the waiter went elsewhere: no match, and the
// one paired with them waits no more, anywhere, until asking again.
TEST_F(LobbyClusterTest, APairWhoseWaiterWentElsewhereMeanwhileOpensNothing) {
    const uint64_t bob = Join("b", "Bob"), cid = Join("c", "Cid");
    Ask(cid, PlayNow);
    Ask(bob, Create);
    TClusterMessage open;
    open.Kind = TClusterMessage::TKind::OpenMatch;
    open.Origin = "a";
    open.To = "b";
    open.Seconds = 60;
    for (const auto& [seat, connection, name] : {std::tuple{0, bob, "Bob"}, {1, cid, "Cid"}}) {
        open.Seats[seat].Origin = At[connection];
        open.Seats[seat].Connection = connection;
        open.Seats[seat].Player = Storage->FindPlayer(name)->Id;
        open.Seats[seat].Name = name;
        open.Seats[seat].Waited = true;
    }
    const size_t atKeeper = Nodes["a"].Lobby->PlayersOnline();
    Nodes["b"].Lobby->HandleCluster(open.Encode(), Now);
    Pump();
    EXPECT_EQ(Nodes["b"].Lobby->Tables(), 1u) << "Bob's own";
    EXPECT_FALSE(Last(cid, "match"));
    EXPECT_TRUE((*Last(cid, "waiting"))["rules"].toArray().isEmpty());
    EXPECT_EQ(Nodes["a"].Lobby->PlayersOnline(), atKeeper - 1) << "Cid let go of there";
    Ask(cid, PlayNow);
    EXPECT_EQ((*Last(cid, "waiting"))["rules"].toArray().size(), 1);
    EXPECT_EQ(Nodes["a"].Lobby->PlayersOnline(), atKeeper);
}

// The keeper goes with its queue: those waiting elsewhere wait on with the next keeper, and meet there.
TEST_F(LobbyClusterTest, ThoseWaitingForPlayNowWaitOnWhenTheKeeperGoes) {
    const uint64_t bob = Join("b", "Bob"), cid = Join("c", "Cid");
    Ask(bob, PlayNow);
    Nodes["a"].OnBus = false;
    Inbox[bob].clear();
    Advance(TLobby::ClusterSilenceMs + TLobby::ClusterHeartbeatMs);
    for (const QJsonObject& line : Inbox[bob])
        EXPECT_FALSE(line["type"] == "waiting" && line["rules"].toArray().isEmpty()) << "told it stopped";
    Ask(cid, PlayNow);
    EXPECT_TRUE(Last(bob, "match"));
    EXPECT_TRUE(Last(cid, "match"));
}

// Paired at once (never told it waited) for a match the one who waited
// first's process was to open, and that process went before it did: the
// player waits on with the keeper rather than for a match that never comes,
// whether connected to another process or to the keeper itself.
TEST_F(LobbyClusterTest, APlayerPairedForAProcessThatGoesBeforeOpeningTheMatchWaitsOn) {
    const uint64_t bob = Join("b", "Bob"), cid = Join("c", "Cid"), dan = Join("a", "Dan");
    Ask(bob, PlayNow);
    for (const auto& [gone, asker] : {std::pair{"b", cid}, {"c", dan}}) {
        Nodes[gone].OnBus = false;
        Ask(asker, PlayNow);
        EXPECT_FALSE(Last(asker, "waiting")) << gone;
        Advance(TLobby::ClusterSilenceMs + TLobby::ClusterHeartbeatMs);
        const std::optional<QJsonObject> waiting = Last(asker, "waiting");
        ASSERT_TRUE(waiting) << gone;
        EXPECT_EQ((*waiting)["rules"].toArray().size(), 1) << gone;
    }
}

TEST_F(LobbyClusterTest, MalformedOrOversizedMessagesAreCountedAndChangeNothing) {
    const uint64_t ann = Join("a", "Ann");
    Settle();
    Inbox[ann].clear();
    TClusterMessage many;
    many.Origin = "x";
    for (int64_t id = 1; id <= int64_t(TClusterMessage::MaxEntries) + 1; ++id) many.GonePlayers.push_back(id);
    TClusterMessage twice; // one player at both seats of a match
    twice.Kind = TClusterMessage::TKind::OpenMatch;
    twice.Origin = twice.To = "x";
    twice.Seats[0].Origin = "x";
    twice.Seats[0].Connection = 1;
    twice.Seats[0].Player = 9;
    twice.Seats[0].Name = "Zed";
    twice.Seats[1] = twice.Seats[0];
    const std::string player = R"({"id":9,"name":"Zed","table":0,"seat":-1,"rating":1500,"deviation":350})";
    const std::string bad[] = {
        "",
        "not json",
        "[]",
        R"({"kind":"shout","from":"x"})",
        R"({"kind":"chat","from":"x","player":9,"name":"Zed"})",
        R"({"kind":"chat","from":"","player":9,"name":"Zed","text":"hi"})",
        R"({"kind":"chat","from":"x","player":0,"name":"Zed","text":"hi"})",
        R"({"kind":"chat","from":"x","player":9,"name":"Z\u0000d","text":"hi"})",
        R"({"kind":"chat","from":")" + std::string(65, 'x') + R"(","player":9,"name":"Zed","text":"hi"})",
        R"({"kind":"signed_in","from":"x","player":9,"at":-1})",
        R"({"kind":"taken_over","from":"x","player":0})",
        R"({"kind":"entries","from":"x","whole":true,"last":true,"generation":1,"players":[)" + player +
            R"(],"tables":[{"table":1}],"gone_players":[],"gone_tables":[]})",
        R"({"kind":"entries","from":"x","whole":false,"last":false,"generation":1,"players":[)" +
            std::string(player).replace(player.find("1500"), 4, "99999") +
            R"(],"tables":[],"gone_players":[],"gone_tables":[]})",
        many.Encode(),
        twice.Encode(),
        R"({"kind":"relay","from":"x","to":"a","connection":0,"player":9,"name":"Zed","fingerprint":"",)"
        R"("address":"","limit":"","request":"{\"type\":\"state\"}"})",
        R"({"kind":"relay","from":"x","to":"a","connection":1,"player":9,"name":"Zed","fingerprint":"",)"
        R"("address":"","limit":"","request":"{\"type\":\"login\",\"name\":\"Zed\"}"})",
        R"({"kind":"relayed","from":"x","to":"a","connection":1,"home":false,"close":false,"line":"{}"})",
        R"({"kind":"relay","from":"x","to":"a","connection":1,"player":9,"name":"Zed","fingerprint":"",)"
        R"("address":"","limit":"","request":"{\"type\":\"state\"}","rating":[1500,350]})",
        R"({"kind":"relay","from":"x","to":"a","connection":1,"player":9,"name":"Zed","fingerprint":"",)"
        R"("address":"","limit":"","request":"{\"type\":\"state\"}","rating":[1500,350,1e300]})",
        R"({"kind":"relay","from":"x","to":"a","connection":1,"player":9,"name":"Zed","fingerprint":"",)"
        R"("address":"","limit":"","request":"{\"type\":\"state\"}","blocks":[0]})",
        R"({"kind":"chat","from":"x","player":9,"name":"Zed","text":")" +
            std::string(TClusterMessage::MaxBytes, 'a') + "\"}",
    };
    for (const std::string& payload : bad) Nodes["a"].Lobby->HandleCluster(payload, Now);
    EXPECT_EQ(Nodes["a"].Lobby->ClusterDropped(), std::size(bad));
    Settle();
    EXPECT_TRUE(Inbox[ann].empty());

    // The same shapes, well formed, are taken; chat text is made plain.
    Nodes["a"].Lobby->HandleCluster(R"({"kind":"entries","from":"x","whole":false,"last":false,)"
                                    R"("generation":1,"players":[)" +
                                        player + R"(],"tables":[],"gone_players":[],"gone_tables":[]})",
                                    Now);
    Nodes["a"].Lobby->HandleCluster(R"({"kind":"chat","from":"x","player":9,"name":"Zed","text":"a\nb"})",
                                    Now);
    Collect();
    Settle();
    EXPECT_EQ(Nodes["a"].Lobby->ClusterDropped(), std::size(bad));
    EXPECT_EQ(Listed(ann).count("Zed"), 1u);
    EXPECT_EQ(Heard(ann), std::vector<QString>{QString::fromUtf8("Zed: a\u21b5b")});
}

} // namespace
