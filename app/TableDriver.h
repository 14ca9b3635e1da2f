#pragma once

#include "app/GameType.h"
#include "app/TableAnnouncer.h"
#include "game/Seats.h"
#include "rules/GameRules.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TComputerSeat;
class TDirectPlay;
class THintAdvisor;
class TOnlinePlay;
class TSideLog;
class TGame;

// Who plays at the table and what the person here is offered: the keys of
// the person at this computer go to the match, across the network or to the
// server, or wait while the computer or the other player is to move; the
// computer's seat and the hint are worked out here.
class TTableDriver {
public:
    // In a single-player match the computer plays Red; the person, Blue, moves first.
    static constexpr int32_t ComputerPlayer = 0;

    TTableDriver(TGame& game, TDirectPlay& direct, TOnlinePlay& online, TSideLog& log,
                 std::function<uint64_t()> nowMs);
    ~TTableDriver();

    TComputerSeat& Computer() { return *ComputerSeat; }
    const TComputerSeat& Computer() const { return *ComputerSeat; }
    THintAdvisor& Hint() { return *Advisor; }

    // Who besides this computer holds the match on the table now.
    THeldBy HeldBy() const;
    // What the person here may do with the match on the table now.
    TOffers Offers() const { return OffersFor(HeldBy()); }
    TOffers OffersFor(THeldBy heldBy) const;
    // Who sits where, as the announcements over the table say it; at one
    // keyboard they speak only when `announceAtOneKeyboard`.
    TTableSeats AnnouncedSeats(bool announceAtOneKeyboard) const;

    // Consulted before any key or click of the person at this computer reaches
    // the match; unset, the person may always move. The computer or a player
    // across the network moves through the game's keys directly.
    std::function<bool()> LocalPlayerMayMove;

    // A key or click of the person here; false when it reached nothing.
    bool KeyDown(uint16_t& key);
    // Deals a match played here, at one keyboard or against the computer at
    // `level`; the computer takes its seat with the match it plays. False
    // when the table refused (cards still moving).
    bool Deal(const TGameRules& rules, TGameType type, TLevel level);
    // Help › Hint: asks for the best moves, or says why not; true when asked.
    bool AskHint();
    // The person whose moves Undo takes back, -1 at one keyboard.
    int32_t UndoPerson() const;
    // Drops the computer's search and walk and any hint being worked out.
    void Cancel();
    // The other seat is a person across the network or at a server now.
    void Unseat();
    // Once per frame: the computer thinks and walks, the hint is collected.
    void Step(uint64_t nowMs);
    // A new deal (or a Sudden Death replay): the next hint list gets its heading.
    void Dealt() { HintHeading.clear(); }

private:
    void HintLine(const QString& line);

    TGame& Game;
    TDirectPlay& Direct;
    TOnlinePlay& Online;
    TSideLog& Log;
    std::function<uint64_t()> NowMs;
    std::unique_ptr<TComputerSeat> ComputerSeat;
    std::unique_ptr<THintAdvisor> Advisor;
    // The heading of the last hint list, so each move's list gets one.
    QString HintHeading;
};
