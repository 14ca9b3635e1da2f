// The lobby without sockets: scripted clients, a fake referee, the real
// storage on SQLite, and the time given by the test.
#include "FakeReferee.h"

#include "ai/RecordReplay.h"
#include "protocol/Requests.h"
#include "protocol/RulesJson.h"
#include "records/RecordJson.h"
#include "rules/MatchLimits.h"
#include "rules/RuleBits.h"
#include "server/AddressLimits.h"
#include "server/AdminCommand.h"
#include "server/Lobby.h"
#include "server/RulesReferee.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cmath>

#include <gtest/gtest.h>

namespace {

// The limits and allowances the lobby runs on without a settings file.
const TServerSettings Defaults;

constexpr int64_t Seed = 4242424242;

const char* Classic = "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":false,"
                      "\"elemental\":false,\"sudden_death\":false},\"seconds\":60}";
const char* RatedClassic = "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":false,"
                           "\"elemental\":false,\"sudden_death\":false},\"seconds\":60,\"rated\":true}";

class LobbyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        Storage = TSqlStorage::Open(Folder.filePath("v.sqlite").toStdString(), "", error, "here");
        ASSERT_TRUE(Storage) << error;
        MakeLobby();
    }

    void MakeLobby() {
        Lobby = std::make_unique<TLobby>(
            *Storage, Log, Limits,
            [](int64_t seed, int32_t, int32_t first) {
                EXPECT_EQ(seed, Seed);
                return std::make_unique<TFakeReferee>(first);
            },
            [] { return Seed; });
    }

    // A client that connected and signed in as name, from address (by
    // default one of the name's own) with a certificate (by default the name's own).
    uint64_t Join(const std::string& name, const std::string& address = "",
                  const std::string& fingerprint = "") {
        uint64_t connection = NextConnection++;
        auto own = OwnAddress.try_emplace(name, "198.51.100." + std::to_string(OwnAddress.size() + 1)).first;
        Lobby->Connected(connection, fingerprint.empty() ? "fp-" + name : fingerprint,
                         address.empty() ? own->second : address, address.empty() ? own->second : address);
        Lobby->Handle(connection, Decode("{\"type\":\"login\",\"name\":\"" + name + "\"}"), Now);
        Collect();
        EXPECT_TRUE(Has(connection, "signed_in")) << name;
        Inbox[connection].clear();
        return connection;
    }

    static TLobbyRequest Decode(const std::string& line) {
        Requests::TDecoded decoded = Requests::Decode(line);
        EXPECT_TRUE(decoded.Ok) << line << ": " << decoded.Error;
        return decoded.Request;
    }

    void Ask(uint64_t connection, const std::string& line) {
        Lobby->Handle(connection, Decode(line), Now);
        Collect();
    }

    void Move(uint64_t connection, int slot, int x, int y) {
        Ask(connection, "{\"type\":\"move\",\"slot\":" + std::to_string(slot) +
                            ",\"x\":" + std::to_string(x) + ",\"y\":" + std::to_string(y) + "}");
    }

    // Ann makes a table with `create` and Bob sits at it: the match starts, Ann to move.
    std::pair<uint64_t, uint64_t> StartedMatch(const std::string& create = Classic) {
        uint64_t ann = Join("Ann"), bob = Join("Bob");
        Ask(ann, create);
        Ask(bob, "{\"type\":\"sit\",\"table\":1}");
        return {ann, bob};
    }

    void Collect() {
        for (TLobby::TOutgoing& out : Lobby->TakeOutgoing()) {
            ASSERT_EQ(out.Line.back(), '\n');
            ++Writes[out.Connection];
            if (out.Close) Closed.insert(out.Connection);
            for (const QByteArray& line : QByteArray::fromStdString(out.Line).chopped(1).split('\n')) {
                QJsonDocument document = QJsonDocument::fromJson(line);
                ASSERT_TRUE(document.isObject()) << out.Line;
                Inbox[out.Connection].push_back(document.object());
            }
        }
    }

    // The lobby's gathered changes go out.
    void FlushLobby() {
        Lobby->Tick(Now + TLobby::LobbyFlushMs);
        Collect();
    }

    int Count(uint64_t connection, const char* type) {
        return int(
            std::count_if(Inbox[connection].begin(), Inbox[connection].end(),
                          [&](const QJsonObject& message) { return message["type"].toString() == type; }));
    }

    // The last message of a type a connection received, removing everything up to it.
    std::optional<QJsonObject> Last(uint64_t connection, const char* type) {
        std::optional<QJsonObject> found;
        for (const QJsonObject& message : Inbox[connection])
            if (message["type"].toString() == type) found = message;
        return found;
    }
    bool Has(uint64_t connection, const char* type) { return Last(connection, type).has_value(); }

    // A statement on the database, outside the storage.
    void Raw(const char* statement) {
        {
            QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "raw");
            database.setDatabaseName(Folder.filePath("v.sqlite"));
            ASSERT_TRUE(database.open());
            ASSERT_TRUE(QSqlQuery(database).exec(statement)) << statement;
        }
        QSqlDatabase::removeDatabase("raw");
    }

    int64_t StoredMoves() {
        // Read, not taken: taking a match in play would take its lease from the lobby.
        std::optional<TStoredMatch> match = Storage->LoadMatch(1);
        return match && match->Status == TMatchStatus::Playing ? int64_t(match->Moves.size()) : -1;
    }

    QTemporaryDir Folder;
    std::unique_ptr<TSqlStorage> Storage;
    std::vector<std::string> LogLines;
    TServerLog Log{[this](const std::string& line) { LogLines.push_back(line); }};
    TAddressLimits Limits;
    std::unique_ptr<TLobby> Lobby;
    std::map<uint64_t, std::vector<QJsonObject>> Inbox;
    std::map<uint64_t, int> Writes;
    std::set<uint64_t> Closed; // connections the lobby closes once written
    std::map<std::string, std::string> OwnAddress;
    uint64_t NextConnection = 1;
    int64_t Now = 1'700'000'000'000;
};

TEST_F(LobbyTest, AWholeMatchReachesBothPlayersAndAWatcherAndIsStored) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
    Ask(ann, Classic);
    FlushLobby();
    std::optional<QJsonObject> table = Last(cid, "table");
    ASSERT_TRUE(table);
    int64_t id = int64_t((*table)["table"].toDouble());
    Ask(cid, "{\"type\":\"watch\",\"table\":" + std::to_string(id) + "}");
    Ask(bob, "{\"type\":\"sit\",\"table\":" + std::to_string(id) + "}");
    for (uint64_t who : {ann, bob, cid}) {
        std::optional<QJsonObject> match = Last(who, "match");
        ASSERT_TRUE(match) << who;
        EXPECT_EQ((*match)["seed"].toDouble(), double(Seed));
        EXPECT_EQ((*match)["first"].toInt(), 1);
        EXPECT_EQ((*match)["seats"].toArray(), (QJsonArray{"Bob", "Ann"}));
        EXPECT_EQ((*match)["you"].toInt(), who == ann ? 1 : who == bob ? 0 : -1);
    }
    // Blue (Ann) first; square i of the board in turn.
    for (int i = 0; i < 9; ++i) {
        Inbox.clear();
        Move(i % 2 == 0 ? ann : bob, i / 2, i % 3, i / 3);
        for (uint64_t who : {ann, bob, cid}) {
            std::optional<QJsonObject> moved = Last(who, "moved");
            ASSERT_TRUE(moved) << "move " << i << " to " << who;
            EXPECT_EQ((*moved)["index"].toInt(), i);
            EXPECT_EQ((*moved)["x"].toInt(), i % 3);
        }
        if (i < 8) {
            EXPECT_EQ(StoredMoves(), i + 1) << "stored when accepted";
        }
    }
    for (uint64_t who : {ann, bob, cid}) {
        std::optional<QJsonObject> ended = Last(who, "ended");
        ASSERT_TRUE(ended) << who;
        EXPECT_EQ((*ended)["how"].toString(), "finished");
        EXPECT_EQ((*ended)["winner"].toInt(), 1);
    }
    EXPECT_EQ(Lobby->Tables(), 0u);
    std::optional<TStoredMatch> stored = Storage->LoadMatch(1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Status, TMatchStatus::Finished);
    EXPECT_EQ(stored->Moves.size(), 9u);
    EXPECT_EQ(stored->Score[1], 6);
    EXPECT_EQ(stored->Seed, Seed);
}

// Every deal a draw, each replay dealt from the seed plus the deals before it.
struct TDrawingReferee : TReferee {
    TDrawingReferee(int64_t seed, int32_t first) : Seed(seed), Turn(first) {}
    int32_t ToMove() const override { return Turn; }
    std::string MoveProblem(int32_t seat, const TPlacementMove&) const override {
        return seat == Turn ? "" : "No.";
    }
    void Play(const TPlacementMove&) override {
        Turn = 1 - Turn;
        if (++Placed % 9 == 0) Seeds.push_back(Seed + int64_t(Seeds.size()) + 1);
    }
    bool Over() const override { return false; }
    int32_t Winner() const override { return -1; }
    int32_t Score(int32_t) const override { return 5; }
    std::vector<int64_t> RedealSeeds() const override { return Seeds; }
    int64_t Seed;
    int32_t Turn, Placed = 0;
    std::vector<int64_t> Seeds;
};

TEST_F(LobbyTest, AChainOfDrawsEndsAtTheBoundAsADrawWhoseRecordEveryReaderTakes) {
    Lobby = std::make_unique<TLobby>(
        *Storage, Log, Limits,
        [](int64_t seed, int32_t, int32_t first) { return std::make_unique<TDrawingReferee>(seed, first); },
        [] { return Seed; });
    auto [ann, bob] =
        StartedMatch("{\"type\":\"create\",\"rules\":{\"same\":false,\"same_wall\":false,"
                     "\"plus\":false,\"elemental\":false,\"sudden_death\":true},\"seconds\":60}");
    for (int i = 0; i < MatchLimits::MaxMoves; ++i) {
        ASSERT_FALSE(Has(bob, "ended")) << "before move " << i;
        Inbox.clear();
        Move(i % 2 == 0 ? ann : bob, 4, i % 3, i % 9 / 3);
    }
    std::optional<QJsonObject> ended = Last(bob, "ended");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["how"].toString(), "finished");
    EXPECT_EQ((*ended)["winner"].toInt(), -1);
    EXPECT_EQ((*ended)["score"].toArray(), (QJsonArray{5, 5}));
    // Its record reads, and replays on cards that draw every deal; a deal
    // short, it is a draw that Sudden Death would have dealt again.
    Ask(ann, "{\"type\":\"record\",\"match\":1}");
    TRecordReading reading =
        ReadRecordJson(QJsonDocument(Last(ann, "record").value_or(QJsonObject())["record"].toObject())
                           .toJson(QJsonDocument::Compact),
                       "the server");
    ASSERT_TRUE(reading.Record) << reading.Problem;
    const std::vector<TCardValues> even(10, TCardValues{{5, 5, 5, 5}, 0});
    EXPECT_EQ(ReplayRecord(*reading.Record, even).Problem, "");
    reading.Record->Moves.resize(MatchLimits::MaxMoves - 9);
    reading.Record->RedealSeeds.pop_back();
    EXPECT_NE(ReplayRecord(*reading.Record, even).Problem.find("recorded as finished"), std::string::npos);
}

