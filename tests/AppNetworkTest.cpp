// A network match through the real windows offscreen: this program's windows
// host (or leave) a table from the rules dialog, and the other player is a
// second table in the same process, connected over loopback.
#include "AppWindowsFixture.h"
#include "NetFixture.h"
#include "TestSupport.h"
#include "app/ChatForm.h"
#include "app/CommandLine.h"
#include "app/RulesForm.h"
#include "app/TableAnnouncer.h"
#include "app/Windows.h"
#include "game/KeyCodes.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A port nobody listens on right now, on the loopback address.
quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class AppNetworkTest : public TAppWindowsFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TAppWindowsFixture::SetUp());
        TShellEnvironment environment;
        environment.InForeground = [this] { return Foreground; };
        environment.Notify = [this](const QString&, const QString& body) { Notes.append(body); };
        ShowWindows(environment);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(VantaroForm));
        ASSERT_GT(VantaroForm->Game->Cards->NumCards, 0);
        // Two tables share the animation counters, so the test runs every
        // frame of this one itself, with its counters lent.
        VantaroForm->StopFrames();
    }
    void TearDown() override {
        Peer.reset();
        {
            TLentCounters lent(Counters);
            DestroyWindows();
        }
        RunDeferredDeletes();
        TAppWindowsFixture::TearDown();
    }

    QString Log() const { return ChatForm->ChatLog->toPlainText(); }

    // The rules dialog as a player uses it: choose, then OK.
    void ChooseInDialog(const std::function<void()>& choose) {
        QTimer::singleShot(0, [choose] {
            choose();
            RulesForm->OKButton->click();
        });
        VantaroForm->FileRulesClick();
    }
    void HostFromDialog(quint16 port) {
        ChooseInDialog([port] {
            RulesForm->MultiRadio->setChecked(true);
            RulesForm->HostRadio->setChecked(true);
            RulesForm->PortSpin->setValue(port);
        });
    }

    // The other player's program, with this program's catalogue so that both
    // tables deal the same cards from the same seed.
    void JoinPeer(quint16 port) {
        Peer = std::make_unique<TNetSide>();
        Peer->Session->SetLimits(TNetLimits());
        const TCardsInfo& cards = *Game().Cards;
        Peer->Game->Cards->CardTable.reset(new TCardInfo[cards.NumCards]);
        for (int32_t i = 0; i < cards.NumCards; ++i) {
            Peer->Game->Cards->CardTable[i].Name = cards.CardTable[i].Name;
            Peer->Game->Cards->CardTable[i].Ranks = cards.CardTable[i].Ranks;
            Peer->Game->Cards->CardTable[i].Element = cards.CardTable[i].Element;
        }
        Peer->Game->Cards->NumCards = cards.NumCards;
        Peer->Session->Join(QStringLiteral("127.0.0.1"), port);
        ASSERT_TRUE(
            PumpUntil([this] { return Peer->Match->Active() && VantaroForm->Direct().Net().Active(); }));
    }

    // One frame on both tables, after whatever the connection brought.
    void Frame() {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        {
            TLentCounters lent(Counters);
            Now += 50000;
            VantaroForm->ApplicationIdle();
        }
        if (Peer) Peer->Frame(50);
    }
    bool FramesUntil(const std::function<bool()>& done, int32_t frames = 4000) {
        for (int32_t i = 0; i < frames; ++i) {
            if (done()) return true;
            Frame();
        }
        return done();
    }
    void Press(uint16_t key) {
        TLentCounters lent(Counters);
        VantaroForm->FormKeyDown(key);
    }
    void NewGame() {
        TLentCounters lent(Counters);
        VantaroForm->FileNewGameClick();
    }
    // This side's move, by the keys, onto the first empty square.
    bool PlayHere() {
        if (!VantaroForm->Direct().Net().LocalMayMove() || Game().Phase != TGame::PhaseIdle) return false;
        int32_t slot = 0;
        while (slot < 5 && Game().Hands[slot][Game().Turn] == -1) ++slot;
        int32_t square = 0;
        while (square < 9 && Game().Board[square / 3][square % 3].Card != -1) ++square;
        if (slot == 5 || square == 9) return false;
        std::vector<uint16_t> keys;
        {
            TLentCounters lent(Counters);
            keys = KeysToPlay(Game(), slot, square % 3, square / 3);
        }
        for (uint16_t key : keys) Press(key);
        return true;
    }
    bool TablesAgree() {
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 3; ++x)
                if (Game().Board[y][x].Card != Peer->Game->Board[y][x].Card ||
                    (Game().Board[y][x].Card != -1 &&
                     Game().Board[y][x].Owner != Peer->Game->Board[y][x].Owner))
                    return false;
        for (int32_t slot = 0; slot < 5; ++slot)
            for (int32_t player = 0; player < 2; ++player)
                if (Game().Hands[slot][player] != Peer->Game->Hands[slot][player]) return false;
        return Game().Score[0] == Peer->Game->Score[0] && Game().Score[1] == Peer->Game->Score[1];
    }
    int32_t CardsOnBoard(const TGame& game) const {
        int32_t count = 0;
        for (int32_t square = 0; square < 9; ++square) count += game.Board[square / 3][square % 3].Card != -1;
        return count;
    }

    int32_t Counters[2] = {1, 1};
    std::unique_ptr<TNetSide> Peer;
    // The desktop notifications shown, while the windows are in the background unless told.
    bool Foreground = false;
    QStringList Notes;
};

