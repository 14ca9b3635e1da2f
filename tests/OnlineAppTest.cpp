// Going online from the program's own windows: File › Play Online, the lobby
// window, sitting at a table and playing the server's match with keys on the
// main window, a replay refused at one's own match and opened beside a
// watched one; and the command line and settings that remember the server.
#include "AppWindowsFixture.h"
#include "OnlineFixture.h"
#include "app/ChatForm.h"
#include "app/CommandLine.h"
#include "app/CommunityPage.h"
#include "app/HintAdvisor.h"
#include "app/LobbyForm.h"
#include "app/MainMenu.h"
#include "app/MatchLog.h"
#include "app/ModerationPage.h"
#include "app/OnlinePlay.h"
#include "app/RatingChart.h"
#include "app/RecordKeeper.h"
#include "app/ReplayControl.h"
#include "app/ReplayView.h"
#include "app/Settings.h"
#include "app/Sound.h"
#include "app/Statistics.h"
#include "app/TableAnnouncer.h"
#include "app/TableDriver.h"
#include "app/TableListeners.h"
#include "app/VantaroForm.h"
#include "game/KeyCodes.h"
#include "render/DataFolder.h"
#include "render/Graphics.h"
#include "render/Surface.h"
#include "rules/RuleBits.h"
#include <QPlainTextEdit>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

TEST(OnlineCommandLine, ServerAddressesAreReadOrRefused) {
    const struct {
        const char* Text;
        const char* Host; // nullptr: refused
        uint16_t Port;
    } cases[] = {
        {"example.org", "example.org", 47018},
        {"example.org:5000", "example.org", 5000},
        {"::1", "::1", 47018},
        {"[::1]:6000", "::1", 6000},
        {"[::1]", "::1", 47018},
        {"host:0", nullptr, 0},
        {"host:70000", nullptr, 0},
        {"[::1]x", nullptr, 0},
        {"", nullptr, 0},
        {":5000", nullptr, 0},
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
        Watcher.reset();
        Third.reset();
        Opponent.reset();
        TAppWindowsFixture::TearDown();
        Server.reset();
    }
    bool Run(const std::function<bool()>& done, std::mt19937* dice = nullptr) {
        QDeadlineTimer guard(60000);
        while (!guard.hasExpired()) {
            if (done()) return true;
            if (Server) Server->Poll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            for (TOnlineSide* side : {Opponent.get(), Third.get(), Watcher.get()}) {
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
        TServerMatch& match = VantaroForm->Online().TheMatch();
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

    // With VANTARO_ONLINE_SHOTS set to a folder, a window as it stands; on a
    // real X server (Xvfb) taken from the screen as a person would see it.
    void Shot(QWidget& window, const QString& name) {
        const char* keep = std::getenv("VANTARO_ONLINE_SHOTS");
        if (!keep) return;
        window.raise();
        QTest::qWait(300); // the window manager's and the X server's turn
        const QString path = QString(keep) + "/" + name;
        QFile::remove(path);
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            QProcess::execute("import", {"-window", QString::number(window.winId()), path}) != 0)
            window.grab().save(path);
    }

    // Ann at the window: her settings in a folder of her own, the server
    // trusted, and Play Online answered with the loopback server and her name.
    TShellEnvironment AnnsEnvironment() {
        TShellEnvironment environment;
        environment.SettingsFile = Folder.filePath("me/Vantaro.conf");
        environment.TrustServer = [](const QString&, const QString&) { return true; };
        environment.AskOnline = [this](QString& server, QString& name) {
            server = QString("127.0.0.1:%1").arg(Port);
            name = "Ann";
            return true;
        };
        return environment;
    }
    // Starts the server (dealing from the catalogue the window loaded) and
    // Bob's client, then signs Ann in through the menu.
    TOnlinePlay& SignAnnIn(const std::function<void()>& serverStarted = {}) {
        Server = std::make_unique<TLoopbackServer>(Folder.path(), Game().Cards.get());
        Port = Server->Server->Port();
        if (serverStarted) serverStarted();
        QDir().mkpath(Folder.filePath("bob"));
        Opponent = std::make_unique<TOnlineSide>(Folder.filePath("bob"), "Bob", Game().Cards.get());
        VantaroForm->FilePlayOnlineClick();
        TOnlinePlay& online = VantaroForm->Online();
        EXPECT_TRUE(Run([&] { return online.SignedIn(); }));
        return online;
    }

    QTemporaryDir Folder;
    uint16_t Port = 0;
    std::unique_ptr<TLoopbackServer> Server;
    std::unique_ptr<TOnlineSide> Opponent;
    std::unique_ptr<TOnlineSide> Watcher;
    std::unique_ptr<TOnlineSide> Third;
    int32_t Counters[2] = {1, 1};
};

} // namespace

TEST_F(OnlineApp, PlayOnlineOpensTheLobbyAMatchIsPlayedWithKeysAndAReplayWaitsForTheTable) {
    TShellEnvironment environment = AnnsEnvironment();
    const QString recordFile = Folder.filePath("kept.json");
    environment.AskRecordFile = [&](bool) { return recordFile; };
    int trusted = 0;
    environment.TrustServer = [&](const QString&, const QString&) { return ++trusted > 0; };
    ShowWindowsActive(environment);
    TOnlinePlay& online = SignAnnIn();
    ASSERT_TRUE(online.SignedIn());
    EXPECT_EQ(trusted, 1);
    EXPECT_TRUE(online.Lobby()->isVisible());
    EXPECT_TRUE(online.Lobby()->Status->text().contains("Signed in to 127.0.0.1"));
    EXPECT_TRUE(QFile::exists(Folder.filePath("me/identity.pem")));
    const TStoredSettings stored = TSettings(environment.SettingsFile).Load();
    EXPECT_EQ(stored.OnlineServer, QString("127.0.0.1:%1").arg(Port));
    EXPECT_EQ(stored.OnlineName, "Ann");

    // Bob opens a table; Ann chooses it in the lobby window and sits.
    Opponent->Open(Port);
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
    // The clock shows in the turn line.
    ASSERT_TRUE(Run([&] { return !VantaroForm->Seats().Clock.isEmpty(); }));
    EXPECT_TRUE(VantaroForm->Seats().Clock.endsWith(" s")) << VantaroForm->Seats().Clock.toStdString();
    VantaroForm->grab().save(Folder.filePath("match.png"));
    // A replay (of this very match so far) cannot hide a match being played here.
    ASSERT_TRUE(VantaroForm->Replays().SaveMatchRecord());
    EXPECT_FALSE(VantaroForm->Replays().OpenMatchRecord());
    EXPECT_NE(Messages.Lines.back().find("cannot open while you play a match on the server"),
              std::string::npos);
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
    Third->Open(Port);
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
    EXPECT_TRUE(VantaroForm->Menus().HelpHint->isEnabled()) << "a watcher is advised";
    ASSERT_TRUE(VantaroForm->Replays().OpenMatchRecord());
    Frame();
    EXPECT_TRUE(TTableAnnouncer::TurnLine(Game(), VantaroForm->Seats()).startsWith("Replay 0/"))
        << TTableAnnouncer::TurnLine(Game(), VantaroForm->Seats()).toStdString();
    Shot(*VantaroForm, "replay.png");
    const int32_t shownAtOpen = online.TheMatch().Applied(), madeAtOpen = Opponent->Match->Applied();
    ASSERT_TRUE(Run(
        [&] {
            return Opponent->Match->Applied() >= madeAtOpen + 2 && Opponent->Game->Phase == TGame::PhaseIdle;
        },
        &dice));
    EXPECT_TRUE(VantaroForm->Replays().Replaying());
    EXPECT_EQ(online.TheMatch().Applied(), shownAtOpen);
    EXPECT_TRUE(VantaroForm->Seats().Clock.isEmpty()) << "a replay has no clock";
    VantaroForm->Menus().FileLeaveReplay->trigger();
    EXPECT_EQ(Game().Phase, TGame::PhaseIdle) << "brought up to date without animation";
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), TableCheck::Digest(StateOf(*Opponent->Game)));
    Frame();
    VantaroForm->grab().save(Folder.filePath("back-from-replay.png"));
    ASSERT_TRUE(Run(
        [&] { return !Game().InProgress && Game().Phase == TGame::PhaseIdle && Opponent->Idle(); }, &dice));
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

