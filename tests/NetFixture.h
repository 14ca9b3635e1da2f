#pragma once

#include "game/Game.h"
#include "game/KeyRoute.h"
#include "net/LineFramer.h"
#include "net/MessageCodec.h"
#include "net/NetMatch.h"
#include "net/NetSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QStringList>
#include <QTcpSocket>
#include <QTest>
#include <functional>
#include <memory>
#include <random>
#include <vector>

// Runs the event loop until the condition holds or a generous deadline has
// passed (a guard against hanging, not a measure of speed).
inline bool PumpUntil(const std::function<bool()>& done, int guardMs = 30000) {
    QDeadlineTimer deadline(guardMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
    return true;
}

// Closed sockets are deleted through the event loop; a test that ends runs
// those deletions itself, so that nothing is left over at exit.
inline void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Limits short enough that the deadlines pass within a test, yet long beside
// a keep-alive, so that a busy machine does not trip them.
inline TNetLimits QuickLimits() {
    TNetLimits limits;
    limits.ConnectMs = 3000;
    limits.HandshakeMs = 800;
    limits.PartialMs = 800;
    limits.PingMs = 50;
    limits.SilenceMs = 1200;
    return limits;
}

inline bool Mentions(const QStringList& lines, const char* piece) {
    for (const QString& line : lines)
        if (line.contains(QLatin1String(piece))) return true;
    return false;
}

// A raw connection that says exactly what the test scripts, and records
// everything it hears.
class TScriptedPeer {
public:
    void Connect(quint16 port) {
        Socket.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&Socket, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = Socket.readAll();
            QByteArrayView rest(bytes);
            QByteArray line;
            while (Framer.Next(rest, line) == TLineFramer::TStep::Line) {
                const MessageCodec::TDecoded decoded = MessageCodec::Decode(line);
                if (decoded.Ok) Heard.push_back(decoded.Message);
            }
        });
        QObject::connect(&Socket, &QTcpSocket::disconnected, [this] { Gone = true; });
        PumpUntil([this] { return Socket.state() == QAbstractSocket::ConnectedState || Gone; });
    }

    void Raw(const QByteArray& bytes) {
        Socket.write(bytes);
        Socket.flush();
    }
    void Say(const TNetMessage& message) { Raw(MessageCodec::Encode(message)); }
    void SayHello(int32_t version = MessageCodec::ProtocolVersion) {
        TNetMessage hello = TNetMessage::Make(TNetMessage::TKind::Hello);
        hello.Program = MessageCodec::ProgramName;
        hello.Version = version;
        Say(hello);
    }
    bool HeardKind(TNetMessage::TKind kind) const {
        for (const TNetMessage& message : Heard)
            if (message.Kind == kind) return true;
        return false;
    }
    const TNetMessage* Last(TNetMessage::TKind kind) const {
        for (auto it = Heard.rbegin(); it != Heard.rend(); ++it)
            if (it->Kind == kind) return &*it;
        return nullptr;
    }
    bool WaitGone() {
        return PumpUntil([this] { return Gone || Socket.state() == QAbstractSocket::UnconnectedState; });
    }

    QTcpSocket Socket;
    ~TScriptedPeer() { RunDeferredDeletes(); }

    TLineFramer Framer{MessageCodec::MaxLineBytes};
    std::vector<TNetMessage> Heard;
    bool Gone = false;
};

// The animation counters are shared by every game in the program; two tables
// in one process keep a copy each and lend it to the globals while they run.
class TLentCounters {
public:
    explicit TLentCounters(int32_t (&counters)[2]) : Counters(counters) {
        FlightLeg = Counters[0];
        FlipStep = Counters[1];
    }
    ~TLentCounters() {
        Counters[0] = FlightLeg;
        Counters[1] = FlipStep;
        FlightLeg = 1;
        FlipStep = 1;
    }

private:
    int32_t (&Counters)[2];
};

// One player's program: a headless table on a small catalogue, its session
// and the match glue, with both clocks in the test's hands.
class TNetSide {
public:
    explicit TNetSide(int64_t calendarSeconds = 1700000000) : Seconds(calendarSeconds) {
        Game = std::make_unique<TGame>(
            [this] {
                ++SeedReads;
                return Match->DealSeconds();
            },
            [this] { return uint64_t(NowMs) * 1000; }); // the frame clock counts microseconds
        Game->Cards->CardTable.reset(new TCardInfo[40]);
        std::mt19937 cards(11);
        std::uniform_int_distribution<int32_t> rank(1, 10), element(0, 8);
        for (int i = 0; i < 40; ++i) {
            TCardInfo& card = Game->Cards->CardTable[i];
            card.Ranks = {rank(cards), rank(cards), rank(cards), rank(cards)};
            card.Element = element(cards);
            card.Name = "Card";
        }
        Game->Cards->NumCards = 40;
        Session = std::make_unique<TNetSession>();
        Session->SetLimits(QuickLimits());
        TNetMatchHooks hooks;
        hooks.Log = [this](const QString& line) { Log << line; };
        hooks.HostRules = [this] { return Rules; };
        hooks.Ended = [this](const QString& reason) { Ended << reason; };
        Match = std::make_unique<TNetMatch>(*Game, *Session, std::move(hooks), [this] { return Seconds; });
    }
    ~TNetSide() {
        Match.reset();
        Session.reset();
        TLentCounters lent(Counters);
        Game.reset();
        RunDeferredDeletes();
    }

    // One frame of the window: the game's frame step, then the glue.
    void Frame(uint32_t milliseconds = 100) {
        TLentCounters lent(Counters);
        NowMs += milliseconds;
        Game->DoFrame();
        Match->Step(NowMs);
    }

    void Press(uint16_t key) {
        TLentCounters lent(Counters);
        Match->KeyDown(key);
    }
    void NewGame() {
        TLentCounters lent(Counters);
        Match->NewGame();
    }

    // Plays a move by the keys a person would press.
    void Play(int32_t slot, int32_t x, int32_t y) {
        for (uint16_t key : KeysToPlay(*Game, slot, x, y)) Press(key);
    }

    // Some legal move of the local player, from the test's dice.
    bool PlayAnyMove(std::mt19937& dice) {
        if (!Match->LocalMayMove() || !Game->InProgress || Game->Phase != TGame::PhaseIdle) return false;
        std::vector<int32_t> handSlots, squares;
        for (int32_t slot = 0; slot < 5; ++slot)
            if (Game->Hands[slot][Game->Turn] != -1) handSlots.push_back(slot);
        for (int32_t square = 0; square < 9; ++square)
            if (Game->Board[square / 3][square % 3].Card == -1) squares.push_back(square);
        if (handSlots.empty() || squares.empty()) return false;
        const int32_t slot = handSlots[dice() % handSlots.size()];
        const int32_t square = squares[dice() % squares.size()];
        Play(slot, square % 3, square / 3);
        return true;
    }

    bool Idle() const { return Game->Phase == TGame::PhaseIdle; }

    int64_t Seconds;
    uint32_t NowMs = 1000;
    int32_t SeedReads = 0;
    int32_t Counters[2] = {1, 1};
    TGameRules Rules;
    QStringList Log;
    QStringList Ended;
    std::unique_ptr<TGame> Game;
    std::unique_ptr<TNetSession> Session;
    std::unique_ptr<TNetMatch> Match;
};
