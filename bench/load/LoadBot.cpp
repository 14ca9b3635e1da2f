#include "bench/load/LoadBot.h"

#include <charconv>

namespace {

// The server writes compact JSON with plain keys, so the few numbers a bot
// needs are found by their keys without decoding whole messages (the bots
// share one core with the rest of the load program).
bool Has(std::string_view line, std::string_view text)
{
    return line.find(text) != std::string_view::npos;
}

int64_t Number(std::string_view line, std::string_view key, int64_t otherwise = -1)
{
    std::string pattern = "\"" + std::string(key) + "\":";
    size_t at = line.find(pattern);
    if (at == std::string_view::npos)
        return otherwise;
    int64_t value = otherwise;
    const char* begin = line.data() + at + pattern.size();
    std::from_chars(begin, line.data() + line.size(), value);
    return value;
}

} // namespace

TLoadBot::TLoadBot(asio::io_context& io, asio::ssl::context& tls, X509* certificate, EVP_PKEY* key, std::string name,
                   TLoadStats& stats, TThink think, uint32_t seed)
    : TBotConnection(io, tls, certificate, key), Name(std::move(name)), Stats(stats), Think(think), Random(seed),
      Timer(io), PingTimer(io)
{
}

void TLoadBot::OnEstablished()
{
    SendLine("{\"type\":\"hello\",\"program\":\"vantaro\",\"version\":1}");
    SendLine("{\"type\":\"login\",\"name\":\"" + Name + "\"}");
    Ping();
}

void TLoadBot::OnFailed()
{
    Timer.cancel();
    PingTimer.cancel();
    SetInMatch(false);
    if (SignedIn)
        --Stats.Connected;
    SignedIn = false;
    ++Stats.Failed;
    if (!FailureReason().empty())
        Stats.Problem(Name + ": " + FailureReason());
}

// Says something every 10 s, so that a bot waiting for an opponent is not
// taken for a dead line.
void TLoadBot::Ping()
{
    PingTimer.expires_after(std::chrono::seconds(10));
    auto self = shared_from_this();
    PingTimer.async_wait([this, self](const asio::error_code& cancelled) {
        if (cancelled || Failed())
            return;
        SendLine("{\"type\":\"ping\"}");
        Ping();
    });
}

void TLoadBot::OnLine(std::string_view line)
{
    ++Stats.Lines;
    Stats.Bytes += int64_t(line.size()) + 1;
    if (Has(line, "\"type\":\"moved\""))
        Moved(line);
    else if (Has(line, "\"type\":\"match\"") || Has(line, "\"type\":\"move_refused\"")) {
        if (Has(line, "\"type\":\"move_refused\"")) {
            ++Stats.Refused;
            Stats.Problem(Name + ": " + std::string(line));
        }
        Match(line);
    } else if (Has(line, "\"type\":\"ended\""))
        Ended();
    else if (Has(line, "\"type\":\"signed_in\"")) {
        SignedIn = true;
        ++Stats.Connected;
        PlayNow();
    } else if (Has(line, "\"type\":\"refused\"") && SignedIn && !InMatch && Has(line, "wait")) {
        // A rate limit of the address (tables opened a minute): as a person
        // would, try again a little later.
        ++Stats.Waits;
        AfterThink(Think.MaxMs * 2, Think.MaxMs * 6, &TLoadBot::PlayNow);
    } else if (Has(line, "\"type\":\"refused\"") || Has(line, "\"type\":\"bye\"")) {
        ++Stats.Refused;
        Stats.Problem(Name + ": " + std::string(line));
    }
}

void TLoadBot::SetInMatch(bool inMatch)
{
    if (inMatch != InMatch)
        Stats.InMatch += inMatch ? 1 : -1;
    InMatch = inMatch;
}