// A rated match to its end: both players are told their rating change; the
// profile lists the match, whose record from the server opens as a replay
// ending on the very table the match ended on. A record that fails its checks
// is refused naming the server, and leaving the replay puts the table back.
TEST_F(OnlineApp, RatedMatchMovesRatingsAndItsRecordFromTheServerReplaysToTheSameTable) {
    TShellEnvironment environment = AnnsEnvironment();
    ShowWindowsActive(environment);
    TOnlinePlay& online = SignAnnIn();
    ASSERT_TRUE(online.SignedIn());
    TLobbyForm& lobby = *online.Lobby();
    Opponent->Open(Port);
    ASSERT_TRUE(
        Run([&] { return Opponent->Link->IsSignedIn() && lobby.PlayerList->topLevelItemCount() == 2; }));
    EXPECT_EQ(lobby.PlayerList->topLevelItem(0)->text(1), QString::fromUtf8("1500 ± 350"));

    // Ann asks for a rated table (and the choice is remembered); Bob sits.
    lobby.RatedBox->setChecked(true);
    EXPECT_TRUE(TSettings(environment.SettingsFile).Load().OnlineRated);
    lobby.CreateButton->click();
    ASSERT_TRUE(Run([&] { return !Opponent->Model.Tables().empty(); }));
    EXPECT_TRUE(Opponent->Model.Tables().begin()->second.Rated);
    EXPECT_EQ(lobby.TableList->topLevelItem(0)->text(6), "rated");
    Opponent->Link->Send(ServerCodec::Sit(Opponent->Model.Tables().begin()->first));
    ASSERT_TRUE(Run([&] { return online.Active() && Opponent->Match->Active(); }));
    // Cid watches from the start.
    QDir().mkpath(Folder.filePath("cid"));
    Watcher = std::make_unique<TOnlineSide>(Folder.filePath("cid"), "Cid", Game().Cards.get());
    Watcher->Open(Port);
    ASSERT_TRUE(Run([&] { return Watcher->Link->IsSignedIn(); }));
    Watcher->Link->Send(ServerCodec::Watch(Opponent->Model.Tables().begin()->first));
    ASSERT_TRUE(Run([&] { return Watcher->Match->Active(); }));
    std::mt19937 dice(5);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return !Game().InProgress && Game().Phase == TGame::PhaseIdle && Opponent->Idle() &&
                   !online.TheMatch().RatingLine().isEmpty() && Opponent->Log.join("|").contains("Rating ");
        },
        &dice));
    const uint32_t ended = TableCheck::Digest(StateOf(Game()));
    EXPECT_EQ(ended, TableCheck::Digest(StateOf(*Opponent->Game)));
    const QString mine = online.TheMatch().RatingLine();
    EXPECT_TRUE(mine.startsWith(QString::fromUtf8("Rating 1500 → "))) << mine.toStdString();
    EXPECT_TRUE(ChatForm->ChatLog->toPlainText().contains(mine)) << "the side window's log says it too";
    // Bob is told his own change; Cid both, each named with their colour.
    ASSERT_TRUE(Run([&] { return Watcher->Idle() && Watcher->Log.join("|").contains("Ratings: "); }));
    const QString watched = Watcher->Log.filter("Ratings: ").value(0);
    EXPECT_TRUE(watched.contains(QString::fromUtf8("Bob (Red) 1500 → ")) &&
                watched.contains(QString::fromUtf8("; Ann (Blue) ") + mine.mid(7)))
        << watched.toStdString();
    EXPECT_EQ(Opponent->Log.filter("Rating ").size(), 1);
    EXPECT_FALSE(Opponent->Log.filter("Rating ").value(0).contains(mine.mid(7)))
        << "Bob's own change, not Ann's";
    Shot(*VantaroForm, "rated.png");
    // The player's change stands in a box under the result's banner; nothing else differs for it.
    const TTableSeats seats = VantaroForm->Seats();
    EXPECT_EQ(seats.Rating, mine);
    const QImage shown = Game().Graphics->BackBuffer->Image().copy();
    TTableAnnouncer announcer;
    ASSERT_TRUE(announcer.Load(*Game().Graphics, TDataFolder(QFileInfo(DataDir()).path())));
    auto overlay = std::move(Game().Overlay);
    const auto drawn = [&](const TTableSeats& with) {
        Game().Overlay = [&] { announcer.Draw(Game(), with); };
        Game().RedrawEnded();
        return Game().Graphics->BackBuffer->Image().copy();
    };
    TTableSeats plain = seats;
    plain.Rating.clear();
    const QImage withLine = drawn(seats), withoutLine = drawn(plain);
    Game().Overlay = std::move(overlay);
    Game().RedrawEnded();
    QRect line;
    for (int y = 0; y < withLine.height(); ++y)
        for (int x = 0; x < withLine.width(); ++x)
            if (withLine.pixel(x, y) != withoutLine.pixel(x, y)) line |= QRect(x, y, 1, 1);
    EXPECT_TRUE(QRect(56, 224, 400, 40).contains(line))
        << line.x() << "," << line.y() << " " << line.width() << "x" << line.height();
    EXPECT_FALSE(line.isEmpty());
    EXPECT_EQ(shown, withLine) << "the table as shown has the line already";

    // Ann's profile, from a double click on her name.
    ASSERT_TRUE(Run([&] { return lobby.PlayerList->topLevelItemCount() == 3; }));
    QTreeWidgetItem* ann = lobby.PlayerList->findItems("Ann", Qt::MatchExactly).value(0);
    ASSERT_NE(ann, nullptr);
    emit lobby.PlayerList->itemActivated(ann, 0);
    ASSERT_TRUE(Run([&] { return lobby.RecentList->topLevelItemCount() == 1; }));
    EXPECT_EQ(lobby.Views->currentWidget(), lobby.ProfilePage);
    EXPECT_EQ(lobby.ProfileChart->Ratings().size(), 1u);
    EXPECT_TRUE(mine.endsWith(lobby.RecentList->topLevelItem(0)->text(5) + ")")) << "the same change";
    Shot(lobby, "lobby-profile.png");
    lobby.Views->setCurrentWidget(lobby.LeaderboardPage);
    ASSERT_TRUE(Run([&] { return lobby.LeaderList->topLevelItemCount() == 1; }));
    EXPECT_TRUE(lobby.LeaderList->topLevelItem(0)->text(0).isEmpty()) << "no one has ten rated matches";
    Shot(lobby, "lobby-leaderboard.png");

    // A record the server garbles is refused naming it; the table is untouched.
    const std::optional<int64_t> match = lobby.ChosenMatch();
    ASSERT_TRUE(match);
    const size_t said = Messages.Lines.size();
    lobby.ReplayButton->click();
    TServerMessage garbled;
    garbled.Kind = TServerMessage::TKind::Record;
    garbled.Record = {*match, R"({"format":"vantaro-match","version":2})"};
    emit online.Connection()->message(garbled);
    ASSERT_EQ(Messages.Lines.size(), said + 1);
    EXPECT_NE(Messages.Lines.back().find("the server 127.0.0.1:"), std::string::npos)
        << Messages.Lines.back();
    EXPECT_NE(Messages.Lines.back().find("version 2"), std::string::npos) << Messages.Lines.back();
    EXPECT_FALSE(VantaroForm->Replays().Replaying());

    // Enter on the match asks again; the server's own record replays to the table the match ended on.
    emit lobby.RecentList->itemActivated(lobby.RecentList->topLevelItem(0), 0);
    ASSERT_TRUE(Run([&] { return VantaroForm->Replays().Replaying(); }));
    EXPECT_EQ(Messages.Lines.size(), said + 1);
    VantaroForm->Replays().Replay().ToEnd();
    RunFrames();
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), ended);
    EXPECT_TRUE(VantaroForm->Replays().Replay().Record().Rated);
    VantaroForm->Replays().Replay().ToStart();
    RunFrames();
    EXPECT_NE(TableCheck::Digest(StateOf(Game())), ended);
    VantaroForm->Replays().LeaveReplay();
    RunFrames();
    EXPECT_EQ(TableCheck::Digest(StateOf(Game())), ended) << "back to the table as it was";
}

