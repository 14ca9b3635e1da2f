// Going online from the program's own windows: File › Play Online, the lobby
// window, sitting at a table and playing the server's match with keys on the
// main window, a replay refused at one's own match and opened beside a
// watched one; and the command line and settings that remember the server.
#include "AppWindowsFixture.h"
#include "OnlineFixture.h"
#include "app/CommandLine.h"
#include "app/LobbyForm.h"
#include "app/OnlinePlay.h"
#include "app/Settings.h"
#include "app/VantaroForm.h"
#include "game/KeyCodes.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

TEST(OnlineCommandLine, ServerAddressesAreReadOrRefused) {
    const struct {
        const char* Text;
        const char* Host; // nullptr: refused
        uint16_t Port;
    } cases[] = {
        {"example.org", "example.org", 47018}, {"example.org:5000", "example.org", 5000},
        {"::1", "::1", 47018},                 {"[::1]:6000", "::1", 6000},
        {"[::1]", "::1", 47018},               {"host:0", nullptr, 0},
        {"host:70000", nullptr, 0},            {"[::1]x", nullptr, 0},
        {"", nullptr, 0},                      {":5000", nullptr, 0},
    };
    for (const auto& c : cases) {
        const std::optional<TOnlineServer> server = ParseOnlineServer(c.Text);
        ASSERT_EQ(server.has_value(), c.Host != nullptr) << c.Text;
        if (!server) continue;
        EXPECT_EQ(server->Host, c.Host) << c.Text;
        EXPECT_EQ(server->Port, c.Port) << c.Text;
    }
    EXPECT_EQ(ParseCommandLine({"--online", "example.org:5000"}).Online, "example.org:5000");
    EXPECT_FALSE(ParseCommandLine({"--online"}).Error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--online", "host:port"}).Error.isEmpty());
    EXPECT_TRUE(CommandLineHelp().contains("--online HOST[:PORT]"));
}

TEST(OnlineCommandLine, SettingsRememberTheServerAndAValidNameOnly) {
    QTemporaryDir folder;
    TSettings settings(folder.filePath("Vantaro.conf"));
    TStoredSettings stored;
    stored.OnlineServer = "[::1]:47018";
    stored.OnlineName = "Ann-1";
    settings.Save(stored);
    EXPECT_EQ(settings.Load().OnlineServer, "[::1]:47018");
    EXPECT_EQ(settings.Load().OnlineName, "Ann-1");
    stored.OnlineName = "Ann\nEvil";
    settings.Save(stored);
    EXPECT_EQ(settings.Load().OnlineName, "") << "a name the server would refuse is not kept";
}

namespace {

class OnlineApp : public TAppWindowsFixture {
protected:
    void TearDown() override {
        Third.reset();
        Opponent.reset();
        TAppWindowsFixture::TearDown();
        Server.reset();
    }
    bool Run(const std::function<bool()>& done, std::mt19937* dice = nullptr) {
        QDeadlineTimer guard(60000);
        while (!guard.hasExpired()) {
            if (done()) return true;
            Server->Poll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            for (TOnlineSide* side : {Opponent.get(), Third.get()}) {
                if (!side) continue;
                if (dice) side->PlayAnyMove(*dice);
                side->Frame();
            }
            if (VantaroForm) {
                TLentCounters lent(Counters);
                Frame();
                Now += 84000; // a tenth of a second a pass, with Frame's 16 ms
            }
        }
        return false;
    }
    // The person at the window plays some legal move with keys, on their turn.
    void PressMove(std::mt19937& dice) {
        TServerMatch& match = VantaroForm->Online->TheMatch();
        if (!match.LocalMayMove()) return;
        std::vector<int32_t> handSlots, squares;
        for (int32_t slot = 0; slot < 5; ++slot)
            if (Game().Hands[slot][Game().Turn] != -1) handSlots.push_back(slot);
        for (int32_t square = 0; square < 9; ++square)
            if (Game().Board[square / 3][square % 3].Card == -1) squares.push_back(square);
        const int32_t slot = handSlots[dice() % handSlots.size()], square = squares[dice() % squares.size()];
        TLentCounters lent(Counters);
        for (uint16_t key : KeysToPlay(Game(), slot, square % 3, square / 3)) VantaroForm->FormKeyDown(key);
    }

    QTemporaryDir Folder;
    std::unique_ptr<TLoopbackServer> Server;
    std::unique_ptr<TOnlineSide> Opponent;
    std::unique_ptr<TOnlineSide> Third;
    int32_t Counters[2] = {1, 1};
};

} // namespace

TEST_F(OnlineApp, PlayOnlineOpensTheLobbyAMatchIsPlayedWithKeysAndAReplayWaitsForTheTable) {
    TShellEnvironment environment;
    environment.SettingsFile = Folder.filePath("me/Vantaro.conf");
    const QString recordFile = Folder.filePath("kept.json");
    environment.AskRecordFile = [&](bool) { return recordFile; };
    int trusted = 0;
    environment.TrustServer = [&](const QString&, const QString&) { return ++trusted > 0; };
    uint16_t port = 0;
    environment.AskOnline = [&](QString& server, QString& name) {
        server = QString("127.0.0.1:%1").arg(port);
        name = "Ann";
        return true;
    };
    ShowWindowsActive(environment);
    // The server deals from the catalogue the window loaded.
    Server = std::make_unique<TLoopbackServer>(Folder.path(), Game().Cards.get());
    port = Server->Server->Port();
    QDir().mkpath(Folder.filePath("bob"));
    Opponent = std::make_unique<TOnlineSide>(Folder.filePath("bob"), "Bob", Game().Cards.get());

    VantaroForm->FilePlayOnlineClick();
    TOnlinePlay& online = *VantaroForm->Online;
    ASSERT_TRUE(Run([&] { return online.SignedIn(); }));
    EXPECT_EQ(trusted, 1);
    EXPECT_TRUE(online.Lobby()->isVisible());
    EXPECT_TRUE(online.Lobby()->Status->text().contains("Signed in to 127.0.0.1"));
    EXPECT_TRUE(QFile::exists(Folder.filePath("me/identity.pem")));
    const TStoredSettings stored = TSettings(environment.SettingsFile).Load();
    EXPECT_EQ(stored.OnlineServer, QString("127.0.0.1:%1").arg(port));
    EXPECT_EQ(stored.OnlineName, "Ann");

    // Bob opens a table; Ann chooses it in the lobby window and sits.
    Opponent->Open(port);
    ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
    TGameRules rules;
    rules.Same = true;
    Opponent->Link->Send(ServerCodec::Create(rules, 30));
    ASSERT_TRUE(Run([&] { return online.Lobby()->TableList->topLevelItemCount() == 1; }));
    EXPECT_EQ(online.Lobby()->PlayerList->topLevelItemCount(), 2);
    online.Lobby()->TableList->setCurrentItem(online.Lobby()->TableList->topLevelItem(0));
    ASSERT_TRUE(online.Lobby()->SitButton->isEnabled());
    online.Lobby()->SitButton->click();
    ASSERT_TRUE(Run([&] { return online.Active() && Opponent->Match->Active(); }));
    EXPECT_EQ(online.TheMatch().LocalSeat(), 0) << "Bob sat at Blue when he opened the table";
    online.Lobby()->grab().save(Folder.filePath("lobby.png"));

    // Bob (Blue) moves first; Ann answers with keys; both tables agree throughout.
    std::mt19937 dice(3);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return online.TheMatch().Applied() >= 4;
        },
        &dice));
    // The clock shows in the last 10 s of a move.
    ASSERT_TRUE(Run([&] { return online.Overlay()->isVisible(); }));
    EXPECT_TRUE(online.Overlay()->text().contains(" s")) << online.Overlay()->text().toStdString();
    VantaroForm->grab().save(Folder.filePath("match.png"));
    // A replay (of this very match so far) cannot hide a match being played here.
    ASSERT_TRUE(VantaroForm->SaveMatchRecord());
    EXPECT_FALSE(VantaroForm->OpenMatchRecord());
    EXPECT_NE(Messages.Lines.back().find("cannot open while you play a match on the server"), std::string::npos);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return !Game().InProgress && Game().Phase == TGame::PhaseIdle && Opponent->Idle();
        },
        &dice));
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), TableCheck::Digest(StateOf(*Opponent->Game)));
    EXPECT_EQ(online.TheMatch().Applied(), 9);

    // Watching Cid and Bob, the replay opens and has the table while two more
    // moves are made; leaving it shows the table as the server has it by then.
    Opponent->Link->Send(ServerCodec::Leave());
    online.Lobby()->LeaveButton->click();
    QDir().mkpath(Folder.filePath("cid"));
    Third = std::make_unique<TOnlineSide>(Folder.filePath("cid"), "Cid", Game().Cards.get());
    Third->Open(port);
    ASSERT_TRUE(Run([&] { return Third->Link->IsSignedIn(); }));
    Third->Link->Send(ServerCodec::Create(rules, 60));
    int64_t table = 0;
    ASSERT_TRUE(Run([&] {
        for (const auto& [id, entry] : Opponent->Model.Tables()) table = entry.Seats[1] == "Cid" ? id : table;
        return table != 0;
    }));
    Opponent->Link->Send(ServerCodec::Sit(table));
    ASSERT_TRUE(Run([&] { return Opponent->Match->Applied() >= 2; }, &dice));
    online.Connection()->Send(ServerCodec::Watch(table));
    ASSERT_TRUE(Run([&] { return online.Active() && Game().Phase == TGame::PhaseIdle; }));
    ASSERT_TRUE(VantaroForm->OpenMatchRecord());
    const int32_t shownAtOpen = online.TheMatch().Applied(), madeAtOpen = Opponent->Match->Applied();
    ASSERT_TRUE(Run([&] { return Opponent->Match->Applied() >= madeAtOpen + 2 && Opponent->Game->Phase == TGame::PhaseIdle; },
                    &dice));
    EXPECT_TRUE(VantaroForm->Replaying());
    EXPECT_EQ(online.TheMatch().Applied(), shownAtOpen);
    EXPECT_FALSE(online.Overlay()->isVisible());
    VantaroForm->FileLeaveReplay->trigger();
    EXPECT_EQ(Game().Phase, TGame::PhaseIdle) << "brought up to date without animation";
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), TableCheck::Digest(StateOf(*Opponent->Game)));
    Frame();
    VantaroForm->grab().save(Folder.filePath("back-from-replay.png"));
    ASSERT_TRUE(Run([&] { return !Game().InProgress && Game().Phase == TGame::PhaseIdle && Opponent->Idle(); }, &dice));
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), TableCheck::Digest(StateOf(*Opponent->Game)));
    if (const char* keep = std::getenv("VANTARO_ONLINE_SHOTS")) {
        QFile::remove(QString(keep) + "/back-from-replay.png");
        QFile::copy(Folder.filePath("back-from-replay.png"), QString(keep) + "/back-from-replay.png");
        QFile::remove(QString(keep) + "/lobby.png");
        QFile::remove(QString(keep) + "/match.png");
        QFile::copy(Folder.filePath("lobby.png"), QString(keep) + "/lobby.png");
        QFile::copy(Folder.filePath("match.png"), QString(keep) + "/match.png");
    }
}
