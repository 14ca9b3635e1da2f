#include "server/PgWriteBatch.h"

#include "records/Glicko2.h"
#include "server/StoredMatch.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

using TWrite = TStorage::TWrite;

// The statements of a batch are answered in groups of at most this many, so
// that neither side's socket buffers fill with what the other has not yet
// read: on a blocking connection that would leave both waiting.
constexpr size_t MostUnanswered = 64;

// By TStep, from Create on; BEGIN and COMMIT need no preparing.
constexpr const char* Names[] = {"vantaro_batch_create",        "vantaro_batch_move",
                                 "vantaro_batch_finish",        "vantaro_batch_read_ratings",
                                 "vantaro_batch_write_ratings", "vantaro_batch_rating_changes"};

// PostgreSQL numbers a statement's values: $1, $2, …
std::string Numbered(const std::string& text) {
    std::string numbered;
    int next = 0;
    for (char c : text)
        if (c == '?')
            numbered += '$' + std::to_string(++next);
        else
            numbered += c;
    return numbered;
}

// The shortest text that reads back as the same double.
std::string Text(double value) {
    char buffer[32];
    return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

int64_t Integer(const PGresult* result, int row, int column) {
    return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

double Real(const PGresult* result, int row, int column) {
    return std::strtod(PQgetvalue(result, row, column), nullptr);
}

bool IsEnd(const TWrite& write) {
    return write.Kind == TWrite::TKind::Finish || (write.Kind == TWrite::TKind::Move && write.Last);
}

// How an end ends the match, and when: a last move finishes it as it is played.
TMatchStatus StatusOf(const TWrite& end) {
    return end.Kind == TWrite::TKind::Move ? TMatchStatus::Finished : end.Status;
}

int64_t EndedMsOf(const TWrite& end) {
    return end.Kind == TWrite::TKind::Move ? end.Move.TimeMs : end.EndedMs;
}

} // namespace

TPgWriteBatch::TPgWriteBatch(TStatements statements, std::string instance, int64_t leaseMs)
    : Statements(std::move(statements)), Instance(std::move(instance)), LeaseMs(leaseMs) {}

bool TPgWriteBatch::Store(pg_conn* connection, std::vector<TWrite>& writes) {
    Connection = connection;
    Writes = &writes;
    Failure.clear();
    Sent.clear();
    Answered = 0;
    Synced = SyncRead = false;
    Ends.assign(writes.size(), {});
    for (TWrite& write : writes) write.Ratings = {};
    if (!Prepare()) return false;
    if (!PQenterPipelineMode(Connection))
        return Fail("cannot send a batch: " + std::string(PQerrorMessage(Connection)));
    const bool stored = Run();
    Leave();
    if (stored)
        for (TWrite& write : writes) write.Result = TStorage::TMoveResult::Stored;
    return stored;
}

bool TPgWriteBatch::Prepare() {
    if (Prepared != TPrepared::Not) return Prepared == TPrepared::Done;
    Prepared = TPrepared::Failed;
    const std::string* texts[] = {&Statements.CreateMatch,  &Statements.AddMove,
                                  &Statements.FinishMatch,  &Statements.ReadMatchRatings,
                                  &Statements.WriteRatings, &Statements.AddRatingChanges};
    static_assert(std::size(texts) == std::size(Names));
    for (size_t i = 0; i < std::size(texts); ++i) {
        PGresult* result = PQprepare(Connection, Names[i], Numbered(*texts[i]).c_str(), 0, nullptr);
        const bool prepared = PQresultStatus(result) == PGRES_COMMAND_OK;
        if (!prepared)
            Failure = "cannot prepare a batch's statements: " + std::string(PQresultErrorMessage(result));
        PQclear(result);
        if (!prepared) return false;
    }
    Prepared = TPrepared::Done;
    return true;
}

bool TPgWriteBatch::Run() {
    if (!Send(TStep::Begin, 0, {})) return false;
    for (size_t i = 0; i < Writes->size(); ++i) {
        const TWrite& write = (*Writes)[i];
        const TStoredMatch& match = write.Match;
        bool sent = true;
        switch (write.Kind) {
        case TWrite::TKind::Create:
            sent = Send(TStep::Create, i,
                        {std::to_string(match.Players[0]), std::to_string(match.Players[1]),
                         std::to_string(match.Rules), std::to_string(match.MoveSeconds),
                         std::to_string(match.Seed), std::to_string(match.FirstPlayer),
                         StatusName(TMatchStatus::Playing), std::to_string(match.StartedMs),
                         match.Rated ? "1" : "0", Instance, std::to_string(LeaseMs)});
            break;
        case TWrite::TKind::Move: {
            const std::string id = std::to_string(write.MatchId), index = std::to_string(write.Move.Index);
            sent = Send(TStep::Move, i,
                        {id, index, std::to_string(write.Move.Move.Slot), std::to_string(write.Move.Move.X),
                         std::to_string(write.Move.Move.Y), std::to_string(write.Move.TimeMs), id, index, id,
                         Instance, std::to_string(write.Epoch)});
            break;
        }
        case TWrite::TKind::Finish:
            break;
        }
        if (!sent || (IsEnd(write) && !SendEnd(i))) return false;
    }
    if (!ReadSent() || !WriteRatings() || !Send(TStep::Commit, 0, {})) return false;
    if (!PQpipelineSync(Connection))
        return Fail("cannot send a batch: " + std::string(PQerrorMessage(Connection)));
    Synced = true;
    if (!ReadSent()) return false;
    PGresult* sync = PQgetResult(Connection);
    SyncRead = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    return SyncRead || Fail("the database did not finish the batch");
}

// The end of a match, and its players' ratings read and locked (in the
// order of their ids, as every end locks them) if it is rated.
bool TPgWriteBatch::SendEnd(size_t i) {
    const TWrite& write = (*Writes)[i];
    const TMatchStatus status = StatusOf(write);
    const std::string id = std::to_string(write.MatchId);
    return Send(TStep::Finish, i,
                {StatusName(status), std::to_string(write.Winner), std::to_string(write.Score[0]),
                 std::to_string(write.Score[1]), std::to_string(EndedMsOf(write)), id, Instance,
                 std::to_string(write.Epoch)}) &&
           (status == TMatchStatus::Abandoned || Send(TStep::ReadRatings, i, {id}));
}

bool TPgWriteBatch::Send(TStep step, size_t write, const std::vector<std::string>& values) {
    std::vector<const char*> texts;
    texts.reserve(values.size());
    for (const std::string& value : values) texts.push_back(value.c_str());
    const bool sent = step == TStep::Begin || step == TStep::Commit
                          ? PQsendQueryParams(Connection, step == TStep::Begin ? "BEGIN" : "COMMIT", 0,
                                              nullptr, nullptr, nullptr, nullptr, 0)
                          : PQsendQueryPrepared(Connection, Names[int(step) - int(TStep::Create)],
                                                int(texts.size()), texts.data(), nullptr, nullptr, 0);
    if (!sent) return Fail("cannot send a batch: " + std::string(PQerrorMessage(Connection)));
    Sent.push_back({step, write});
    return Sent.size() - Answered < MostUnanswered || ReadSent();
}

bool TPgWriteBatch::ReadSent() {
    if (Answered == Sent.size()) return true;
    if (!Synced && (!PQsendFlushRequest(Connection) || PQflush(Connection) != 0))
        return Fail("cannot send a batch: " + std::string(PQerrorMessage(Connection)));
    while (Answered < Sent.size()) {
        PGresult* result = PQgetResult(Connection);
        if (!result) return Fail("no answer from the database: " + std::string(PQerrorMessage(Connection)));
        const bool taken = Take(Sent[Answered], result);
        PQclear(result);
        // A statement's results end with a null.
        if (PGresult* more = PQgetResult(Connection)) {
            PQclear(more);
            return Fail("more than one answer to a statement of a batch");
        }
        ++Answered;
        if (!taken) return false;
    }
    return true;
}

bool TPgWriteBatch::Take(const TSent& sent, PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return Fail(status == PGRES_PIPELINE_ABORTED ? "the batch was cut short"
                                                     : std::string(PQresultErrorMessage(result)));
    TWrite& write = (*Writes)[sent.Write];
    TEnd& end = Ends[sent.Write];
    const int changed = std::atoi(PQcmdTuples(result));
    switch (sent.Step) {
    case TStep::Begin:
        return true;
    case TStep::Create:
        if (PQntuples(result) != 1) return Fail("no id for the new match");
        write.Match.Id = Integer(result, 0, 0);
        return true;
    case TStep::Move:
        return changed == 1; // else not stored as asked: storing it alone says why
    case TStep::Finish:
        if (PQntuples(result) != 1) return false; // ended already, or not held: as above
        end.Rated = Integer(result, 0, 0) != 0;
        end.Players[0] = Integer(result, 0, 1);
        end.Players[1] = Integer(result, 0, 2);
        return true;
    case TStep::ReadRatings:
        for (int row = 0; row < PQntuples(result); ++row, ++end.Found)
            write.Ratings.Before[Integer(result, row, 0) == end.Players[0] ? 0 : 1] = {
                Real(result, row, 1), Real(result, row, 2), Real(result, row, 3)};
        return true;
    case TStep::WriteRatings:
    case TStep::AddRatingChanges:
        return changed == 2 || Fail("a rated player went missing");
    case TStep::Commit:
        return std::strcmp(PQcmdStatus(result), "COMMIT") == 0 || Fail("the batch was not committed");
    }
    return false;
}

// Each rated match is one rating period for both players, each judged
// against the other's rating from before the match. A player with two ends
// in one batch had both read before either was written: the later one goes
// on from what the earlier one made, as it would stored after it.
bool TPgWriteBatch::WriteRatings() {
    std::map<int64_t, TRating> rated; // by player, as this batch leaves them so far
    for (size_t i = 0; i < Writes->size(); ++i) {
        TWrite& write = (*Writes)[i];
        const TEnd& end = Ends[i];
        const TMatchStatus status = StatusOf(write);
        if (!IsEnd(write) || !end.Rated || status == TMatchStatus::Abandoned) continue;
        if (end.Players[0] == end.Players[1]) { // nobody is rated against themselves
            write.Ratings = {};
            continue;
        }
        if (end.Found != 2) return Fail("a rated player went missing");
        if (status != TMatchStatus::Finished && write.Winner == -1) continue; // no result: nothing to rate
        TStorage::TRatingUpdate& update = write.Ratings;
        for (int seat = 0; seat < 2; ++seat)
            if (auto earlier = rated.find(end.Players[seat]); earlier != rated.end())
                update.Before[seat] = earlier->second;
        std::vector<std::string> ratings, changes;
        const std::string match = std::to_string(write.MatchId), endedMs = std::to_string(EndedMsOf(write));
        TGlicko2(0.5).UpdateMatch(update.Before, write.Winner, update.After);
        for (int seat = 0; seat < 2; ++seat) {
            rated[end.Players[seat]] = update.After[seat];
            const std::string player = std::to_string(end.Players[seat]);
            const TRating& after = update.After[seat];
            ratings.insert(ratings.end(),
                           {player, Text(after.Rating), Text(after.Deviation), Text(after.Volatility)});
            changes.insert(changes.end(), {match, player, endedMs});
            for (const TRating* rating : {&update.Before[seat], &update.After[seat]})
                changes.insert(changes.end(),
                               {Text(rating->Rating), Text(rating->Deviation), Text(rating->Volatility)});
        }
        if (!Send(TStep::WriteRatings, i, ratings) || !Send(TStep::AddRatingChanges, i, changes))
            return false;
        update.Rated = true;
    }
    return true;
}

// Out of pipeline mode, with no transaction left open: after a failure the
// statements still unanswered are drained (those after the failed one answer
// "aborted") up to the sync, and the transaction is rolled back.
void TPgWriteBatch::Leave() {
    if (!SyncRead) {
        if (!Synced) Synced = PQpipelineSync(Connection) == 1;
        for (size_t nulls = 0; Synced && nulls <= Sent.size() - Answered + 1;) {
            PGresult* result = PQgetResult(Connection);
            if (!result) {
                if (PQstatus(Connection) != CONNECTION_OK) break;
                ++nulls;
                continue;
            }
            const bool sync = PQresultStatus(result) == PGRES_PIPELINE_SYNC;
            PQclear(result);
            if (sync) break;
        }
    }
    PQexitPipelineMode(Connection);
    if (const PGTransactionStatusType status = PQtransactionStatus(Connection);
        status == PQTRANS_INTRANS || status == PQTRANS_INERROR)
        PQclear(PQexec(Connection, "ROLLBACK"));
}

bool TPgWriteBatch::Fail(std::string why) {
    Failure = std::move(why);
    return false;
}