void TLoadBot::Match(std::string_view line)
{
    Table = Number(line, "table");
    Seat = int(Number(line, "you"));
    First = int(Number(line, "first", 1));
    Placed = 0;
    Played[0] = Played[1] = 0;
    for (bool& taken : Taken)
        taken = false;
    // "moves":[[slot,x,y],…]: every number in the array, three at a time.
    size_t at = line.find("\"moves\":[");
    if (at != std::string_view::npos) {
        const char* p = line.data() + at + 9;
        const char* end = line.data() + line.size();
        int triple[3];
        int count = 0;
        for (int depth = 1; p < end && depth > 0;) {
            if (*p >= '0' && *p <= '9') {
                int value = 0;
                p = std::from_chars(p, end, value).ptr;
                triple[count++] = value;
                if (count == 3 && triple[0] < 5 && triple[1] < 3 && triple[2] < 3) {
                    ++Played[(First + Placed) % 2];
                    Taken[triple[2] * 3 + triple[1]] = true;
                    ++Placed;
                }
                count %= 3;
                continue;
            }
            depth += *p == '[' ? 1 : *p == ']' ? -1 : 0;
            ++p;
        }
    }
    SetInMatch(Seat >= 0 && Placed < 9);
    Timer.cancel();
    if (InMatch && (First + Placed) % 2 == Seat)
        AfterThink(Think.MinMs, Think.MaxMs, &TLoadBot::Move);
}

void TLoadBot::Moved(std::string_view line)
{
    int seat = int(Number(line, "seat"));
    int slot = int(Number(line, "slot"));
    int x = int(Number(line, "x"));
    int y = int(Number(line, "y"));
    if (seat < 0 || seat > 1 || slot < 0 || slot > 4 || x < 0 || x > 2 || y < 0 || y > 2)
        return;
    if (seat != Seat) {
        auto sent = Stats.SentAt.find(Table);
        if (sent != Stats.SentAt.end()) {
            Stats.Latency(sent->second, TLoadStats::TClock::now());
            Stats.SentAt.erase(sent);
        }
    }
    ++Played[seat];
    Taken[y * 3 + x] = true;
    ++Placed;
    if (Placed < 9 && (First + Placed) % 2 == Seat)
        AfterThink(Think.MinMs, Think.MaxMs, &TLoadBot::Move);
}

void TLoadBot::Ended()
{
    if (InMatch && Seat == 0)
        ++Stats.Matches;
    SetInMatch(false);
    Timer.cancel();
    // A short pause between matches, as people take one.
    AfterThink(Think.MinMs / 2, Think.MaxMs / 2, &TLoadBot::PlayNow);
}

void TLoadBot::AfterThink(int minMs, int maxMs, void (TLoadBot::*what)())
{
    Timer.expires_after(std::chrono::milliseconds(std::uniform_int_distribution<int>(minMs, maxMs)(Random)));
    auto self = shared_from_this();
    Timer.async_wait([this, self, what](const asio::error_code& cancelled) {
        if (!cancelled && !Failed())
            (this->*what)();
    });
}

void TLoadBot::PlayNow()
{
    SendLine("{\"type\":\"play_now\",\"rules\":{\"same\":false,\"same_wall\":false,\"plus\":false,"
             "\"elemental\":false,\"sudden_death\":false},\"seconds\":60}");
}

void TLoadBot::Move()
{
    if (!InMatch || (First + Placed) % 2 != Seat)
        return;
    int squares[9];
    int squareCount = 0;
    for (int square = 0; square < 9; ++square)
        if (!Taken[square])
            squares[squareCount++] = square;
    if (Played[Seat] > 4 || squareCount == 0)
        return;
    int slot = std::uniform_int_distribution<int>(Played[Seat], 4)(Random);
    int square = squares[std::uniform_int_distribution<int>(0, squareCount - 1)(Random)];
    Stats.SentAt[Table] = TLoadStats::TClock::now();
    SendLine("{\"type\":\"move\",\"slot\":" + std::to_string(slot) + ",\"x\":" + std::to_string(square % 3) +
             ",\"y\":" + std::to_string(square / 3) + "}");
}
