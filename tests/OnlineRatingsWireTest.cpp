// What the client makes of a server's ratings, leaderboard, profiles and
// match records, the requests it sends for them, and how it words them.
#include "app/RatingChart.h"
#include "net/LobbyModel.h"
#include "net/ServerCodec.h"
#include "records/RecordJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using TServerKind = TServerMessage::TKind;

const QByteArray RulesField =
    R"("rules":{"same":true,"same_wall":false,"plus":false,"elemental":false,"sudden_death":false})";

QByteArray RecentMatch(const QByteArray& tail = R"("rated":true,"change":-12)") {
    return R"({"match":7,"started":1765206391000,"ended":1765206491000,"opponent":"bob_2","seat":1,)" +
           RulesField + R"(,"seconds":30,"how":"time","winner":0,"score":[3,2],)" + tail + "}";
}

QByteArray ProfileLine(const QByteArray& history = "[[1765206491000,1488]]",
                       const QByteArray& recent = RecentMatch()) {
    return R"({"type":"profile","name":"Ann","rating":1488,"deviation":290,"volatility":0.06,"matches":1,"history":)" +
           history + R"(,"recent":[)" + recent + "]}";
}

QByteArray Repeated(const QByteArray& entry, size_t count) {
    QByteArray list = "[";
    for (size_t i = 0; i < count; ++i) list += (i ? "," : "") + entry;
    return list + "]";
}

TServerMessage DecodedLine(const QByteArray& line) {
    const ServerCodec::TDecoded decoded = ServerCodec::Decode(line);
    EXPECT_TRUE(decoded.Ok) << line.toStdString() << ": " << decoded.Error.toStdString();
    return decoded.Message;
}

} // namespace

TEST(OnlineRatingsWire, RatingsLeaderboardProfileAndRecordDecode) {
    const TServerMessage lobby = DecodedLine(
        R"({"type":"lobby","players":[{"name":"Ann","table":0,"seat":-1,"rating":1612,)"
        R"("deviation":61},{"name":"Old","table":0,"seat":-1}],"tables":[{"table":4,)" +
        RulesField + R"(,"seconds":60,"seats":["Ann",""],"watchers":0,"playing":false,"rated":true}]})");
    ASSERT_EQ(lobby.Players.size(), 2u);
    EXPECT_EQ(lobby.Players[0].Rating, 1612);
    EXPECT_EQ(lobby.Players[0].Deviation, 61);
    EXPECT_EQ(lobby.Players[1].Rating, 1500) << "a server without ratings: everyone as new";
    EXPECT_EQ(lobby.Players[1].Deviation, 350);
    EXPECT_TRUE(lobby.Tables[0].Rated);

    const TServerMessage ended = DecodedLine(
        R"({"type":"ended","table":4,"how":"finished","winner":1,"score":[4,6],"ratings":[[1512,1497],[1490,1505]]})");
    ASSERT_TRUE(ended.Ratings.has_value());
    EXPECT_EQ((*ended.Ratings)[0].After, 1497);
    EXPECT_EQ((*ended.Ratings)[1].Before, 1490);
    EXPECT_FALSE(
        DecodedLine(R"({"type":"ended","table":4,"how":"finished","winner":1,"score":[4,6]})").Ratings)
        << "a casual match moves no rating";

    const TServerMessage leaders = DecodedLine(
        R"({"type":"leaderboard","players":[{"name":"Ann","rating":1612,"deviation":61,"matches":40}]})");
    EXPECT_EQ(leaders.Kind, TServerKind::Leaderboard);
    ASSERT_EQ(leaders.Leaders.size(), 1u);
    EXPECT_EQ(leaders.Leaders[0].Matches, 40);

    const TServerMessage profile =
        DecodedLine(ProfileLine("[[1765206491000,1488],[1765206591000,1503]]",
                                RecentMatch() + "," + RecentMatch(R"("rated":false)")));
    EXPECT_EQ(profile.Profile.Name, "Ann");
    EXPECT_DOUBLE_EQ(profile.Profile.Volatility, 0.06);
    ASSERT_EQ(profile.Profile.History.size(), 2u);
    EXPECT_EQ(profile.Profile.History[1].Rating, 1503);
    ASSERT_EQ(profile.Profile.Recent.size(), 2u);
    const TProfileMatch& recent = profile.Profile.Recent[0];
    EXPECT_EQ(recent.Match, 7);
    EXPECT_EQ(recent.Opponent, "bob_2");
    EXPECT_EQ(recent.Change.value_or(0), -12);
    EXPECT_FALSE(profile.Profile.Recent[1].Change);
    EXPECT_EQ(recent.How, "time");
    EXPECT_FALSE(profile.Profile.Recent[1].Rated);

    // A record comes through as the server wrote it and reads as a record file does.
    TMatchRecord written;
    written.Players[0] = "Ann";
    written.Players[1] = "bob_2";
    written.Mode = TMatchMode::Server;
    written.Rated = true;
    written.Moves = {{4, 1, 1}};
    written.Ending = TMatchEnding::Abandoned;
    const TServerMessage record =
        DecodedLine(R"({"type":"record","match":7,"record":)" + WriteRecordJson(written).trimmed() + "}");
    EXPECT_EQ(record.Record.Match, 7);
    const TRecordReading reading = ReadRecordJson(record.Record.Json, "the server");
    ASSERT_TRUE(reading.Record) << reading.Problem;
    EXPECT_EQ(*reading.Record, written);
}

