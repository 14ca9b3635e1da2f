#pragma once

struct TServerOptions;
class TServerLog;

// Opens the storage and the identity, listens, and serves until SIGTERM or
// SIGINT; then tells the clients, finishes the writes and returns 0. Returns
// 1 when it cannot start (the reason logged).
int RunServer(const TServerOptions& options, TServerLog& log);
