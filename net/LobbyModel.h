#pragma once

#include "protocol/ServerMessage.h"

#include <QString>
#include <map>
#include <optional>
#include <vector>

// The lobby as this client knows it: who is online and what each is doing,
// and the tables. Fed every message from the server; the lobby window shows it.
class TLobbyModel {
public:
    // Each challenger has one open at a time; a server that sends more is not heeded.
    static constexpr size_t MaxChallengesKept = 20;

    // Applies one message; true when the players or tables changed.
    bool Apply(const TServerMessage& message);
    void Clear();

    const std::map<QString, TLobbyPlayer>& Players() const { return PlayerByKey; }
    const std::map<int64_t, TLobbyTable>& Tables() const { return TableById; }
    const TLobbyTable* Table(int64_t id) const;
    // This player's own entry, once the server has listed it.
    const TLobbyPlayer* Own() const;
    const TLobbyPlayer* Player(const QString& name) const;

    // What Play Now waits for, as the server confirmed it; none when not waiting.
    struct TWaiting {
        std::vector<TGameRules> Rules;
        std::vector<int32_t> Seconds;
    };
    const std::optional<TWaiting>& Waiting() const { return Wait; }
    // Challenges this player made (at most one) and was made, the oldest first.
    const std::optional<TChallengeOffer>& OwnChallenge() const { return Sent; }
    const std::vector<TChallengeOffer>& ChallengesToMe() const { return Received; }
    // What a connection that went away leaves behind: no wait, no challenge.
    void ForgetRequests();

    // A rule set as Play Now lists it: "Open" for none of the switches,
    // "Same + Plus" for two of them.
    static QString RuleSetText(const TGameRules& rules);
    // "Open, Same; 30 s or 60 s a move", "Plus; unlimited time".
    static QString AcceptedText(const std::vector<TGameRules>& rules, const std::vector<int32_t>& seconds);
    // "Plus; 30 s a move; rated".
    static QString OfferText(const TChallengeOffer& offer);
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
    std::optional<TWaiting> Wait;
    std::optional<TChallengeOffer> Sent;
    std::vector<TChallengeOffer> Received;
};
