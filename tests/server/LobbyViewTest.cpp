// The lobby's bounded view against a model: whoever took a snapshot and then
// every flush of changes holds exactly what the view shows, whatever entries
// come, change and go.
#include "server/LobbyView.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using TSeen = std::map<int64_t, int>; // id → version

TSeen Parse(const std::string& shown)
{
    TSeen seen;
    for (const QJsonValue& entry : QJsonDocument::fromJson(QByteArray::fromStdString(shown)).array())
        seen[int64_t(entry["id"].toDouble())] = entry["v"].toInt();
    return seen;
}

void Apply(const std::string& changes, TSeen& seen, std::map<int64_t, int>& sent)
{
    for (const QByteArray& line : QByteArray::fromStdString(changes).split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonObject message = QJsonDocument::fromJson(line).object();
        int64_t id = int64_t(message[message.contains("gone") ? "gone" : "id"].toDouble());
        ++sent[id];
        if (message["type"].toString() == "row")
            seen[id] = message["v"].toInt();
        else
            seen.erase(id);
    }
}

TEST(LobbyView, AClientKeepingUpWithTheChangesSeesTheViewAndEachEntryAtMostOnceAFlush)
{
    constexpr size_t Capacity = 5;
    std::mt19937 random(17);
    for (int run = 0; run < 20; ++run) {
        TLobbyView view("row", Capacity);
        std::map<int64_t, int> model; // every entry, shown or not
        TSeen seen = Parse(view.Shown());
        for (int flush = 0; flush < 40; ++flush) {
            for (int step = int(random() % 6); step > 0; --step) {
                int64_t id = int64_t(random() % 12) + 1;
                if (random() % 3 == 0) {
                    view.Remove(id);
                    model.erase(id);
                } else {
                    int version = model[id] + 1;
                    model[id] = version;
                    view.Put(id, "{\"id\":" + std::to_string(id) + ",\"v\":" + std::to_string(version) + "}",
                             "{\"type\":\"gone\",\"gone\":" + std::to_string(id) + "}\n");
                }
            }
            std::map<int64_t, int> sent;
            Apply(view.TakeChanges(), seen, sent);
            for (const auto& [id, times] : sent)
                EXPECT_EQ(times, 1) << "entry " << id << " in one flush";
            TSeen expected;
            for (const auto& [id, version] : model)
                if (expected.size() < Capacity)
                    expected[id] = version;
            ASSERT_EQ(seen, expected) << "run " << run << ", flush " << flush;
            ASSERT_EQ(Parse(view.Shown()), expected);
            EXPECT_FALSE(view.Changed());
        }
    }
}

TEST(LobbyView, ChangesOutsideTheViewCostNothing)
{
    TLobbyView view("row", 1);
    view.Put(1, "{\"id\":1}", "{\"gone\":1}\n");
    view.Put(2, "{\"id\":2}", "{\"gone\":2}\n");
    view.TakeChanges();
    view.Put(2, "{\"id\":2,\"v\":2}", "{\"gone\":2}\n");
    EXPECT_FALSE(view.Changed());
    EXPECT_EQ(view.Line(2), "{\"type\":\"row\",\"id\":2,\"v\":2}\n") << "its line is there when asked";
}

} // namespace
