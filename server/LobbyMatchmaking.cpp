// Who meets whom. Play Now: the waiting player closest in rating among those
// who accept a rule set and a time the asker accepts (a rated table already
// open, or another player waiting for Play Now), else a place in the queue.
// Challenges: one player offers another a match, which opens its own table
// when accepted.
#include "server/Lobby.h"

#include "rules/RuleBits.h"

#include <algorithm>
#include <cmath>

namespace {

bool Accepts(const std::vector<int32_t>& list, int32_t entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

// The first of `mine` that `theirs` holds too; none when they share nothing.
std::optional<int32_t> Overlap(const std::vector<int32_t>& mine, const std::vector<int32_t>& theirs) {
    for (int32_t entry : mine)
        if (Accepts(theirs, entry)) return entry;
    return std::nullopt;
}

} // namespace

void TLobby::PlayNow(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    if (client.Table != 0 && client.Seat >= 0) {
        Refuse(connection, "Leave your table first.");
        return;
    }
    const std::vector<int32_t>& rules = request.AcceptedRules;
    const std::vector<int32_t>& seconds = request.AcceptedSeconds;
    // Waiting tables and the queue are kept in the order they began to wait,
    // so on equal distance the first found has waited longest.
    TTable* closestTable = nullptr;
    uint64_t closestWaiter = 0;
    // Rated tables open elsewhere, when this process keeps a cluster's queue.
    const std::vector<TTableAfar> afar =
        Cluster ? OpenTablesAfar(client, rules, seconds) : std::vector<TTableAfar>();
    const TTableAfar* closestAfar = nullptr;
    double closestGap = 0;
    const auto closer = [&](double rating) {
        const double gap = std::fabs(rating - client.Rating.Rating);
        const bool better =
            (closestTable == nullptr && closestWaiter == 0 && closestAfar == nullptr) || gap < closestGap;
        if (better) {
            closestGap = gap;
            closestTable = nullptr;
            closestWaiter = 0;
            closestAfar = nullptr;
        }
        return better;
    };
    for (int64_t id : WaitingTables) {
        TTable& table = TableById.at(id);
        if (!table.Rated || !Accepts(rules, table.Rules) || !Accepts(seconds, table.Clock.MoveSeconds()))
            continue;
        const int64_t waitingId = table.Seats[0] != 0 ? table.Seats[0] : table.Seats[1];
        if (Blocked(client, waitingId)) continue;
        uint64_t waiting = ConnectionOf(waitingId);
        if (closer(waiting != 0 ? Clients.at(waiting).Rating.Rating : TRating().Rating))
            closestTable = &table;
    }
    for (const TTableAfar& table : afar)
        if (closer(table.Rating)) closestAfar = &table;
    for (uint64_t waiter : PlayNowQueue) {
        const TClient& other = Clients.at(waiter);
        if (waiter == connection || !Overlap(rules, other.WantRules) ||
            !Overlap(seconds, other.WantSeconds) || Blocked(client, other.PlayerId))
            continue;
        if (closer(other.Rating.Rating)) closestWaiter = waiter;
    }
    if (closestTable) {
        Sit(connection, client, *closestTable, -1, nowMs);
        return;
    }
    if (closestAfar) {
        SitAt(connection, client, closestAfar->Origin, closestAfar->Table, nowMs);
        return;
    }
    if (closestWaiter != 0) {
        const TClient& other = Clients.at(closestWaiter);
        // The asker's order decides among what both accept.
        const int32_t bits = *Overlap(rules, other.WantRules), time = *Overlap(seconds, other.WantSeconds);
        if (!Cluster || !PairElsewhere(closestWaiter, connection, bits, time, nowMs))
            OpenMatch(closestWaiter, connection, bits, time, true, nowMs);
        return;
    }
    if (client.WantRules.empty()) PlayNowQueue.push_back(connection);
    client.WantRules = rules;
    client.WantSeconds = seconds;
    TServerMessage waiting;
    waiting.Kind = TServerMessage::TKind::Waiting;
    for (int32_t bits : rules) waiting.AcceptedRules.push_back(RulesOfBits(bits));
    waiting.AcceptedSeconds = seconds;
    Send(connection, waiting);
}

void TLobby::StopWaiting(uint64_t connection, TClient& client) {
    if (client.WantRules.empty()) return;
    client.WantRules.clear();
    client.WantSeconds.clear();
    std::erase(PlayNowQueue, connection);
    TServerMessage stopped;
    stopped.Kind = TServerMessage::TKind::Waiting;
    Send(connection, stopped);
}

void TLobby::OpenMatch(uint64_t blue, uint64_t red, int32_t rules, int32_t seconds, bool rated,
                       int64_t nowMs) {
    TTable& table = NewTable(rules, seconds, rated, nowMs);
    Sit(blue, Clients.at(blue), table, 1, nowMs);
    Sit(red, Clients.at(red), table, 0, nowMs);
}

std::string TLobby::NameOf(int64_t playerId) const {
    const uint64_t connection = ConnectionOf(playerId);
    const auto client = Clients.find(connection);
    return connection == 0 || client == Clients.end() ? std::string() : client->second.Name;
}

bool TLobby::InMatch(int64_t playerId) const {
    const auto seated = SeatTable.find(playerId);
    if (seated == SeatTable.end()) return false;
    const auto table = TableById.find(seated->second);
    return table != TableById.end() && table->second.Referee != nullptr;
}

void TLobby::Challenge(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    if (!TryQuery(connection, client, nowMs)) return;
    const QString wanted = QString::fromStdString(request.Name);
    uint64_t to = 0;
    for (const auto& [player, other] : Players)
        if (QString::fromStdString(Clients.at(other).Name).compare(wanted, Qt::CaseInsensitive) == 0)
            to = other;
    std::string problem;
    if (to == 0)
        problem = request.Name + " is not online.";
    else if (to == connection)
        problem = "You cannot challenge yourself.";
    else if (Blocked(client, Clients.at(to).PlayerId))
        problem = "You cannot challenge " + Clients.at(to).Name + ": one of you blocks the other.";
    else if (InMatch(client.PlayerId))
        problem = "Finish your match first.";
    else if (InMatch(Clients.at(to).PlayerId))
        problem = Clients.at(to).Name + " is playing a match.";
    for (const auto& [id, open] : Challenges)
        if (problem.empty() && open.From == client.PlayerId)
            problem = "Your challenge to " + NameOf(open.To) + " is still open; withdraw it first.";
    if (!problem.empty()) {
        Refuse(connection, problem);
        return;
    }
    TClient& challenged = Clients.at(to);
    TChallenge& challenge = Challenges[NextChallenge];
    challenge = {NextChallenge++,     client.PlayerId, challenged.PlayerId,          request.Rules,
                 request.MoveSeconds, request.Rated,   nowMs + Protocol::ChallengeMs};
    ChallengeDeadlines.insert({challenge.ExpiresMs, challenge.Id});
    TServerMessage offer;
    offer.Kind = TServerMessage::TKind::Challenge;
    offer.Offer = {challenge.Id,
                   QString::fromStdString(client.Name),
                   QString::fromStdString(challenged.Name),
                   RulesOfBits(challenge.Rules),
                   challenge.Seconds,
                   challenge.Rated};
    // The challenger hears it too: that it is out, and its id to withdraw it by.
    Send(connection, offer);
    Send(to, offer);
}

void TLobby::Answer(uint64_t connection, TClient& client, int64_t id, bool accept, int64_t nowMs) {
    const auto found = Challenges.find(id);
    if (found == Challenges.end() ||
        (found->second.To != client.PlayerId && found->second.From != client.PlayerId)) {
        Refuse(connection, "That challenge is over.");
        return;
    }
    const TChallenge challenge = found->second;
    const uint64_t from = ConnectionOf(challenge.From), to = ConnectionOf(challenge.To);
    const std::string challenger = NameOf(challenge.From), challenged = NameOf(challenge.To);
    if (challenge.From == client.PlayerId) {
        EndChallenge(id, "You withdrew your challenge to " + challenged + ".",
                     challenger + " withdrew the challenge.");
        return;
    }
    if (!accept) {
        EndChallenge(id, challenged + " declined your challenge.",
                     "You declined " + challenger + "'s challenge.");
        return;
    }
    if (from == 0 || to == 0 || !Clients.count(from) || !Clients.count(to)) {
        EndChallenge(id, "Your challenge ended: a player is no longer online.",
                     "The challenge ended: a player is no longer online.");
        return;
    }
    if (InMatch(challenge.From)) {
        EndChallenge(id, "Your challenge to " + challenged + " ended: you are playing a match.",
                     challenger + " is playing a match now.");
        return;
    }
    if (InMatch(challenge.To)) {
        EndChallenge(id, challenged + " is playing a match now.", "Finish your match first.");
        return;
    }
    EndChallenge(id, challenged + " accepted your challenge.",
                 "You accepted " + challenger + "'s challenge.");
    // Whatever else either was waiting for gives way to the match they agreed on.
    for (uint64_t each : {from, to}) {
        TClient& player = Clients.at(each);
        StopWaiting(each, player);
        if (player.Seat >= 0) Leave(each, player, nowMs);
    }
    OpenMatch(from, to, challenge.Rules, challenge.Seconds, challenge.Rated, nowMs);
}

void TLobby::EndChallenge(int64_t id, const std::string& toChallenger, const std::string& toChallenged) {
    const auto found = Challenges.find(id);
    if (found == Challenges.end()) return;
    const TChallenge challenge = found->second;
    ChallengeDeadlines.erase({challenge.ExpiresMs, id});
    Challenges.erase(found);
    TServerMessage over;
    over.Kind = TServerMessage::TKind::ChallengeOver;
    over.Offer.Id = id;
    for (const auto& [player, words] :
         {std::pair{challenge.From, toChallenger}, {challenge.To, toChallenged}})
        if (uint64_t connection = ConnectionOf(player)) {
            over.Text = QString::fromStdString(words);
            Send(connection, over);
        }
}

void TLobby::EndChallengesOf(int64_t playerId, const std::string& reason) {
    std::vector<int64_t> ended;
    for (const auto& [id, challenge] : Challenges)
        if (challenge.From == playerId || challenge.To == playerId) ended.push_back(id);
    for (int64_t id : ended) EndChallenge(id, reason, reason);
}
