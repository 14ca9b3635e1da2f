// What the client makes of a game server's messages, the lobby it keeps
// from them, the servers it trusts and the identity it shows.
#include "net/LobbyModel.h"
#include "net/PlayerIdentity.h"
#include "net/ServerCodec.h"
#include "net/ServerTrust.h"
#include "protocol/PeerText.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TServerKind = TServerMessage::TKind;

const char* const Rules =
    R"("rules":{"same":true,"same_wall":false,"plus":true,"elemental":false,"sudden_death":false})";

QByteArray MatchLine(const char* moves, const char* extra = "") {
    return QByteArray(R"({"type":"match","table":3,"match":9,"seed":123456789,)") + Rules +
           R"(,"seconds":30,"first":1,"seats":["ann","bob_2"],"you":0,"moves":)" + moves +
           R"(,"away":[false,true])" + extra + "}";
}

TServerMessage Decoded(const QByteArray& line) {
    const ServerCodec::TDecoded decoded = ServerCodec::Decode(line);
    EXPECT_TRUE(decoded.Ok) << line.toStdString() << ": " << decoded.Error.toStdString();
    return decoded.Message;
}

} // namespace

TEST(OnlineWire, EveryKindDecodesWithItsFields) {
    TServerMessage match = Decoded(MatchLine("[[0,1,2],[4,0,0]]"));
    EXPECT_EQ(match.Kind, TServerKind::Match);
    EXPECT_EQ(match.Match.Seed, 123456789);
    EXPECT_TRUE(match.Match.Rules.Same && match.Match.Rules.Plus && !match.Match.Rules.Elemental);
    EXPECT_EQ(match.Match.Seconds, 30);
    EXPECT_EQ(match.Match.Seats[1], "bob_2");
    ASSERT_EQ(match.Match.Moves.size(), 2u);
    EXPECT_EQ(match.Match.Moves[0].Slot, 0);
    EXPECT_EQ(match.Match.Moves[0].Y, 2);
    EXPECT_TRUE(match.Match.Away[1]);

    TServerMessage moved = Decoded(R"({"type":"moved","table":3,"index":4,"seat":1,"slot":2,"x":1,"y":0})");
    EXPECT_EQ(moved.Index, 4);
    EXPECT_EQ(moved.Move.Slot, 2);
    TServerMessage ended = Decoded(R"({"type":"ended","table":3,"how":"time","winner":0,"score":[0,0]})");
    EXPECT_EQ(ended.How, "time");
    EXPECT_EQ(ended.Winner, 0);
    TServerMessage lobby =
        Decoded(QByteArray(R"({"type":"lobby","players":[{"name":"ann","table":3,"seat":0}],)") +
                R"("tables":[{"table":3,)" + Rules +
                R"(,"seconds":0,"seats":["ann",""],"watchers":2,"playing":false}]})");
    ASSERT_EQ(lobby.Tables.size(), 1u);
    EXPECT_EQ(lobby.Tables[0].Seconds, 0);
    EXPECT_TRUE(lobby.Tables[0].Seats[1].isEmpty());
    TServerMessage chat = Decoded(R"({"type":"chat","from":"ann","text":"hi"})");
    EXPECT_EQ(chat.Table, 0) << "no table: lobby chat";
    TServerMessage refused = Decoded(MatchLine("[]", R"(,"type":"move_refused","reason":"Not your turn.")"));
    EXPECT_EQ(refused.Kind, TServerKind::MoveRefused);
    EXPECT_EQ(refused.Text, "Not your turn.");
}

