#include "bench/load/LoadBot.h"

#include "protocol/Requests.h"
#include "protocol/ServerMessages.h"

#include <algorithm>
#include <iterator>

namespace {

using TKind = TServerMessage::TKind;

bool IsLobbyLine(std::string_view line) {
    constexpr std::string_view Prefix = "{\"type\":\"";
    if (!line.starts_with(Prefix)) return false;
    line.remove_prefix(Prefix.size());
    static const std::string_view Names[] = {
        ServerMessages::KindName(TKind::Lobby), ServerMessages::KindName(TKind::Player),
        ServerMessages::KindName(TKind::PlayerGone), ServerMessages::KindName(TKind::Table),
        ServerMessages::KindName(TKind::TableGone)};
    return std::any_of(std::begin(Names), std::end(Names), [line](std::string_view name) {
        return line.starts_with(name) && line.substr(name.size()).starts_with('"');
    });
}

} // namespace

TLoadBot::TLoadBot(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key,
                   std::string name, TLoadStats& stats, TThink think, uint32_t seed)
    : TBotConnection(io, tls, certificate, key), Name(std::move(name)), Stats(stats), Think(think),
      Random(seed), Timer(io), PingTimer(io) {}

void TLoadBot::OnEstablished() {
    Send(Requests::Hello());
    Send(Requests::Login(QString::fromStdString(Name)));
    Ping();
}

void TLoadBot::OnFailed() {
    Timer.cancel();
    PingTimer.cancel();
    SetInMatch(false);
    if (SignedIn) --Stats.Connected;
    SignedIn = false;
    ++Stats.Failed;
    if (!FailureReason().empty()) Stats.Problem(Name + ": " + FailureReason());
}

// Says something every 10 s, so that a bot waiting for an opponent is not
// taken for a dead line.
void TLoadBot::Ping() {
    PingTimer.expires_after(std::chrono::seconds(10));
    auto self = shared_from_this();
    PingTimer.async_wait([this, self](const asio::error_code& cancelled) {
        if (cancelled || Failed()) return;
        Send(Requests::Ping());
        Ping();
    });
}

void TLoadBot::Send(const QByteArray& line) {
    SendLine(line.chopped(1).toStdString()); // the connection ends each line itself
}

void TLoadBot::OnLine(std::string_view line) {
    ++Stats.Lines;
    Stats.Bytes += int64_t(line.size()) + 1;
    // A bot has no use for the lobby, and decoding it (a 20 KiB snapshot as
    // each match ends) was most of the bots' processor time, taken from the
    // server they measure on the same machine; one in 64 is still decoded,
    // so a malformed lobby line is still caught.
    if (IsLobbyLine(line) && ++LobbyLines % 64 != 0) return;
    const ServerMessages::TDecoded decoded =
        ServerMessages::Decode(QByteArray(line.data(), qsizetype(line.size())));
    if (!decoded.Ok) {
        if (ServerMessages::ReadHello(QByteArrayView(line.data(), qsizetype(line.size()))).IsHello)
            return; // the server's greeting, which the connection has no use for
        ++Stats.Refused;
        Stats.Problem(Name + ": " + decoded.Error.toStdString() + ": " + std::string(line));
        return;
    }
    const TServerMessage& message = decoded.Message;
    switch (message.Kind) {
    case TKind::Moved:
        Moved(message);
        break;
    case TKind::MoveRefused:
        ++Stats.Refused;
        Stats.Problem(Name + ": " + std::string(line));
        Match(message.Match);
        break;
    case TKind::Match:
        Match(message.Match);
        break;
    case TKind::Ended:
        Ended();
        break;
    case TKind::SignedIn:
        SignedIn = true;
        ++Stats.Connected;
        PlayNow();
        break;
    case TKind::Refused:
        if (SignedIn && !InMatch && message.Text.contains(QLatin1String("wait"))) {
            // A rate limit of the address (tables opened a minute): as a
            // person would, try again a little later.
            ++Stats.Waits;
            AfterThink(Think.MaxMs * 2, Think.MaxMs * 6, &TLoadBot::PlayNow);
            break;
        }
        [[fallthrough]];
    case TKind::Bye:
        ++Stats.Refused;
        Stats.Problem(Name + ": " + std::string(line));
        break;
    default:
        break;
    }
}

void TLoadBot::SetInMatch(bool inMatch) {
    if (inMatch != InMatch) Stats.InMatch += inMatch ? 1 : -1;
    InMatch = inMatch;
}

void TLoadBot::Match(const TServerMatchState& match) {
    MatchId = match.Match;
    Seat = match.You;
    First = match.First;
    Placed = 0;
    Played[0] = Played[1] = 0;
    for (bool& taken : Taken) taken = false;
    for (const TPlacementMove& move : match.Moves) {
        ++Played[(First + Placed) % 2];
        Taken[move.Y * 3 + move.X] = true;
        ++Placed;
    }
    SetInMatch(Seat >= 0 && Placed < 9);
    Timer.cancel();
    if (InMatch && (First + Placed) % 2 == Seat) AfterThink(Think.MinMs, Think.MaxMs, &TLoadBot::Move);
}

void TLoadBot::Moved(const TServerMessage& moved) {
    const int seat = moved.Seat;
    if (seat != Seat) {
        auto sent = Stats.SentAt.find(MatchId);
        if (sent != Stats.SentAt.end()) {
            Stats.Latency(sent->second, TLoadStats::TClock::now());
            Stats.SentAt.erase(sent);
        }
    }
    ++Played[seat];
    Taken[moved.Move.Y * 3 + moved.Move.X] = true;
    ++Placed;
    if (Placed < 9 && (First + Placed) % 2 == Seat) AfterThink(Think.MinMs, Think.MaxMs, &TLoadBot::Move);
}

void TLoadBot::Ended() {
    if (InMatch && Seat == 0) ++Stats.Matches;
    SetInMatch(false);
    Timer.cancel();
    // A short pause between matches, as people take one.
    AfterThink(Think.MinMs / 2, Think.MaxMs / 2, &TLoadBot::PlayNow);
}

void TLoadBot::AfterThink(int minMs, int maxMs, void (TLoadBot::*what)()) {
    Timer.expires_after(std::chrono::milliseconds(std::uniform_int_distribution<int>(minMs, maxMs)(Random)));
    auto self = shared_from_this();
    Timer.async_wait([this, self, what](const asio::error_code& cancelled) {
        if (!cancelled && !Failed()) (this->*what)();
    });
}

void TLoadBot::PlayNow() {
    TGameRules casual;
    Send(Requests::PlayNow(casual, 60));
}

void TLoadBot::Move() {
    if (!InMatch || (First + Placed) % 2 != Seat) return;
    int squares[9];
    int squareCount = 0;
    for (int square = 0; square < 9; ++square)
        if (!Taken[square]) squares[squareCount++] = square;
    if (Played[Seat] > 4 || squareCount == 0) return;
    int slot = std::uniform_int_distribution<int>(Played[Seat], 4)(Random);
    int square = squares[std::uniform_int_distribution<int>(0, squareCount - 1)(Random)];
    Stats.SentAt[MatchId] = TLoadStats::TClock::now();
    Send(Requests::Move(slot, square % 3, square / 3));
}
