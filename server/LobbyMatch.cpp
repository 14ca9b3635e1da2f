// Match play: starting a match when both seats are taken, each move checked,
// stored and told, the clocks, the end, and the matches a restart resumes.
#include "server/Lobby.h"

#include "protocol/ServerMessages.h"
#include "server/AddressLimits.h"
#include "server/ServerLog.h"
#include "server/Storage.h"

#include "rules/MatchLimits.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Over when the rules say so, or as a draw when a chain of drawn deals
// reaches the bound that clients and records hold.
bool MatchOver(const TReferee& referee, size_t moves, int32_t& winner) {
    winner = referee.Over() ? referee.Winner() : -1;
    return referee.Over() || moves >= size_t(MatchLimits::MaxMoves);
}

int32_t Rounded(double value) {
    return int32_t(std::llround(value));
}

} // namespace

void TLobby::Move(uint64_t connection, TClient& client, const TLobbyRequest& request, int64_t nowMs) {
    TTable* at = TableOf(client);
    if (!at || client.Seat < 0) {
        Refuse(connection, "You are not playing at a table.");
        return;
    }
    TTable& table = *at;
    std::string problem;
    if (!table.Referee)
        problem = "The match has not started.";
    else if (table.Storing)
        problem = "The last move is still being stored; wait for it.";
    else if (table.Clock.Away(1 - client.Seat))
        problem = "The other player's line dropped; wait for them to come back.";
    else
        problem = table.Referee->MoveProblem(client.Seat, request.Move);
    if (!problem.empty()) {
        RefuseMove(connection, table, client.Seat, problem, TRefusal::NotAllowed, nowMs);
        return;
    }
    // Played first, to know whether the move ends the match: then it is
    // stored with the end in one transaction.
    table.Referee->Play(request.Move);
    TStorageJob job;
    TStorage::TWrite& write = job.Write;
    write.MatchId = table.Match.Id;
    write.Epoch = table.Match.Epoch;
    write.Move = {int32_t(table.Match.Moves.size()), request.Move, nowMs};
    write.Last = MatchOver(*table.Referee, table.Match.Moves.size() + 1, write.Winner);
    for (int seat = 0; write.Last && seat < 2; ++seat) write.Score[seat] = table.Referee->Score(seat);
    job.SubmittedMs = nowMs;
    job.Done = [this, tableId = table.Id, seat = client.Seat](TStorageJob& done, int64_t doneMs) {
        MoveStored(tableId, seat, done, doneMs);
    };
    // Nobody hears of the move, and nothing more happens at the table, until
    // it is stored: its clocks wait meanwhile.
    table.Storing = true;
    Schedule(table);
    if (!Runner->Submit(std::move(job))) {
        table.Storing = false;
        table.Referee = Replay(table.Match, problem);
        Schedule(table);
        RefuseMove(connection, table, client.Seat, "The server is busy; try again.", TRefusal::Storage,
                   nowMs);
    }
}

void TLobby::RefuseMove(uint64_t connection, TTable& table, int32_t seat, const std::string& problem,
                        TRefusal why, int64_t nowMs) {
    if (Metrics) Metrics->Refused(why);
    TServerMessage refused = MatchState(table, seat, nowMs);
    refused.Kind = TServerMessage::TKind::MoveRefused;
    refused.Text = QString::fromStdString(problem);
    if (connection) Send(connection, refused);
}