TEST_F(LobbyTest, TheLobbyHearsEachChangeOnceAFlushAndOnlyWhileInIt) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
    FlushLobby();
    Inbox.clear();
    Writes.clear();
    Ask(ann, Classic); // table 1 opens, then Ann sits at it
    Ask(cid, "{\"type\":\"watch\",\"table\":1}");
    EXPECT_TRUE(Inbox[bob].empty()) << "nothing before the flush";
    EXPECT_EQ(Lobby->NextDeadline(), Now + TLobby::LobbyFlushMs);
    FlushLobby();
    EXPECT_EQ(Writes[bob], 1) << "the changes go out as one write";
    EXPECT_EQ(Count(bob, "table"), 1) << "a table that changed three times is sent once";
    std::optional<QJsonObject> table = Last(bob, "table");
    EXPECT_EQ((*table)["seats"].toArray(), (QJsonArray{"", "Ann"}));
    EXPECT_EQ((*table)["watchers"].toInt(), 1);
    EXPECT_EQ(Count(bob, "player"), 2) << "Ann and Cid";
    EXPECT_EQ(Count(cid, "player"), 0) << "a watcher hears nothing of the lobby";
    EXPECT_EQ(Count(cid, "table"), 1) << "but its table, on coming to it";
    EXPECT_EQ(Count(ann, "player"), 2) << "waiting at a table, Ann still hears the lobby";
    EXPECT_EQ(Count(ann, "table"), 2) << "her table on sitting, and its change";
    EXPECT_EQ(Last(ann, "table").value()["seats"].toArray(), (QJsonArray{"", "Ann"}));

    Inbox.clear();
    Ask(cid, "{\"type\":\"leave\"}");
    std::optional<QJsonObject> snapshot = Last(cid, "lobby");
    ASSERT_TRUE(snapshot) << "back in the lobby, the lobby as it is";
    EXPECT_EQ((*snapshot)["online"].toInt(), 3);
    EXPECT_EQ((*snapshot)["players"].toArray().size(), 3);
    ASSERT_EQ((*snapshot)["tables"].toArray().size(), 1);
    EXPECT_EQ((*snapshot)["tables"][0]["watchers"].toInt(), 0);
    Ask(cid, "{\"type\":\"state\"}");
    EXPECT_EQ(Count(cid, "lobby"), 2) << "asked again, from no table";

    Lobby->Disconnected(ann, Now);
    FlushLobby();
    EXPECT_EQ(Count(bob, "table_gone"), 1);
    EXPECT_EQ(Count(bob, "player_gone"), 1);
    EXPECT_EQ(Lobby->NextDeadline(), TLobby::Never) << "nothing left to send";
}

TEST_F(LobbyTest, ARefusedMoveNamesTheReasonAndTheTableAndTheMatchGoesOn) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), eve = Join("Eve");
    Ask(ann, Classic);
    Ask(bob, "{\"type\":\"sit\",\"table\":1}");
    Move(ann, 0, 1, 1);
    struct TCase {
        uint64_t Who;
        int Slot, X, Y;
        const char* Reason;
    } cases[] = {
        {ann, 1, 0, 0, "not your turn"},
        {bob, 0, 1, 1, "taken"},
        {eve, 0, 0, 0, "not playing"},
    };
    for (const TCase& c : cases) {
        Inbox.clear();
        Move(c.Who, c.Slot, c.X, c.Y);
        std::optional<QJsonObject> refused = Last(c.Who, c.Who == eve ? "refused" : "move_refused");
        ASSERT_TRUE(refused) << c.Reason;
        EXPECT_TRUE((*refused)["reason"].toString().contains(c.Reason))
            << (*refused)["reason"].toString().toStdString();
        if (c.Who != eve) {
            EXPECT_EQ((*refused)["moves"].toArray().size(), 1) << "the table as it stands";
        }
        EXPECT_FALSE(Has(c.Who == ann ? bob : ann, "moved"));
    }
    EXPECT_EQ(StoredMoves(), 1);
    Move(bob, 0, 0, 0);
    EXPECT_TRUE(Has(ann, "moved"));
    EXPECT_EQ(StoredMoves(), 2);
}

TEST_F(LobbyTest, AChallengeIsAcceptedDeclinedWithdrawnOrExpiresAndIsRefusedWhereItCannotBe) {
    Lobby->Moderate(*Storage, Now); // players' own lists: a block
    uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid"), dan = Join("Dan"), eve = Join("Eve");
    Ask(dan, Requests::Create(TGameRules(), 0).chopped(1).toStdString());
    Ask(eve, "{\"type\":\"sit\",\"table\":1}"); // Dan and Eve are playing, with no clock
    FlushLobby();
    const auto challenge = [](const char* name) {
        return Requests::Challenge(name, RulesOfBits(RulePlus), 30, true).chopped(1).toStdString();
    };
    const auto answer = [](const std::optional<QJsonObject>& offer, bool accept) {
        const int64_t id = offer ? int64_t((*offer)["challenge"].toDouble()) : 1;
        return Requests::Answer(id, accept).chopped(1).toStdString();
    };
    // Both sides hear how it ended, in their own words.
    const auto over = [&](uint64_t who) {
        return Last(who, "challenge_over").value_or(QJsonObject())["reason"].toString();
    };

    Inbox.clear();
    Ask(ann, challenge("bob"));
    std::optional<QJsonObject> offer = Last(bob, "challenge");
    ASSERT_TRUE(offer) << "names are found regardless of case";
    EXPECT_EQ((*offer)["from"].toString(), "Ann");
    EXPECT_EQ((*offer)["seconds"].toInt(), 30);
    EXPECT_TRUE(Has(ann, "challenge")) << "the challenger hears it is out";
    Ask(bob, answer(offer, false));
    EXPECT_EQ(over(ann), "Bob declined your challenge.");
    EXPECT_EQ(over(bob), "You declined Ann's challenge.");

    Inbox.clear();
    Ask(ann, challenge("Bob"));
    EXPECT_LE(Lobby->NextDeadline(), Now + Protocol::ChallengeMs) << "awake for the expiry";
    Lobby->Tick(Now + Protocol::ChallengeMs - 1);
    Collect();
    EXPECT_FALSE(Has(ann, "challenge_over"));
    Lobby->Tick(Now + Protocol::ChallengeMs);
    Collect();
    EXPECT_EQ(over(ann), "Your challenge to Bob expired unanswered.");
    EXPECT_EQ(over(bob), "Ann's challenge expired.");

    Inbox.clear();
    Ask(ann, challenge("Cid"));
    offer = Last(ann, "challenge");
    Ask(ann, answer(offer, false));
    EXPECT_EQ(over(cid), "Ann withdrew the challenge.");
    Inbox.clear();
    Ask(cid, answer(offer, true));
    EXPECT_TRUE(Has(cid, "refused")) << "a challenge withdrawn cannot be accepted";
    EXPECT_FALSE(Has(cid, "match"));

    Ask(cid, challenge("Bob"));
    Ask(eve, Requests::Block("Ann", true).chopped(1).toStdString());
    struct TCase {
        uint64_t Who;
        const char* Whom;
        const char* Reason;
    } refusals[] = {
        {ann, "Zed", "Zed is not online."},
        {ann, "Ann", "You cannot challenge yourself."},
        {ann, "Dan", "Dan is playing a match."},
        {dan, "Ann", "Finish your match first."},
        {ann, "Eve", "You cannot challenge Eve: one of you blocks the other."},
        {cid, "Ann", "Your challenge to Bob is still open; withdraw it first."},
    };
    for (const TCase& c : refusals) {
        Inbox.clear();
        Ask(c.Who, challenge(c.Whom));
        EXPECT_EQ(Last(c.Who, "refused").value_or(QJsonObject())["reason"].toString(), c.Reason);
        EXPECT_FALSE(Has(ann, "challenge")) << c.Reason;
    }

    // Accepted while waiting elsewhere: the waits end, and the agreed match starts.
    Lobby->Disconnected(cid, Now);
    Collect();
    EXPECT_EQ(over(bob), "Cid went offline.");
    Ask(bob, Classic);
    Ask(ann, Requests::PlayNow(TGameRules(), 0).chopped(1).toStdString());
    Inbox.clear();
    Ask(ann, challenge("Bob"));
    Ask(bob, answer(Last(bob, "challenge"), true));
    EXPECT_EQ(over(ann), "Bob accepted your challenge.");
    EXPECT_TRUE(Last(ann, "waiting").value()["rules"].toArray().isEmpty());
    for (uint64_t who : {ann, bob}) {
        std::optional<QJsonObject> match = Last(who, "match");
        ASSERT_TRUE(match) << who;
        EXPECT_EQ((*match)["seats"].toArray(), (QJsonArray{"Bob", "Ann"})) << "the challenger plays Blue";
        EXPECT_EQ((*match)["rules"].toObject(), RulesJson::Write(RulesOfBits(RulePlus)));
        EXPECT_EQ((*match)["seconds"].toInt(), 30);
        EXPECT_TRUE((*match)["rated"].toBool());
    }
    EXPECT_EQ(Lobby->Tables(), 2u) << "Bob's waiting table is gone";
}

TEST_F(LobbyTest, NamesBelongToTheirCertificateAndEachAddressMakesFiveAnHour) {
    Join("Ann");
    uint64_t thief = NextConnection++;
    Lobby->Connected(thief, "fp-thief", "192.0.2.9");
    Ask(thief, "{\"type\":\"login\",\"name\":\"ANN\"}");
    ASSERT_TRUE(Has(thief, "refused"));
    EXPECT_FALSE(Has(thief, "signed_in"));
    Ask(thief, Classic);
    EXPECT_TRUE(Last(thief, "refused").value()["reason"].toString().contains("Sign in"));

    uint64_t name0 = Join("Name0", "192.0.2.50");
    for (int i = 1; i < 5; ++i) Join("Name" + std::to_string(i), "192.0.2.50");
    uint64_t sixth = NextConnection++;
    Lobby->Connected(sixth, "fp-sixth", "192.0.2.50");
    Ask(sixth, "{\"type\":\"login\",\"name\":\"Name5\"}");
    EXPECT_TRUE(Last(sixth, "refused").value()["reason"].toString().contains("new names"));
    // A name already made still signs in.
    uint64_t again = NextConnection++;
    Lobby->Connected(again, "fp-Name0", "192.0.2.50");
    Ask(again, "{\"type\":\"login\",\"name\":\"name0\"}");
    ASSERT_TRUE(Has(again, "signed_in"));
    EXPECT_EQ(Last(again, "signed_in").value()["name"].toString(), "Name0");
    EXPECT_TRUE(Has(name0, "bye")) << "the older connection of Name0 is told";
}