namespace {

class TSoundLog : public TSoundPlayer {
public:
    explicit TSoundLog(std::vector<TSound>& heard) : Heard(heard) {}
    void Play(TSound sound) override { Heard.push_back(sound); }
    std::vector<TSound>& Heard;
};

} // namespace

// Every way a server's match ends before its last card says on the table what
// happened, the log leads back to the lobby and so does a click on the table:
// nothing is dealt under the online window. Seated, neither undo nor the hint
// is offered; the clock shows in the turn line all along, warning (with a
// sound) in its last seconds.
TEST_F(OnlineApp, EveryEndingSaysWhatHappenedAndTheTableLeadsBackToTheLobby) {
    TShellEnvironment environment = AnnsEnvironment();
    std::vector<TSound> heard;
    environment.MakeSoundPlayer = [&](const TDataFolder&) { return std::make_unique<TSoundLog>(heard); };
    ShowWindowsActive(environment);
    VantaroForm->Menus().ViewAnnounce->setChecked(false); // a server's table speaks all the same
    TOnlinePlay& online = SignAnnIn();
    ASSERT_TRUE(online.SignedIn());

    enum class TEnd { BobLeaves, BobGone, AnnSlow, BobSlow, BobLeavesAtOnce };
    const struct {
        const char* Name;
        TEnd End;
        const char* Banner;
    } cases[] = {
        {"Bob leaves", TEnd::BobLeaves, "You win \u2013 Blue left the match"},
        {"Bob's line drops for good", TEnd::BobGone, "You win \u2013 Blue did not come back"},
        {"Ann's clock runs out", TEnd::AnnSlow, "You lose on time"},
        {"Bob's clock runs out", TEnd::BobSlow, "Blue ran out of time \u2013 you win"},
        {"Bob leaves before a card is played", TEnd::BobLeavesAtOnce, "Match abandoned"},
    };
    std::mt19937 dice(9);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!Opponent->Link->IsSignedIn()) Opponent->Open(Port);
        ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
        Opponent->Link->Send(ServerCodec::Create(TGameRules{}, 30));
        int64_t table = 0;
        ASSERT_TRUE(Run([&] {
            for (const auto& [id, entry] : online.Model().Tables())
                if (entry.Seats[1] == "Bob" && entry.Seats[0].isEmpty()) table = id;
            return table != 0;
        }));
        online.Connection()->Send(ServerCodec::Sit(table));
        ASSERT_TRUE(Run([&] { return online.TheMatch().Still() && Opponent->Match->Active(); }));
        const int32_t cards = c.End == TEnd::BobLeavesAtOnce ? 0 : 2;
        const int32_t toMove = c.End == TEnd::AnnSlow ? 0 : 1;
        ASSERT_TRUE(Run([&] {
            if (online.TheMatch().Applied() < cards || Game().Turn != toMove) {
                PressMove(dice);
                Opponent->PlayAnyMove(dice);
            }
            return online.TheMatch().Applied() >= cards && online.TheMatch().Still() &&
                   Game().Turn == toMove && Opponent->Match->Still();
        }));
        EXPECT_FALSE(VantaroForm->Menus().EditUndo->isEnabled());
        EXPECT_FALSE(VantaroForm->Menus().HelpHint->isEnabled());
        const int32_t shown = online.TheMatch().Applied();
        QTest::keyClick(VantaroForm, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(VantaroForm, Qt::Key_H);
        EXPECT_EQ(online.TheMatch().Applied(), shown);
        EXPECT_FALSE(VantaroForm->Table().Hint().Busy());
        // The move's clock shows from its start, after the turn, not over it.
        const QString turn = TTableAnnouncer::TurnLine(Game(), VantaroForm->Seats());
        const QString clock = VantaroForm->Seats().Clock;
        EXPECT_TRUE(turn.endsWith(QString::fromUtf8(" \u00b7 ") + clock)) << turn.toStdString();
        EXPECT_GT(clock.chopped(2).toInt(), TServerMatch::ClockWarnSeconds) << clock.toStdString();
        EXPECT_FALSE(VantaroForm->Seats().ClockWarns);
        const size_t turnCues = std::count(heard.begin(), heard.end(), TSound::Turn);
        if (c.End == TEnd::AnnSlow) Shot(*VantaroForm, "clock.png");
        switch (c.End) {
        case TEnd::BobLeaves:
        case TEnd::BobLeavesAtOnce:
            Opponent->Link->Send(ServerCodec::Leave());
            break;
        case TEnd::BobGone:
            Opponent->Link->Close();
            ASSERT_TRUE(Run([&] { return VantaroForm->Seats().Clock.startsWith("Blue away"); }));
            Server->Advance(61'000);
            break;
        case TEnd::AnnSlow:
            // The last seconds warn, once, with a sound.
            Now += 21'000'000;
            RunFrames();
            EXPECT_TRUE(VantaroForm->Seats().ClockWarns);
            RunFrames();
            Shot(*VantaroForm, "clock-warning.png");
            EXPECT_EQ(std::count(heard.begin(), heard.end(), TSound::Turn), turnCues + 1);
            Server->Advance(31'000);
            break;
        case TEnd::BobSlow:
            Server->Advance(31'000);
            break;
        }
        ASSERT_TRUE(
            Run([&] { return !online.Active() && !Game().InProgress && Game().Phase == TGame::PhaseIdle; }));
        // The display's loop runs frames only while the picture may change:
        // by the time it rests, the ending is drawn.
        while (VantaroForm->PictureMoves()) Frame();
        const QImage rested = Game().Graphics->BackBuffer->Image().copy();
        RunFrames();
        EXPECT_TRUE(Game().Graphics->BackBuffer->Image() == rested);
        EXPECT_EQ(TTableAnnouncer::ResultLine(Game(), VantaroForm->Seats()).toStdString(), c.Banner);
        Shot(*VantaroForm, QString("ending-%1.png").arg(int(c.End)));
        const QString log = ChatForm->ChatLog->toPlainText();
        EXPECT_TRUE(log.endsWith(TMatchLog::LobbyInvitation)) << log.right(200).toStdString();
        // A click on the ended table, or F2, leads to the lobby; nothing is dealt here.
        QTest::mouseClick(VantaroForm->GameBoard, Qt::LeftButton, Qt::NoModifier, QPoint(256, 192));
        VantaroForm->Menus().FileNewGame->trigger();
        RunFrames();
        EXPECT_FALSE(Game().InProgress);
        EXPECT_EQ(Game().Seats().Kind, TSeating::ServerPlayer);
        EXPECT_TRUE(VantaroForm->windowTitle().contains("Online"))
            << VantaroForm->windowTitle().toStdString();
        EXPECT_TRUE(ChatForm->ChatLog->toPlainText().endsWith(
            "Back to the lobby: choose a table there, or Play Now."));
        EXPECT_FALSE(ChatForm->ChatLog->toPlainText().contains("Match abandoned"));
    }
}

// The server stops in the middle of a match: the table waits, says it is
// reconnecting and for how long the seat is kept, and tries again by itself
// until the server is back, where the match goes on to its end. Stopped for
// good, the table gives up once the seat is no longer kept; "abandoned" is
// never said, as the server never said it.
TEST_F(OnlineApp, TheClientComesBackByItselfWhenTheServerRestarts) {
    TShellEnvironment environment = AnnsEnvironment();
    ShowWindowsActive(environment);
    // The client tries for as long as this server keeps a seat.
    TOnlinePlay& online = SignAnnIn([&] {
        TServerSettings settings;
        settings.AwaySeconds = 45;
        Server->Sessions->Lobby().Apply(settings);
    });
    ASSERT_TRUE(online.SignedIn());
    const TIdentity identity = Server->Identity;
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
    Opponent->Link->Send(ServerCodec::Create(TGameRules{}, 30));
    ASSERT_TRUE(Run([&] { return !online.Model().Tables().empty(); }));
    online.Connection()->Send(ServerCodec::Sit(online.Model().Tables().begin()->first));
    std::mt19937 dice(4);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return online.TheMatch().Applied() >= 3 && online.TheMatch().Still() && Opponent->Match->Still();
        },
        &dice));
    const uint32_t before = TableCheck::Digest(StateOf(Game()));
    const auto log = [&] { return ChatForm->ChatLog->toPlainText(); };

    for (const bool comesBack : {true, false}) {
        SCOPED_TRACE(comesBack ? "the server comes back" : "the server stays away");
        Server.reset();
        ASSERT_TRUE(Run([&] { return online.Reconnecting(); }));
        EXPECT_TRUE(Game().InProgress) << "the table waits as it stands";
        EXPECT_TRUE(VantaroForm->Seats().Clock.startsWith(QString::fromUtf8("Reconnecting\u2026 ")))
            << VantaroForm->Seats().Clock.toStdString();
        // The first server keeps a seat 45 s; the one started again, 60 s.
        const int kept = comesBack ? 45 : 60;
        EXPECT_TRUE(log().contains(
            QString("Reconnecting by itself: the server keeps your seat for %1 s.").arg(kept)));
        Shot(*VantaroForm, "reconnecting.png");
        // Tries that find nobody, a little further apart each time.
        ASSERT_TRUE(Run([&] { return log().count("No way back yet") >= 2; }));
        EXPECT_TRUE(online.Reconnecting());
        if (!comesBack) {
            Now += (kept + 1) * 1'000'000LL;
            ASSERT_TRUE(Run([&] { return !online.Active() && !Game().InProgress; }));
            EXPECT_FALSE(online.Reconnecting());
            EXPECT_EQ(TTableAnnouncer::ResultLine(Game(), VantaroForm->Seats()), "Connection lost");
            break;
        }
        Server = std::make_unique<TLoopbackServer>(Folder.path(), Game().Cards.get(), Port, &identity);
        Opponent->Open(Port);
        ASSERT_TRUE(Run([&] {
            return !online.Reconnecting() && online.TheMatch().Still() && Opponent->Match->Still() &&
                   !online.TheMatch().LineDown();
        }));
        EXPECT_EQ(TableCheck::Digest(StateOf(Game())), before);
        EXPECT_TRUE(log().contains("Back at the table; the match goes on."));
        // The match goes on to a move more on both tables.
        const int32_t made = online.TheMatch().Applied();
        ASSERT_TRUE(Run(
            [&] {
                PressMove(dice);
                return online.TheMatch().Applied() > made && online.TheMatch().Still() &&
                       Opponent->Match->Still();
            },
            &dice));
        EXPECT_EQ(TableCheck::Digest(StateOf(Game())), TableCheck::Digest(StateOf(*Opponent->Game)));
    }
    EXPECT_FALSE(log().contains("abandoned", Qt::CaseInsensitive)) << log().toStdString();
}

