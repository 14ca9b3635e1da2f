#include "app/OnlineControl.h"

#include "app/ChatForm.h"
#include "app/LobbyForm.h"
#include "app/OnlinePlay.h"
#include "app/Settings.h"
#include "app/SideLog.h"
#include "net/ServerCodec.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>

TOnlineControl::TOnlineControl(TGame& game, QWidget& window, QWidget* board, const QString& settingsFile,
                               TStoredSettings& stored, THooks hooks)
    : Window(window), Stored(stored), Hooks(std::move(hooks)) {
    // Beside the settings, so that the identity moves with them.
    const QString folder =
        QFileInfo(settingsFile.isEmpty() ? TSettings::DefaultFile() : settingsFile).absolutePath();
    TOnlineHooks online;
    online.Log = TSideLog::Note;
    online.TableChat = [](const QString& line, const QString& speaker) {
        if (ChatForm) ChatForm->AppendLine(line, speaker);
    };
    online.Wake = [this] {
        if (Online->Active()) Hooks.Unseat();
        Hooks.Wake();
    };
    online.NowMs = Hooks.NowMs;
    online.ClockWarning = Hooks.ClockWarning;
    online.Trust = Hooks.TrustServer;
    online.PlaceLobby = Hooks.PlaceLobby;
    online.TableWanted = [this] {
        if (!Hooks.Replaying()) return;
        TSideLog::Note("Your match on the server has started: the replay gives it the table.");
        Hooks.LeaveReplay();
    };
    online.Message = [this](const QString& text) {
        if (Hooks.Message) Hooks.Message(text.toStdString());
    };
    online.OpenReplay = [this](const TMatchRecord& record, const QString& source) {
        // The server's match goes on whatever this table shows; a replay waits for its end.
        if (Online->Active()) {
            if (Hooks.Message)
                Hooks.Message("A replay opens once the match on the table has ended: leave the table first.");
            return false;
        }
        return Hooks.OpenReplay(record, source);
    };
    online.KeepRecord = Hooks.KeepRecord;
    online.Confirm = Hooks.Confirm ? Hooks.Confirm : [this](const QString& title, const QString& question) {
        return QMessageBox::question(&Window, title, question) == QMessageBox::Yes;
    };
    Online = std::make_unique<TOnlinePlay>(game, board, folder, std::move(online));
    Online->Lobby()->RatedBox->setChecked(Stored.OnlineRated);
    QObject::connect(Online->Lobby()->RatedBox, &QCheckBox::toggled, &Window, [this](bool rated) {
        Stored.OnlineRated = rated;
        Hooks.Save();
    });
    // What Play Now accepts is kept as ticked, even a list that accepts nothing yet.
    TLobbyForm& lobby = *Online->Lobby();
    lobby.SetAccepted(Stored.PlayNowRules, Stored.PlayNowSeconds);
    const auto keepAccepted = [this] {
        const TLobbyForm& form = *Online->Lobby();
        if (form.AcceptedRules() == Stored.PlayNowRules && form.AcceptedSeconds() == Stored.PlayNowSeconds)
            return;
        if (!form.AcceptedRules().empty()) Stored.PlayNowRules = form.AcceptedRules();
        if (!form.AcceptedSeconds().empty()) Stored.PlayNowSeconds = form.AcceptedSeconds();
        Hooks.Save();
    };
    QObject::connect(lobby.PlayNowRules, &QListWidget::itemChanged, &Window, keepAccepted);
    for (QCheckBox* box : lobby.PlayNowTimes)
        QObject::connect(box, &QCheckBox::toggled, &Window, keepAccepted);
}

TOnlineControl::~TOnlineControl() = default;

bool TOnlineControl::AskServerAndName(QString& server, QString& name) {
    return Hooks.AskOnline ? Hooks.AskOnline(server, name) : ::AskServerAndName(&Window, server, name);
}

void TOnlineControl::Ask() {
    QString server = Stored.OnlineServer, name = Stored.OnlineName;
    if (!AskServerAndName(server, name)) return;
    Go(server, name);
}

void TOnlineControl::Go(const QString& serverText, const QString& name) {
    const std::optional<TOnlineServer> server = ParseOnlineServer(serverText);
    if (!server) {
        TSideLog::Note(QString("\"%1\" is not a server address (HOST or HOST:PORT).").arg(serverText));
        return;
    }
    QString player = name;
    if (!ServerCodec::IsPlayerName(player)) {
        // No name remembered yet: ask, with the server filled in.
        QString text = serverText;
        if (!AskServerAndName(text, player) || !ServerCodec::IsPlayerName(player)) return;
    }
    // A direct network table and the computer give way to the server.
    Hooks.LeaveDirectTable();
    Stored.OnlineServer = serverText;
    Stored.OnlineName = player;
    Hooks.Save();
    Online->Connect(*server, player);
}
