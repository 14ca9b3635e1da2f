// Both sides of the protocol against each other: every request the game
// encodes is read back by the server's decoder as what was meant, and every
// message the server encodes is read by the game's decoder and written again
// to the same bytes.
#include "protocol/Protocol.h"
#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"
#include "rules/RuleBits.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

using TRequestKind = TLobbyRequest::TKind;
using TKind = TServerMessage::TKind;

TGameRules SomeRules() {
    TGameRules rules;
    rules.Same = true;
    rules.Elemental = true;
    rules.SuddenDeath = true;
    return rules;
}

std::string Chomp(const QByteArray& line) {
    EXPECT_TRUE(line.endsWith('\n')) << line.toStdString();
    return line.chopped(1).toStdString();
}

TEST(Protocol, EveryRequestDecodesAsEncoded) {
    const int32_t bits = RuleBitsOf(SomeRules());
    struct TCase {
        QByteArray Line;
        std::function<bool(const TLobbyRequest&)> Means;
    };
    const TCase cases[] = {
        {Requests::Hello(),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Hello && r.Program == Protocol::ProgramName &&
                    r.Version == Protocol::Version;
         }},
        {Requests::Login("ann_1"),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Login && r.Name == "ann_1"; }},
        {Requests::Create(SomeRules(), 30, true),
         [&](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::CreateTable && r.Rules == bits && r.MoveSeconds == 30 && r.Rated;
         }},
        {Requests::Create(TGameRules(), 0),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::CreateTable && r.Rules == 0 && r.MoveSeconds == 0 && !r.Rated;
         }},
        {Requests::PlayNow(SomeRules(), 60),
         [&](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::PlayNow && r.Rules == bits && r.MoveSeconds == 60 && r.Rated;
         }},
        {Requests::Sit(Protocol::MaxId, 0),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Sit && r.Table == Protocol::MaxId && r.Seat == 0;
         }},
        {Requests::Sit(7),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Sit && r.Table == 7 && r.Seat == -1; }},
        {Requests::Watch(9),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Watch && r.Table == 9; }},
        {Requests::Leave(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Leave; }},
        {Requests::Chat(QString::fromUtf8("hi \xf0\x9f\x99\x82")),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Chat && r.Text == "hi \xf0\x9f\x99\x82";
         }},
        {Requests::Move(4, 2, 1),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Move && r.Move == TPlacementMove{4, 2, 1};
         }},
        {Requests::Ping(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Ping; }},
        {Requests::Leaderboard(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Leaderboard; }},
        {Requests::Profile("Bob-2"),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Profile && r.Name == "Bob-2"; }},
        {Requests::Record(12345),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Record && r.Match == 12345; }},
        {Requests::State(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::State; }},
        {Requests::Block("Bob", false),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Block && r.Name == "Bob" && !r.On; }},
        {Requests::Follow("Bob", true),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Follow && r.Name == "Bob" && r.On; }},
        {Requests::Report("Bob", "spam", "ads"),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Report && r.Name == "Bob" && r.Reason == "spam" &&
                    r.Text == "ads";
         }},
        {Requests::Relations(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Relations; }},
        {Requests::Moderate({"ban_address", "", 90, 0, "203.0.113.0/24", "bots"}),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Moderate && r.Reason == "ban_address" && r.Minutes == 90 &&
                    r.Target == "203.0.113.0/24" && r.Text == "bots";
         }},
        {Requests::Moderate({"lift", "", 0, Protocol::MaxId, "", ""}),
         [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Moderate && r.Id == Protocol::MaxId; }},
        {Requests::Resign(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Resign; }},
        {Requests::Rematch(), [](const TLobbyRequest& r) { return r.Kind == TRequestKind::Rematch; }},
        // Repeats are dropped, the order kept.
        {Requests::PlayNow({bits, 0, bits}, {30, 0, 30}),
         [&](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::PlayNow && r.AcceptedRules == std::vector<int32_t>{bits, 0} &&
                    r.AcceptedSeconds == std::vector<int32_t>{30, 0} && r.Rules == bits &&
                    r.MoveSeconds == 30;
         }},
        {Requests::Challenge("Bob-2", SomeRules(), 0, true),
         [&](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Challenge && r.Name == "Bob-2" && r.Rules == bits &&
                    r.MoveSeconds == 0 && r.Rated;
         }},
        {Requests::Answer(77, true),
         [](const TLobbyRequest& r) {
             return r.Kind == TRequestKind::Answer && r.Challenge == 77 && r.Accept;
         }},
    };
    constexpr int Kinds = int(TRequestKind::Answer) + 1;
    bool seen[Kinds] = {};
    for (const TCase& test : cases) {
        const Requests::TDecoded decoded = Requests::Decode(Chomp(test.Line));
        ASSERT_TRUE(decoded.Ok) << test.Line.toStdString() << ": " << decoded.Error;
        EXPECT_TRUE(test.Means(decoded.Request)) << test.Line.toStdString();
        seen[int(decoded.Request.Kind)] = true;
    }
    for (int kind = 0; kind < Kinds; ++kind) EXPECT_TRUE(seen[kind]) << "no request of kind " << kind;
}

