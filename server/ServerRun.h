#pragma once

#include <string>
#include <vector>

struct TServerOptions;
class TServerLog;

// Opens the storage and the identity, listens, and serves until SIGTERM or
// SIGINT; then tells the clients, finishes the writes and returns 0. Returns
// 1 when it cannot start (the reason logged).
int RunServer(const TServerOptions& options, TServerLog& log);

// `vantaro-server admin [options] COMMAND ...`: the options (--data,
// --database, --config) as the server takes them, then AdminCommand's words.
// Returns the exit code.
int RunAdmin(const std::vector<std::string>& arguments, TServerLog& log);
