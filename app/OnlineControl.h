#pragma once

#include "app/StoredSettings.h"
#include "render/Reporting.h"

#include <QString>
#include <functional>
#include <memory>

class QWidget;
class TGame;
class TOnlinePlay;
struct TMatchRecord;

// The way to a game server from the main window: File › Play Online, the
// server and name remembered, and what the server's match asks of the table.
class TOnlineControl {
public:
    struct THooks {
        std::function<void()> Wake;   // a frame is due
        std::function<void()> Unseat; // the other seat is a person on the server now, not the computer
        std::function<uint64_t()> NowMs;
        TMessageSink Message;
        std::function<bool(const QString&, const QString&)> TrustServer;
        // Asks for the server and the name; unset for the dialog.
        std::function<bool(QString& server, QString& name)> AskOnline;
        // A replay on the table, and leaving it; opening a record the server sent.
        std::function<bool()> Replaying;
        std::function<void()> LeaveReplay;
        std::function<bool(const TMatchRecord&, const QString& source)> OpenReplay;
        // The server's record of a match this player sat in, for the history.
        std::function<void(const TMatchRecord&)> KeepRecord;
        // A direct network table gives way to the server.
        std::function<void()> LeaveDirectTable;
        std::function<void()> Save;              // the remembered choices are saved
        std::function<void()> ClockWarning;      // the player's own move clock runs short
        std::function<QPoint(QSize)> PlaceLobby; // where the lobby window opens
        // A yes-or-no question before a match is given up; unset for a message box.
        std::function<bool(const QString& title, const QString& question)> Confirm;
    };
    // `settingsFile`: the identity is kept beside it (empty for the default place).
    TOnlineControl(TGame& game, QWidget& window, QWidget* board, const QString& settingsFile,
                   TStoredSettings& stored, THooks hooks);
    ~TOnlineControl();

    TOnlinePlay& Play() { return *Online; }
    // File › Play Online: asks for the server and name, then opens the lobby.
    void Ask();
    // Opens the lobby of the server written as HOST[:PORT] as `name`; asks for a name when there is none.
    void Go(const QString& server, const QString& name);

private:
    bool AskServerAndName(QString& server, QString& name);

    QWidget& Window;
    TStoredSettings& Stored;
    THooks Hooks;
    std::unique_ptr<TOnlinePlay> Online;
};