void TLobby::MoveStored(int64_t tableId, int32_t seat, TStorageJob& job, int64_t nowMs) {
    auto found = TableById.find(tableId);
    if (found == TableById.end() || found->second.Match.Id != job.Write.MatchId) return;
    TTable& table = found->second;
    table.Storing = false;
    const TStorage::TWrite& write = job.Write;
    CountStored(job);
    if (write.Result == TStorage::TMoveResult::Fenced) {
        Log.Write("a move of match " + std::to_string(write.MatchId) + " is not stored: " + job.Error);
        LostTable(table, nowMs);
        AfterChange(nowMs);
        return;
    }
    if (write.Result != TStorage::TMoveResult::Stored) {
        Log.Write("cannot store a move of match " + std::to_string(write.MatchId) + ": " + job.Error);
        // Back to the position before the move, as stored.
        std::string problem;
        table.Referee = Replay(table.Match, problem);
        Schedule(table);
        const bool ended = write.Result == TStorage::TMoveResult::Ended;
        RefuseMove(ConnectionOf(table.Seats[seat]), table, seat,
                   ended ? "The match has ended." : "The server cannot store moves right now; try again.",
                   write.Result == TStorage::TMoveResult::Failed ? TRefusal::Storage : TRefusal::NotAllowed,
                   nowMs);
        // Ended elsewhere, or no longer replayable here: the table ends.
        if (ended || !table.Referee)
            EndedElsewhere(table, nowMs);
        else
            EndDeferred(table, nowMs);
        AfterChange(nowMs);
        return;
    }
    table.Match.Moves.push_back(write.Move);
    if (Metrics) {
        ++Metrics->Moves;
        // Stored aside (the runner timed it): from its check to its being told, to the millisecond.
        if (job.Seconds)
            Metrics->MoveSeconds.Observe(double(std::max<int64_t>(0, nowMs - write.Move.TimeMs)) / 1000.0);
    }
    if (!write.Last) {
        table.Clock.StartTurn(nowMs);
        Schedule(table);
    }
    TServerMessage moved;
    moved.Kind = TServerMessage::TKind::Moved;
    moved.Table = table.Id;
    moved.Index = write.Move.Index;
    moved.Seat = seat;
    moved.Move = write.Move.Move;
    moved.ClockMs = write.Last ? -1 : ClockMs(table, nowMs);
    ToTable(table, moved);
    if (write.Last)
        Ended(table, TMatchStatus::Finished, write.Winner, write.Score, write.Ratings);
    else
        EndDeferred(table, nowMs);
    AfterChange(nowMs);
}

// A player who left while their table's move was being stored gives the match up now.
void TLobby::EndDeferred(TTable& table, int64_t nowMs) {
    if (!table.EndAfterStoring) return;
    const auto [how, winner] = *table.EndAfterStoring;
    table.EndAfterStoring.reset();
    EndMatch(table, how, winner, nowMs);
}

// The match was ended in storage, not here (by another server sharing the
// database): everyone at the table hears the stored end and goes back.
void TLobby::EndedElsewhere(TTable& table, int64_t nowMs) {
    std::optional<TStoredMatch> stored = Storage.LoadMatch(table.Match.Id);
    if (!stored || stored->Status == TMatchStatus::Playing) {
        EndMatch(table, TMatchStatus::Abandoned, -1, nowMs);
        return;
    }
    Ended(table, stored->Status, stored->Winner, stored->Score, {});
}

// A new referee at the position of the stored moves; none, with the
// problem, when there are no rules or a move does not replay.
std::unique_ptr<TReferee> TLobby::Replay(const TStoredMatch& match, std::string& problem) const {
    std::unique_ptr<TReferee> referee =
        Referees ? Referees(match.Seed, match.Rules, match.FirstPlayer) : nullptr;
    problem = referee ? "" : "no rules to decide it with";
    for (size_t i = 0; referee && i < match.Moves.size(); ++i) {
        const TStoredMove& move = match.Moves[i];
        problem = referee->MoveProblem(referee->ToMove(), move.Move);
        if (!problem.empty()) return nullptr;
        referee->Play(move.Move);
    }
    return referee;
}

void TLobby::Store(TStorageJob job) {
    if (!Runner->Submit(job)) InlineRunner.Submit(std::move(job));
}

void TLobby::CountStored(const TStorageJob& job) {
    if (!Metrics || !job.Seconds) return;
    Metrics->StorageSeconds.Observe(*job.Seconds);
    if (job.Write.Result == TStorage::TMoveResult::Failed) ++Metrics->StorageErrors;
}

void TLobby::StartMatch(TTable& table, int64_t nowMs) {
    TStorageJob job;
    job.Write.Kind = TStorage::TWrite::TKind::Create;
    TStoredMatch& match = job.Write.Match;
    match.Players[0] = table.Seats[0];
    match.Players[1] = table.Seats[1];
    match.Rules = table.Rules;
    match.MoveSeconds = table.Clock.MoveSeconds();
    match.Seed = Seeds();
    match.FirstPlayer = 1; // Blue moves first
    match.StartedMs = nowMs;
    match.Epoch = TStoredMatch::FirstEpoch;
    if (table.Rated && OnePerson(table)) {
        // A rating is a measure between people: one person's names would
        // only trade points among themselves.
        table.Rated = false;
        Log.Write("table " + std::to_string(table.Id) + " plays casual: " + table.Names[0] + " and " +
                  table.Names[1] + " share a certificate or an address");
    }
    match.Rated = table.Rated;
    job.SubmittedMs = nowMs;
    job.Done = [this, tableId = table.Id](TStorageJob& done, int64_t doneMs) {
        MatchCreated(tableId, done, doneMs);
    };
    // Nobody hears of the match until its row is stored; the table waits
    // with both seats taken, and a player may still leave it meanwhile.
    Store(std::move(job));
}

