#pragma once

#include "rules/GameRules.h"

#include <QString>
#include <cstdint>

// One message of the two-player protocol, already checked for shape and range.
// Only the fields of its kind are meaningful; the rest keep their defaults.
struct TNetMessage {
    enum class TKind { Hello, Welcome, Refused, Deal, NewGameRequest, Move, Digest, Chat, Ping, Pong, Bye };

    TKind Kind = TKind::Ping;
    // Hello: who is talking and which protocol it speaks.
    QString Program;
    int32_t Version = 0;
    // Refused and Bye: why, in words for the log.
    QString Reason;
    // Deal, Move, Digest: which deal of the connection they belong to, so that
    // a move or digest overtaken by a new deal is recognised as stale.
    int32_t DealId = 0;
    // Deal: the calendar seconds the host's random source was seeded with.
    int64_t Seed = 0;
    TGameRules Rules;
    // Move: the hand slot of the player to move and the square.
    int32_t Slot = 0;
    int32_t X = 0;
    int32_t Y = 0;
    // Digest: the placement it follows (1 to 9 within a deal, counting Sudden
    // Death replays on) and the table's digest after it.
    int32_t Placement = 0;
    uint32_t Value = 0;
    // Chat: plain text.
    QString Text;

    static TNetMessage Make(TKind kind) {
        TNetMessage message;
        message.Kind = kind;
        return message;
    }

    friend bool operator==(const TNetMessage& a, const TNetMessage& b) {
        return a.Kind == b.Kind && a.Program == b.Program && a.Version == b.Version && a.Reason == b.Reason &&
               a.DealId == b.DealId && a.Seed == b.Seed && a.Rules.Same == b.Rules.Same &&
               a.Rules.SameWall == b.Rules.SameWall && a.Rules.Plus == b.Rules.Plus &&
               a.Rules.Elemental == b.Rules.Elemental && a.Rules.SuddenDeath == b.Rules.SuddenDeath &&
               a.Slot == b.Slot && a.X == b.X && a.Y == b.Y && a.Placement == b.Placement &&
               a.Value == b.Value && a.Text == b.Text;
    }
};
