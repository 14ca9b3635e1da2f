#include "app/OnlinePlay.h"

#include "app/LobbyForm.h"
#include "net/PlayerIdentity.h"
#include "net/ServerCodec.h"
#include "net/ServerTrust.h"
#include "protocol/PeerText.h"
#include "records/RecordJson.h"

#include <QDateTime>
#include <QTime>
#include <QWidget>

namespace {

std::optional<uint16_t> Port(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < 1 || value > 65535) return std::nullopt;
    return uint16_t(value);
}

QString Clock() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm"));
}

} // namespace

std::optional<TOnlineServer> ParseOnlineServer(const QString& text) {
    TOnlineServer server;
    server.Host = text.trimmed();
    std::optional<QString> portText;
    if (server.Host.startsWith(QLatin1Char('['))) {
        const qsizetype close = server.Host.indexOf(QLatin1Char(']'));
        const QString rest = close < 0 ? QString() : server.Host.mid(close + 1);
        if (close < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':')))) return std::nullopt;
        if (!rest.isEmpty()) portText = rest.mid(1);
        server.Host = server.Host.mid(1, close - 1);
    } else if (server.Host.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = server.Host.indexOf(QLatin1Char(':'));
        portText = server.Host.mid(colon + 1);
        server.Host = server.Host.left(colon);
    }
    if (portText) {
        const std::optional<uint16_t> port = Port(*portText);
        if (!port) return std::nullopt;
        server.Port = *port;
    }
    if (server.Host.isEmpty() || server.Host.contains(QLatin1Char(' '))) return std::nullopt;
    return server;
}

TOnlinePlay::TOnlinePlay(TGame& game, QWidget* board, QString folder, TOnlineHooks hooks)
    : Game(game), Board(board), Folder(std::move(folder)), Hooks(std::move(hooks)) {
    Trust = std::make_unique<TServerTrust>(Folder + "/servers");
    TServerMatchHooks matchHooks;
    matchHooks.Log = [this](const QString& line) { Log(line); };
    matchHooks.Send = [this](const QByteArray& line) { Send(line); };
    matchHooks.TableWanted = [this] {
        if (Hooks.TableWanted) Hooks.TableWanted();
    };
    Match = std::make_unique<TServerMatch>(Game, std::move(matchHooks));

    TLobbyForm::TActions actions;
    // Going to another table withdraws an offer to play again, at the server too.
    actions.Create = [this](const TGameRules& rules, int32_t seconds, bool rated) {
        ForgetRematch();
        Send(ServerCodec::Create(rules, seconds, rated));
    };
    actions.PlayNow = [this](const std::vector<int32_t>& rules, const std::vector<int32_t>& seconds) {
        ForgetRematch();
        Send(ServerCodec::PlayNow(rules, seconds));
    };
    actions.Challenge = [this](const QString& name, const TGameRules& rules, int32_t seconds, bool rated) {
        Send(ServerCodec::Challenge(name, rules, seconds, rated));
    };
    actions.Answer = [this](int64_t challenge, bool accept) { Send(ServerCodec::Answer(challenge, accept)); };
    actions.Reconnect = [this] {
        if (!Where.Host.isEmpty()) Connect(Where, AsName);
    };
    actions.NowMs = [this] { return Hooks.NowMs ? Hooks.NowMs() : uint64_t(0); };
    actions.Sit = [this](int64_t table) {
        ForgetRematch();
        Send(ServerCodec::Sit(table));
    };
    actions.Watch = [this](int64_t table) {
        ForgetRematch();
        if (Match->Active()) Match->Stop(QStringLiteral("You left the table."));
        Send(ServerCodec::Watch(table));
    };
    actions.Leave = [this] {
        if (!ConfirmLeaving()) return;
        ForgetRematch();
        if (Match->Active())
            Match->Stop(Match->LocalSeat() >= 0 ? QStringLiteral("You left the table and gave up the match.")
                                                : QStringLiteral("You stopped watching."));
        Send(ServerCodec::Leave());
    };
    actions.Chat = [this](const QString& text) { return SendChat(text); };
    actions.Leaderboard = [this] { Send(ServerCodec::Leaderboard()); };
    actions.Profile = [this](const QString& name) { Send(ServerCodec::Profile(name)); };
    actions.Record = [this](int64_t match) {
        if (!SignedIn()) return;
        AskedRecord = match;
        LobbyWindow->AppendChat(QStringLiteral("Asking the server for the record of match %1…").arg(match));
        Send(ServerCodec::Record(match));
    };
    actions.Follow = [this](const QString& name, bool on) { Send(ServerCodec::Follow(name, on)); };
    actions.Block = [this](const QString& name, bool on) { Send(ServerCodec::Block(name, on)); };
    actions.Report = [this](const QString& name, const QString& reason, const QString& text) {
        Send(ServerCodec::Report(name, reason, text));
    };
    actions.Moderate = [this](const Requests::TModerate& action) { Send(ServerCodec::Moderate(action)); };
    LobbyWindow = std::make_unique<TLobbyForm>(std::move(actions));
}

