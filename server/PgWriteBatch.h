#pragma once

#include "server/Storage.h"

#include <cstdint>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

// A batch of writes to PostgreSQL as one transaction, sent in libpq's
// pipeline mode: all its statements go out together and the database answers
// them together, so a batch costs two round trips (one running the writes
// and reading the ratings they change, one writing those and committing)
// where one after another each statement cost its own. A round trip, not the
// statement, was most of what a move cost the database.
//
// Only a batch whose every write was stored as asked is committed. Anything
// else (a move out of turn, a match ended or taken over, a failure) rolls it
// all back and Store returns false: its writes are then for storing alone,
// which says why.
class TPgWriteBatch {
public:
    // The statements, with '?' for their values, in the order the storage
    // binds them (see SqlMatches.cpp).
    struct TStatements {
        std::string CreateMatch; // … RETURNING id
        std::string AddMove;
        std::string FinishMatch;      // … RETURNING rated, red_player, blue_player
        std::string ReadMatchRatings; // the rated players of a match by id, locked in id order
        std::string WriteRatings;
        std::string AddRatingChanges;
    };
    TPgWriteBatch(TStatements statements, std::string instance, int64_t leaseMs);

    // connection must be idle and belong to the calling thread, and be the
    // same at every call: a new connection takes a new batch object, as the
    // statements are prepared on the first.
    bool Store(pg_conn* connection, std::vector<TStorage::TWrite>& writes);
    // Why the last Store returned false, when it was the database's doing.
    const std::string& Error() const { return Failure; }

private:
    enum class TStep { Begin, Create, Move, Finish, ReadRatings, WriteRatings, AddRatingChanges, Commit };
    struct TSent {
        TStep Step;
        size_t Write;
    };
    // What the end of a match read, until its ratings are written.
    struct TEnd {
        bool Rated = false;
        int64_t Players[2] = {0, 0};
        int Found = 0;
    };

    bool Prepare();
    bool Run();
    bool Send(TStep step, size_t write, const std::vector<std::string>& values);
    bool SendEnd(size_t write);
    // Reads the answers to what was sent; false at the first not as asked.
    bool ReadSent();
    bool Take(const TSent& sent, pg_result* result);
    bool WriteRatings();
    void Leave();
    bool Fail(std::string why);

    TStatements Statements;
    std::string Instance;
    int64_t LeaseMs;
    // Of the batch being stored.
    pg_conn* Connection = nullptr;
    std::vector<TStorage::TWrite>* Writes = nullptr;
    enum class TPrepared { Not, Done, Failed } Prepared = TPrepared::Not;
    std::vector<TSent> Sent;
    size_t Answered = 0;
    std::vector<TEnd> Ends; // by write
    bool Synced = false;    // the commit's sync sent
    bool SyncRead = false;  // and answered
    std::string Failure;
};
