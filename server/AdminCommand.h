#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCommunityStorage;
class TStorage;

// `vantaro-server admin ...`: the moderators' tools from the server's own
// machine, against the same database the servers use, for scripts and for
// the first administrator. Actions are logged as by "admin (USER)"; every
// server sharing the database acts on them within seconds.
namespace AdminCommand {

struct TContext {
    TStorage& Storage;
    TCommunityStorage& Community;
    std::vector<std::string> NamedModerators; // by the settings file
    std::string By;                           // who acts, as the log keeps it
    int64_t NowMs = 0;
    std::function<void(const std::string&)> Out; // one line each
};

// Runs one command (its words, after "admin" and the options); the exit
// code: 0 done, 1 refused or failed (said on Out), 2 not understood.
int Run(const std::vector<std::string>& words, TContext& context);

std::string Usage();

} // namespace AdminCommand
