#pragma once

#include "protocol/ServerMessage.h"

#include <QString>
#include <map>

// The lobby as this client knows it: who is online and what each is doing,
// and the tables. Fed every message from the server; the lobby window shows it.
class TLobbyModel {
public:
    // Applies one message; true when the players or tables changed.
    bool Apply(const TServerMessage& message);
    void Clear();

    const std::map<QString, TLobbyPlayer>& Players() const { return PlayerByKey; }
    const std::map<int64_t, TLobbyTable>& Tables() const { return TableById; }
    const TLobbyTable* Table(int64_t id) const;
    // Who sits at or watches a table, in words: "in the lobby", "playing at
    // table 3", "watching table 4".
    static QString Doing(const TLobbyPlayer& player);
    // "60 s" or "unlimited".
    static QString SecondsText(int32_t seconds);
    // "1512 ± 80"; a change as "+15", "−15" or "±0"; "1512 → 1527 (+15)".
    static QString RatingText(int32_t rating, int32_t deviation);
    static QString ChangeText(int32_t change);
    static QString RatingChangeText(const TRatingChange& change);
    // A match of a profile from its player's side: "Won 6–4", "Lost 4–6 (time)",
    // "Draw 5–5", "Abandoned".
    static QString ResultText(const TProfileMatch& match);

    QString SignedInAs;

private:
    // Names are unique regardless of case.
    std::map<QString, TLobbyPlayer> PlayerByKey;
    std::map<int64_t, TLobbyTable> TableById;
};