// A match at a server's table is kept as the server recorded it, with the
// real names and the server's result, a forfeit won included, and counted as
// a network game; a match only watched is counted nowhere. Signed in, the
// side window is a chat without the designer's texts.
TEST_F(OnlineApp, AServerMatchIsKeptAsTheServerRecordedItAndAWatchedOneIsNotCounted) {
    TShellEnvironment environment = AnnsEnvironment();
    ShowWindowsActive(environment);
    EXPECT_TRUE(ChatForm->Blah1->isVisible()) << "at one keyboard the window is as it always was";
    TOnlinePlay& online = SignAnnIn();
    ASSERT_TRUE(online.SignedIn());
    EXPECT_TRUE(ChatForm->ChatEdit->toPlainText().isEmpty());
    EXPECT_FALSE(ChatForm->ChatEdit->placeholderText().isEmpty());
    EXPECT_FALSE(ChatForm->Blah1->isVisible());

    // Bob opens a table, Ann sits at Red; after a few moves Bob leaves and forfeits.
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
    Opponent->Link->Send(ServerCodec::Create(TGameRules{}, 60));
    ASSERT_TRUE(Run([&] { return !Opponent->Model.Tables().empty(); }));
    online.Connection()->Send(ServerCodec::Sit(Opponent->Model.Tables().begin()->first));
    ASSERT_TRUE(Run([&] { return online.Active() && Opponent->Match->Active(); }));
    std::mt19937 dice(9);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return online.TheMatch().Applied() >= 3 && Game().Phase == TGame::PhaseIdle;
        },
        &dice));
    Opponent->Link->Send(ServerCodec::Leave());
    TRecordKeeper& history = *VantaroForm->Replays().History();
    ASSERT_TRUE(Run([&] {
        return !Game().InProgress && Game().Phase == TGame::PhaseIdle && history.List().size() == 1;
    }));
    const int32_t red = Game().Score[0], blue = Game().Score[1];
    const TMatchRecord kept = *history.List()[0].Record;
    EXPECT_EQ(kept.Mode, TMatchMode::Server);
    EXPECT_EQ(kept.Players[0], "Ann");
    EXPECT_EQ(kept.Players[1], "Bob");
    EXPECT_EQ(kept.Ending, TMatchEnding::Forfeit);
    EXPECT_EQ(kept.Winner, 0);
    EXPECT_EQ(kept.Score[0] * 100 + kept.Score[1], red * 100 + blue) << "as it stood at the end";
    EXPECT_EQ(kept.Moves, Game().Match().Script.Moves);
    TStatistics& statistics = VantaroForm->Listening().Statistics();
    EXPECT_EQ(statistics.Tally(TGameType::Network, TLevel::Normal).Won, 1);
    EXPECT_EQ(statistics.Tally(TGameType::HotSeat, TLevel::Normal).Played, 0);

    // Ann watches Bob and Cid play to the end: neither history nor statistics change.
    QDir().mkpath(Folder.filePath("cid"));
    Third = std::make_unique<TOnlineSide>(Folder.filePath("cid"), "Cid", Game().Cards.get());
    Third->Open(Port);
    ASSERT_TRUE(Run([&] { return Third->Link->IsSignedIn(); }));
    Third->Link->Send(ServerCodec::Create(TGameRules{}, 60));
    int64_t table = 0;
    ASSERT_TRUE(Run([&] {
        for (const auto& [id, entry] : Opponent->Model.Tables()) table = entry.Seats[1] == "Cid" ? id : table;
        return table != 0;
    }));
    online.Connection()->Send(ServerCodec::Watch(table));
    Opponent->Link->Send(ServerCodec::Sit(table));
    ASSERT_TRUE(Run([&] { return online.Active() && Opponent->Match->Active(); }));
    ASSERT_TRUE(Run(
        [&] {
            return !Game().InProgress && Game().Phase == TGame::PhaseIdle && Opponent->Idle() &&
                   Third->Idle();
        },
        &dice));
    EXPECT_EQ(online.TheMatch().Applied(), 9);
    EXPECT_EQ(history.List().size(), 1u);
    EXPECT_EQ(statistics.Tally(TGameType::Network, TLevel::Normal).Played, 1);
    EXPECT_EQ(statistics.Tally(TGameType::HotSeat, TLevel::Normal).Played, 0);
}

