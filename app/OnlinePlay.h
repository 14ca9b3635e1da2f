#pragma once

#include "net/LobbyConnection.h"
#include "net/LobbyModel.h"
#include "net/ReconnectPlan.h"
#include "net/ServerMatch.h"
#include "records/MatchRecord.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWidget;
class TGame;
class TLobbyForm;
class TServerTrust;

// A game server to play on.
struct TOnlineServer {
    static constexpr uint16_t DefaultPort = 47018;
    QString Host;
    uint16_t Port = DefaultPort;
};

// HOST, HOST:PORT, an IPv6 address, or one in brackets with a port
// ([::1]:47018); nothing when it is none of these.
std::optional<TOnlineServer> ParseOnlineServer(const QString& text);

// What playing online takes from the main window; tests replace all of it.
struct TOnlineHooks {
    std::function<void(const QString&)> Log; // the side window's log
    // A line of the table's chat for the side window's log and who said it
    // (empty for this player); unset, it goes to Log.
    std::function<void(const QString& line, const QString& speaker)> TableChat;
    std::function<void()> Wake;      // a frame is due
    std::function<uint64_t()> NowMs; // the frame clock
    TLobbyConnection::TTrustPrompt Trust;
    std::function<void(const QString&)> Message; // a fault the player must see
    // Opens a match record the server sent, read and checked, as a replay
    // named by `source`; false when the table cannot take it now.
    std::function<bool(const TMatchRecord&, const QString& source)> OpenReplay;
    std::function<void()> TableWanted;  // a match this player sits in needs the table back
    std::function<void()> ClockWarning; // this player's move clock enters its last seconds
    // Where the lobby window of this size opens; unset leaves it to the desktop.
    std::function<QPoint(QSize)> PlaceLobby;
    // The server's record of a match this player sat in, read and checked,
    // once the match has ended: for the match history.
    std::function<void(const TMatchRecord&)> KeepRecord;
    // A yes-or-no question before giving up a match in play (its title and
    // words); true goes on. Unset goes on without asking.
    std::function<bool(const QString& title, const QString& question)> Confirm;
};

// Playing on a game server: the player's identity and trusted servers (kept
// in `folder`, beside the settings), the connection, the lobby window and
// the server's match on the main window's table.
class TOnlinePlay : public QObject {
public:
    TOnlinePlay(TGame& game, QWidget* board, QString folder, TOnlineHooks hooks);
    ~TOnlinePlay() override;

    // Opens the lobby window and connects (again); false when the player's
    // identity cannot be read or made.
    bool Connect(const TOnlineServer& server, const QString& name);
    void Disconnect();
    bool SignedIn() const;
    // A server match is on the table.
    bool Active() const { return Match->Active(); }
    TServerMatch& TheMatch() { return *Match; }
    // To the table's players and watchers, or to the lobby; false when it cannot go.
    bool SendChat(const QString& text);
    // Coming back by itself to a match whose line dropped.
    bool Reconnecting() const { return Return.Active(); }
    // What the turn line shows after the turn: the move clock, or how long
    // the seat is still kept while reconnecting.
    QString ClockText(uint64_t nowMs) const;
    // The lobby window brought forward, to choose the next match from; an
    // offer to play the ended match again is withdrawn.
    void BackToLobby();
    // Gives up the match this player sits in, once they have confirmed it.
    void Resign();
    // After a match this player sat in: asks its other player to play again
    // (or accepts their asking).
    void AskRematch();
    bool RematchOffered() const { return Offer.Table != 0; }
    // Under the ended match's result: "Bob asks for a rematch", "Waiting for
    // Bob", "Bob left the table"; empty for nothing.
    QString RematchLine() const { return Offer.Line; }
    bool MayResign() const { return Match->Active() && Match->Seated(); }
    // Before quitting the program or leaving the table: true when no match
    // of this player's is in play, or they choose to give it up.
    bool ConfirmQuitting();
    bool ConfirmLeaving();
    // Once per frame: the match, and the warning of the player's own clock.
    void Step();

    TLobbyForm* Lobby() const { return LobbyWindow.get(); }
    const TLobbyModel& Model() const { return LobbyModel; }
    TLobbyConnection* Connection() const { return Link.get(); }

private:
    // How long the server keeps this player's seat after their line drops,
    // as the match says: as long as this client tries to come back.
    uint64_t SeatKeptMs() const;
    void Received(const TServerMessage& message);
    void Closed(const QString& reason);
    // After a dropped line: a try when one is due, or the match given up.
    void StepReturn(uint64_t nowMs);
    // Back on the server: the lobby says whether the seat is still there.
    bool SeatKept() const;
    void Send(const QByteArray& line);
    void Log(const QString& line) const;
    // A record the player asked for: read and checked as a record file is,
    // then opened as a replay.
    void OpenRecord(const TServerRecord& record);

    TGame& Game;
    QWidget* Board;
    QString Folder;
    TOnlineHooks Hooks;
    std::unique_ptr<TServerTrust> Trust;
    std::unique_ptr<TLobbyConnection> Link;
    std::unique_ptr<TServerMatch> Match;
    std::unique_ptr<TLobbyForm> LobbyWindow;
    TLobbyModel LobbyModel;
    int64_t AskedRecord = 0; // the match whose record was asked for; 0 none
    int64_t KeptRecord = 0;  // the ended match whose record goes to the history; 0 none
    QString DrawnRating;     // the rating line the table was last drawn with
    bool LobbyPlaced = false;
    // The ended match this player may play again, and what the table says of it.
    struct TOffer {
        int64_t Table = 0; // 0: none
        QString Line;
    };
    void Rematch(const TServerMessage& message);
    // Off the ended table: any offer to play it again goes.
    void ForgetRematch();
    bool Confirm(const QString& title, const QString& question) const;

    TOffer Offer;
    QString DrawnOffer;  // the offer's line the table was last drawn with
    TOnlineServer Where; // the server connected to, and as whom
    QString AsName;
    QString SignedName; // as the server named this player
    TReconnectPlan Return;
    bool ReturnSignedIn = false; // signed in again; the seat is still to be seen
};
