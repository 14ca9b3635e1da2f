// The moderators' tools apart from the lobby: address ranges, times, and the
// administration command against a real SQLite database.
#include "server/Moderation.h"
#include "server/AddressRange.h"
#include "server/AdminCommand.h"
#include "server/ChatBacklog.h"
#include "server/SqlStorage.h"

#include <QTemporaryDir>

#include <random>

#include <gtest/gtest.h>

namespace {

TEST(AddressRange, PrefixesOfBothFamiliesMatchWhatTheyCover) {
    const struct {
        const char* Range;
        const char* Text; // nullptr: refused
        std::vector<std::pair<const char*, bool>> Addresses;
    } cases[] = {
        {"203.0.113.77/24",
         "203.0.113.0/24",
         {{"203.0.113.5", true}, {"203.0.114.5", false}, {"::ffff:203.0.113.9", true}}},
        {"198.51.100.7", "198.51.100.7/32", {{"198.51.100.7", true}, {"198.51.100.8", false}}},
        {"0.0.0.0/0", "0.0.0.0/0", {{"8.8.8.8", true}, {"2001:db8::1", false}}},
        {"2001:db8:aa::/48",
         "2001:db8:aa::/48",
         {{"2001:db8:aa:1::9", true}, {"2001:db8:ab::1", false}, {"10.0.0.1", false}}},
        {"2001:db8::1:2:3:4/65",
         "2001:db8::/65",
         {{"2001:db8::7fff:0:0:1", true}, {"2001:db8::8000:0:0:1", false}}},
        {"10.0.0.0/33", nullptr, {}},
        {"2001:db8::/129", nullptr, {}},
        {"10.0.0.0/", nullptr, {}},
        {"10.0.0.0/8x", nullptr, {}},
        {"example.org/8", nullptr, {}},
        {"", nullptr, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Range);
        std::optional<TAddressRange> range = TAddressRange::Parse(c.Range);
        ASSERT_EQ(range.has_value(), c.Text != nullptr);
        if (!range) continue;
        EXPECT_EQ(range->Text(), c.Text);
        for (const auto& [address, inside] : c.Addresses)
            EXPECT_EQ(range->Contains(address), inside) << address;
        EXPECT_FALSE(range->Contains("not an address"));
    }
}

TEST(Moderation, TimesAndWhatAPlayerIsTold) {
    EXPECT_EQ(TModeration::Duration("30m"), 30 * 60'000);
    EXPECT_EQ(TModeration::Duration("12h"), 12 * 3'600'000);
    EXPECT_EQ(TModeration::Duration("7d"), 7 * 86'400'000LL);
    EXPECT_EQ(TModeration::Duration("forever"), 0);
    for (const char* bad : {"", "m", "0m", "-5m", "5", "5w", "5mm", "100001d"})
        EXPECT_FALSE(TModeration::Duration(bad)) << bad;
    using TKind = TCommunityStorage::TSanctionKind;
    EXPECT_EQ(TModeration::Telling({1, TKind::Mute, "Bob", 2, "spam", "Mod", 0, 90'000}, 30'000),
              "You are muted for 1 more minute: spam.");
    EXPECT_EQ(TModeration::Telling({1, TKind::Ban, "Bob", 2, "", "Mod", 0, 3 * 3'600'000}, 0),
              "You are banned from this server for 3 more hours.");
    EXPECT_EQ(TModeration::Telling({1, TKind::AddressBan, "10.0.0.0/8", 0, "bots", "Mod", 0, 0}, 0),
              "You are banned from this server for good: bots.");
}

// Against a plain list of everything said and removed: the backlog is always
// the newest lines still there that fit both bounds, and counts its bytes right.
TEST(ChatBacklog, KeepsTheNewestLinesThatFitAndRemovesOnlyWhatWasSaidBefore) {
    std::mt19937 random(26);
    TChatBacklog backlog(5, 100);
    std::vector<TChatBacklog::TLine> said; // everything, removals applied
    for (int64_t step = 1; step <= 2000; ++step) {
        const std::string who = std::string(1, char('a' + random() % 3));
        if (random() % 6 == 0) {
            const int64_t until = step - int64_t(random() % 4);
            std::erase_if(said, [&](const auto& line) { return line.NameKey == who && line.AtMs <= until; });
            backlog.Remove(who, until);
        } else {
            TChatBacklog::TLine line{1, who, step, std::string(random() % 110, 'x') + '\n'};
            const bool fits = line.Encoded.size() <= 100;
            if (fits) said.push_back(line);
            backlog.Add(line);
            if (fits) {
                ASSERT_EQ(backlog.Lines().back().AtMs, step) << "the newest line is always kept";
            }
        }
        size_t bytes = 0;
        for (const auto& line : backlog.Lines()) bytes += line.Encoded.size();
        ASSERT_EQ(backlog.Bytes(), bytes);
        ASSERT_LE(backlog.Lines().size(), 5u);
        ASSERT_LE(bytes, 100u);
        // Each kept line is among the newest still said, in order, none skipped.
        ASSERT_LE(backlog.Lines().size(), said.size());
        const size_t first = said.size() - backlog.Lines().size();
        for (size_t i = 0; i < backlog.Lines().size(); ++i)
            ASSERT_EQ(backlog.Lines()[i].AtMs, said[first + i].AtMs) << "step " << step;
    }
}

// The command's words, what it says and its exit code, in order against one
// database: refusals say why and change nothing.
TEST(AdminCommand, EachCommandActsOrSaysWhyNot) {
    QTemporaryDir folder;
    std::string error;
    auto storage = TSqlStorage::Open(folder.filePath("v.sqlite").toStdString(), "", error);
    ASSERT_TRUE(storage) << error;
    const int64_t bob = storage->BindName("Bob", std::string(64, 'a'), 1).PlayerId;
    std::vector<std::string> said;
    AdminCommand::TContext context{*storage,   *storage,
                                   {"Ann"},    "admin (root)",
                                   86'400'000, [&](const std::string& line) { said.push_back(line); }};
    const struct {
        std::vector<std::string> Words;
        int Code;
        std::vector<std::string> Said;
    } steps[] = {
        {{"grant", "bob"}, 0, {"Bob is a moderator"}},
        {{"moderators"}, 0, {"Ann (settings file)", "Bob (granted)"}},
        {{"revoke", "Bob"}, 0, {"Bob is no longer a moderator granted here"}},
        {{"grant", "Nobody"}, 1, {"no player is named Nobody"}},
        {{"mute", "Bob", "forever", "spam"}, 2, {"'forever' is not a time: write 30m, 12h, 7d"}},
        {{"mute", "Bob", "2h", "spam", "in", "the", "lobby"}, 0, {"#1 mute Bob until 1970-01-02 02:00 UTC"}},
        {{"ban-certificate", "AB:" + std::string(62, 'C'), "forever", "x"},
         0,
         {"#2 ban certificate ab" + std::string(62, 'c') + " for good"}},
        {{"ban-certificate", "AB:CD", "forever", "x"},
         2,
         {"'AB:CD' is not a certificate's fingerprint (64 hex digits)"}},
        {{"ban-address", "192.0.2.99/24", "1d", "bots"},
         0,
         {"#3 ban address 192.0.2.0/24 until 1970-01-03 00:00 UTC"}},
        {{"ban-address", "192.0.2.0/40", "1d", "bots"},
         2,
         {"'192.0.2.0/40' is not an address or range (203.0.113.0/24, 2001:db8::/32)"}},
        {{"ban", "Bob"}, 2, {"wrong number of words for 'ban'; see vantaro-server admin help"}},
        {{"lift", "#2", "appeal", "granted"}, 0, {"#2 lifted"}},
        {{"lift", "2"}, 1, {"no sanction #2 is in force"}},
        {{"lift", "two"}, 2, {"'two' is not a sanction's number"}},
        {{"sanctions"},
         0,
         {"#1 mute Bob until 1970-01-02 02:00 UTC by admin (root): spam in the lobby",
          "#3 ban address 192.0.2.0/24 until 1970-01-03 00:00 UTC by admin (root): bots"}},
        {{"close-report", "1", "nothing"}, 1, {"no open report #1"}},
        {{"log", "2"},
         0,
         {"1970-01-02 00:00 UTC admin (root): ban address 192.0.2.0/24 #3 — bots",
          "1970-01-02 00:00 UTC admin (root): lift ban certificate ab" + std::string(62, 'c') +
              " #2 — appeal granted"}},
        {{"unban"}, 2, {"unknown command 'unban'; see vantaro-server admin help"}},
        {{"remove-chat", "Nobody", "spam"}, 1, {"no player is named Nobody"}},
        {{"remove-chat", "bob", "--reason"}, 2, {"say why: remove-chat NAME --reason REASON"}},
    };
    for (const auto& step : steps) {
        said.clear();
        EXPECT_EQ(AdminCommand::Run(step.Words, context), step.Code) << step.Words[0];
        EXPECT_EQ(said, step.Said) << step.Words[0];
    }
    TCommunityStorage::TReport report{0, bob, bob, "", "", "cheating", "", "Bob: line one\nBob: line two",
                                      0, 5};
    ASSERT_GT(storage->AddReport(report), 0);
    said.clear();
    EXPECT_EQ(AdminCommand::Run({"reports"}, context), 0);
    EXPECT_EQ(said, (std::vector<std::string>{"#1 1970-01-01 00:00 UTC Bob reports Bob: cheating",
                                              "    Bob: line one", "    Bob: line two"}));
    EXPECT_EQ(AdminCommand::Run({"close-report", "#1", "no", "cheating", "seen"}, context), 0);
    EXPECT_TRUE(storage->OpenReports(10)->empty());
}

} // namespace