void TLobby::MatchCreated(int64_t tableId, TStorageJob& job, int64_t nowMs) {
    CountStored(job);
    const TStoredMatch& created = job.Write.Match;
    auto found = TableById.find(tableId);
    // The same two still seated, and no earlier creation for them started it.
    const bool seated = found != TableById.end() && !found->second.Referee &&
                        found->second.Seats[0] == created.Players[0] &&
                        found->second.Seats[1] == created.Players[1];
    if (job.Write.Result == TStorage::TMoveResult::Stored && !seated) {
        Log.Write("match " + std::to_string(created.Id) + " has nobody left to play it");
        Abandon(created, nowMs);
        return;
    }
    if (!seated) return;
    TTable& table = found->second;
    if (job.Write.Result != TStorage::TMoveResult::Stored) {
        Log.Write("cannot store a new match: " + job.Error);
    } else {
        table.Match = created;
        table.Referee = Referees ? Referees(created.Seed, created.Rules, created.FirstPlayer) : nullptr;
        if (!table.Referee) {
            Abandon(created, nowMs);
            Log.Write("no rules to decide match " + std::to_string(created.Id) + " with");
        }
    }
    if (!table.Referee) {
        TServerMessage failed;
        failed.Kind = TServerMessage::TKind::Refused;
        failed.Text = QStringLiteral("The server could not start the match.");
        ToTable(table, failed);
        RemoveTable(table.Id);
        AfterChange(nowMs);
        return;
    }
    Log.Write("match " + std::to_string(created.Id) + " at table " + std::to_string(table.Id) + ": " +
              table.Names[0] + " against " + table.Names[1]);
    table.Clock.StartTurn(nowMs);
    Schedule(table);
    for (int seat = 0; seat < 2; ++seat)
        if (uint64_t connection = ConnectionOf(table.Seats[seat]))
            Send(connection, MatchState(table, seat, nowMs));
    ClusterTableLine(table, MatchState(table, -1, nowMs));
    if (!table.Watchers.empty()) {
        std::string line = ServerMessages::Encode(MatchState(table, -1, nowMs)).toStdString();
        for (uint64_t watcher : table.Watchers) SendLine(watcher, line);
    }
    TableChanged(table);
    AfterChange(nowMs);
}

void TLobby::Abandon(const TStoredMatch& match, int64_t nowMs) {
    TStorageJob job;
    TStorage::TWrite& write = job.Write;
    write.Kind = TStorage::TWrite::TKind::Finish;
    write.MatchId = match.Id;
    write.Epoch = match.Epoch;
    write.Status = TMatchStatus::Abandoned;
    write.EndedMs = nowMs;
    job.SubmittedMs = nowMs;
    job.Done = [this](TStorageJob& done, int64_t) {
        CountStored(done);
        if (done.Write.Result != TStorage::TMoveResult::Stored)
            Log.Write("cannot store the end of match " + std::to_string(done.Write.MatchId) + ": " +
                      done.Error);
    };
    Store(std::move(job));
}

int64_t TLobby::ClockMs(const TTable& table, int64_t nowMs) const {
    if (!table.Referee || table.Referee->Over()) return -1;
    return table.Clock.TurnLeftMs(nowMs);
}

void TLobby::Schedule(TTable& table) {
    int64_t next = table.Storing ? Never : table.Clock.NextMs();
    if (next == table.ScheduledMs) return;
    if (table.ScheduledMs != Never) Deadlines.erase({table.ScheduledMs, table.Id});
    table.ScheduledMs = next;
    if (next != Never) Deadlines.insert({next, table.Id});
}

void TLobby::EndMatch(TTable& table, TMatchStatus how, int32_t winner, int64_t nowMs) {
    // Given up before each player has placed a card: nothing was played, so
    // nothing is won and no rating moves.
    if ((how == TMatchStatus::Forfeit || how == TMatchStatus::Resigned) && table.Match.Moves.size() < 2) {
        how = TMatchStatus::Abandoned;
        winner = -1;
    }
    TStorageJob job;
    TStorage::TWrite& write = job.Write;
    write.Kind = TStorage::TWrite::TKind::Finish;
    write.MatchId = table.Match.Id;
    write.Epoch = table.Match.Epoch;
    write.Status = how;
    write.Winner = winner;
    write.EndedMs = nowMs;
    // The cards each side owned when it ended, however it ended: a profile
    // shows them with the result.
    if (table.Referee)
        for (int seat = 0; seat < 2; ++seat) write.Score[seat] = table.Referee->Score(seat);
    job.SubmittedMs = nowMs;
    job.Done = [this, tableId = table.Id](TStorageJob& done, int64_t doneMs) {
        EndStored(tableId, done, doneMs);
    };
    // As a move: nobody hears of the end, and the clocks wait, until it is stored.
    table.Storing = true;
    Schedule(table);
    Store(std::move(job));
}

