#include "net/LineFramer.h"
#include "net/MessageCodec.h"
#include "net/TableCheck.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using TKind = TNetMessage::TKind;

std::vector<TNetMessage> EveryKind() {
    std::vector<TNetMessage> messages;
    TNetMessage hello = TNetMessage::Make(TKind::Hello);
    hello.Program = "vantaro";
    hello.Version = 7;
    messages.push_back(hello);
    messages.push_back(TNetMessage::Make(TKind::Welcome));
    TNetMessage refused = TNetMessage::Make(TKind::Refused);
    refused.Reason = "The table is taken.";
    messages.push_back(refused);
    TNetMessage deal = TNetMessage::Make(TKind::Deal);
    deal.DealId = 3;
    deal.Seed = MessageCodec::MaxSeed;
    deal.Rules.Same = deal.Rules.Plus = deal.Rules.SuddenDeath = true;
    messages.push_back(deal);
    messages.push_back(TNetMessage::Make(TKind::NewGameRequest));
    TNetMessage move = TNetMessage::Make(TKind::Move);
    move.DealId = 1;
    move.Slot = 4;
    move.X = 2;
    move.Y = 1;
    messages.push_back(move);
    TNetMessage digest = TNetMessage::Make(TKind::Digest);
    digest.DealId = 2;
    digest.Placement = 9;
    digest.Value = 0xFFFFFFFFu;
    messages.push_back(digest);
    TNetMessage chat = TNetMessage::Make(TKind::Chat);
    chat.Text = QString("Ça va? \"quoted\"\nnext line ") + QString(QChar(0x1F600)).repeated(1) +
                QString(500 - 24, QChar('x'));
    chat.Text.truncate(MessageCodec::MaxChatCharacters);
    messages.push_back(chat);
    messages.push_back(TNetMessage::Make(TKind::Ping));
    messages.push_back(TNetMessage::Make(TKind::Pong));
    TNetMessage bye = TNetMessage::Make(TKind::Bye);
    bye.Reason = "Closed the program.";
    messages.push_back(bye);
    return messages;
}

TEST(NetCodec, EveryKindSurvivesTheRoundTripOnOneBoundedLine) {
    for (const TNetMessage& message : EveryKind()) {
        const QByteArray line = MessageCodec::Encode(message);
        SCOPED_TRACE(line.toStdString());
        ASSERT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1) << "a line break inside would split the message";
        EXPECT_LE(line.size() - 1, MessageCodec::MaxLineBytes);
        const MessageCodec::TDecoded decoded = MessageCodec::Decode(QByteArrayView(line).chopped(1));
        ASSERT_TRUE(decoded.Ok) << decoded.Error.toStdString();
        EXPECT_TRUE(decoded.Message == message);
    }
    // The worst chat for its length: every character escaped on the wire.
    TNetMessage chat = TNetMessage::Make(TKind::Chat);
    chat.Text = QString(MessageCodec::MaxChatCharacters, QChar(0x01));
    EXPECT_LE(MessageCodec::Encode(chat).size() - 1, MessageCodec::MaxLineBytes);
}

TEST(NetCodec, ChatIsCountedInCharactersAsAPersonCountsThem) {
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const QString combining = QStringLiteral("e\u0301"); // two code points, as the limit counts
    const struct {
        QString Unit;
        qsizetype PerUnit;
    } units[] = {{QStringLiteral("x"), 1}, {emoji, 1}, {QStringLiteral("\u00e9"), 1}, {combining, 2}};
    for (const auto& unit : units)
        for (const qsizetype characters :
             {MessageCodec::MaxChatCharacters, MessageCodec::MaxChatCharacters + 1}) {
            TNetMessage chat = TNetMessage::Make(TKind::Chat);
            chat.Text =
                unit.Unit.repeated(characters / unit.PerUnit) + QString(characters % unit.PerUnit, 'x');
            SCOPED_TRACE(chat.Text.left(4).toStdString() + " x " + std::to_string(characters));
            const QByteArray line = MessageCodec::Encode(chat);
            EXPECT_LE(line.size() - 1, MessageCodec::MaxLineBytes) << "the longest chat fits on a line";
            const MessageCodec::TDecoded decoded = MessageCodec::Decode(QByteArrayView(line).chopped(1));
            EXPECT_EQ(decoded.Ok, characters <= MessageCodec::MaxChatCharacters)
                << decoded.Error.toStdString();
        }
}

