// vantaro_load_server: vantaro-server with the stand-in rules, for the load
// program. Everything else (transport, limits, lobby, storage) is the server's.
#include "bench/load/FreeSquaresReferee.h"
#include "server/ServerLog.h"
#include "server/ServerOptions.h"
#include "server/ServerRun.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    TServerOptionsResult parsed = ParseServerOptions(arguments);
    if (!parsed.Options) {
        std::fprintf(stderr, "vantaro_load_server: %s\n", parsed.Error.c_str());
        return 2;
    }
    QCoreApplication application(argc, argv);
    TServerLog log;
    return RunServer(*parsed.Options, log, [](int64_t, int32_t, int32_t first) {
        return std::make_unique<TFreeSquaresReferee>(first);
    });
}