TEST_F(AppNetworkTest, HostedFromTheDialogAMatchAndAChatCrossAndHotSeatComesBack) {
    const quint16 port = FreePort();
    HostFromDialog(port);
    EXPECT_TRUE(VantaroForm->Direct().Session().IsListening());
    EXPECT_EQ(VantaroForm->Direct().Session().ListeningPort(), port);
    EXPECT_TRUE(Log().contains(QStringLiteral("Hosting on port %1").arg(port))) << Log().toStdString();

    JoinPeer(port);
    EXPECT_TRUE(Log().contains("A player joined from 127.0.0.1:")) << Log().toStdString();
    EXPECT_TRUE(Log().contains("You play Blue"));
    EXPECT_TRUE(Mentions(Peer->Log, "Connected to the host at 127.0.0.1"));

    // F2 here deals on both tables, from this side's seed.
    NewGame();
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing);
    ASSERT_TRUE(FramesUntil(
        [this] { return Game().Phase == TGame::PhaseIdle && Peer->Game->InProgress && Peer->Idle(); }));
    EXPECT_TRUE(TablesAgree());
    EXPECT_TRUE(Log().contains("You dealt a new match."));
    EXPECT_TRUE(Mentions(Peer->Log, "The host dealt a new match."));

    // The host moves first; its move goes across and is played on the other table.
    ASSERT_EQ(Game().Turn, TNetMatch::HostPlayer);
    ASSERT_TRUE(PlayHere());
    ASSERT_TRUE(FramesUntil([this] { return CardsOnBoard(*Peer->Game) == 1 && Peer->Idle(); }));
    ASSERT_TRUE(FramesUntil([this] { return Game().Phase == TGame::PhaseIdle; }));
    EXPECT_TRUE(TablesAgree());
    // This side now waits: its keys do nothing while the other player is to move.
    Press(VK_RETURN);
    Press(VK_RETURN);
    EXPECT_EQ(CardsOnBoard(Game()), 1);

    // The rest of the match, each side on its turn; the tables end alike.
    std::mt19937 dice(5);
    for (int32_t i = 0; i < 20000 && (Game().InProgress || Peer->Game->InProgress ||
                                      VantaroForm->Direct().Net().DigestsCompared() < 9 ||
                                      Peer->Match->DigestsCompared() < 9);
         ++i) {
        if (!PlayHere()) Peer->PlayAnyMove(dice);
        Frame();
    }
    EXPECT_TRUE(Game().GameOver);
    EXPECT_TRUE(Peer->Game->GameOver);
    EXPECT_EQ(VantaroForm->Direct().Net().DigestsCompared(), 9);
    EXPECT_TRUE(TablesAgree());
    EXPECT_TRUE(Peer->Ended.isEmpty()) << Peer->Ended.join("\n").toStdString();
    // In the background, the window called its player to the match and back for each move
    // the other player made, not for its own, nor after the ninth card.
    EXPECT_EQ(Notes, QStringList({"Your match has started: you play Blue.", "Red has played: your move.",
                                  "Red has played: your move.", "Red has played: your move.",
                                  "Red has played: your move."}));

    // Enter in the chat field sends its line across and empties the field.
    ChatForm->ChatEdit->setPlainText("good game");
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Return);
    EXPECT_TRUE(ChatForm->ChatEdit->toPlainText().isEmpty());
    EXPECT_TRUE(Log().contains("You: good game"));
    EXPECT_TRUE(PumpUntil([this] { return Mentions(Peer->Log, "Blue: good game"); }));
    Peer->Match->SendChat("thanks, again?");
    EXPECT_TRUE(PumpUntil([this] { return Log().contains("Red: thanks, again?"); }));
    // A line too long is refused with a note and stays to be shortened.
    const QString tooLong(501, QLatin1Char('x'));
    ChatForm->ChatEdit->setPlainText(tooLong);
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Return);
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), tooLong);
    EXPECT_TRUE(Log().contains("at most 500 characters")) << Log().toStdString();

    // Back to hot-seat in the dialog: the connection closes and F2 deals here alone.
    ChooseInDialog([] { RulesForm->HotSeatRadio->setChecked(true); });
    EXPECT_EQ(VantaroForm->Direct().Session().State(), TNetSession::TState::Idle);
    EXPECT_TRUE(Log().contains("You left the table.")) << Log().toStdString();
    EXPECT_TRUE(PumpUntil([this] { return !Peer->Match->Active(); }));
    EXPECT_TRUE(Mentions(Peer->Log, "The other player left: they went back to playing at one keyboard."))
        << Peer->Log.join("\n").toStdString();
    EXPECT_FALSE(Mentions(Peer->Log, "xxxxxxxxxx"));
    NewGame();
    EXPECT_EQ(Game().Phase, TGame::PhaseDealing);
    ASSERT_TRUE(FramesUntil([this] { return Game().Phase == TGame::PhaseIdle; }));
    EXPECT_EQ(CardsOnBoard(Game()), 0);
    // Both colours move from this keyboard now.
    for (int32_t move = 0; move < 2; ++move) {
        const int32_t turn = Game().Turn;
        ASSERT_TRUE(PlayHere());
        EXPECT_NE(Game().Turn, turn);
        ASSERT_TRUE(FramesUntil([this] { return Game().Phase == TGame::PhaseIdle; }));
    }
    EXPECT_EQ(CardsOnBoard(Game()), 2);
    EXPECT_EQ(CardsOnBoard(*Peer->Game), 9);
    EXPECT_EQ(Notes.size(), 5) << "at one keyboard nobody is away";
    // Chat without a connection says where chat goes and keeps the line.
    ChatForm->ChatEdit->setPlainText("anyone?");
    QTest::keyClick(ChatForm->ChatEdit, Qt::Key_Return);
    EXPECT_EQ(ChatForm->ChatEdit->toPlainText(), "anyone?");
    EXPECT_TRUE(Log().contains("Chat goes to the other player of a network match"));
}

