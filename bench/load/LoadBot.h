#pragma once

#include "bench/load/BotConnection.h"
#include "bench/load/LoadStats.h"
#include "protocol/ServerMessage.h"

#include <random>

// A player: signs in, asks for Play Now, and plays a card from a free hand
// slot onto a free square after a random think time whenever it is its
// turn; once a match ends it asks for the next. It keeps only how many
// cards each side has played and which squares are taken, which is all a
// legal move needs: a hand closes up towards slot 4 as it is played, so the
// cards of a side that has played k are in slots k to 4.
class TLoadBot : public TBotConnection {
public:
    struct TThink {
        int MinMs = 500;
        int MaxMs = 2500;
    };
    TLoadBot(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key,
             std::string name, TLoadStats& stats, TThink think, uint32_t seed);

private:
    void OnEstablished() override;
    void OnLine(std::string_view line) override;
    void OnFailed() override;
    void Send(const QByteArray& line);
    void Match(const TServerMatchState& match);
    void Moved(const TServerMessage& moved);
    void Ended();
    void AfterThink(int minMs, int maxMs, void (TLoadBot::*what)());
    void PlayNow();
    void Move();
    void Ping();
    void SetInMatch(bool inMatch);

    std::string Name;
    TLoadStats& Stats;
    TThink Think;
    std::mt19937 Random;
    asio::steady_timer Timer;
    asio::steady_timer PingTimer;
    bool SignedIn = false;
    bool InMatch = false;
    int64_t LobbyLines = 0;
    int64_t MatchId = 0; // the same for both players, whichever process each is on; table ids are not
    int Seat = -1;
    int First = 0;
    int Placed = 0;
    int Played[2] = {};
    bool Taken[9] = {};
};