TEST(Protocol, APlayNowListBeyondItsBoundsIsRefused) {
    std::vector<int32_t> everyRuleSet;
    for (int32_t bits = 0; bits <= RuleAllBits; ++bits) everyRuleSet.push_back(bits);
    EXPECT_TRUE(Requests::Decode(Chomp(Requests::PlayNow(everyRuleSet, {30, 60, 0}))).Ok);
    everyRuleSet.push_back(0);
    EXPECT_FALSE(Requests::Decode(Chomp(Requests::PlayNow(everyRuleSet, {30}))).Ok) << "33 entries";
    EXPECT_FALSE(Requests::Decode(Chomp(Requests::PlayNow({0}, {30, 60, 0, 30}))).Ok) << "4 times";
    const std::vector<int32_t> none, open{0};
    EXPECT_FALSE(Requests::Decode(Chomp(Requests::PlayNow(none, {30}))).Ok) << "no rule set";
    EXPECT_FALSE(Requests::Decode(Chomp(Requests::PlayNow(open, none))).Ok) << "no time";
    EXPECT_FALSE(Requests::Decode(Chomp(Requests::PlayNow(open, {45}))).Ok) << "no such time";
}

TServerMatchState SomeMatch() {
    TServerMatchState match;
    match.Table = 3;
    match.Match = 17;
    match.Seed = Protocol::MaxId - 1;
    match.Rules = SomeRules();
    match.Seconds = 30;
    match.First = 0;
    match.Seats = {"ann", "bob"};
    match.You = 1;
    match.Moves = {{4, 0, 0}, {3, 2, 1}};
    match.Away = {false, true};
    match.Rated = true;
    match.AwaySeconds = 15;
    return match;
}

