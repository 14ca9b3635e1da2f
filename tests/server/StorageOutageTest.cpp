// A match on PostgreSQL whose database stops and starts again mid-match, with
// moves stored by the worker thread as the server stores them. Runs only
// through with_postgres.sh, which says how to stop and start the database.
#include "FakeReferee.h"

#include "protocol/Requests.h"
#include "server/AddressLimits.h"
#include "server/Lobby.h"
#include "server/ServerLog.h"
#include "server/SqlStorage.h"
#include "server/StorageWorker.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdlib>
#include <deque>

#include <gtest/gtest.h>

namespace {

const char* Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

class StorageOutageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Url = Environment("VANTARO_TEST_DATABASE_URL");
        Stop = Environment("VANTARO_TEST_DATABASE_STOP");
        Start = Environment("VANTARO_TEST_DATABASE_START");
        if (!Url || !Stop || !Start) GTEST_SKIP() << "no PostgreSQL (run through with_postgres.sh)";
        std::string error;
        Storage = TSqlStorage::Open("", Url, error, "outage");
        ASSERT_TRUE(Storage) << error;
        Worker = std::make_unique<TStorageWorker>(
            [this](std::string& openError) -> std::unique_ptr<TStorage> {
                return TSqlStorage::Open("", Url, openError, "outage");
            },
            [this](std::function<void(int64_t)> completion) {
                std::lock_guard<std::mutex> lock(Lock);
                Posted.push_back(std::move(completion));
                Woken.notify_one();
            },
            TStorageWorker::TLimits{});
        ASSERT_EQ(Worker->Started(), "");
        Lobby = std::make_unique<TLobby>(
            *Storage, Log, Limits,
            [](int64_t, int32_t, int32_t first) { return std::make_unique<TFakeReferee>(first); },
            [] { return int64_t(7); });
        Lobby->StoreThrough(*Worker);
    }

    void TearDown() override {
        Lobby.reset();
        Worker.reset();
    }

    void Ask(uint64_t connection, const std::string& line) {
        Requests::TDecoded decoded = Requests::Decode(line);
        ASSERT_TRUE(decoded.Ok) << line;
        Lobby->Handle(connection, decoded.Request, ++Now);
        Collect();
    }

    // A move, and the worker's answer to it on this thread, within a bound.
    void Move(uint64_t connection, int slot, int x, int y) {
        Ask(connection, "{\"type\":\"move\",\"slot\":" + std::to_string(slot) +
                            ",\"x\":" + std::to_string(x) + ",\"y\":" + std::to_string(y) + "}");
        Complete();
    }

    // The worker's next answer, run on this thread, within a bound.
    void Complete() {
        std::function<void(int64_t)> completion;
        {
            std::unique_lock<std::mutex> lock(Lock);
            ASSERT_TRUE(Woken.wait_for(lock, std::chrono::seconds(60), [this] { return !Posted.empty(); }));
            completion = std::move(Posted.front());
            Posted.pop_front();
        }
        completion(++Now);
        Collect();
    }

    void Collect() {
        for (TLobby::TOutgoing& out : Lobby->TakeOutgoing())
            for (const QByteArray& line : QByteArray::fromStdString(out.Line).trimmed().split('\n'))
                Inbox[out.Connection].push_back(QJsonDocument::fromJson(line).object());
    }

    // The messages of a type a connection received since the last look.
    std::vector<QJsonObject> Take(uint64_t connection, const char* type) {
        std::vector<QJsonObject> found;
        for (const QJsonObject& message : std::exchange(Inbox[connection], {}))
            if (message["type"].toString() == type) found.push_back(message);
        return found;
    }

    const char* Url = nullptr;
    const char* Stop = nullptr;
    const char* Start = nullptr;
    std::unique_ptr<TSqlStorage> Storage;
    std::unique_ptr<TStorageWorker> Worker;
    std::mutex Lock;
    std::condition_variable Woken;
    std::deque<std::function<void(int64_t)>> Posted;
    TServerLog Log{[](const std::string&) {}};
    TAddressLimits Limits;
    std::unique_ptr<TLobby> Lobby;
    std::map<uint64_t, std::vector<QJsonObject>> Inbox;
    int64_t Now = 1'700'000'000'000;
};

// While the database is down a move is refused and told to nobody; once it
// is back the same move is stored and the match goes on to its end with
// every move kept. The last move is refused once too, and ends the match
// when asked again.
TEST_F(StorageOutageTest, MovesAreRefusedWhileTheDatabaseIsDownAndNoneIsLost) {
    const uint64_t ola = 1, pim = 2;
    for (auto [connection, name] : {std::pair{ola, "Ola"}, std::pair{pim, "Pim"}}) {
        Lobby->Connected(connection, std::string("fp-") + name, std::string("198.51.100.") + name);
        Ask(connection, std::string("{\"type\":\"login\",\"name\":\"") + name + "\"}");
    }
    Ask(ola, "{\"type\":\"create\",\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":false,"
             "\"elemental\":false,\"sudden_death\":false},\"seconds\":60}");
    Ask(pim, "{\"type\":\"sit\",\"table\":1}");
    Complete();
    std::vector<QJsonObject> match = Take(ola, "match");
    ASSERT_EQ(match.size(), 1u);
    const int64_t matchId = int64_t(match[0]["match"].toDouble());
    Take(pim, "match");

    for (int i = 0; i < 9; ++i) {
        const uint64_t mover = i % 2 == 0 ? ola : pim, other = ola + pim - mover;
        // A move, and the last one, which goes with the match's end as a batch.
        if (i == 3 || i == 8) {
            ASSERT_EQ(std::system(Stop), 0);
            Move(mover, i / 2, i % 3, i / 3);
            std::vector<QJsonObject> refused = Take(mover, "move_refused");
            ASSERT_EQ(refused.size(), 1u);
            EXPECT_EQ(refused[0]["reason"].toString(), "The server cannot store moves right now; try again.");
            EXPECT_TRUE(Take(other, "moved").empty());
            ASSERT_EQ(std::system(Start), 0);
        }
        Move(mover, i / 2, i % 3, i / 3);
        for (uint64_t who : {ola, pim}) ASSERT_EQ(Take(who, "moved").size(), 1u) << "move " << i;
    }
    std::string error;
    std::unique_ptr<TSqlStorage> reader = TSqlStorage::Open("", Url, error);
    ASSERT_TRUE(reader) << error;
    std::optional<TStoredMatch> stored = reader->LoadMatch(matchId);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Status, TMatchStatus::Finished);
    ASSERT_EQ(stored->Moves.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(stored->Moves[size_t(i)].Index, i);
}

} // namespace
