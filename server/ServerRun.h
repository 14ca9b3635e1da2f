#pragma once

#include "server/Referee.h"

struct TServerOptions;
class TServerLog;

// Opens the storage and the identity, listens, and serves until SIGTERM or
// SIGINT; then tells the clients, finishes the writes and returns 0. Returns
// 1 when it cannot start (the reason logged).
int RunServer(const TServerOptions& options, TServerLog& log);

// The same with the rules given: the load test runs the whole server with a
// stand-in that only knows which slots and squares are free.
int RunServer(const TServerOptions& options, TServerLog& log, TRefereeFactory referees);