// From a line Bob said in the lobby's chat a player follows, blocks and
// reports him (with a line of her own), and the People tab and his profile
// show it as the server keeps it; a moderator (Ann, by the settings) sees the
// report with Bob's lines in her Moderation tab, mutes him from its form and
// unblocks him from her own profile. Coming back, she sees the lobby's
// earlier lines, each still offering its speaker's menu.
TEST_F(OnlineApp, APlayerFollowsBlocksAndReportsAndAModeratorMutesFromTheLobby) {
    TShellEnvironment environment = AnnsEnvironment();
    ShowWindowsActive(environment);
    TOnlinePlay& online = SignAnnIn([&] {
        TServerSettings settings;
        settings.Moderators = {"Ann"};
        settings.Motd = "Be kind.";
        Server->Sessions->Lobby().Apply(settings);
        Server->Sessions->Lobby().Moderate(*Server->Storage, Server->NowMs());
    });
    ASSERT_TRUE(online.SignedIn());
    TLobbyForm& lobby = *online.Lobby();
    EXPECT_TRUE(lobby.ChatLog->toPlainText().contains("Message of the day: Be kind."));
    ASSERT_GE(lobby.Views->indexOf(lobby.ModerationPage), 0) << "a moderator's lobby has the tab";
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return lobby.PlayerList->topLevelItemCount() == 2; }));
    Opponent->Link->Send(ServerCodec::Chat("first words"));
    ASSERT_TRUE(online.SendChat("my own words"));
    ASSERT_TRUE(Run([&] { return lobby.ChatLog->toPlainText().contains("my own words"); }));
    ASSERT_TRUE(lobby.ChatLog->toPlainText().contains("first words"));
    // Who said the line holding the text, as a right click there finds them.
    const auto speakerOf = [&](const QString& text) {
        const QTextCursor line = lobby.ChatLog->document()->find(text);
        return lobby.SpeakerAt(lobby.ChatLog->cursorRect(line).center());
    };
    EXPECT_EQ(speakerOf("Message of the day"), "");
    EXPECT_EQ(speakerOf("my own words"), "") << "no menu on one's own line";
    const QString bob = speakerOf("first words");
    EXPECT_EQ(bob, "Bob");

    auto choose = [&](const QStringList& path) {
        QMenu menu;
        lobby.FillPlayerMenu(menu, bob);
        QMenu* at = &menu;
        for (const QString& text : path)
            for (QAction* action : at->actions())
                if (action->text() == text) {
                    if (action->menu())
                        at = action->menu();
                    else
                        action->trigger();
                    break;
                }
    };
    choose({"Follow"});
    ASSERT_TRUE(Run([&] { return lobby.PeoplePage->FollowList->topLevelItemCount() == 1; }));
    EXPECT_EQ(lobby.PeoplePage->FollowList->topLevelItem(0)->text(1), "in the lobby");
    choose({"Block"});
    ASSERT_TRUE(Run([&] { return lobby.PeoplePage->BlockList->count() == 1; }));
    lobby.Views->setCurrentWidget(lobby.PeoplePage);
    Shot(lobby, "lobby-people.png");
    lobby.PeoplePage->FollowList->setCurrentItem(lobby.PeoplePage->FollowList->topLevelItem(0));
    EXPECT_TRUE(lobby.PeoplePage->ChallengeButton->isEnabled()) << "Bob is online";
    Opponent->Link->Send(ServerCodec::Chat("second words"));
    lobby.AskReport = [](const QString& name, QString& reason, QString& text) {
        EXPECT_EQ(name + " " + reason, "Bob spam");
        text = "sells gold";
        return true;
    };
    choose({"Report", "Spam…"});
    ASSERT_TRUE(Run([&] { return lobby.Status->text().startsWith("Thank you: your report on Bob"); }));
    EXPECT_FALSE(lobby.ChatLog->toPlainText().contains("second words"))
        << "a blocked player's chat stays away";

    TModerationPage& moderation = *lobby.ModerationPage;
    lobby.Views->setCurrentWidget(&moderation);
    moderation.RefreshButton->click();
    ASSERT_TRUE(Run([&] { return moderation.ReportList->topLevelItemCount() == 1; }));
    moderation.ReportList->setCurrentItem(moderation.ReportList->topLevelItem(0));
    EXPECT_TRUE(moderation.Evidence->toPlainText().contains("in the lobby: second words"));
    EXPECT_TRUE(moderation.Evidence->toPlainText().contains("Their words: sells gold"));
    EXPECT_EQ(moderation.TargetEdit->text(), "Bob");
    EXPECT_FALSE(moderation.ApplyButton->isEnabled()) << "not without a reason";
    moderation.ReasonEdit->setText("spam");
    moderation.ApplyButton->click();
    ASSERT_TRUE(Run([&] { return moderation.SanctionList->topLevelItemCount() == 1; }));
    EXPECT_EQ(moderation.SanctionList->topLevelItem(0)->text(1), "mute");
    Shot(lobby, "lobby-moderation.png");
    Opponent->Link->Send(ServerCodec::Chat("third words"));
    ASSERT_TRUE(Run([&] { return Opponent->Log.contains("You are muted for 30 more minutes: spam."); }));

    lobby.AskProfile(bob);
    ASSERT_TRUE(Run([&] { return lobby.ProfileTitle->text().startsWith("Bob:"); }));
    EXPECT_TRUE(lobby.ProfileBlockButton->isVisible());
    EXPECT_EQ(lobby.ProfileBlockButton->text() + " " + lobby.ProfileFollowButton->text(), "Unblock Unfollow");
    EXPECT_FALSE(lobby.ProfileBlockList->isVisible()) << "another's profile does not list one's blocks";
    lobby.MyProfileButton->click();
    ASSERT_TRUE(Run([&] { return lobby.ProfileTitle->text().startsWith("Ann:"); }));
    EXPECT_FALSE(lobby.ProfileBlockButton->isVisible());
    ASSERT_EQ(lobby.ProfileBlockList->count(), 1);
    Shot(lobby, "lobby-own-profile.png");
    lobby.ProfileUnblockButton->click();
    ASSERT_TRUE(Run([&] { return lobby.PeoplePage->BlockList->count() == 0; }));
    EXPECT_EQ(lobby.ProfileBlockList->count(), 0);

    online.Disconnect();
    lobby.ChatLog->clear();
    online.Connect(*ParseOnlineServer(QStringLiteral("127.0.0.1:%1").arg(Port)), "Ann");
    ASSERT_TRUE(Run([&] { return lobby.ChatLog->toPlainText().contains("Bob: second words"); }));
    EXPECT_TRUE(lobby.ChatLog->toPlainText().contains(QRegularExpression(
        R"(\(earlier\) \d\d:\d\d Bob: first words\n\(earlier\) \d\d:\d\d Ann: my own words\n)"
        R"(\(earlier\) \d\d:\d\d Bob: second words)")))
        << lobby.ChatLog->toPlainText().toStdString();
    EXPECT_EQ(speakerOf("Bob: second words"), "Bob");
    Shot(lobby, "lobby-earlier-lines.png");
}