TOnlinePlay::~TOnlinePlay() {
    if (Link) Link->Close();
}

bool TOnlinePlay::Connect(const TOnlineServer& server, const QString& name) {
    // Beside the table the first time; where the player put it after that.
    if (!LobbyWindow->isVisible() && !LobbyPlaced && Hooks.PlaceLobby) {
        LobbyWindow->move(Hooks.PlaceLobby(LobbyWindow->frameGeometry().size()));
        LobbyPlaced = true;
    }
    LobbyWindow->show();
    LobbyWindow->raise();
    if (!Link) {
        // The player's certificate is made the first time they go online.
        TPlayerIdentity identity = LoadOrMakePlayerIdentity(Folder + "/identity.pem");
        if (!identity.Error.isEmpty()) {
            const QString problem = QStringLiteral("Cannot play online: %1.").arg(identity.Error);
            LobbyWindow->SetStatus(problem);
            if (Hooks.Message) Hooks.Message(problem);
            return false;
        }
        if (identity.Created)
            Log(QStringLiteral(
                    "Made your online identity in %1; copy that file to play as yourself elsewhere.")
                    .arg(Folder + "/identity.pem"));
        Link = std::make_unique<TLobbyConnection>(*Trust, std::move(identity), Hooks.Trust);
        connect(Link.get(), &TLobbyConnection::message, this,
                [this](const TServerMessage& m) { Received(m); });
        connect(Link.get(), &TLobbyConnection::closed, this,
                [this](const QString& reason) { Closed(reason); });
        connect(Link.get(), &TLobbyConnection::log, this,
                [this](const QString& line) { LobbyWindow->AppendChat(line); });
    }
    if (Match->Active()) Match->Stop(QString());
    Return.Stop();
    Where = server;
    AsName = name;
    AskedRecord = 0;
    LobbyModel.Clear();
    LobbyWindow->Show(LobbyModel);
    LobbyWindow->SetLink(TLobbyForm::TLink::Connecting);
    LobbyWindow->SetStatus(QStringLiteral("Connecting to %1…").arg(server.Host));
    Link->Open(server.Host, server.Port, name);
    return true;
}

void TOnlinePlay::Disconnect() {
    Return.Stop();
    ForgetRematch();
    if (Link) Link->Close();
    if (Match->Active()) Match->Stop(QStringLiteral("You went offline."));
    LobbyModel.ForgetRequests();
    LobbyWindow->SetLink(TLobbyForm::TLink::Offline);
    LobbyWindow->SetStatus(QStringLiteral("Not connected."));
}

bool TOnlinePlay::SignedIn() const {
    return Link && Link->IsSignedIn();
}

bool TOnlinePlay::SendChat(const QString& typed) {
    // The server takes one plain line; what would make it refuse the line
    // (and drop the connection) never leaves here.
    QString text = typed;
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    text = PeerText::Readable(text).trimmed();
    if (text.isEmpty()) return false;
    if (!SignedIn()) {
        Log(QStringLiteral("Not sent: you are not signed in to a server."));
        return false;
    }
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text[i].isLowSurrogate()) ++characters;
    if (characters > ServerCodec::MaxChatCharacters) {
        Log(QStringLiteral("Not sent: a chat line may have at most %1 characters, this one has %2.")
                .arg(ServerCodec::MaxChatCharacters)
                .arg(characters));
        return false;
    }
    Send(ServerCodec::Chat(text));
    return true;
}

void TOnlinePlay::Send(const QByteArray& line) {
    if (Link) Link->Send(line);
}

