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

TSeen Parse(const std::string& shown) {
    TSeen seen;
    for (const QJsonValue& entry : QJsonDocument::fromJson(QByteArray::fromStdString(shown)).array())
        seen[int64_t(entry["id"].toDouble())] = entry["v"].toInt();
    return seen;
}

void Apply(const std::string& changes, TSeen& seen, std::map<int64_t, int>& sent) {
    for (const QByteArray& line : QByteArray::fromStdString(changes).split('\n')) {
        if (line.isEmpty()) continue;
        QJsonObject message = QJsonDocument::fromJson(line).object();
        int64_t id = int64_t(message[message.contains("gone") ? "gone" : "id"].toDouble());
        ++sent[id];
        if (message["type"].toString() == "row")
            seen[id] = message["v"].toInt();
        else
            seen.erase(id);
    }
}

TEST(LobbyView, AClientKeepingUpWithTheChangesSeesTheViewAndEachEntryAtMostOnceAFlush) {
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
            for (const auto& [id, times] : sent) EXPECT_EQ(times, 1) << "entry " << id << " in one flush";
            ASSERT_EQ(seen, Parse(view.Shown())) << "run " << run << ", flush " << flush;
            ASSERT_EQ(seen.size(), std::min(Capacity, model.size())) << "as full as it can be";
            for (const auto& [id, version] : seen)
                ASSERT_EQ(version, model.at(id)) << "entry " << id << " as it is now";
            EXPECT_FALSE(view.Changed());
        }
    }
}

TEST(LobbyView, EntriesStayShownAndAFreedPlaceGoesToTheNewest) {
    TLobbyView view("row", 2);
    for (int64_t id = 1; id <= 4; ++id)
        view.Put(id, "{\"id\":" + std::to_string(id) + "}", "{\"gone\":" + std::to_string(id) + "}\n");
    EXPECT_EQ(view.Shown(), "[{\"id\":1},{\"id\":2}]");
    view.TakeChanges();
    view.Put(3, "{\"id\":3,\"v\":2}", "{\"gone\":3}\n");
    EXPECT_FALSE(view.Changed()) << "a change outside the view costs nothing";
    EXPECT_EQ(view.Line(3), "{\"type\":\"row\",\"id\":3,\"v\":2}\n") << "its line is there when asked";
    view.Remove(1);
    EXPECT_EQ(view.TakeChanges(), "{\"gone\":1}\n{\"type\":\"row\",\"id\":4}\n");
}

} // namespace