TEST_F(LobbyTest, RunningOutOfTimeLosesTheMatch) {
    auto [ann, bob] = StartedMatch();
    EXPECT_EQ(Last(ann, "match").value()["clock"].toInt(), 60'000);
    Now += 1'500;
    Ask(bob, "{\"type\":\"state\"}");
    EXPECT_EQ(Last(bob, "match").value()["clock"].toInt(), 58'500) << "Ann's turn, as it stands";
    Move(ann, 0, 0, 0);
    EXPECT_EQ(Last(ann, "moved").value()["clock"].toInt(), 60'000) << "Bob's turn begins";
    FlushLobby();
    EXPECT_EQ(Lobby->NextDeadline(), Now + 60'000);
    Lobby->Tick(Now + 59'999);
    Collect();
    EXPECT_FALSE(Has(ann, "ended"));
    Lobby->Tick(Now + 60'000);
    Collect();
    std::optional<QJsonObject> ended = Last(ann, "ended");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["how"].toString(), "time");
    EXPECT_EQ((*ended)["winner"].toInt(), 1) << "Bob, to move, ran out";
    EXPECT_EQ(Storage->LoadMatch(1)->Status, TMatchStatus::Time);
    Lobby->Tick(Now + 60'000 + TLobby::LobbyFlushMs);
    EXPECT_EQ(Lobby->NextDeadline(), TLobby::Never);
}

TEST_F(LobbyTest, AnUnlimitedMatchSendsNoClock) {
    uint64_t ann = Join("Ann"), bob = Join("Bob");
    std::string unlimited = Classic;
    unlimited.replace(unlimited.find("60}"), 3, "0}");
    Ask(ann, unlimited);
    Ask(bob, "{\"type\":\"sit\",\"table\":1}");
    Move(ann, 0, 0, 0);
    EXPECT_FALSE(Last(ann, "match").value().contains("clock"));
    EXPECT_FALSE(Last(bob, "moved").value().contains("clock"));
}

TEST_F(LobbyTest, ADroppedPlayerComesBackWithinAMinuteOrForfeits) {
    auto [ann, bob] = StartedMatch();
    Move(ann, 0, 0, 0);
    Move(bob, 0, 1, 0);
    Now += 10'000; // of Ann's turn
    Lobby->Disconnected(bob, Now);
    Collect();
    ASSERT_TRUE(Has(ann, "away"));
    EXPECT_EQ(Last(ann, "away").value()["seconds"].toInt(), 60);
    Move(ann, 1, 2, 0);
    EXPECT_TRUE(Last(ann, "move_refused").value()["reason"].toString().contains("dropped"));

    Now += 59'000;
    Lobby->Tick(Now);
    uint64_t back = NextConnection++;
    Lobby->Connected(back, "fp-Bob", "192.0.2.1");
    Ask(back, "{\"type\":\"login\",\"name\":\"Bob\"}");
    std::optional<QJsonObject> match = Last(back, "match");
    ASSERT_TRUE(match) << "the returning client gets the match to replay";
    EXPECT_EQ((*match)["moves"].toArray(), (QJsonArray{QJsonArray{0, 0, 0}, QJsonArray{0, 1, 0}}));
    EXPECT_EQ((*match)["you"].toInt(), 0);
    EXPECT_EQ((*match)["clock"].toInt(), 50'000) << "the clock stood still while Bob was away";
    ASSERT_TRUE(Has(ann, "back"));
    EXPECT_EQ(Last(ann, "back").value()["clock"].toInt(), 50'000);
    FlushLobby();
    EXPECT_EQ(Lobby->NextDeadline(), Now + 50'000);
    Move(ann, 1, 2, 0);
    EXPECT_TRUE(Has(back, "moved"));

    Lobby->Disconnected(ann, Now);
    Lobby->Tick(Now + (Defaults.AwaySeconds * 1000LL));
    Collect();
    std::optional<QJsonObject> ended = Last(back, "ended");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["how"].toString(), "forfeit");
    EXPECT_EQ((*ended)["winner"].toInt(), 0);
}

TEST_F(LobbyTest, AfterARestartAStoredMatchGoesOnFromItsLastMove) {
    auto [ann, bob] = StartedMatch();
    Move(ann, 0, 0, 0);
    Move(bob, 0, 1, 0);
    Move(ann, 1, 2, 0);
    // The server dies here: nothing but the storage survives.
    Lobby.reset();
    Inbox.clear();
    MakeLobby();
    Lobby->ResumeStored(Now);
    EXPECT_EQ(Lobby->Tables(), 1u);
    uint64_t ann2 = Join("Ann");
    uint64_t bob2 = Join("Bob");
    (void)ann2;
    Move(bob2, 0, 1, 1); // slot 0 of Red's is spent: refused by the replayed table
    EXPECT_TRUE(Has(bob2, "move_refused"));
    Move(bob2, 1, 1, 1);
    EXPECT_TRUE(Has(ann2, "moved"));
    EXPECT_EQ(StoredMoves(), 4);
}

// What a server stopped at any moment leaves: a match its last move ended
// ends at the restart with its result and ratings as if the server had not
// stopped; one still in play waits for its players; one that does not
// replay is abandoned.
TEST_F(LobbyTest, AtARestartAStoredMatchOverByItsMovesEndsWithItsResult) {
    const int64_t ann = Storage->BindName("Ann", "fp-Ann", Now).PlayerId;
    const int64_t bob = Storage->BindName("Bob", "fp-Bob", Now).PlayerId;
    struct TCase {
        int Moves;
        bool Taken; // the last move onto a taken square
        TMatchStatus Status;
        int32_t Winner, BlueScore, RatedMatches;
    };
    const TCase cases[] = {
        {9, false, TMatchStatus::Finished, 1, 6, 1},
        {5, false, TMatchStatus::Playing, -1, 0, 0},
        {4, true, TMatchStatus::Abandoned, -1, 0, 0},
    };
    std::vector<int64_t> ids;
    for (const TCase& c : cases) {
        TStoredMatch match;
        match.Players[0] = ann;
        match.Players[1] = bob;
        match.Seed = Seed;
        match.Rated = true;
        match.StartedMs = Now;
        ids.push_back(Storage->CreateMatch(match));
        for (int i = 0; i < c.Moves; ++i) {
            const bool taken = c.Taken && i + 1 == c.Moves;
            ASSERT_EQ(
                Storage->AddMove(ids.back(), 1, {i, i / 2, taken ? 0 : i % 3, taken ? 0 : i / 3, Now + i}),
                TStorage::TMoveResult::Stored);
        }
    }
    Lobby->ResumeStored(Now + 60'000);
    EXPECT_EQ(Lobby->Tables(), 1u);
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::optional<TStoredMatch> stored = Storage->LoadMatch(ids[i]);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->Status, cases[i].Status) << "case " << i;
        EXPECT_EQ(stored->Winner, cases[i].Winner) << "case " << i;
        EXPECT_EQ(stored->Score[1], cases[i].BlueScore) << "case " << i;
    }
    EXPECT_EQ(Storage->LoadMatch(ids[0])->EndedMs, Now + 8) << "ended at its last move";
    for (int64_t player : {ann, bob}) EXPECT_EQ(Storage->Standing(player)->RatedMatches, 1);
}

// Two servers on one database: the second to start leaves the first's match
// alone while the first holds its lease. Once the lease has run out (the
// first stalled) the second takes the match over, seating at once a player
// already signed in there; a match then ended there is told here as ended
// at its next write, which stores nothing. (One going on there stops here the
// same way, its players sent to find it there: the process test's stalled
// server.)
TEST_F(LobbyTest, AMatchIsLeftToTheServerHoldingItsLeaseAndIsToldEndedHereOnceEndedThere) {
    auto [ann, bob] = StartedMatch();
    Move(ann, 0, 0, 0);
    std::string error;
    auto otherStorage = TSqlStorage::Open(Folder.filePath("v.sqlite").toStdString(), "", error, "there");
    ASSERT_TRUE(otherStorage) << error;
    TLobby other(
        *otherStorage, Log, Limits,
        [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
        [] { return Seed; });
    other.ResumeStored(Now);
    other.KeepLeases(Now);
    EXPECT_EQ(other.Tables(), 0u) << "held here";
    Move(bob, 0, 1, 0);
    EXPECT_TRUE(Has(ann, "moved"));
    EXPECT_EQ(StoredMoves(), 2);

    other.Connected(99, "fp-Bob", "198.51.100.99");
    other.Handle(99, Decode("{\"type\":\"login\",\"name\":\"Bob\"}"), Now);
    Raw("UPDATE matches SET lease_until = 1");
    Raw("UPDATE instances SET lease_until = 0");
    other.Tick(Now + TLobby::LeasePollMs);
    EXPECT_EQ(other.Tables(), 1u) << "taken over";
    std::vector<TLobby::TOutgoing> there = other.TakeOutgoing();
    EXPECT_TRUE(std::any_of(there.begin(), there.end(), [](const TLobby::TOutgoing& out) {
        return out.Connection == 99 && out.Line.find("\"type\":\"match\"") != std::string::npos;
    })) << "Bob, signed in there, is seated there";

    const int32_t none[2] = {0, 0};
    ASSERT_EQ(otherStorage->FinishMatch(1, 2, TMatchStatus::Abandoned, -1, none, Now),
              TStorage::TMoveResult::Stored);
    Inbox.clear();
    LogLines.clear();
    Move(ann, 1, 2, 0);
    EXPECT_EQ(Lobby->Tables(), 0u);
    for (const std::string& line : LogLines) EXPECT_EQ(line.find("not the next"), std::string::npos) << line;
    std::optional<TStoredMatch> stored = otherStorage->LoadMatch(1);
    EXPECT_EQ(stored->Moves.size(), 2u) << "nothing stored after the match was taken";
    std::optional<QJsonObject> refused = Last(ann, "move_refused");
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)["reason"].toString(), "The match has ended.");
    for (uint64_t who : {ann, bob}) {
        EXPECT_EQ(Last(who, "ended").value_or(QJsonObject())["how"].toString(), "abandoned");
        EXPECT_TRUE(Has(who, "lobby"));
    }
}

// The database refuses a move (the ordinary one and the one that ends the
// match): the player is asked to play it again, and the table is where it
// was before it, so the same move is then accepted.
TEST_F(LobbyTest, AMoveTheDatabaseRefusedCanBePlayedAgain) {
    auto [ann, bob] = StartedMatch();
    for (int i = 0; i < 9; ++i) {
        const uint64_t mover = i % 2 == 0 ? ann : bob;
        if (i == 1 || i == 8) {
            Raw("CREATE TRIGGER refuse BEFORE INSERT ON moves BEGIN SELECT RAISE(ABORT, 'disk full'); END");
            Inbox.clear();
            Move(mover, i / 2, i % 3, i / 3);
            std::optional<QJsonObject> refused = Last(mover, "move_refused");
            ASSERT_TRUE(refused) << "move " << i;
            EXPECT_TRUE((*refused)["reason"].toString().contains("again")) << "move " << i;
            EXPECT_FALSE(Has(ann == mover ? bob : ann, "moved")) << "move " << i;
            Raw("DROP TRIGGER refuse");
        }
        Move(mover, i / 2, i % 3, i / 3);
        ASSERT_TRUE(Has(mover, "moved")) << "move " << i;
    }
    EXPECT_EQ(Last(ann, "ended").value_or(QJsonObject())["how"].toString(), "finished");
    EXPECT_EQ(Storage->LoadMatch(1)->Status, TMatchStatus::Finished);
}

// Holds the lobby's storage jobs, as a busy worker would, until the test lets
// them through; holds at most Room.
class THeldRunner : public TStorageRunner {
public:
    THeldRunner(TStorage& storage, size_t room) : Storage(storage), Room(room) {}
    bool Submit(TStorageJob job) override {
        if (Held.size() >= Room) return false;
        Held.push_back(std::move(job));
        return true;
    }
    void Release(int64_t nowMs) {
        std::vector<TStorageJob> jobs = std::exchange(Held, {});
        RunStorageJobs(Storage, jobs, false);
        for (TStorageJob& job : jobs) job.Done(job, nowMs);
    }
    std::vector<TStorageJob> Held;

private:
    TStorage& Storage;
    size_t Room;
};

// A new match, a move or an end being stored is told to nobody; meanwhile
// the table takes no other move, its clock waits, and a player leaving gives
// up only once the move is told. A move the full queue refuses is taken back
// and can be played again; a new match or an end it cannot hold is stored at once.
TEST_F(LobbyTest, NothingIsToldOrPlayedAtATableUntilItsMoveIsStored) {
    THeldRunner runner(*Storage, 1);
    Lobby->StoreThrough(runner);
    auto [ann, bob] = StartedMatch();
    EXPECT_FALSE(Has(ann, "match") || Has(bob, "match"));
    runner.Release(Now);
    Collect();
    ASSERT_TRUE(Has(ann, "match") && Has(bob, "match"));
    Move(ann, 0, 0, 0);
    Move(ann, 1, 1, 0);
    Move(bob, 0, 1, 0);
    Lobby->Tick(Now + 120'000);
    Collect();
    for (uint64_t who : {ann, bob}) {
        EXPECT_FALSE(Has(who, "moved") || Has(who, "ended")) << who;
        EXPECT_TRUE(
            Last(who, "move_refused").value_or(QJsonObject())["reason"].toString().contains("stored"));
    }
    EXPECT_EQ(runner.Held.size(), 1u);
    uint64_t cid = Join("Cid"), dan = Join("Dan");
    Ask(cid, Classic);
    Ask(dan, "{\"type\":\"sit\",\"table\":2}");
    Move(cid, 0, 0, 0);
    EXPECT_EQ(Last(cid, "move_refused").value_or(QJsonObject())["reason"].toString(),
              "The server is busy; try again.");
    runner.Release(Now + 1'000);
    Collect();
    for (uint64_t who : {ann, bob}) {
        std::optional<QJsonObject> moved = Last(who, "moved");
        ASSERT_TRUE(moved) << who;
        EXPECT_EQ((*moved)["index"].toInt(), 0);
        EXPECT_EQ((*moved)["clock"].toInt(), 60'000) << "the next turn starts when it is told";
    }
    Move(cid, 0, 0, 0);
    runner.Release(Now + 1'000);
    Collect();
    EXPECT_TRUE(Has(dan, "moved"));

    Inbox.clear();
    Move(bob, 0, 1, 0);
    Ask(bob, "{\"type\":\"leave\"}");
    EXPECT_FALSE(Has(ann, "moved") || Has(ann, "ended"));
    runner.Release(Now + 2'000);
    Collect();
    EXPECT_TRUE(Has(ann, "moved"));
    EXPECT_FALSE(Has(ann, "ended"));
    runner.Release(Now + 2'000);
    Collect();
    EXPECT_EQ(Last(ann, "ended").value_or(QJsonObject())["how"].toString(), "forfeit");
    std::optional<TStoredMatch> stored = Storage->LoadMatch(1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Moves.size(), 2u);
    EXPECT_EQ(stored->Winner, 1);
}

// Names are looked up off the loop where there is a thread for it: a client is
// signed in once its lookup is back and asks nothing meanwhile, one gone by then
// leaves nothing behind, and a new name is bound at a second look.
TEST_F(LobbyTest, ASignInWaitsForItsLookupAndOneGoneMeanwhileLeavesNothing) {
    Lobby->Disconnected(Join("Ann"), Now);
    THeldRunner reader(*Storage, 4);
    Lobby->ReadThrough(reader);
    const uint64_t ann = 50, gus = 51, fay = 52;
    for (auto [connection, name] : {std::pair{ann, "Ann"}, {gus, "Gus"}, {fay, "Fay"}}) {
        Lobby->Connected(connection, std::string("fp-") + name, "192.0.2." + std::to_string(connection));
        Ask(connection, std::string(R"({"type":"login","name":")") + name + "\"}");
    }
    auto refusal = [&](uint64_t connection) {
        return Last(connection, "refused").value_or(QJsonObject())["reason"].toString();
    };
    Ask(ann, R"({"type":"login","name":"Ann"})");
    EXPECT_EQ(refusal(ann), "You are signed in already.");
    Ask(ann, Classic);
    EXPECT_EQ(refusal(ann), "Sign in with a name first.");
    Lobby->Disconnected(gus, Now);
    EXPECT_FALSE(Has(ann, "signed_in"));
    reader.Release(Now);
    Collect();
    EXPECT_TRUE(Has(ann, "signed_in"));
    EXPECT_FALSE(Has(fay, "signed_in"));
    ASSERT_EQ(reader.Held.size(), 1u) << "Fay's name bound, Gus's not";
    reader.Release(Now);
    Collect();
    EXPECT_TRUE(Has(fay, "signed_in"));
    EXPECT_EQ(Lobby->PlayersOnline(), 2u);
    EXPECT_FALSE(Storage->FindPlayer("Gus"));
}

// A player leaving while the new match is being stored leaves no match in
// play behind: the stored one ends abandoned, and the table starts afresh
// with whoever sits next.
TEST_F(LobbyTest, AMatchLeftBeforeItsRowIsStoredIsAbandoned) {
    THeldRunner runner(*Storage, 4);
    Lobby->StoreThrough(runner);
    auto [ann, bob] = StartedMatch();
    Ask(bob, "{\"type\":\"leave\"}");
    uint64_t cid = Join("Cid");
    Ask(cid, "{\"type\":\"sit\",\"table\":1}");
    runner.Release(Now);
    Collect();
    EXPECT_FALSE(Has(bob, "match"));
    ASSERT_TRUE(Has(ann, "match") && Has(cid, "match"));
    runner.Release(Now);
    EXPECT_EQ(Storage->LoadMatch(1)->Status, TMatchStatus::Abandoned);
    EXPECT_EQ(Storage->LoadMatch(2)->Status, TMatchStatus::Playing);
    Move(ann, 0, 0, 0);
    ASSERT_EQ(runner.Held.size(), 1u);
    EXPECT_EQ(runner.Held[0].Write.MatchId, 2) << "the match Ann and Cid play is the table's";
}

TEST_F(LobbyTest, ChatGoesToTheRoomItIsSaidInAndIsRateLimitedPerAddress) {
    uint64_t ann = Join("Ann"), bob = Join("Bob", "192.0.2.2"), cid = Join("Cid", "192.0.2.3"),
             dan = Join("Dan", "192.0.2.4");
    Ask(ann, Classic);
    Inbox.clear();
    Ask(bob, "{\"type\":\"chat\",\"text\":\"while you wait\"}");
    EXPECT_TRUE(Has(ann, "chat")) << "waiting at a table is still being in the lobby";
    Ask(dan, "{\"type\":\"sit\",\"table\":1}");
    Ask(cid, "{\"type\":\"watch\",\"table\":1}");
    Inbox.clear();
    Ask(bob, "{\"type\":\"chat\",\"text\":\"hello lobby\"}");
    EXPECT_TRUE(Has(bob, "chat"));
    EXPECT_FALSE(Has(ann, "chat")) << "Ann is playing";
    Ask(ann, "{\"type\":\"chat\",\"text\":\"hello table\"}");
    EXPECT_EQ(Last(cid, "chat").value()["text"].toString(), "hello table");
    EXPECT_EQ(Last(cid, "chat").value()["from"].toString(), "Ann");
    EXPECT_NE(Last(bob, "chat").value()["text"].toString(), "hello table");
    for (int i = 2; i < Defaults.ChatLines; ++i) Ask(bob, "{\"type\":\"chat\",\"text\":\"x\"}");
    EXPECT_FALSE(Has(bob, "refused"));
    Ask(bob, "{\"type\":\"chat\",\"text\":\"one too many\"}");
    EXPECT_TRUE(Has(bob, "refused"));
    Now += (Defaults.ChatWindowSeconds * 1000LL);
    Inbox.clear();
    Ask(bob, "{\"type\":\"chat\",\"text\":\"later\"}");
    EXPECT_FALSE(Has(bob, "refused"));
}

TEST_F(LobbyTest, TheOperatorsSettingsTakeEffectAtOnce) {
    uint64_t bob = Join("Bob", "192.0.2.2");
    TServerSettings settings;
    settings.ChatLines = 2;
    settings.QuestionsPerConnection = 1;
    Lobby->Apply(settings);
    Inbox.clear();
    for (int i = 0; i < 2; ++i) Ask(bob, "{\"type\":\"chat\",\"text\":\"x\"}");
    Ask(bob, "{\"type\":\"profile\",\"name\":\"Bob\"}");
    EXPECT_FALSE(Has(bob, "refused"));
    Ask(bob, "{\"type\":\"chat\",\"text\":\"third\"}");
    EXPECT_TRUE(Has(bob, "refused"));
    Inbox.clear();
    Ask(bob, "{\"type\":\"profile\",\"name\":\"Bob\"}");
    EXPECT_TRUE(Has(bob, "refused"));
}

TEST_F(LobbyTest, NobodyActsForAnotherPlayerOrSeat) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), eve = Join("Eve");
    Ask(ann, Classic);
    struct TCase {
        const char* Line;
        const char* Reason;
    } cases[] = {
        {"{\"type\":\"sit\",\"table\":1,\"seat\":1}", "taken"},
        {"{\"type\":\"sit\",\"table\":7}", "no such table"},
        {"{\"type\":\"watch\",\"table\":99}", "no such table"},
        {"{\"type\":\"login\",\"name\":\"Bob\"}", "already"},
        {"{\"type\":\"move\",\"slot\":0,\"x\":0,\"y\":0}", "not playing"},
    };
    for (const TCase& c : cases) {
        Inbox.clear();
        Ask(eve, c.Line);
        std::optional<QJsonObject> refused = Last(eve, "refused");
        ASSERT_TRUE(refused) << c.Line;
        EXPECT_TRUE((*refused)["reason"].toString().contains(c.Reason, Qt::CaseInsensitive))
            << c.Line << ": " << (*refused)["reason"].toString().toStdString();
    }
    Ask(bob, "{\"type\":\"sit\",\"table\":1}");
    Inbox.clear();
    Ask(eve, "{\"type\":\"sit\",\"table\":1,\"seat\":0}");
    EXPECT_TRUE(Has(eve, "refused")) << "a table at play has no seat to take";
    Ask(ann, "{\"type\":\"leave\"}");
    EXPECT_EQ(Last(bob, "ended").value()["how"].toString(), "abandoned")
        << "given up before a card was placed";
}

// A watcher of a table that goes away is sent back to the lobby, and
// whatever it asks next is answered from there.
TEST_F(LobbyTest, WatchersOfATableThatGoesAwayAreBackInTheLobby) {
    struct TCase {
        const char* How;
        bool NoRules = false; // a lobby whose matches cannot start
        std::function<void(uint64_t ann, uint64_t bob)> Remove;
    } cases[] = {
        {"its player leaves", false, [&](uint64_t ann, uint64_t) { Ask(ann, "{\"type\":\"leave\"}"); }},
        {"its player's line drops", false, [&](uint64_t ann, uint64_t) { Lobby->Disconnected(ann, Now); }},
        {"its player signs in again and leaves", false,
         [&](uint64_t ann, uint64_t) {
             uint64_t again = Join("Ann");
             EXPECT_TRUE(Has(ann, "bye"));
             Ask(again, "{\"type\":\"leave\"}");
             Lobby->Disconnected(ann, Now);
             Lobby->Disconnected(again, Now);
         }},
        {"its match cannot start", true,
         [&](uint64_t, uint64_t bob) { Ask(bob, "{\"type\":\"sit\",\"table\":1}"); }},
        {"its match is given up", false,
         [&](uint64_t ann, uint64_t bob) {
             Ask(bob, "{\"type\":\"sit\",\"table\":1}");
             Ask(ann, "{\"type\":\"leave\"}");
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.How);
        if (c.NoRules)
            Lobby = std::make_unique<TLobby>(*Storage, Log, Limits, TRefereeFactory(), [] { return Seed; });
        else
            MakeLobby();
        Inbox.clear();
        Now += (Defaults.TableWindowSeconds * 1000LL);
        uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
        Ask(ann, Classic);
        Ask(cid, "{\"type\":\"watch\",\"table\":1}");
        Inbox.clear();
        c.Remove(ann, bob);
        Collect();
        EXPECT_EQ(Lobby->Tables(), 0u);
        ASSERT_TRUE(Has(cid, "lobby")) << "the watcher is sent the lobby afresh";
        EXPECT_TRUE(Last(cid, "lobby").value()["tables"].toArray().isEmpty());
        Inbox.clear();
        Ask(cid, "{\"type\":\"state\"}");
        EXPECT_TRUE(Has(cid, "lobby"));
        Ask(cid, "{\"type\":\"leave\"}");
        Ask(cid, "{\"type\":\"chat\",\"text\":\"anyone?\"}");
        ASSERT_TRUE(Has(cid, "chat"));
        EXPECT_FALSE(Last(cid, "chat").value().contains("table")) << "said in the lobby";
        Ask(cid, Classic);
        EXPECT_TRUE(Has(cid, "table"));
        EXPECT_FALSE(Has(cid, "refused"));
        Lobby->Disconnected(cid, Now);
        Lobby->Disconnected(bob, Now);
        Lobby->Disconnected(ann, Now);
        Lobby->Tick(Now + (Defaults.AwaySeconds * 1000LL));
        EXPECT_EQ(Lobby->Tables(), 0u);
        EXPECT_EQ(Lobby->PlayersOnline(), 0u);
    }
}

// The lobby has its address limits forget, as it runs, an address whose
// windows have all passed, at most one sweep interval late.
TEST_F(LobbyTest, AnAddressIsForgottenOnceItsWindowsHavePassed) {
    constexpr int64_t Hour = 3600 * 1000;
    const int64_t joined = Now;
    uint64_t ann = Join("Ann"); // a new name: counted for an hour
    Lobby->Disconnected(ann, Now);
    EXPECT_EQ(Limits.AddressesKnown(), 1u);
    Lobby->Tick(joined + Hour - 1);
    EXPECT_EQ(Limits.AddressesKnown(), 1u) << "its name is within the hour";
    Lobby->Tick(joined + Hour - 1 + TLobby::AddressSweepMs - 1);
    EXPECT_EQ(Limits.AddressesKnown(), 1u) << "no sweep yet";
    Lobby->Tick(joined + Hour - 1 + TLobby::AddressSweepMs);
    EXPECT_EQ(Limits.AddressesKnown(), 0u);
}

// One person's names, by certificate or by address, play each other for nothing.
TEST_F(LobbyTest, ARatedTableBetweenOnePersonsNamesPlaysCasual) {
    struct TCase {
        const char* Second; // name, with Ann's certificate or address or neither
        std::string Address, Fingerprint;
        bool Rated;
    } cases[] = {
        {"AnnToo", "203.0.113.9", "fp-Ann", false},
        {"AnnsFriend", "198.51.100.1", "", false}, // Ann's own address
        {"Bob", "", "", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Second);
        Now += (Defaults.TableWindowSeconds * 1000LL);
        Inbox.clear();
        uint64_t ann = Join("Ann"), second = Join(c.Second, c.Address, c.Fingerprint);
        Ask(ann, RatedClassic);
        int64_t table = int64_t(Last(ann, "table").value()["table"].toDouble());
        Ask(second, "{\"type\":\"sit\",\"table\":" + std::to_string(table) + "}");
        std::optional<QJsonObject> match = Last(second, "match");
        ASSERT_TRUE(match);
        EXPECT_EQ((*match)["rated"].toBool(), c.Rated);
        int64_t id = int64_t((*match)["match"].toDouble());
        EXPECT_EQ(Storage->LoadMatch(id)->Rated, c.Rated);
        for (int i = 0; i < 9; ++i) Move(i % 2 == 0 ? ann : second, i / 2, i % 3, i / 3);
        ASSERT_TRUE(Has(ann, "ended"));
        EXPECT_EQ(Last(ann, "ended").value().contains("ratings"), c.Rated);
        Lobby->Disconnected(ann, Now);
        Lobby->Disconnected(second, Now);
    }
    EXPECT_EQ(Storage->Standing(1)->RatedMatches, 1) << "Ann's one rated match, against Bob";
}

// A match given up before each player has placed a card was never played:
// abandoned, with no winner and no rating moved, whichever way it was given up.
TEST_F(LobbyTest, AMatchGivenUpBeforeBothHavePlayedIsAbandoned) {
    for (bool drop : {false, true})
        for (int placed = 0; placed <= 2; ++placed) {
            SCOPED_TRACE(std::string(drop ? "dropped" : "left") + " after " + std::to_string(placed));
            MakeLobby();
            Inbox.clear();
            Now += (Defaults.TableWindowSeconds * 1000LL);
            auto [ann, bob] = StartedMatch(RatedClassic);
            for (int i = 0; i < placed; ++i) Move(i % 2 == 0 ? ann : bob, i, i, 0);
            int before = Storage->Standing(2)->RatedMatches;
            if (drop) {
                Lobby->Disconnected(bob, Now);
                Lobby->Tick(Now + (Defaults.AwaySeconds * 1000LL));
            } else {
                Ask(bob, "{\"type\":\"leave\"}");
            }
            Collect();
            std::optional<QJsonObject> ended = Last(ann, "ended");
            ASSERT_TRUE(ended);
            const bool played = placed == 2;
            EXPECT_EQ((*ended)["how"].toString(), played ? "forfeit" : "abandoned");
            EXPECT_EQ((*ended)["winner"].toInt(), played ? 1 : -1);
            EXPECT_EQ(ended->contains("ratings"), played);
            EXPECT_EQ(Storage->Standing(2)->RatedMatches, before + (played ? 1 : 0));
            Lobby->Disconnected(ann, Now);
        }
}

// Sixty seconds away in all, however many drops they take: each drop is told
// what is left, and the seat goes when it is spent.
TEST_F(LobbyTest, TimeAwayIsOneAllowanceAcrossEveryDrop) {
    auto [ann, bob] = StartedMatch();
    Move(ann, 0, 0, 0);
    Move(bob, 0, 1, 0);
    struct TDrop {
        int64_t AwayMs;
        int Told; // seconds left, as the away message says
    } drops[] = {{25'000, 60}, {20'500, 35}, {0, 14}};
    for (const TDrop& drop : drops) {
        Inbox.clear();
        Lobby->Disconnected(bob, Now);
        Collect();
        ASSERT_TRUE(Has(ann, "away"));
        EXPECT_EQ(Last(ann, "away").value()["seconds"].toInt(), drop.Told);
        if (drop.AwayMs == 0) break;
        Now += drop.AwayMs;
        Lobby->Tick(Now);
        bob = Join("Bob");
        Ask(bob, "{\"type\":\"state\"}");
        ASSERT_TRUE(Has(bob, "match")) << "back in time";
    }
    Lobby->Tick(Now + 14'499);
    Collect();
    EXPECT_FALSE(Has(ann, "ended")) << "14.5 s were left";
    Lobby->Tick(Now + 14'500);
    Collect();
    std::optional<QJsonObject> ended = Last(ann, "ended");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["how"].toString(), "forfeit");
    EXPECT_EQ((*ended)["winner"].toInt(), 1);
}

class LobbyRatingsTest : public LobbyTest {
protected:
    void PlayOut(uint64_t blue, uint64_t red) {
        for (int i = 0; i < 9; ++i) Move(i % 2 == 0 ? blue : red, i / 2, i % 3, i / 3);
    }

    // A rated match that blue wins, spaced out to stay within the limit on
    // opening tables.
    void RatedWin(uint64_t blue, uint64_t red) {
        Now += (Defaults.TableWindowSeconds * 1000LL) / Defaults.Tables;
        Ask(blue, RatedClassic);
        FlushLobby();
        Ask(red, "{\"type\":\"sit\",\"table\":" + std::to_string(LastTable(red)) + "}");
        PlayOut(blue, red);
    }

    int64_t LastTable(uint64_t who) { return int64_t(Last(who, "table").value()["table"].toDouble()); }

    // The name bound as Join would bind it, with a rating set as an older
    // run of the server would have left it.
    void Rated(const std::string& name, double rating) {
        ASSERT_EQ(Storage->BindName(name, "fp-" + name, Now).Result, TStorage::TBindResult::Created);
        {
            QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "rate");
            database.setDatabaseName(Folder.filePath("v.sqlite"));
            ASSERT_TRUE(database.open());
            QSqlQuery query(database);
            ASSERT_TRUE(query.exec(QStringLiteral("UPDATE players SET rating = %1 WHERE name = '%2'")
                                       .arg(rating)
                                       .arg(QString::fromStdString(name))));
        }
        QSqlDatabase::removeDatabase("rate");
    }

    QJsonObject Answer(uint64_t who, const std::string& request, const char* type) {
        Inbox[who].clear();
        Ask(who, request);
        EXPECT_EQ(Inbox[who].size(), 1u) << request;
        std::optional<QJsonObject> answer = Last(who, type);
        EXPECT_TRUE(answer) << request << " is answered with " << type;
        return answer.value_or(QJsonObject());
    }
};

TEST_F(LobbyRatingsTest, ARatedMatchMovesBothRatingsAndACasualOneDoesNot) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
    for (bool rated : {false, true}) {
        Inbox.clear();
        Ask(ann, rated ? RatedClassic : Classic);
        FlushLobby();
        EXPECT_EQ(Last(cid, "table").value()["rated"].toBool(), rated);
        Ask(bob, "{\"type\":\"sit\",\"table\":" + std::to_string(LastTable(cid)) + "}");
        EXPECT_EQ(Last(bob, "match").value()["rated"].toBool(), rated);
        PlayOut(ann, bob);
        std::optional<QJsonObject> ended = Last(bob, "ended");
        ASSERT_TRUE(ended);
        ASSERT_EQ(ended->contains("ratings"), rated);
        std::optional<TStorage::TStanding> annNow = Storage->Standing(1), bobNow = Storage->Standing(2);
        ASSERT_TRUE(annNow && bobNow);
        EXPECT_EQ(annNow->RatedMatches, rated ? 1 : 0);
        if (!rated) {
            EXPECT_EQ(annNow->Rating, TRating());
            continue;
        }
        // Seat 0 Red (Bob) lost, seat 1 Blue (Ann) won, from 1500 each.
        QJsonArray ratings = (*ended)["ratings"].toArray();
        EXPECT_EQ(ratings[0].toArray(), (QJsonArray{1500, qint64(std::llround(bobNow->Rating.Rating))}));
        EXPECT_EQ(ratings[1].toArray(), (QJsonArray{1500, qint64(std::llround(annNow->Rating.Rating))}));
        EXPECT_GT(annNow->Rating.Rating, 1600);
        EXPECT_LT(bobNow->Rating.Rating, 1400);
        // The lobby lists the new ratings to those who come back to it.
        QJsonArray players = Last(ann, "lobby").value()["players"].toArray();
        ASSERT_EQ(players.size(), 3);
        for (const QJsonValue& player : players) {
            int expected = player["name"] == "Ann"   ? int(std::llround(annNow->Rating.Rating))
                           : player["name"] == "Bob" ? int(std::llround(bobNow->Rating.Rating))
                                                     : 1500;
            EXPECT_EQ(player["rating"].toInt(), expected) << player["name"].toString().toStdString();
            EXPECT_EQ(player["deviation"].toInt(),
                      player["name"] == "Cid" ? 350 : int(std::llround(annNow->Rating.Deviation)));
        }
    }
}

// Resigning ends a rated match as a loss that moves the ratings once; both
// players asking again starts a new match at the same table on the same
// terms with the colours swapped; leaving withdraws the offer. Only a player
// of a match in play resigns, and only after its end is a rematch asked for.
TEST_F(LobbyRatingsTest, AResignedMatchIsRatedOnceAndBothAskingPlaysItAgainWithTheColoursSwapped) {
    const std::string resign = "{\"type\":\"resign\"}", rematch = "{\"type\":\"rematch\"}";
    auto [ann, bob] = StartedMatch(RatedClassic); // Ann Blue, Bob Red
    const uint64_t cid = Join("Cid");
    const std::pair<uint64_t, std::string> refused[] = {{cid, resign}, {cid, rematch}, {ann, rematch}};
    for (const auto& [who, line] : refused) {
        Inbox[who].clear();
        Ask(who, line);
        EXPECT_TRUE(Has(who, "refused")) << line;
    }
    Move(ann, 0, 0, 0);
    Move(bob, 0, 1, 0);
    Ask(bob, resign);
    std::optional<QJsonObject> ended = Last(ann, "ended");
    ASSERT_TRUE(ended);
    EXPECT_EQ((*ended)["how"].toString(), "resigned");
    EXPECT_EQ((*ended)["winner"].toInt(), 1);
    EXPECT_TRUE(ended->contains("ratings"));
    EXPECT_EQ(Storage->LoadMatch(1)->Status, TMatchStatus::Resigned);
    const double annRating = Storage->Standing(1)->Rating.Rating;
    EXPECT_GT(annRating, 1500);

    Inbox.clear();
    Ask(ann, rematch);
    Ask(ann, rematch);
    EXPECT_EQ(Count(bob, "rematch"), 1) << "asked once, told once";
    EXPECT_EQ(Last(bob, "rematch").value(),
              (QJsonObject{{"type", "rematch"}, {"table", 1}, {"seat", 1}, {"asks", true}}));
    EXPECT_FALSE(Has(bob, "match"));
    Ask(bob, rematch);
    for (uint64_t player : {ann, bob}) {
        std::optional<QJsonObject> match = Last(player, "match");
        ASSERT_TRUE(match);
        EXPECT_EQ((*match)["table"].toInt(), 1);
        EXPECT_EQ((*match)["seats"].toArray(), (QJsonArray{"Ann", "Bob"}));
        EXPECT_EQ((*match)["you"].toInt(), player == ann ? 0 : 1);
        EXPECT_TRUE((*match)["rated"].toBool());
        EXPECT_EQ((*match)["seconds"].toInt(), 60);
    }
    EXPECT_EQ(Storage->Standing(1)->RatedMatches, 1);
    EXPECT_EQ(Storage->Standing(1)->Rating.Rating, annRating);

    // Given up before both have played: nothing won, nothing rated; Ann
    // leaves, and Bob's asking finds no offer.
    Ask(ann, resign);
    EXPECT_EQ(Last(bob, "ended").value()["how"].toString(), "abandoned");
    EXPECT_EQ(Storage->Standing(2)->RatedMatches, 1);
    Inbox.clear();
    Ask(ann, "{\"type\":\"leave\"}");
    EXPECT_EQ(Last(bob, "rematch").value()["asks"].toBool(), false);
    Ask(bob, rematch);
    EXPECT_TRUE(Has(bob, "refused"));
    EXPECT_FALSE(Has(bob, "match"));
}

// Play Now pairs with whoever is closest in rating among those who accept a
// rule set and a time the asker accepts: another player waiting for Play Now
// or an open rated table.
TEST_F(LobbyRatingsTest, PlayNowPairsOnWhatBothAcceptAndTheClosestRating) {
    const auto playNow = [](std::vector<int32_t> rules, std::vector<int32_t> seconds) {
        return Requests::PlayNow(rules, seconds).chopped(1).toStdString();
    };
    const int32_t same = RuleSame, plus = RulePlus;
    struct TWaiter {
        std::string Name;
        double Rating;
        std::string Request; // a play_now, or a create that opens a table to wait at
    };
    struct TCase {
        const char* What;
        std::vector<TWaiter> Waiting;
        std::string Ask;
        std::string Partner; // empty: the asker waits
        int32_t Rules = 0, Seconds = 0;
    } cases[] = {
        // The waiters share nothing with each other, or they would have met.
        {"the closest rating among those sharing a rule set and a time",
         {{"Low", 1300, playNow({same}, {60})},
          {"Other", 1600, playNow({plus}, {0})},
          {"Near", 1640, playNow({same, plus}, {30})},
          {"High", 1900, playNow({same}, {0})}},
         playNow({same, 0}, {60, 30, 0}),
         "Near",
         same,
         30},
        {"the asker's order chooses among what both accept",
         {{"Ann", 1500, playNow({plus, same, 0}, {30, 60})}},
         playNow({same, plus}, {60, 30}),
         "Ann",
         same,
         60},
        {"on equal distance whoever waited longest",
         {{"First", 1500, playNow({0}, {0})}, {"Second", 1500, playNow({0}, {30})}},
         playNow({0}, {30, 0}),
         "First",
         0,
         0},
        {"a rated table counts, a casual one never turns rated",
         {{"Casual", 1600, Classic}, {"Rated", 1900, RatedClassic}},
         playNow({same}, {60, 30}),
         "Rated",
         same,
         60},
        {"no time in common: the asker waits",
         {{"Slow", 1600, playNow({same}, {0})}},
         playNow({same}, {30, 60}),
         "",
         0,
         0},
        {"no rule set in common: the asker waits",
         {{"Open", 1600, playNow({0}, {60})}},
         playNow({same}, {60}),
         "",
         0,
         0},
    };
    int round = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        MakeLobby();
        Inbox.clear();
        const std::string suffix = std::to_string(++round);
        std::map<std::string, uint64_t> waiting;
        for (const TWaiter& waiter : c.Waiting) {
            Rated(waiter.Name + suffix, waiter.Rating);
            waiting[waiter.Name] = Join(waiter.Name + suffix);
            Ask(waiting[waiter.Name], waiter.Request);
        }
        Rated("Mine" + suffix, 1600);
        const uint64_t me = Join("Mine" + suffix);
        Ask(me, c.Ask);
        std::optional<QJsonObject> match = Last(me, "match");
        if (c.Partner.empty()) {
            EXPECT_FALSE(match);
            std::optional<QJsonObject> wait = Last(me, "waiting");
            ASSERT_TRUE(wait) << "told what it waits for";
            EXPECT_EQ(wait->value("rules").toArray().size(),
                      Requests::Decode(c.Ask).Request.AcceptedRules.size());
            continue;
        }
        ASSERT_TRUE(match);
        EXPECT_EQ((*match)["seats"].toArray(), (QJsonArray{QString::fromStdString("Mine" + suffix),
                                                           QString::fromStdString(c.Partner + suffix)}))
            << "whoever waited plays Blue";
        EXPECT_EQ((*match)["rules"].toObject(), RulesJson::Write(RulesOfBits(c.Rules)));
        EXPECT_EQ((*match)["seconds"].toInt(), c.Seconds);
        EXPECT_TRUE((*match)["rated"].toBool());
        for (const auto& [name, connection] : waiting)
            EXPECT_EQ(Has(connection, "match"), name == c.Partner) << name;
    }

    // Leaving the queue: told so, and never paired after.
    MakeLobby();
    Inbox.clear();
    const uint64_t quitter = Join("Quitter"), later = Join("Later");
    Ask(quitter, playNow({same}, {60}));
    Ask(quitter, "{\"type\":\"leave\"}");
    std::optional<QJsonObject> stopped = Last(quitter, "waiting");
    ASSERT_TRUE(stopped);
    EXPECT_TRUE((*stopped)["rules"].toArray().isEmpty());
    Ask(later, playNow({same}, {60}));
    EXPECT_FALSE(Has(later, "match"));
    EXPECT_FALSE(Has(quitter, "match"));
    // Waiting at a table of its own ends the wait for Play Now.
    Inbox.clear();
    Ask(later, Classic);
    EXPECT_TRUE(Last(later, "waiting").value()["rules"].toArray().isEmpty());
    Ask(quitter, playNow({same}, {60}));
    EXPECT_TRUE(Has(quitter, "waiting")) << "a casual table is not Play Now's";
}

TEST_F(LobbyRatingsTest, LeaderboardProfileAndRecordAnswerWithinTheirLimits) {
    uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
    for (int i = 0; i < 10; ++i) RatedWin(ann, bob);
    RatedWin(cid, ann);
    Now += 1000;
    Ask(cid, Classic);
    Ask(ann, "{\"type\":\"sit\",\"table\":" + std::to_string(LastTable(bob)) + "}");
    Move(cid, 0, 0, 0); // match 12, casual, in play

    QJsonArray leaders = Answer(cid, "{\"type\":\"leaderboard\"}", "leaderboard")["players"].toArray();
    ASSERT_EQ(leaders.size(), 2) << "Cid has played one rated match, not ten";
    EXPECT_EQ(leaders[0].toObject()["name"].toString(), "Ann");
    EXPECT_EQ(leaders[0].toObject()["matches"].toInt(), 11);
    EXPECT_EQ(leaders[1].toObject()["name"].toString(), "Bob");
    EXPECT_GT(leaders[0].toObject()["rating"].toInt(), leaders[1].toObject()["rating"].toInt());
    EXPECT_LT(leaders[0].toObject()["deviation"].toInt(), 350);

    QJsonObject profile = Answer(cid, "{\"type\":\"profile\",\"name\":\"ANN\"}", "profile");
    EXPECT_EQ(profile["name"].toString(), "Ann");
    EXPECT_EQ(profile["matches"].toInt(), 11);
    EXPECT_EQ(profile["rating"].toInt(), leaders[0].toObject()["rating"].toInt());
    EXPECT_GT(profile["volatility"].toDouble(), 0.0);
    QJsonArray history = profile["history"].toArray();
    ASSERT_EQ(history.size(), 11);
    for (int i = 1; i < 11; ++i)
        EXPECT_LT(history[i - 1].toArray()[0].toDouble(), history[i].toArray()[0].toDouble())
            << "oldest first";
    EXPECT_EQ(history[10].toArray()[1].toInt(), profile["rating"].toInt());
    EXPECT_GT(history[9].toArray()[1].toInt(), history[10].toArray()[1].toInt()) << "the last match was lost";
    QJsonArray recent = profile["recent"].toArray();
    ASSERT_EQ(recent.size(), 11) << "the match in play is not among them";
    QJsonObject last = recent[0].toObject();
    EXPECT_EQ(last["match"].toInt(), 11);
    EXPECT_EQ(last["opponent"].toString(), "Cid");
    EXPECT_EQ(last["seat"].toInt(), 0);
    EXPECT_EQ(last["how"].toString(), "finished");
    EXPECT_EQ(last["winner"].toInt(), 1);
    EXPECT_EQ(last["score"].toArray(), (QJsonArray{4, 6}));
    EXPECT_TRUE(last["rated"].toBool());
    EXPECT_EQ(last["rules"].toObject()["same"], true);
    EXPECT_EQ(last["seconds"].toInt(), 60);
    EXPECT_EQ(last["change"].toInt(), history[10].toArray()[1].toInt() - history[9].toArray()[1].toInt());
    EXPECT_LE(last["started"].toDouble(), last["ended"].toDouble());
    EXPECT_EQ(recent[10].toObject()["match"].toInt(), 1);

    QJsonObject answer = Answer(cid, "{\"type\":\"record\",\"match\":11}", "record");
    EXPECT_EQ(answer["match"].toInt(), 11);
    QByteArray bytes = QJsonDocument(answer["record"].toObject()).toJson(QJsonDocument::Compact);
    TRecordReading reading = ReadRecordJson(bytes, "the server");
    ASSERT_TRUE(reading.Record) << reading.Problem;
    EXPECT_EQ(reading.Record->Players[0], "Ann");
    EXPECT_EQ(reading.Record->Players[1], "Cid");
    EXPECT_EQ(reading.Record->Mode, TMatchMode::Server);
    EXPECT_TRUE(reading.Record->Rated);
    EXPECT_EQ(reading.Record->Moves.size(), 9u);
    EXPECT_EQ(reading.Record->Seed, Seed);

    // Refusals, then the rate limit: ten questions in ten seconds.
    const char* refusedRequests[] = {"{\"type\":\"profile\",\"name\":\"Nobody\"}",
                                     "{\"type\":\"record\",\"match\":12}",
                                     "{\"type\":\"record\",\"match\":99}"};
    for (const char* request : refusedRequests)
        EXPECT_FALSE(Answer(cid, request, "refused")["reason"].toString().isEmpty()) << request;
    for (int i = 0; i < 4; ++i) Answer(cid, "{\"type\":\"leaderboard\"}", "leaderboard");
    EXPECT_TRUE(
        Answer(cid, "{\"type\":\"leaderboard\"}", "refused")["reason"].toString().contains("too often"));
    EXPECT_TRUE(Answer(cid, "{\"type\":\"record\",\"match\":1}", "refused")["reason"].toString().contains(
        "too often"));
    Answer(bob, "{\"type\":\"record\",\"match\":1}", "record"); // each connection its own count
    Now += (Defaults.QuestionWindowSeconds * 1000LL);
    Answer(cid, "{\"type\":\"record\",\"match\":1}", "record");

    // A database that fails is not passed off as an unknown name.
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "break");
        database.setDatabaseName(Folder.filePath("v.sqlite"));
        ASSERT_TRUE(database.open());
        ASSERT_TRUE(QSqlQuery(database).exec("DROP TABLE rating_changes"));
    }
    QSqlDatabase::removeDatabase("break");
    LogLines.clear();
    EXPECT_TRUE(
        Answer(cid, "{\"type\":\"profile\",\"name\":\"Ann\"}", "refused")["reason"].toString().contains(
            "cannot read"));
    ASSERT_EQ(LogLines.size(), 1u);
    EXPECT_NE(LogLines[0].find("profile of Ann"), std::string::npos) << LogLines[0];
}

// A match that ends early keeps the cards each side owned then, in storage,
// in the ended line and in a profile; a row an older server kept as 0–0 is
// shown with the score its moves leave.
TEST_F(LobbyRatingsTest, AMatchEndedEarlyKeepsItsScoreAndAProfileShowsIt) {
    auto [ann, bob] = StartedMatch();
    Move(ann, 0, 0, 0);
    Lobby->Tick(Now + 60'000);
    Collect();
    EXPECT_EQ(Last(ann, "ended").value()["score"].toArray(), (QJsonArray{4, 6}));
    const std::optional<TStoredMatch> timed = Storage->LoadMatch(1);
    ASSERT_TRUE(timed);
    EXPECT_EQ(timed->Status, TMatchStatus::Time);
    EXPECT_EQ(timed->Score[0] * 100 + timed->Score[1], 406);

    TStoredMatch older = *timed;
    older.Status = TMatchStatus::Playing;
    const int64_t id = Storage->CreateMatch(older);
    ASSERT_EQ(Storage->AddMove(id, 1, {0, 0, 1, 1, Now}), TStorage::TMoveResult::Stored);
    const int32_t none[2] = {0, 0};
    ASSERT_EQ(Storage->FinishMatch(id, 1, TMatchStatus::Forfeit, 1, none, Now + 1),
              TStorage::TMoveResult::Stored);
    Now += 1000;
    const QJsonArray recent =
        Answer(bob, "{\"type\":\"profile\",\"name\":\"Bob\"}", "profile")["recent"].toArray();
    ASSERT_EQ(recent.size(), 2);
    for (const QJsonValue& match : recent)
        EXPECT_EQ(match.toObject()["score"].toArray(), (QJsonArray{4, 6}))
            << match.toObject()["how"].toString().toStdString();
}

// Questions are counted per address too: connections from one address
// share thirty in ten seconds, and a new connection starts with none left.
TEST_F(LobbyRatingsTest, QuestionsAreLimitedPerAddressAcrossConnections) {
    const std::string address = "203.0.113.7";
    std::vector<uint64_t> askers;
    for (int i = 0; i < 4; ++i) askers.push_back(Join("Asker" + std::to_string(i), address));
    const int64_t start = Now;
    for (int i = 0; i < Defaults.QuestionsPerAddress; ++i)
        Answer(askers[size_t(i / Defaults.QuestionsPerConnection)],
               "{\"type\":\"profile\",\"name\":\"Asker0\"}", "profile");
    EXPECT_TRUE(
        Answer(askers[3], "{\"type\":\"leaderboard\"}", "refused")["reason"].toString().contains("too often"))
        << "the 31st from the address, the first of its connection";
    Lobby->Disconnected(askers[3], Now);
    uint64_t again = Join("Asker3", address);
    Now = start + (Defaults.QuestionWindowSeconds * 1000LL) - 1;
    Answer(again, "{\"type\":\"record\",\"match\":1}", "refused");
    EXPECT_TRUE(Last(again, "refused").value()["reason"].toString().contains("too often"));
    Answer(Join("Other"), "{\"type\":\"leaderboard\"}", "leaderboard"); // another address has its own
    Now = start + (Defaults.QuestionWindowSeconds * 1000LL);
    Answer(again, "{\"type\":\"profile\",\"name\":\"Asker0\"}", "profile");
}

// Within its time the leaderboard is answered from what was read, not read again.
TEST_F(LobbyRatingsTest, TheLeaderboardIsReadAtMostOnceInItsCacheTime) {
    Rated("Top", 1700);
    auto setTop = [&](const char* set) {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "top");
        database.setDatabaseName(Folder.filePath("v.sqlite"));
        ASSERT_TRUE(database.open());
        ASSERT_TRUE(QSqlQuery(database).exec(QString("UPDATE players SET %1 WHERE name = 'Top'").arg(set)));
    };
    setTop("rated_matches = 10");
    QSqlDatabase::removeDatabase("top");
    uint64_t asker = Join("Asker");
    auto topRating = [&] {
        QJsonArray players = Answer(asker, "{\"type\":\"leaderboard\"}", "leaderboard")["players"].toArray();
        return players.isEmpty() ? 0 : players[0].toObject()["rating"].toInt();
    };
    const int64_t read = Now;
    EXPECT_EQ(topRating(), 1700);
    setTop("rating = 1800");
    QSqlDatabase::removeDatabase("top");
    Now = read + TLobby::LeaderboardCacheMs - 1;
    EXPECT_EQ(topRating(), 1700);
    Now = read + TLobby::LeaderboardCacheMs;
    EXPECT_EQ(topRating(), 1800);
}

// The record of a real match with Sudden Death replays, dealt by the
// server, plays through the record reader's own replay of the rules.
TEST_F(LobbyRatingsTest, ARecordOfASuddenDeathMatchReplaysThroughTheRecordChecks) {
    // Every player takes the first card and square allowed: find a seed whose
    // first deal ends in a draw that way.
    const int32_t rules = RuleSame | RuleSuddenDeath;
    auto firstLegal = [](const TReferee& referee) {
        for (int32_t slot = 0; slot < 5; ++slot)
            for (int32_t square = 0; square < 9; ++square)
                if (referee.MoveProblem(referee.ToMove(), {slot, square % 3, square / 3}).empty())
                    return TPlacementMove{slot, square % 3, square / 3};
        return TPlacementMove{};
    };
    int64_t seed = 0;
    for (int64_t candidate = 1; candidate < 2000 && seed == 0; ++candidate) {
        TRulesReferee referee(BuiltInCatalogue(), candidate, rules, 1);
        for (int i = 0; i < 9; ++i) {
            referee.Play(firstLegal(referee));
        }
        if (!referee.Over()) seed = candidate;
    }
    ASSERT_NE(seed, 0) << "no seed draws its first deal";
    Lobby = std::make_unique<TLobby>(*Storage, Log, Limits, RulesRefereeFactory(), [seed] { return seed; });
    auto [ann, bob] = StartedMatch("{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,"
                                   "\"plus\":false,\"elemental\":false,\"sudden_death\":true},\"seconds\":0,"
                                   "\"rated\":true}");
    TRulesReferee mirror(BuiltInCatalogue(), seed, rules, 1);
    for (int guard = 0; guard < 9 * 20 && !mirror.Over(); ++guard) {
        auto move = firstLegal(mirror);
        Move(mirror.ToMove() == 1 ? ann : bob, move.Slot, move.X, move.Y);
        mirror.Play(move);
    }
    ASSERT_TRUE(Has(ann, "ended"));
    QJsonObject answer = Answer(ann, "{\"type\":\"record\",\"match\":1}", "record");
    TRecordReading reading = ReadRecordJson(
        QJsonDocument(answer["record"].toObject()).toJson(QJsonDocument::Compact), "the server");
    ASSERT_TRUE(reading.Record) << reading.Problem;
    ASSERT_FALSE(reading.Record->RedealSeeds.empty());
    for (size_t i = 0; i < reading.Record->RedealSeeds.size(); ++i)
        EXPECT_EQ(reading.Record->RedealSeeds[i], seed + int64_t(i) + 1);
    TReplay replay = ReplayRecord(*reading.Record, BuiltInCatalogue().Cards);
    EXPECT_EQ(replay.Problem, "");
    EXPECT_EQ(replay.Score[0], mirror.Score(0));
    EXPECT_EQ(reading.Record->Score[0], mirror.Score(0));
}

TEST(LobbyCodec, MalformedOrOutOfRangeRequestsAreRefused) {
    const char* refused[] = {
        "",
        "[]",
        "{\"type\":\"teleport\"}",
        "{\"type\":\"login\",\"name\":\"ab\"}",
        "{\"type\":\"login\",\"name\":7}",
        "{\"type\":\"move\",\"slot\":5,\"x\":0,\"y\":0}",
        "{\"type\":\"move\",\"slot\":0,\"x\":0.5,\"y\":0}",
        "{\"type\":\"move\",\"slot\":0,\"x\":0}",
        "{\"type\":\"sit\",\"table\":0}",
        "{\"type\":\"sit\",\"table\":1e300}",
        "{\"type\":\"move\",\"slot\":-1e30,\"x\":0,\"y\":0}",
        "{\"type\":\"sit\",\"table\":1,\"seat\":2}",
        "{\"type\":\"create\",\"rules\":{\"same\":true},\"seconds\":60}",
        "{\"type\":\"create\",\"rules\":{\"same\":1,\"same_wall\":false,\"plus\":false,\"elemental\":"
        "false,"
        "\"sudden_death\":false},\"seconds\":60}",
        "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":false,\"elemental\":"
        "false,"
        "\"sudden_death\":false},\"seconds\":45}",
        "{\"type\":\"chat\",\"text\":\"\"}",
        "{\"type\":\"chat\",\"text\":\"two\\nlines\"}",
        "{\"type\":\"chat\",\"text\":\"para\\u2029graph\"}",
        "{\"type\":\"chat\",\"text\":\"\\u202eoverride\"}",
        "{\"type\":\"chat\",\"text\":\"\\ud800\"}",
        "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":false,\"elemental\":"
        "false,"
        "\"sudden_death\":false},\"seconds\":60,\"rated\":1}",
        "{\"type\":\"profile\"}",
        "{\"type\":\"profile\",\"name\":\"a b c\"}",
        "{\"type\":\"record\",\"match\":0}",
        "{\"type\":\"record\",\"match\":\"7\"}",
    };
    for (const char* line : refused) EXPECT_FALSE(Requests::Decode(line).Ok) << line;
    std::string emoji;
    for (int i = 0; i < 500; ++i) emoji += "\xf0\x9f\x83\x8f";
    EXPECT_TRUE(Requests::Decode("{\"type\":\"chat\",\"text\":\"" + emoji + "\"}").Ok) << "500 characters";
    EXPECT_FALSE(Requests::Decode("{\"type\":\"chat\",\"text\":\"" + emoji + "x\"}").Ok) << "501 characters";
    EXPECT_FALSE(Requests::Decode(std::string(4097, ' ')).Ok);
}

} // namespace

namespace {

// A moderation action taken anywhere (here the admin command on the same
// database) reaches the lobby by its log within one poll: a ban sends the
// player away from every connection and keeps them out, whether by name,
// certificate or address, until lifted; a mute refuses chat with the time
// left. The message of the day greets each sign-in.
TEST_F(LobbyTest, SanctionsTakeEffectWithinAPollAndLastUntilLifted) {
    TServerSettings settings;
    settings.Motd = "Be kind.";
    Lobby->Apply(settings);
    Lobby->Moderate(*Storage, Now);
    std::vector<std::string> said;
    AdminCommand::TContext admin{
        *Storage, *Storage, {}, "admin (root)", Now, [&](const std::string& line) {
                                     said.push_back(line); }};
    auto poll = [&] {
        Now += TLobby::ModerationPollMs;
        admin.NowMs = Now;
        Lobby->Tick(Now);
        Collect();
    };
    const std::string certificate(64, 'e');
    const struct {
        std::string Name;
        std::vector<std::string> Ban;
        std::string Address, Fingerprint;
    } bans[] = {
        {"Cid", {"ban", "Cid", "forever", "cheating"}, "198.51.100.90", ""},
        {"Col", {"ban-certificate", certificate, "1d", "cheating"}, "198.51.100.91", certificate},
        {"Cor", {"ban-address", "203.0.113.0/24", "1d", "cheating"}, "203.0.113.40", ""},
    };
    for (size_t i = 0; i < std::size(bans); ++i) {
        const auto& ban = bans[i];
        SCOPED_TRACE(ban.Ban[0]);
        const uint64_t player = Join(ban.Name, ban.Address, ban.Fingerprint);
        ASSERT_EQ(AdminCommand::Run(ban.Ban, admin), 0);
        poll();
        const std::optional<QJsonObject> bye = Last(player, "bye");
        ASSERT_TRUE(bye);
        EXPECT_TRUE((*bye)["reason"].toString().startsWith("You are banned from this server for "));
        EXPECT_TRUE((*bye)["reason"].toString().endsWith(": cheating."));
        EXPECT_EQ(Lobby->PlayersOnline(), i) << "sent away";
        const uint64_t again = NextConnection++;
        const std::string fingerprint = ban.Fingerprint.empty() ? "fp-" + ban.Name : ban.Fingerprint;
        Lobby->Connected(again, fingerprint, ban.Address, ban.Address);
        Ask(again, "{\"type\":\"login\",\"name\":\"" + ban.Name + "\"}");
        EXPECT_FALSE(Has(again, "signed_in"));
        EXPECT_EQ(Last(again, "bye"), bye);
        ASSERT_EQ(AdminCommand::Run({"lift", std::to_string(i + 1)}, admin), 0);
        poll();
        Lobby->Disconnected(again, Now);
        Join(ban.Name, ban.Address, ban.Fingerprint);
        EXPECT_EQ(Lobby->PlayersOnline(), i + 1) << "back once the ban is lifted";
    }

    const uint64_t cid = Join("Ann"), dan = Join("Dan");
    ASSERT_EQ(AdminCommand::Run({"mute", "Dan", "90m", "spam"}, admin), 0);
    Ask(dan, "{\"type\":\"chat\",\"text\":\"before the poll\"}");
    EXPECT_TRUE(Has(cid, "chat")) << "the lobby acts on the log when it reads it";
    poll();
    Ask(dan, "{\"type\":\"chat\",\"text\":\"hello\"}");
    EXPECT_EQ((*Last(dan, "refused"))["reason"].toString(), "You are muted for 90 more minutes: spam.");
    EXPECT_EQ(Count(cid, "chat"), 1);
    Inbox[dan].clear();
    const uint64_t eve = NextConnection++;
    Lobby->Connected(eve, "fp-Eve", "k", "192.0.2.1");
    Ask(eve, "{\"type\":\"login\",\"name\":\"Eve\"}");
    EXPECT_EQ((*Last(eve, "signed_in"))["motd"].toString(), "Be kind.");
}

// A player's own tools: a block keeps the other's chat away (lobby and
// table) and keeps Play Now from pairing them; a follow shows where the other
// is; a report keeps the reported player's last lines, within a daily limit.
// Only a moderator may moderate, and what they do acts at once.
TEST_F(LobbyTest, BlocksFollowsReportsAndModeratorsActionsThroughTheLobby) {
    TServerSettings settings;
    settings.Moderators = {"Mod"};
    Lobby->Apply(settings);
    Lobby->Moderate(*Storage, Now);
    const uint64_t ann = Join("Ann"), bob = Join("Bob"), cid = Join("Cid");
    Ask(ann, R"({"type":"block","name":"bob"})");
    EXPECT_EQ((*Last(ann, "notice"))["text"].toString(),
              "You block Bob: their chat no longer reaches you, and you are not paired.");
    Ask(ann, R"({"type":"follow","name":"Cid"})");
    const QJsonObject relations = *Last(ann, "relations");
    EXPECT_EQ(relations["blocks"].toArray(), QJsonArray{"Bob"});
    EXPECT_EQ(relations["follows"].toArray(), (QJsonArray{QJsonObject{{"name", "Cid"}, {"online", true}}}));
    Ask(ann, R"({"type":"block","name":"Ann"})");
    EXPECT_EQ((*Last(ann, "refused"))["reason"].toString(), "You cannot block yourself.");

    Ask(bob, R"({"type":"chat","text":"buy cheap gold"})");
    EXPECT_FALSE(Has(ann, "chat"));
    EXPECT_TRUE(Has(cid, "chat"));
    const char* playNow = R"({"type":"play_now","rules":{"same":false,"same_wall":false,"plus":false,)"
                          R"("elemental":false,"sudden_death":false},"seconds":60})";
    Ask(bob, playNow);
    Ask(ann, playNow);
    EXPECT_EQ(Lobby->MatchesInPlay(), 0u) << "a block keeps Play Now from pairing them";
    Ask(cid, playNow);
    EXPECT_EQ(Lobby->MatchesInPlay(), 1u);
    Ask(bob, R"({"type":"chat","text":"at my table"})");

    for (int report = 0; report < 3; ++report)
        Ask(ann, R"({"type":"report","name":"Bob","reason":"spam","text":"ads"})");
    EXPECT_TRUE(
        (*Last(ann, "notice"))["text"].toString().startsWith("Thank you: your report on Bob is received."));
    Ask(ann, R"({"type":"report","name":"Bob","reason":"spam"})");
    EXPECT_EQ((*Last(ann, "refused"))["reason"].toString(),
              "You have filed 3 reports today; the moderators will read those first.");
    const auto reports = *Storage->OpenReports(10);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].Evidence, "in the lobby: buy cheap gold\nat table 1: at my table");

    for (const char* asked : {R"({"type":"moderate","action":"list"})",
                              R"({"type":"moderate","action":"ban","name":"Bob","reason":"spam"})"}) {
        Ask(ann, asked);
        EXPECT_EQ((*Last(ann, "refused"))["reason"].toString(), "Only moderators may do that.");
    }
    const uint64_t mod = NextConnection++;
    Lobby->Connected(mod, "fp-Mod", "k", "192.0.2.7");
    Ask(mod, R"({"type":"login","name":"Mod"})");
    EXPECT_TRUE((*Last(mod, "signed_in"))["moderator"].toBool());
    Ask(mod, R"({"type":"moderate","action":"list"})");
    EXPECT_EQ((*Last(mod, "moderation"))["reports"].toArray().size(), 3);
    Ask(mod, R"({"type":"moderate","action":"mute","name":"Bob","reason":"spam"})");
    EXPECT_EQ((*Last(mod, "refused"))["reason"].toString(), "A mute needs a time.");
    Ask(mod, R"({"type":"moderate","action":"mute","name":"Bob","minutes":30,"reason":"spam"})");
    Ask(bob, R"({"type":"chat","text":"still here"})");
    EXPECT_EQ((*Last(bob, "refused"))["reason"].toString(), "You are muted for 30 more minutes: spam.")
        << "at once, without waiting for a poll";
    Ask(mod, R"({"type":"moderate","action":"ban","name":"Bob","reason":"spam"})");
    EXPECT_EQ((*Last(bob, "bye"))["reason"].toString(), "You are banned from this server for good: spam.");
    EXPECT_EQ((*Last(mod, "moderation"))["sanctions"].toArray().size(), 2);
    Ask(mod, R"({"type":"moderate","action":"ban","name":"mod","reason":"x"})");
    EXPECT_EQ((*Last(mod, "refused"))["reason"].toString(),
              "Mod is a moderator; ask the server's administrator.");
    Ask(mod, R"({"type":"moderate","action":"close_report","id":1,"reason":"banned"})");
    EXPECT_EQ((*Last(mod, "notice"))["text"].toString(), "Report #1 closed.");
    EXPECT_EQ(Storage->OpenReports(10)->size(), 2u);
}

// A player arriving in the lobby hears its last lines, as earlier lines and
// without those of players they block; a moderator's removal of a player's
// lines (here, or by the admin command through the log) keeps them from
// later arrivals, but not what that player says afterwards.
TEST_F(LobbyTest, ArrivalsHearTheLobbysLastLinesLessWhatTheyBlockOrAModeratorRemoved) {
    TServerSettings settings;
    settings.Moderators = {"Mod"};
    settings.ChatLines = 100;
    Lobby->Apply(settings);
    Lobby->Moderate(*Storage, Now);
    std::vector<std::string> said;
    AdminCommand::TContext admin{
        *Storage, *Storage, {}, "admin (root)", Now, [&](const std::string& line) { said.push_back(line); }};
    const uint64_t bob = Join("Bob"), cid = Join("Cid");
    auto chat = [&](uint64_t who, const std::string& text) {
        Now += 1000;
        Ask(who, R"({"type":"chat","text":")" + text + R"("})");
    };
    for (int line = 0; line < 12; ++line) {
        chat(bob, "b" + std::to_string(line));
        chat(cid, "c" + std::to_string(line));
    }
    // What an arrival hears before anything else happens.
    auto heard = [&](const std::string& name, const std::string& blocks = "") {
        const uint64_t arriving = Join(name);
        if (!blocks.empty()) {
            Ask(arriving, R"({"type":"block","name":")" + blocks + R"("})");
            Lobby->Disconnected(arriving, Now);
            Join(name);
        }
        const uint64_t again = NextConnection - 1;
        Lobby->Handle(again, Decode(R"({"type":"leave"})"), Now);
        Lobby->Disconnected(again, Now);
        Inbox[again].clear();
        Lobby->Connected(again + 100, "fp-" + name, OwnAddress[name], OwnAddress[name]);
        Ask(again + 100, R"({"type":"login","name":")" + name + R"("})");
        std::string lines;
        for (const QJsonObject& message : Inbox[again + 100])
            if (message["type"] == "chat") {
                EXPECT_TRUE(message["earlier"].toBool());
                lines += message["text"].toString().toStdString() + " ";
            }
        Lobby->Disconnected(again + 100, Now);
        return lines;
    };
    EXPECT_EQ(heard("Dan"), "b2 c2 b3 c3 b4 c4 b5 c5 b6 c6 b7 c7 b8 c8 b9 c9 b10 c10 b11 c11 ")
        << "the last 20";
    EXPECT_EQ(heard("Eve", "Cid"), "b2 b3 b4 b5 b6 b7 b8 b9 b10 b11 ");

    Ask(cid, R"({"type":"moderate","action":"remove_chat","name":"Bob","reason":"ads"})");
    EXPECT_EQ((*Last(cid, "refused"))["reason"].toString(), "Only moderators may do that.");
    const uint64_t mod = NextConnection++;
    Lobby->Connected(mod, "fp-Mod", "k", "192.0.2.7");
    Ask(mod, R"({"type":"login","name":"Mod"})");
    Ask(mod, R"({"type":"moderate","action":"remove_chat","name":"bob"})");
    EXPECT_EQ((*Last(mod, "refused"))["reason"].toString(), "Say why.");
    Ask(mod, R"({"type":"moderate","action":"remove_chat","name":"bob","reason":"ads"})");
    EXPECT_EQ((*Last(mod, "notice"))["text"].toString(),
              "Bob's lines are gone from what new arrivals see (10 here).");
    chat(bob, "sorry");
    admin.NowMs = Now;
    ASSERT_EQ(AdminCommand::Run({"remove-chat", "Cid", "--reason", "spam"}, admin), 0);
    EXPECT_EQ(heard("Fay"), "c2 c3 c4 c5 c6 c7 c8 c9 c10 c11 sorry ") << "the log is read at the next poll";
    Now += TLobby::ModerationPollMs;
    Lobby->Tick(Now);
    EXPECT_EQ(heard("Gus"), "sorry ") << "a removal read back from the log leaves what was said after it";
    const auto logged = *Storage->LatestActions(2);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(std::tie(logged[1].By, logged[1].Action, logged[1].Target, logged[1].Reason),
              std::tuple("Mod", "remove chat", "Bob", "ads"));
}

} // namespace