void TOnlinePlay::Received(const TServerMessage& message) {
    using TKind = TServerMessage::TKind;
    const uint64_t now = Hooks.NowMs ? Hooks.NowMs() : 0;
    if (LobbyModel.Apply(message)) LobbyWindow->Show(LobbyModel);
    switch (message.Kind) {
    case TKind::SignedIn:
        LobbyWindow->SetStatus(QStringLiteral("Signed in to %1 as %2.").arg(Link->Server(), message.Name));
        Log(QStringLiteral("Signed in to %1 as %2.").arg(Link->Server(), message.Name));
        if (!message.Text.isEmpty())
            LobbyWindow->AppendChat(QStringLiteral("Message of the day: %1").arg(message.Text));
        LobbyWindow->SetModerator(message.Moderator);
        Send(ServerCodec::Relations());
        if (message.Moderator) Send(ServerCodec::Moderate({QStringLiteral("list"), {}, 0, 0, {}, {}}));
        ReturnSignedIn = Return.Active();
        SignedName = message.Name;
        LobbyWindow->SetLink(TLobbyForm::TLink::SignedIn);
        // The windows around the table follow: the side window becomes the chat.
        if (Hooks.Wake) Hooks.Wake();
        break;
    case TKind::Chat: {
        // A right click on another's line acts on them; one's own line offers nothing.
        const QString speaker =
            message.From.compare(SignedName, Qt::CaseInsensitive) == 0 ? QString() : message.From;
        if (message.Earlier) {
            const QString said = QDateTime::fromMSecsSinceEpoch(message.AtMs).toLocalTime().toString("HH:mm");
            LobbyWindow->AppendChat(
                QStringLiteral("(earlier) %1 %2: %3").arg(said, message.From, message.Text), speaker);
            break;
        }
        const QString line = QStringLiteral("%1 %2: %3").arg(Clock(), message.From, message.Text);
        if (message.Table == 0)
            LobbyWindow->AppendChat(line, speaker);
        else if (Hooks.TableChat)
            Hooks.TableChat(line, speaker);
        else
            Log(line);
        break;
    }
    case TKind::Refused:
        LobbyWindow->AppendChat(QStringLiteral("The server says: %1").arg(message.Text));
        if (Match->Active()) Log(QStringLiteral("The server says: %1").arg(message.Text));
        Match->Received(message, now);
        break;
    case TKind::Lobby:
        // The server sends the lobby, then the match of a seat it kept.
        if (ReturnSignedIn && message.Kind == TKind::Lobby && !SeatKept()) {
            Return.Stop();
            ReturnSignedIn = false;
            Match->Stop(
                QStringLiteral("The server no longer keeps your seat; the match went on without you."),
                QStringLiteral("Connection lost"));
        }
        Match->Received(message, now);
        break;
    case TKind::Table:
        // Perhaps the answer to a request for the table.
        Match->Received(message, now);
        break;
    case TKind::Leaderboard:
        LobbyWindow->ShowLeaderboard(message.Leaders);
        break;
    case TKind::Profile:
        LobbyWindow->ShowProfile(message.Profile);
        break;
    case TKind::Record:
        OpenRecord(message.Record);
        break;
    case TKind::Notice:
        LobbyWindow->SetStatus(message.Text);
        LobbyWindow->AppendChat(QStringLiteral("The server says: %1").arg(message.Text));
        break;
    case TKind::Relations:
        LobbyWindow->ShowRelations(message.Follows, message.Blocks);
        break;
    case TKind::Moderation:
        LobbyWindow->ShowModeration(message.Reports, message.Sanctions);
        break;
    case TKind::Rematch:
        Rematch(message);
        break;
    case TKind::Waiting:
        LobbyWindow->Show(LobbyModel);
        break;
    case TKind::Challenge:
        LobbyWindow->Show(LobbyModel);
        if (message.Offer.To == SignedName) {
            LobbyWindow->AppendChat(
                QStringLiteral("%1 %2 challenges you: %3.")
                    .arg(Clock(), message.Offer.From, TLobbyModel::OfferText(message.Offer)));
            LobbyWindow->raise();
        }
        break;
    case TKind::ChallengeOver:
        LobbyWindow->Show(LobbyModel);
        LobbyWindow->AppendChat(QStringLiteral("%1 %2").arg(Clock(), message.Text));
        LobbyWindow->SetStatus(message.Text);
        break;
    case TKind::Match:
    case TKind::Moved:
    case TKind::MoveRefused:
    case TKind::Away:
    case TKind::Back:
    case TKind::Ended: {
        // The player's own match ends: the server's record of it is what the
        // history keeps.
        const bool own = message.Kind == TKind::Ended && Match->Seated() && Match->TableId() == message.Table;
        if (message.Kind == TKind::Match && Return.Active()) {
            Return.Stop();
            ReturnSignedIn = false;
            Log(QStringLiteral("Back at the table; the match goes on."));
        }
        Match->Received(message, now);
        if (own) {
            KeptRecord = Match->MatchId();
            Send(ServerCodec::Record(KeptRecord));
            // The server keeps the two players' offer to play again while both stay in its lobby.
            Offer = {message.Table, QString()};
        }
        if (message.Kind == TKind::Match) {
            ForgetRematch();
            LobbyWindow->AppendChat(QStringLiteral("You are at table %1; the match is on the main window.")
                                        .arg(message.Match.Table));
            if (Board && Board->window()) {
                Board->window()->raise();
                Board->window()->activateWindow();
            }
        }
        if (Hooks.Wake) Hooks.Wake();
        break;
    }
    default:
        break;
    }
}