TEST(NetCodec, RefusesWhatIsNotAWellFormedMessageWithAReason) {
    const std::string longChat = R"({"type":"chat","text":")" + std::string(501, 'a') + R"("})";
    const struct {
        std::string Line;
        const char* Reason; // a piece of the error text
    } cases[] = {
        {"", "JSON"},
        {"{\"type\":\"ping\"", "JSON"},
        {"not json at all", "JSON"},
        {"[1,2,3]", "not a JSON object"},
        {"{}", "no \"type\""},
        {"{\"type\":5}", "no \"type\""},
        {"{\"type\":\"shutdown\"}", "unknown message type"},
        {"{\"type\":\"hello\",\"program\":\"vantaro\"}", "version"},
        {"{\"type\":\"move\",\"deal\":1,\"slot\":5,\"x\":0,\"y\":0}", "slot"},
        {"{\"type\":\"move\",\"deal\":1,\"slot\":0,\"x\":-1,\"y\":0}", "\"x\""},
        {"{\"type\":\"move\",\"deal\":1,\"slot\":0,\"x\":0,\"y\":1.5}", "\"y\""},
        {"{\"type\":\"move\",\"deal\":1,\"slot\":\"0\",\"x\":0,\"y\":0}", "slot"},
        {"{\"type\":\"move\",\"deal\":0,\"slot\":0,\"x\":0,\"y\":0}", "deal"},
        {"{\"type\":\"deal\",\"deal\":1,\"seed\":-5,\"rules\":{}}", "seed"},
        {"{\"type\":\"deal\",\"deal\":1,\"seed\":1e300,\"rules\":{}}", "seed"},
        {"{\"type\":\"deal\",\"deal\":1,\"seed\":5}", "rules"},
        {"{\"type\":\"deal\",\"deal\":1,\"seed\":5,\"rules\":{\"same\":true,\"same_wall\":false,\"plus\":1,"
         "\"elemental\":false,\"sudden_death\":false}}",
         "plus"},
        {"{\"type\":\"digest\",\"deal\":1,\"placement\":1,\"value\":4294967296}", "value"},
        {"{\"type\":\"digest\",\"deal\":1,\"placement\":0,\"value\":1}", "placement"},
        {longChat, "longer than 500"},
        {"{\"type\":\"refused\"}", "reason"},
        {std::string(MessageCodec::MaxLineBytes + 1, ' '), "longer than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line.substr(0, 120));
        const MessageCodec::TDecoded decoded =
            MessageCodec::Decode(QByteArrayView(c.Line.data(), c.Line.size()));
        EXPECT_FALSE(decoded.Ok);
        EXPECT_NE(decoded.Error.toStdString().find(c.Reason), std::string::npos)
            << decoded.Error.toStdString();
    }
}

// Every line the framer hands out, fed the stream in chunks of the given size.
std::vector<QByteArray> Frame(TLineFramer& framer, const QByteArray& stream, qsizetype size, bool& overflow) {
    std::vector<QByteArray> lines;
    overflow = false;
    for (qsizetype at = 0; at < stream.size(); at += size) {
        QByteArrayView chunk = QByteArrayView(stream).sliced(at, std::min(size, stream.size() - at));
        QByteArray line;
        for (;;) {
            const TLineFramer::TStep step = framer.Next(chunk, line);
            if (step == TLineFramer::TStep::Overflow) overflow = true;
            if (step != TLineFramer::TStep::Line) break;
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(NetFramer, LinesComeOutWholeWhateverTheChunksAndTheLimitCountsTheLineNotItsEnding) {
    const QByteArray stream = "{\"type\":\"ping\"}\r\nsecond\n\nthird";
    for (qsizetype size = 1; size <= stream.size(); ++size) {
        TLineFramer framer(64);
        bool overflow = false;
        EXPECT_EQ(Frame(framer, stream, size, overflow),
                  (std::vector<QByteArray>{"{\"type\":\"ping\"}", "second", ""}))
            << "chunk " << size;
        EXPECT_FALSE(overflow);
        EXPECT_EQ(framer.PartialBytes(), 5) << "the unfinished line waits";
    }

    // At the limit with either ending a line passes, whatever the chunks; one
    // byte more is refused before its end arrives, and so is a '\r' that ends nothing.
    const QByteArray full(8, 'x');
    const struct {
        QByteArray Stream;
        bool Passes;
    } cases[] = {
        {full + "\n", true},
        {full + "\r\n", true},
        {full + "y", false},
        {full + "\r\r\n", false},
        {full + "\ry\n", false},
        {full.left(7) + "\r\r\n", true},
        {full + "y\n" + "ok\n", false},
    };
    for (const auto& c : cases)
        for (qsizetype size = 1; size <= c.Stream.size(); ++size) {
            SCOPED_TRACE(c.Stream.toStdString() + " in chunks of " + std::to_string(size));
            TLineFramer framer(8);
            bool overflow = false;
            const std::vector<QByteArray> lines = Frame(framer, c.Stream, size, overflow);
            EXPECT_EQ(overflow, !c.Passes);
            if (c.Passes) {
                ASSERT_EQ(lines.size(), 1u);
                EXPECT_LE(lines[0].size(), 8);
            } else {
                EXPECT_TRUE(lines.empty()) << "nothing is handed out after an overflow";
                EXPECT_EQ(framer.PartialBytes(), 0);
            }
        }
}

TTableState MidMatch() {
    TTableState table;
    table.InProgress = true;
    table.Turn = 1;
    table.Score[0] = table.Score[1] = 5;
    for (int slot = 0; slot < 5; ++slot) {
        table.Hands[slot][0] = 10 + slot;
        table.Hands[slot][1] = 20 + slot;
    }
    table.Hands[0][1] = -1; // blue has played one card
    table.Board[1][1] = TOwnedCard(20, 1);
    return table;
}

TEST(NetTableCheck, MovesAreJudgedAgainstTurnHandAndBoard) {
    const TTableState table = MidMatch();
    EXPECT_EQ(TableCheck::MoveProblem(table, 1, 1, 0, 0), "");
    const struct {
        int32_t Player, Slot, X, Y;
        const char* Reason;
    } refused[] = {
        {0, 1, 0, 0, "not that player's turn"},
        {1, 0, 0, 0, "slot 0 is empty"},
        {1, 5, 0, 0, "does not exist"},
        {1, 1, 3, 0, "off the board"},
        {1, 1, 0, -1, "off the board"},
        {1, 1, 1, 1, "taken"},
        {2, 1, 0, 0, "no player 2"},
    };
    for (const auto& r : refused)
        EXPECT_NE(TableCheck::MoveProblem(table, r.Player, r.Slot, r.X, r.Y).toStdString().find(r.Reason),
                  std::string::npos)
            << r.Reason;
    TTableState moving = table;
    moving.Idle = false;
    EXPECT_NE(TableCheck::MoveProblem(moving, 1, 1, 0, 0), "");
    TTableState over = table;
    over.InProgress = false;
    EXPECT_NE(TableCheck::MoveProblem(over, 1, 1, 0, 0), "");

    TNetMessage deal = TNetMessage::Make(TNetMessage::TKind::Deal);
    deal.DealId = 1;
    EXPECT_EQ(TableCheck::DealProblem(deal), "");
    deal.Seed = -1;
    EXPECT_NE(TableCheck::DealProblem(deal), "");
}

TEST(NetTableCheck, DigestSeesEveryFieldTheTablesMustShare) {
    const TTableState table = MidMatch();
    const uint32_t digest = TableCheck::Digest(table);
    EXPECT_EQ(TableCheck::Digest(MidMatch()), digest);
    TTableState moving = table;
    moving.Idle = false;
    EXPECT_EQ(TableCheck::Digest(moving), digest) << "animations run at each table's own pace";
    TTableState stale = table;
    stale.Board[0][0].Owner = 1;
    EXPECT_EQ(TableCheck::Digest(stale), digest) << "an empty square's leftover owner is no difference";

    std::vector<TTableState> changed(8, table);
    changed[0].InProgress = false;
    changed[1].Turn = 0;
    changed[2].Score[0] = 6;
    changed[3].Board[1][1].Owner = 0;
    changed[4].Board[2][2] = TOwnedCard(3, 0);
    changed[5].Elements[0][2] = 4;
    changed[6].Hands[4][0] = 99;
    std::swap(changed[7].Hands[1][1], changed[7].Hands[2][1]);
    for (size_t i = 0; i < changed.size(); ++i) EXPECT_NE(TableCheck::Digest(changed[i]), digest) << i;
}

} // namespace