TServerMessage MessageOf(TKind kind) {
    TServerMessage message;
    message.Kind = kind;
    switch (kind) {
    case TKind::SignedIn:
        message.Text = "Be kind.";
        message.Moderator = true;
        [[fallthrough]];
    case TKind::PlayerGone:
        message.Name = "ann";
        break;
    case TKind::Lobby:
        message.Players = {{"ann", 0, -1, 1500, 350}, {"bob", 3, 1, 1720, 80}};
        message.Tables = {{3, SomeRules(), 0, {"", "bob"}, 2, false, true}};
        break;
    case TKind::Player:
        message.Player = {"bob", 3, 0, 1499, 12};
        break;
    case TKind::Table:
        message.TableInfo = {5, SomeRules(), 60, {"ann", "bob"}, 0, true, false};
        break;
    case TKind::TableGone:
        message.Table = 5;
        break;
    case TKind::MoveRefused:
        message.Text = "Not your turn.";
        [[fallthrough]];
    case TKind::Match:
        message.Match = SomeMatch();
        message.ClockMs = 29'500;
        break;
    case TKind::Moved:
        message.Table = 3;
        message.Index = int32_t(Protocol::MaxMoves) - 1;
        message.Seat = 1;
        message.Move = {2, 1, 0};
        message.ClockMs = 60'000;
        break;
    case TKind::Away:
        message.Table = 3;
        message.Seat = 0;
        message.Seconds = 42;
        break;
    case TKind::Back:
        message.Table = 3;
        message.Seat = 1;
        break;
    case TKind::Ended:
        message.Table = 3;
        message.How = "finished";
        message.Winner = 1;
        message.Score = {4, 6};
        message.Ratings = std::array<TRatingChange, 2>{TRatingChange{1500, 1480}, TRatingChange{1500, 1520}};
        break;
    case TKind::Chat:
        message.From = "bob";
        message.Text = "gg";
        message.Table = 3;
        break;
    case TKind::Refused:
    case TKind::Bye:
        message.Text = "You signed in from elsewhere.";
        break;
    case TKind::Pong:
        break;
    case TKind::Leaderboard:
        message.Leaders = {{"ann", 1800, 60, 40}, {"bob", -20, 350, 10}};
        break;
    case TKind::Profile: {
        TPlayerProfile& profile = message.Profile;
        profile = {"ann", 1612, 75, 0.0625, 31, {{1000, 1500}, {2000, 1612}}, {}};
        TProfileMatch played;
        played.Match = 8;
        played.StartedMs = 1000;
        played.EndedMs = 2000;
        played.Opponent = "bob";
        played.Seat = 1;
        played.Rules = SomeRules();
        played.Seconds = 0;
        played.How = "time";
        played.Winner = 0;
        played.Score = {5, 5};
        played.Rated = true;
        played.Change = -12;
        profile.Recent = {played};
        break;
    }
    case TKind::Record:
        message.Record = {8, R"({"format":"vantaro-match","seed":12})"};
        break;
    case TKind::Notice:
        message.Text = "You follow bob.";
        break;
    case TKind::Relations:
        message.Follows = {{"bob", true, 3, 1}, {"cid", false, 0, -1}};
        message.Blocks = {"dan"};
        break;
    case TKind::Moderation:
        message.Reports = {
            {4, "ann", "dan", "spam", "ads", {"in the lobby: buy", "at table 3: now"}, 9, 1000}};
        message.Sanctions = {{2, "ban address", "203.0.113.0/24", "bots", "ann", 0}};
        break;
    case TKind::Rematch:
        message.Table = 3;
        message.Seat = 1;
        message.Asks = false;
        break;
    case TKind::Waiting:
        message.AcceptedRules = {TGameRules(), SomeRules()};
        message.AcceptedSeconds = {60, 0};
        break;
    case TKind::Challenge:
        message.Offer = {Protocol::MaxId, "ann", "bob", SomeRules(), 30, true};
        break;
    case TKind::ChallengeOver:
        message.Offer.Id = 4;
        message.Text = "bob declined your challenge.";
        break;
    }
    return message;
}

TEST(Protocol, EveryServerMessageDecodesToWhatWasEncoded) {
    for (int kind = 0; kind <= int(TKind::ChallengeOver); ++kind) {
        const QByteArray line = ServerMessages::Encode(MessageOf(TKind(kind)));
        const ServerMessages::TDecoded decoded = ServerMessages::Decode(line.chopped(1));
        ASSERT_TRUE(decoded.Ok) << line.toStdString() << ": " << decoded.Error.toStdString();
        EXPECT_EQ(int(decoded.Message.Kind), kind) << line.toStdString();
        // Written again from what was read: nothing was lost or changed.
        EXPECT_EQ(ServerMessages::Encode(decoded.Message), line);
    }
}

TEST(Protocol, TheHellosNameEachSide) {
    const ServerMessages::THello server = ServerMessages::ReadHello(ServerMessages::Hello());
    EXPECT_TRUE(server.IsHello);
    EXPECT_EQ(server.Program, QLatin1String(Protocol::ServerProgramName));
    EXPECT_EQ(server.Version, Protocol::Version);
}

} // namespace