void TOnlinePlay::OpenRecord(const TServerRecord& answer) {
    if (answer.Match == KeptRecord && KeptRecord != 0 && Link) {
        KeptRecord = 0;
        const TRecordReading kept = ReadRecordJson(answer.Json, Link->Server().toStdString());
        if (!kept.Record)
            Log(QStringLiteral("The server's record of match %1 could not be kept: %2.")
                    .arg(answer.Match)
                    .arg(QString::fromStdString(kept.Problem)));
        else if (Hooks.KeepRecord)
            Hooks.KeepRecord(*kept.Record);
    }
    // A server does not put a replay on the player's table unasked.
    if (answer.Match != AskedRecord || !Link) return;
    AskedRecord = 0;
    const QString server = QStringLiteral("the server %1").arg(Link->Server());
    const TRecordReading reading = ReadRecordJson(answer.Json, server.toStdString());
    if (!reading.Record) {
        const QString problem = QStringLiteral("The record of match %1 was refused: %2.")
                                    .arg(answer.Match)
                                    .arg(QString::fromStdString(reading.Problem));
        LobbyWindow->AppendChat(problem);
        if (Hooks.Message) Hooks.Message(problem);
        return;
    }
    if (Hooks.OpenReplay &&
        Hooks.OpenReplay(*reading.Record, QStringLiteral("match %1 from %2").arg(answer.Match).arg(server)) &&
        Board && Board->window()) {
        Board->window()->raise();
        Board->window()->activateWindow();
    }
}

void TOnlinePlay::Closed(const QString& reason) {
    const uint64_t now = Hooks.NowMs ? Hooks.NowMs() : 0;
    if (Return.Active()) {
        // A try that failed, or a line that dropped again: the plan goes on.
        ReturnSignedIn = false;
        LobbyWindow->SetStatus(QStringLiteral("Reconnecting to %1: %2").arg(Where.Host, reason));
        Log(QStringLiteral("No way back yet (%1); trying again in %2 s.")
                .arg(reason.endsWith(QLatin1Char('.')) ? reason.chopped(1) : reason)
                .arg(Return.SecondsToNextTry(now)));
        return;
    }
    LobbyModel.ForgetRequests();
    LobbyWindow->SetLink(TLobbyForm::TLink::Lost);
    LobbyWindow->SetStatus(QStringLiteral("Connection lost: %1").arg(reason));
    LobbyWindow->AppendChat(reason);
    Log(reason);
    ForgetRematch();
    if (Match->Seated()) {
        // The server keeps the seat for a while, also across its own restart:
        // this client comes back by itself meanwhile.
        Return.Start(now, SeatKeptMs());
        ReturnSignedIn = false;
        Match->LineLost();
        Log(QStringLiteral("Reconnecting by itself: the server keeps your seat for %1 s.")
                .arg(SeatKeptMs() / 1000));
        LobbyWindow->SetLink(TLobbyForm::TLink::Connecting);
        LobbyWindow->SetStatus(QStringLiteral("Reconnecting to %1…").arg(Where.Host));
    } else if (Match->Active()) {
        Match->Stop(QString(), QStringLiteral("Connection lost"));
    }
    if (Hooks.Wake) Hooks.Wake();
}

void TOnlinePlay::StepReturn(uint64_t nowMs) {
    if (!Return.Active()) return;
    if (Return.GivenUp(nowMs)) {
        Return.Stop();
        ReturnSignedIn = false;
        if (Link) Link->Close();
        LobbyWindow->SetLink(TLobbyForm::TLink::Lost);
        LobbyWindow->SetStatus(QStringLiteral("Connection lost: the server did not take this client back."));
        Match->Stop(
            QStringLiteral("The server did not take this client back within %1 s; connect again in the "
                           "lobby to see how the match ended.")
                .arg(SeatKeptMs() / 1000),
            QStringLiteral("Connection lost"));
        return;
    }
    if (ReturnSignedIn || !Link || !Return.TryNow(nowMs)) return;
    Log(QStringLiteral("Reconnecting to %1 (try %2)…").arg(Where.Host).arg(Return.Tries()));
    Link->Open(Where.Host, Where.Port, AsName);
}