TEST(OnlineRatingsWire, AnythingOutOfBoundsIsRefusedWhole) {
    const QByteArray cases[] = {
        R"({"type":"player","name":"ann","table":0,"seat":-1,"rating":"1500"})",
        R"({"type":"player","name":"ann","table":0,"seat":-1,"rating":1500,"deviation":351})",
        R"({"type":"player","name":"ann","table":0,"seat":-1,"rating":10001})",
        R"({"type":"player","name":"ann","table":0,"seat":-1,"rating":1500.5})",
        R"({"type":"table","table":3,)" + RulesField +
            R"(,"seconds":60,"seats":["",""],"watchers":0,"playing":false,"rated":1})",
        R"({"type":"ended","table":3,"how":"finished","winner":0,"score":[6,4],"ratings":[[1512,1527]]})",
        R"({"type":"ended","table":3,"how":"finished","winner":0,"score":[6,4],"ratings":[[1512,1527],[1490]]})",
        R"({"type":"ended","table":3,"how":"finished","winner":0,"score":[6,4],"ratings":null})",
        R"({"type":"leaderboard","players":[{"name":"a b","rating":1500,"deviation":50,"matches":10}]})",
        R"({"type":"leaderboard","players":[{"name":"ann","rating":1500,"deviation":50,"matches":-1}]})",
        R"({"type":"leaderboard"})",
        R"({"type":"leaderboard","players":)" +
            Repeated(R"({"name":"ann","rating":1500,"deviation":50,"matches":10})",
                     ServerCodec::MaxLeaders + 1) +
            "}",
        ProfileLine("[[1765206491000,1488,1]]"),
        ProfileLine("[[-1,1488]]"),
        ProfileLine(Repeated("[1,1500]", ServerCodec::MaxHistory + 1)),
        ProfileLine("[]", RecentMatch(R"("rated":true,"change":"+5")")),
        ProfileLine("[]",
                    RecentMatch(R"("rated":true,"change":5,"x":0)").replace(R"("seat":1)", R"("seat":2)")),
        ProfileLine("[]", RecentMatch().replace(R"("opponent":"bob_2")", R"("opponent":"")")),
        ProfileLine("[]", Repeated(RecentMatch(), ServerCodec::MaxRecent + 1).mid(1).chopped(1)),
        ProfileLine().replace(R"("volatility":0.06)", R"("volatility":"0.06")"),
        ProfileLine().replace(R"("volatility":0.06)", R"("volatility":-0.5)"),
        R"({"type":"record","match":7,"record":"{}"})",
        R"({"type":"record","match":0,"record":{}})",
        R"({"type":"record","record":{}})",
    };
    for (const QByteArray& line : cases) EXPECT_FALSE(ServerCodec::Decode(line).Ok) << line.toStdString();
    // Exactly at the promised bounds is fine.
    EXPECT_TRUE(ServerCodec::Decode(ProfileLine(Repeated("[1,1500]", ServerCodec::MaxHistory))).Ok);
    // A line as long as a profile or record can be is taken; a longer one is not.
    const QByteArray pad = R"({"type":"pong","pad":")";
    EXPECT_TRUE(
        ServerCodec::Decode(pad + QByteArray(ServerCodec::MaxLineBytes - pad.size() - 2, 'x') + "\"}").Ok);
    EXPECT_FALSE(
        ServerCodec::Decode(pad + QByteArray(ServerCodec::MaxLineBytes - pad.size() - 1, 'x') + "\"}").Ok);
}

TEST(OnlineRatingsWire, RatingsAndResultsAreWordedFromThePlayersSide) {
    EXPECT_EQ(TLobbyModel::RatingChangeText({1512, 1527}), QString::fromUtf8("1512 → 1527 (+15)"));
    EXPECT_EQ(TLobbyModel::RatingChangeText({1512, 1500}), QString::fromUtf8("1512 → 1500 (−12)"));
    EXPECT_EQ(TLobbyModel::RatingChangeText({1500, 1500}), QString::fromUtf8("1500 → 1500 (±0)"));
    EXPECT_EQ(TLobbyModel::RatingText(1612, 61), QString::fromUtf8("1612 ± 61"));
    const struct {
        int32_t Seat, Winner, Red, Blue;
        const char* How;
        const char* Text;
    } results[] = {
        {0, 0, 6, 4, "finished", "Won 6–4"},     {1, 0, 6, 4, "finished", "Lost 4–6"},
        {1, 1, 2, 3, "time", "Won 3–2 (time)"},  {0, -1, 5, 5, "finished", "Draw 5–5"},
        {0, -1, 5, 5, "abandoned", "Abandoned"}, {1, 0, 4, 4, "forfeit", "Lost 4–4 (forfeit)"},
    };
    for (const auto& r : results) {
        TProfileMatch match;
        match.Seat = r.Seat;
        match.Winner = r.Winner;
        match.Score = {r.Red, r.Blue};
        match.How = r.How;
        EXPECT_EQ(TLobbyModel::ResultText(match), QString::fromUtf8(r.Text));
    }
    // The chart spans whole fifties around the ratings, at least a hundred wide.
    const struct {
        std::vector<int32_t> Ratings;
        int32_t Low, High;
    } spans[] = {
        {{}, 1450, 1550},           {{1500}, 1450, 1550},       {{1512}, 1500, 1600},
        {{1512, 1537}, 1500, 1600}, {{1380, 1720}, 1350, 1750}, {{-20, 10}, -50, 50},
    };
    for (const auto& s : spans)
        EXPECT_EQ(TRatingChart::Span(s.Ratings), std::make_pair(s.Low, s.High)) << s.Ratings.size();
}