void TLobby::EndStored(int64_t tableId, TStorageJob& job, int64_t nowMs) {
    CountStored(job);
    const TStorage::TWrite& write = job.Write;
    auto found = TableById.find(tableId);
    if (found == TableById.end() || found->second.Match.Id != write.MatchId) return;
    TTable& table = found->second;
    table.Storing = false;
    if (write.Result == TStorage::TMoveResult::Fenced) {
        Log.Write("the end of match " + std::to_string(write.MatchId) + " is not stored: " + job.Error);
        LostTable(table, nowMs);
        return;
    }
    if (write.Result != TStorage::TMoveResult::Stored)
        Log.Write("cannot store the end of match " + std::to_string(write.MatchId) + ": " + job.Error);
    Ended(table, write.Status, write.Winner, write.Score, write.Ratings);
    AfterChange(nowMs);
}

void TLobby::Ended(TTable& table, TMatchStatus how, int32_t winner, const int32_t score[2],
                   const TStorage::TRatingUpdate& ratings) {
    Log.Write("match " + std::to_string(table.Match.Id) + " ended: " + StatusName(how) +
              (winner >= 0 ? ", " + table.Names[winner] + " won" : std::string()));
    TServerMessage ended;
    ended.Kind = TServerMessage::TKind::Ended;
    ended.Table = table.Id;
    ended.How = QString::fromLatin1(StatusName(how));
    ended.Winner = winner;
    ended.Score = {score[0], score[1]};
    if (ratings.Rated) {
        std::array<TRatingChange, 2> changes;
        for (int seat = 0; seat < 2; ++seat) {
            changes[seat] = {Rounded(ratings.Before[seat].Rating), Rounded(ratings.After[seat].Rating)};
            if (uint64_t connection = ConnectionOf(table.Seats[seat]))
                Clients.at(connection).Rating = ratings.After[seat];
        }
        ended.Ratings = changes;
    }
    ToTable(table, ended);
    OfferRematch(table);
    if (table.LeftBy) WithdrawRematch(table.LeftBy);
    RemoveTable(table.Id);
}

bool TLobby::OnePerson(const TTable& table) const {
    uint64_t first = ConnectionOf(table.Seats[0]), second = ConnectionOf(table.Seats[1]);
    if (first == 0 || second == 0) return false;
    const TClient& red = Clients.at(first);
    const TClient& blue = Clients.at(second);
    return red.Fingerprint == blue.Fingerprint ||
           (Limits.OneAddressOnePerson && red.LimitKey == blue.LimitKey);
}

void TLobby::ResumeStored(int64_t nowMs) {
    Resume(Storage.MatchesInPlay(), nowMs);
}