bool TOnlinePlay::SeatKept() const {
    const QString& me = SignedName;
    for (const auto& [id, table] : LobbyModel.Tables())
        if (table.Seats[0] == me || table.Seats[1] == me) return true;
    return false;
}

QString TOnlinePlay::ClockText(uint64_t nowMs) const {
    if (Return.Active()) return Return.Text(nowMs);
    return Match->ClockText(nowMs);
}

void TOnlinePlay::BackToLobby() {
    // Back in the lobby the player has left the ended table: the other
    // player hears that there will be no rematch.
    if (Offer.Table != 0 && SignedIn()) Send(ServerCodec::Leave());
    ForgetRematch();
    LobbyWindow->show();
    LobbyWindow->raise();
    LobbyWindow->activateWindow();
    Log(SignedIn() ? QStringLiteral("Back to the lobby: choose a table there, or Play Now.")
                   : QStringLiteral("Back to the lobby: connect again there to play on."));
}

void TOnlinePlay::Step() {
    const uint64_t now = Hooks.NowMs ? Hooks.NowMs() : 0;
    StepReturn(now);
    Match->Step(now);
    // The server's word that the match ended, with the ratings, follows the
    // last card: the ended table is drawn again to show the change.
    if (Match->RatingLine() != DrawnRating || Offer.Line != DrawnOffer) {
        DrawnRating = Match->RatingLine();
        DrawnOffer = Offer.Line;
        Game.RedrawEnded();
    }
    if (Match->TakeClockWarning(now) && Hooks.ClockWarning) Hooks.ClockWarning();
}

void TOnlinePlay::Log(const QString& line) const {
    if (Hooks.Log) Hooks.Log(line);
}

void TOnlinePlay::Resign() {
    if (!MayResign()) {
        Log(QStringLiteral("There is no match of yours in play to resign."));
        return;
    }
    if (!Confirm(QStringLiteral("Resign"), QStringLiteral("Resign this match? It counts as a loss."))) return;
    // The match may have ended, or the line dropped, while the question was open.
    if (!MayResign()) return;
    if (!SignedIn()) {
        Log(QStringLiteral("Not connected: the server has not heard that you resign."));
        return;
    }
    Send(ServerCodec::Resign());
}

void TOnlinePlay::AskRematch() {
    if (MayResign()) {
        Log(QStringLiteral("The match is still being played; a rematch can be asked for once it has ended."));
        return;
    }
    if (Offer.Table == 0 || !SignedIn()) {
        Log(QStringLiteral("There is no match of yours to play again; choose a table in the lobby."));
        return;
    }
    Send(ServerCodec::Rematch());
}

void TOnlinePlay::Rematch(const TServerMessage& message) {
    const int32_t you = Match->LocalSeat();
    if (Offer.Table == 0 || message.Table != Offer.Table || you < 0) return;
    const QString other = Match->Players()[size_t(1 - you)];
    const bool mine = message.Seat == you;
    if (!message.Asks) {
        // Said on the table, under the result: the log has the ending's own words.
        Offer = {0, mine ? QString() : QStringLiteral("%1 left the table").arg(other)};
    } else if (mine) {
        Offer.Line = QStringLiteral("Waiting for %1").arg(other);
        Log(QStringLiteral("You asked %1 for a rematch; waiting for their answer.").arg(other));
    } else {
        Offer.Line = QStringLiteral("%1 asks for a rematch").arg(other);
        Log(QStringLiteral(
                "%1 asks for a rematch: File \u203a Rematch (Ctrl+R) plays again, the colours swapped.")
                .arg(other));
    }
    if (Hooks.Wake) Hooks.Wake();
}

void TOnlinePlay::ForgetRematch() {
    Offer = {};
}

bool TOnlinePlay::Confirm(const QString& title, const QString& question) const {
    return !Hooks.Confirm || Hooks.Confirm(title, question);
}

uint64_t TOnlinePlay::SeatKeptMs() const {
    return uint64_t(Match->AwaySeconds()) * 1000;
}

bool TOnlinePlay::ConfirmQuitting() {
    // The server keeps the seat for a while: the program started again in time plays on.
    return !MayResign() ||
           Confirm(
               QStringLiteral("Quit"),
               QStringLiteral("Leave the match? It counts as a loss when you do not come back within %1 s.")
                   .arg(SeatKeptMs() / 1000));
}

bool TOnlinePlay::ConfirmLeaving() {
    return !MayResign() ||
           Confirm(QStringLiteral("Leave the Table"),
                   QStringLiteral("Leave the match? Leaving the table gives it up: it counts as a loss."));
}