TEST(OnlineWire, AnythingMisshapenIsRefusedWhole) {
    const QByteArray cases[] = {
        "not json",
        R"(["type","pong"])",
        R"({"type":"launch"})",
        R"({"type":"signed_in","name":"a b c"})", // not a player name
        R"({"type":"signed_in","name":"ab"})",    // too short
        R"({"type":"player","name":"ann","table":-1,"seat":0})",
        R"({"type":"player","name":"ann","table":1,"seat":2})",
        R"({"type":"moved","table":3,"index":0,"seat":1,"slot":5,"x":0,"y":0})",
        R"({"type":"moved","table":3,"index":0,"seat":1,"slot":1,"x":0,"y":3})",
        R"({"type":"moved","table":3,"index":0.5,"seat":1,"slot":1,"x":0,"y":0})",
        R"({"type":"moved","table":3,"index":576,"seat":1,"slot":1,"x":0,"y":0})", // past the last deal
        R"({"type":"moved","table":3,"index":0,"seat":1,"slot":"1","x":0,"y":0})",
        R"({"type":"ended","table":3,"how":"finished","winner":0,"score":[11,0]})",
        R"({"type":"ended","table":3,"how":"finished","winner":0,"score":[5]})",
        R"({"type":"table","table":3,"rules":{"same":true},"seconds":60,"seats":["",""],"watchers":0,"playing":false})",
        R"({"type":"away","table":3,"seat":0,"seconds":100000})",
        R"({"type":"chat","from":"ann"})",
    };
    for (const QByteArray& line : cases) EXPECT_FALSE(ServerCodec::Decode(line).Ok) << line.toStdString();
    EXPECT_FALSE(ServerCodec::Decode(MatchLine("[[0,1,2,3]]")).Ok) << "a move of four numbers";
    EXPECT_FALSE(ServerCodec::Decode(MatchLine("[[0,1,2]]").replace("\"seconds\":30", "\"seconds\":45")).Ok);
    // More moves than a match can have.
    QByteArray many = "[";
    for (size_t i = 0; i <= ServerCodec::MaxMoves; ++i) many += i ? ",[0,0,0]" : "[0,0,0]";
    EXPECT_FALSE(ServerCodec::Decode(MatchLine(many + "]")).Ok);
    EXPECT_FALSE(ServerCodec::Decode(QByteArray(ServerCodec::MaxLineBytes + 1, ' ')).Ok);
}

TEST(OnlineWire, TextFromOtherPlayersIsOnePlainBoundedLine) {
    const QString hostile = QString::fromUtf8("a\nb\u202Ec\u2066d\u0007e\u200Df");
    TServerMessage chat = Decoded(QByteArray(R"({"type":"chat","from":"ann","table":2,"text":")") +
                                  R"(a\nb\u202ec\u2066d\u0007e\u200df"})");
    EXPECT_EQ(chat.Text, QString::fromUtf8("a\u21B5b c d e\u200Df"))
        << "joiners stay, the rest cannot move text";
    EXPECT_EQ(chat.Text, PeerText::Readable(hostile));
    const QString longText(2000, QLatin1Char('x'));
    const QString cut = PeerText::Readable(longText, ServerCodec::MaxChatCharacters);
    EXPECT_EQ(cut.size(), ServerCodec::MaxChatCharacters + 1);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
    // A pair of surrogates is one character and is never split by the cut.
    EXPECT_EQ(PeerText::Readable(QString::fromUtf8("\U0001F600\U0001F600"), 1),
              QString::fromUtf8("\U0001F600\u2026"));
}

TEST(OnlineWire, LobbyFollowsTheServersMessages) {
    TLobbyModel model;
    const auto apply = [&](const QByteArray& line) { return model.Apply(Decoded(line)); };
    EXPECT_FALSE(apply(R"({"type":"signed_in","name":"Ann"})"));
    EXPECT_EQ(model.SignedInAs, "Ann");
    EXPECT_TRUE(apply(QByteArray(R"({"type":"lobby","players":[{"name":"Ann","table":0,"seat":-1},)") +
                      R"({"name":"bob","table":1,"seat":1}],"tables":[{"table":1,)" + Rules +
                      R"(,"seconds":60,"seats":["","bob"],"watchers":0,"playing":false}]})"));
    EXPECT_EQ(model.Players().size(), 2u);
    ASSERT_NE(model.Table(1), nullptr);
    // Names are one player regardless of case.
    EXPECT_TRUE(apply(R"({"type":"player","name":"ANN","table":1,"seat":0})"));
    EXPECT_EQ(model.Players().size(), 2u);
    EXPECT_EQ(TLobbyModel::Doing(model.Players().at("ann")), "at table 1 (Red)");
    EXPECT_TRUE(apply(QByteArray(R"({"type":"table","table":1,)") + Rules +
                      R"(,"seconds":60,"seats":["ANN","bob"],"watchers":1,"playing":true})"));
    EXPECT_TRUE(model.Table(1)->Playing);
    EXPECT_EQ(model.Table(1)->Watchers, 1);
    EXPECT_TRUE(apply(R"({"type":"table_gone","table":1})"));
    EXPECT_EQ(model.Table(1), nullptr);
    EXPECT_FALSE(apply(R"({"type":"table_gone","table":1})")) << "nothing changes twice";
    EXPECT_TRUE(apply(R"({"type":"player_gone","name":"Bob"})"));
    EXPECT_EQ(model.Players().size(), 1u);
    EXPECT_EQ(TLobbyModel::Doing(model.Players().begin()->second), "at table 1 (Red)");
}