TEST_F(AppNetworkTest, APeerVanishingMidMatchLeavesTheWindowHostingForTheNext) {
    Foreground = true;
    const quint16 port = FreePort();
    HostFromDialog(port);
    {
        // A program that joins, takes the deal and the first move, then is
        // gone without a word (its socket is cut, as by a crash or a cable).
        TScriptedPeer vanishing;
        vanishing.Connect(port);
        vanishing.SayHello();
        ASSERT_TRUE(PumpUntil([] { return VantaroForm->Direct().Net().Active(); }));
        NewGame();
        ASSERT_TRUE(FramesUntil([this] { return Game().Phase == TGame::PhaseIdle; }));
        ASSERT_TRUE(PlayHere());
        ASSERT_TRUE(PumpUntil([&] { return vanishing.HeardKind(TNetMessage::TKind::Move); }));
        ASSERT_TRUE(FramesUntil([this] { return Game().Phase == TGame::PhaseIdle; }));
        vanishing.Socket.abort();
        // No frame runs: the log hears of the ending with the connection.
        ASSERT_TRUE(PumpUntil([] { return !VantaroForm->Direct().Net().Active(); }));
        EXPECT_TRUE(Log().contains("Match abandoned")) << Log().toStdString();
    }
    EXPECT_TRUE(Log().contains("The other player's program closed the connection.")) << Log().toStdString();
    EXPECT_TRUE(Log().contains("The network match has ended."));
    EXPECT_FALSE(Game().InProgress);
    EXPECT_TRUE(VantaroForm->Direct().Session().IsListening());
    // No key of the finished table moves anything.
    Press(VK_RETURN);
    Press(VK_RETURN);
    EXPECT_EQ(CardsOnBoard(Game()), 1);
    // The table, the title and the log say who left and that the program still hosts.
    EXPECT_EQ(TTableAnnouncer::ResultLine(Game(), VantaroForm->Seats()), "Red left the match");
    EXPECT_TRUE(VantaroForm->windowTitle().startsWith("Vantaro \u2014 Network, hosting on port"))
        << VantaroForm->windowTitle().toStdString();
    EXPECT_TRUE(Log().contains(QStringLiteral("Still hosting on port %1").arg(port))) << Log().toStdString();
    // F2 with nobody at the table deals nothing and says what it does instead.
    VantaroForm->FileNewGameClick();
    EXPECT_FALSE(Game().InProgress);
    EXPECT_TRUE(Log().contains("F2: nobody has joined yet.")) << Log().toStdString();
    // One line per deal: the network match's own, not the table's as well.
    EXPECT_EQ(Log().count("dealt a new match"), 1) << Log().toStdString();
    EXPECT_EQ(Log().count("New match \u2014 rules"), 0) << Log().toStdString();

    // The next player sits down at the same table and a fresh match is dealt on both.
    JoinPeer(port);
    NewGame();
    ASSERT_TRUE(FramesUntil(
        [this] { return Game().Phase == TGame::PhaseIdle && Peer->Game->InProgress && Peer->Idle(); }));
    EXPECT_EQ(CardsOnBoard(Game()), 0);
    EXPECT_TRUE(TablesAgree());
    EXPECT_TRUE(Notes.isEmpty()) << "nobody is called back to a window in front: "
                                 << Notes.join(", ").toStdString();
}