// At a server's table Resign asks first: No, and the match goes on, as it
// does when quitting is answered No; Yes gives it up and both tables say who
// resigned. Afterwards the other player's asking shows on the table, and
// accepting deals a new match at the same table with the colours swapped.
TEST_F(OnlineApp, ResignAsksFirstAndARematchDealsAgainWithTheColoursSwapped) {
    ShowWindowsActive(AnnsEnvironment());
    TOnlinePlay& online = SignAnnIn();
    ASSERT_TRUE(online.SignedIn());
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
    Opponent->Link->Send(ServerCodec::Create(TGameRules{}, 60));
    ASSERT_TRUE(Run([&] { return !online.Model().Tables().empty(); }));
    const int64_t table = online.Model().Tables().begin()->first;
    online.Connection()->Send(ServerCodec::Sit(table));
    std::mt19937 dice(5);
    ASSERT_TRUE(Run(
        [&] {
            PressMove(dice);
            return online.TheMatch().Applied() >= 2 && online.TheMatch().Still() && Opponent->Match->Still();
        },
        &dice));
    TMainMenu& menus = VantaroForm->Menus();
    EXPECT_TRUE(menus.FileResign->isEnabled());
    EXPECT_FALSE(menus.FileRematch->isEnabled());

    Answer = false;
    menus.FileResign->trigger();
    EXPECT_FALSE(VantaroForm->close());
    ASSERT_EQ(Questions.size(), 2);
    EXPECT_TRUE(Questions[0].startsWith("Resign this match?")) << Questions[0].toStdString();
    EXPECT_TRUE(Questions[1].startsWith("Leave the match?")) << Questions[1].toStdString();
    const int32_t shown = online.TheMatch().Applied();
    // Whatever went to the server before this line has been answered when it comes back.
    ASSERT_TRUE(online.SendChat("still here"));
    ASSERT_TRUE(Run([&] { return ChatForm->ChatLog->toPlainText().contains("Ann: still here"); }));
    // A right click on the other player's line at the table offers the lobby's menu for them.
    Opponent->Link->Send(ServerCodec::Chat("good luck"));
    ASSERT_TRUE(Run([&] { return ChatForm->ChatLog->toPlainText().contains("Bob: good luck"); }));
    const auto speakerOf = [](const QString& text) {
        QTextEdit& log = *ChatForm->ChatLog;
        return ChatForm->SpeakerAt(log.cursorRect(log.document()->find(text)).center());
    };
    EXPECT_EQ(speakerOf("Bob: good luck"), "Bob");
    EXPECT_EQ(speakerOf("Ann: still here"), "");
    QMenu menu;
    ChatForm->SpeakerMenu(menu, "Bob");
    EXPECT_FALSE(menu.actions().isEmpty());
    EXPECT_TRUE(VantaroForm->isVisible());
    EXPECT_TRUE(online.TheMatch().Seated());
    EXPECT_EQ(online.TheMatch().Applied(), shown);

    Answer = true;
    menus.FileResign->trigger();
    ASSERT_TRUE(Run([&] {
        return !online.Active() && !Game().InProgress && Game().Phase == TGame::PhaseIdle &&
               !Opponent->Match->EndingLine().isEmpty();
    }));
    EXPECT_EQ(TTableAnnouncer::ResultLine(Game(), VantaroForm->Seats()), "You resigned \u2013 Bob wins");
    EXPECT_EQ(Opponent->Match->EndingLine(), "Ann resigned \u2013 you win");
    Shot(*VantaroForm, "resigned.png");

    Opponent->Link->Send(ServerCodec::Rematch());
    ASSERT_TRUE(Run([&] { return menus.FileRematch->isEnabled() && !online.RematchLine().isEmpty(); }));
    EXPECT_EQ(VantaroForm->Seats().Offer, "Bob asks for a rematch");
    Shot(*VantaroForm, "rematch-offer.png");
    Key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(Run([&] {
        return online.Active() && online.TheMatch().Still() && Game().InProgress &&
               Opponent->Match->Still() && Opponent->Match->Applied() == 0;
    }));
    EXPECT_EQ(online.TheMatch().TableId(), table);
    EXPECT_EQ(online.TheMatch().LocalSeat(), 1) << "Ann played Red, now Blue";
    EXPECT_EQ(online.TheMatch().Players()[0], "Bob");
    EXPECT_EQ(Opponent->Match->LocalSeat(), 0);
    EXPECT_EQ(online.TheMatch().Applied(), 0);
    EXPECT_TRUE(online.RematchLine().isEmpty());
    EXPECT_TRUE(menus.FileResign->isEnabled());
}

