// vantaro-server: the lobby, tables and matches over TLS, kept in SQLite or
// PostgreSQL.
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/ServerRun.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments[0] == "admin") {
        QCoreApplication application(argc, argv);
        TServerLog log;
        return RunAdmin({arguments.begin() + 1, arguments.end()}, log);
    }
    TServerOptionsResult parsed = ParseServerOptions(arguments);
    if (!parsed.Options) {
        std::fprintf(stderr, "vantaro-server: %s\n", parsed.Error.c_str());
        return 2;
    }
    if (parsed.Options->Help) {
        std::fputs(ServerUsage().c_str(), stdout);
        return 0;
    }
    // Qt SQL finds its drivers through the application object; no Qt event
    // loop runs.
    QCoreApplication application(argc, argv);
    TServerLog log;
    return RunServer(*parsed.Options, log);
}