TEST(CommandLine, HostAndJoinOptionsAreReadAndNonsenseIsRefused) {
    struct TCase {
        QStringList Arguments;
        bool Ok;
        bool Network;
        bool Join;
        QString Address;
        uint16_t Port;
    };
    const uint16_t standard = TNetworkChoice::DefaultPort;
    const TCase cases[] = {
        {{}, true, false, false, {}, 0},
        {{"--host"}, true, true, false, {}, standard},
        {{"--host", "5000"}, true, true, false, {}, 5000},
        {{"--host", "0"}, false, false, false, {}, 0},
        {{"--host", "65536"}, false, false, false, {}, 0},
        {{"--join", "table.example"}, true, true, true, "table.example", standard},
        {{"--join", "table.example:1234"}, true, true, true, "table.example", 1234},
        {{"--join", "127.0.0.1:99999"}, false, false, false, {}, 0},
        {{"--join"}, false, false, false, {}, 0},
        {{"--join", ":1234"}, false, false, false, {}, 0},
        {{"--join", "::1"}, true, true, true, "::1", standard},
        {{"--join", "[::1]:1234"}, true, true, true, "::1", 1234},
        {{"--join", "[::1]"}, true, true, true, "::1", standard},
        {{"--join", "[::1]x"}, false, false, false, {}, 0},
        {{"--join", "[]:1234"}, false, false, false, {}, 0},
        {{"--frobnicate"}, false, false, false, {}, 0},
        {{"-platform", "offscreen", "--host", "6000"}, true, true, false, {}, 6000},
    };
    for (const TCase& test : cases) {
        const QString args = test.Arguments.join(' ');
        const TLaunchOptions options = ParseCommandLine(test.Arguments);
        EXPECT_EQ(options.Error.isEmpty(), test.Ok)
            << args.toStdString() << ": " << options.Error.toStdString();
        if (!test.Ok) continue;
        ASSERT_EQ(options.Network.has_value(), test.Network) << args.toStdString();
        if (!test.Network) continue;
        EXPECT_EQ(options.Network->Join, test.Join) << args.toStdString();
        if (test.Join) {
            EXPECT_EQ(options.Network->Address, test.Address) << args.toStdString();
        }
        EXPECT_EQ(options.Network->Port, test.Port) << args.toStdString();
    }
    EXPECT_TRUE(ParseCommandLine({"--help"}).Help);
    EXPECT_TRUE(CommandLineHelp().contains("--join HOST[:PORT]"));
}

} // namespace