TEST(OnlineWire, ServersAreTrustedOnFirstUseAndAChangeIsCaught) {
    QTemporaryDir folder;
    TServerTrust trust(folder.filePath("servers"));
    const QString first(64, QLatin1Char('a')), second(64, QLatin1Char('b'));
    EXPECT_EQ(trust.Check("Example.org", 47018, first), TServerTrust::TVerdict::New);
    ASSERT_TRUE(trust.Remember("Example.org", 47018, first));
    // Another program run reads the same file; the host name's case does not matter.
    TServerTrust again(folder.filePath("servers"));
    EXPECT_EQ(again.Check("example.org", 47018, first.toUpper()), TServerTrust::TVerdict::Known);
    EXPECT_EQ(again.Check("example.org", 47019, first), TServerTrust::TVerdict::New)
        << "each port on its own";
    QString remembered;
    EXPECT_EQ(again.Check("example.org", 47018, second, &remembered), TServerTrust::TVerdict::Changed);
    EXPECT_EQ(remembered, first);
    EXPECT_FALSE(again.Remember("a b", 1, first)) << "a host that would break the file";
    EXPECT_FALSE(again.Remember("host", 1, "xyz"));
    // Lines that are not a server's are skipped, never trusted.
    QFile file(folder.filePath("servers"));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("evil.org 1 " + QByteArray(63, 'c') + "\nevil.org 0 " + QByteArray(64, 'c') + "\n");
    file.close();
    EXPECT_EQ(again.Check("evil.org", 1, QString(63, QLatin1Char('c'))), TServerTrust::TVerdict::New);
    EXPECT_EQ(again.Check("example.org", 47018, first), TServerTrust::TVerdict::Known);
}

TEST(OnlineWire, IdentityIsMadeOnceInOneOwnerOnlyFileAndNeverReplaced) {
    QTemporaryDir folder;
    const QString file = folder.filePath("sub/identity.pem");
    const TPlayerIdentity made = LoadOrMakePlayerIdentity(file);
    ASSERT_EQ(made.Error, "");
    EXPECT_TRUE(made.Created);
    EXPECT_EQ(made.Fingerprint.size(), 64);
    EXPECT_EQ(QFile::permissions(file) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    const TPlayerIdentity loaded = LoadOrMakePlayerIdentity(file);
    EXPECT_FALSE(loaded.Created);
    EXPECT_EQ(loaded.Fingerprint, made.Fingerprint) << "the same player the next time";
    // A copy elsewhere is the same player.
    ASSERT_TRUE(QFile::copy(file, folder.filePath("copy.pem")));
    EXPECT_EQ(LoadOrMakePlayerIdentity(folder.filePath("copy.pem")).Fingerprint, made.Fingerprint);
    // A damaged file is refused and left for the player to look at.
    QFile damaged(folder.filePath("damaged.pem"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("-----BEGIN nothing-----\n");
    damaged.close();
    EXPECT_NE(LoadOrMakePlayerIdentity(damaged.fileName()).Error, "");
    EXPECT_EQ(QFile(damaged.fileName()).size(), 24);
}