// The lobby stays in use while its player waits, for Play Now or at a table
// of its own; a button that cannot act says why; a challenge is offered in a
// dialog and declined, another accepted from the lobby; a lost connection
// offers Reconnect.
TEST_F(OnlineApp, TheLobbyStaysInUseWhileWaitingSaysWhyAButtonCannotActAndReconnects) {
    const TShellEnvironment environment = AnnsEnvironment();
    ShowWindowsActive(environment);
    TOnlinePlay& online = VantaroForm->Online();
    TLobbyForm& lobby = *online.Lobby();
    const auto why = [](const QPushButton* button) {
        return button->isEnabled() ? QString() : button->toolTip();
    };
    EXPECT_EQ(why(lobby.CreateButton), "Sign in first");
    EXPECT_EQ(why(lobby.MyProfileButton), "Sign in first");
    Server = std::make_unique<TLoopbackServer>(Folder.path(), Game().Cards.get());
    Port = Server->Server->Port();
    const TIdentity identity = Server->Identity;
    VantaroForm->FilePlayOnlineClick();
    ASSERT_TRUE(Run([&] { return online.SignedIn() && lobby.PlayerList->topLevelItemCount() == 1; }));
    EXPECT_EQ(why(lobby.SitButton), "Choose a table");
    EXPECT_EQ(why(lobby.WatchButton), "Choose a table");
    EXPECT_EQ(why(lobby.ChallengeButton), "Choose a player");
    EXPECT_EQ(why(lobby.LeaveButton), "You are not at a table");
    lobby.PlayerList->setCurrentItem(lobby.PlayerList->topLevelItem(0));
    EXPECT_EQ(why(lobby.ChallengeButton), "You cannot challenge yourself");
    EXPECT_TRUE(lobby.ReconnectButton->isHidden());
    lobby.MyProfileButton->click();
    ASSERT_TRUE(Run([&] { return lobby.ProfileTitle->text().startsWith("Ann: rating"); }));

    // Waiting for Play Now, the lobby goes on; Stop Waiting withdraws.
    lobby.SetAccepted({RuleSame, 0}, {60, 30});
    EXPECT_EQ(TSettings(environment.SettingsFile).Load().PlayNowRules, (std::vector<int32_t>{0, RuleSame}));
    lobby.PlayNowButton->click();
    ASSERT_TRUE(Run([&] { return !lobby.WaitingLine->isHidden(); }));
    EXPECT_TRUE(lobby.WaitingLine->text().startsWith(
        QString::fromUtf8("Waiting for an opponent: Open, Same; 30 s or 60 s a move \u00B7 0:")))
        << lobby.WaitingLine->text().toStdString();
    QDir().mkpath(Folder.filePath("bob"));
    Opponent = std::make_unique<TOnlineSide>(Folder.filePath("bob"), "Bob", Game().Cards.get());
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return lobby.PlayerList->topLevelItemCount() == 2; }));
    Opponent->Link->Send(ServerCodec::Chat("hello"));
    ASSERT_TRUE(Run([&] { return lobby.ChatLog->toPlainText().contains("Bob: hello"); }));
    Shot(lobby, "lobby-waiting.png");
    lobby.StopWaitingButton->click();
    ASSERT_TRUE(Run([&] { return lobby.WaitingLine->isHidden(); }));

    // So it does at a table of one's own.
    lobby.CreateButton->click();
    ASSERT_TRUE(
        Run([&] { return lobby.WaitingLine->text().startsWith("Waiting at table 1 for an opponent"); }));
    EXPECT_EQ(why(lobby.CreateButton), "You are already seated");
    EXPECT_EQ(why(lobby.PlayNowButton), "You are already seated");
    Opponent->Link->Send(ServerCodec::Chat("still there?"));
    ASSERT_TRUE(Run([&] { return lobby.ChatLog->toPlainText().contains("Bob: still there?"); }));
    lobby.StopWaitingButton->click();
    ASSERT_TRUE(Run([&] { return lobby.WaitingLine->isHidden() && lobby.CreateButton->isEnabled(); }));

    // A challenge to Bob, its terms asked in a dialog; Bob declines.
    lobby.Views->setCurrentWidget(lobby.TablesPage);
    for (int row = 0; row < lobby.PlayerList->topLevelItemCount(); ++row)
        if (lobby.PlayerList->topLevelItem(row)->text(0) == "Bob")
            lobby.PlayerList->setCurrentItem(lobby.PlayerList->topLevelItem(row));
    ASSERT_TRUE(lobby.ChallengeButton->isEnabled());
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->windowTitle(), "Challenge Bob");
        Shot(*dialog, "challenge-dialog.png");
        dialog->accept();
    });
    lobby.ChallengeButton->click();
    ASSERT_TRUE(
        Run([&] { return Opponent->Model.ChallengesToMe().size() == 1 && !lobby.ChallengeBar->isHidden(); }));
    EXPECT_FALSE(lobby.WithdrawButton->isHidden());
    EXPECT_EQ(why(lobby.ChallengeButton), "Your challenge to Bob is still open");
    Opponent->Link->Send(ServerCodec::Answer(Opponent->Model.ChallengesToMe().front().Id, false));
    ASSERT_TRUE(Run([&] { return lobby.Status->text() == "Bob declined your challenge."; }));
    EXPECT_TRUE(lobby.ChallengeBar->isHidden());

    // The server goes away with no match in play: the lobby offers Reconnect.
    Server.reset();
    ASSERT_TRUE(Run([&] { return !lobby.ReconnectButton->isHidden(); }));
    EXPECT_TRUE(lobby.Status->text().startsWith("Connection lost")) << lobby.Status->text().toStdString();
    EXPECT_EQ(why(lobby.CreateButton), "Connection lost: reconnect first");
    Shot(lobby, "lobby-lost.png");
    Server = std::make_unique<TLoopbackServer>(Folder.path(), Game().Cards.get(), Port, &identity);
    lobby.ReconnectButton->click();
    ASSERT_TRUE(Run([&] { return online.SignedIn() && lobby.ReconnectButton->isHidden(); }));

    // Bob challenges Ann, who accepts from the lobby: the match starts.
    Opponent->Open(Port);
    ASSERT_TRUE(Run([&] { return Opponent->Link->IsSignedIn(); }));
    Opponent->Link->Send(ServerCodec::Challenge("Ann", TGameRules{}, 0, false));
    ASSERT_TRUE(Run([&] { return !lobby.AcceptButton->isHidden() && !lobby.ChallengeBar->isHidden(); }));
    EXPECT_EQ(lobby.ChallengeLine->text(), "Bob challenges you: Open; unlimited time; casual.");
    Shot(lobby, "lobby-challenged.png");
    lobby.AcceptButton->click();
    ASSERT_TRUE(Run([&] { return online.Active() && Opponent->Match->Active(); }));
    EXPECT_EQ(online.TheMatch().LocalSeat(), 0) << "the challenger plays Blue";
}