void TLobby::Resume(std::vector<TStoredMatch> matches, int64_t nowMs) {
    for (TStoredMatch& match : matches) {
        // Taken back after another server took it from here: the table
        // still kept for it is stale.
        for (auto& [id, kept] : TableById)
            if (kept.Referee && kept.Match.Id == match.Id) {
                LostTable(kept, nowMs);
                break;
            }
        std::string problem;
        std::unique_ptr<TReferee> referee = Replay(match, problem);
        int32_t winner = -1;
        if (!referee || MatchOver(*referee, match.Moves.size(), winner)) {
            // A match its last move ended, with the server stopped before
            // the end was kept, ends as it would have then.
            const bool over = referee != nullptr;
            int32_t score[2] = {0, 0};
            for (int seat = 0; over && seat < 2; ++seat) score[seat] = referee->Score(seat);
            const int64_t endedMs = over && !match.Moves.empty() ? match.Moves.back().TimeMs : nowMs;
            if (Storage.FinishMatch(match.Id, match.Epoch,
                                    over ? TMatchStatus::Finished : TMatchStatus::Abandoned, winner, score,
                                    endedMs) != TStorage::TMoveResult::Stored)
                Log.Write("cannot store the end of match " + std::to_string(match.Id) + ": " +
                          Storage.LastError());
            Log.Write("stored match " + std::to_string(match.Id) +
                      (over ? " ended at its last move: " + std::to_string(score[0]) + "-" +
                                  std::to_string(score[1])
                            : " does not replay: " + problem));
            continue;
        }
        TTable& table = TableById[NextTable];
        table.Id = NextTable++;
        table.Rules = match.Rules;
        table.Clock = TTableClock(match.MoveSeconds, AwayMs());
        table.Clock.BothAway(nowMs);
        table.Rated = match.Rated;
        table.CreatedMs = match.StartedMs;
        table.Referee = std::move(referee);
        for (int seat = 0; seat < 2; ++seat) {
            table.Seats[seat] = match.Players[seat];
            table.Names[seat] = Storage.PlayerName(match.Players[seat]).value_or("?");
            SeatTable.emplace(match.Players[seat], table.Id);
        }
        table.Match = std::move(match);
        Schedule(table);
        TableChanged(table);
        Log.Write("match " + std::to_string(table.Match.Id) + " (epoch " + std::to_string(table.Match.Epoch) +
                  ") waits for its players after " + std::to_string(table.Match.Moves.size()) + " moves");
        // Those already here (signed in before this server took the match
        // over) sit back at once.
        for (int64_t player : table.Seats) ClusterTakenOver(player);
        for (int64_t player : table.Seats)
            if (uint64_t connection = ConnectionOf(player);
                connection && Clients.at(connection).Table == 0 && SeatTable.at(player) == table.Id) {
                TClient& client = Clients.at(connection);
                StopWaiting(connection, client);
                BackToSeat(client, nowMs);
                Send(connection, MatchState(table, client.Seat, nowMs));
                PlayerChanged(client);
            }
    }
    AfterChange(nowMs);
}

void TLobby::LostTable(TTable& table, int64_t nowMs) {
    if (Metrics) ++Metrics->TablesLost;
    Log.Write("match " + std::to_string(table.Match.Id) + " at table " + std::to_string(table.Id) +
              " is run by another server now; it stops here");
    // Signing in again, through the front, reaches the server that runs the
    // match now, which seats them with every move it kept. They are let go
    // as their connections close: callers may still hold them.
    for (int64_t player : table.Seats)
        if (uint64_t connection = ConnectionOf(player)) {
            TServerMessage bye;
            bye.Kind = TServerMessage::TKind::Bye;
            bye.Text =
                QStringLiteral("Your match has moved to another server; connect again to go on with it.");
            Send(connection, bye, true);
            TClient& client = Clients.at(connection);
            client.Table = 0;
            client.Seat = -1;
        }
    RemoveTable(table.Id);
    AfterChange(nowMs);
}

void TLobby::KeepLeases(int64_t nowMs) {
    PollLeases(nowMs);
}

void TLobby::PollLeases(int64_t nowMs) {
    LeaseAtMs = nowMs + LeasePollMs;
    if (LeaseJobsOut) return; // the runner is behind: one look at a time
    std::vector<int64_t> running;
    for (const auto& [id, table] : TableById)
        if (table.Referee) running.push_back(table.Match.Id);
    auto failed = std::make_shared<std::string>();
    TStorageJob renew;
    renew.Work = [failed, running = std::move(running)](TStorage& storage) {
        if (!storage.RenewLeases(running)) *failed = storage.LastError();
    };
    renew.Done = [this, failed](TStorageJob&, int64_t) {
        // Said once for a run of failures (the database is away), and once when they end.
        if (failed->empty() == RenewingLeases) return;
        RenewingLeases = failed->empty();
        Log.Write(RenewingLeases ? std::string("the leases are renewed again")
                                 : "cannot renew the leases: " + *failed);
    };
    renew.SubmittedMs = nowMs;
    if (!Reader->Submit(std::move(renew))) Log.Write("cannot renew the leases: the storage is busy");
    auto taken = std::make_shared<std::vector<TStoredMatch>>();
    TStorageJob takeOver;
    takeOver.Work = [taken](TStorage& storage) { *taken = storage.TakeOverExpired(TakeOverMost); };
    takeOver.Done = [this, taken](TStorageJob&, int64_t doneMs) {
        LeaseJobsOut = false;
        if (Metrics) Metrics->TakeOvers += taken->size();
        for (const TStoredMatch& match : *taken)
            Log.Write("took match " + std::to_string(match.Id) + " over at epoch " +
                      std::to_string(match.Epoch) + ": its lease ran out");
        if (!taken->empty()) Resume(std::move(*taken), doneMs);
    };
    takeOver.SubmittedMs = nowMs;
    LeaseJobsOut = true;
    if (!Reader->Submit(std::move(takeOver))) LeaseJobsOut = false;
}
