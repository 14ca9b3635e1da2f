#include "server/ServerRun.h"

#include "server/AdminCommand.h"

#include "server/ClientSession.h"
#include "server/InstanceName.h"
#include "server/MetricsEndpoint.h"
#include "server/RulesReferee.h"
#include "server/ServerLog.h"
#include "server/ServerMetrics.h"
#include "server/ServerOptions.h"
#include "server/SettingsFile.h"
#include "server/SqlStorage.h"
#include "server/StorageWorker.h"
#include "server/TimedStorage.h"
#include "server/TlsServer.h"
#include "server/cluster/ClusterLink.h"

#include <openssl/rand.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each client holds a descriptor; take as many as the system lets us.
void RaiseOpenFileLimit(TServerLog& log) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
        log.Write(std::string("cannot raise the open-file limit: ") + std::strerror(errno));
}

int64_t WallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Deals come from a cryptographic source, so nobody can foresee a hand;
// 53 bits, so that the seed travels exactly as a JSON number.
int64_t DrawSeed() {
    uint64_t value = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1)
        value = (uint64_t(std::random_device()()) << 32) ^ std::random_device()();
    return int64_t(value & ((uint64_t(1) << 53) - 1));
}

// The settings file named, or the default one when it exists; no file, the
// built-in settings.
std::optional<TServerSettings> LoadSettings(const std::string& named, std::string& path, TServerLog& log) {
    path = !named.empty()                                   ? named
           : ::access(SettingsFile::DefaultPath, F_OK) == 0 ? SettingsFile::DefaultPath
                                                            : "";
    if (path.empty()) return TServerSettings();
    SettingsFile::TReading reading = SettingsFile::Read(path);
    if (!reading.Settings) log.Write("bad settings: " + reading.Error);
    return reading.Settings;
}

TClientSessions::TLimits SessionLimitsOf(const TServerSettings& settings) {
    TClientSessions::TLimits limits;
    limits.MaxMessagesPerSecond = settings.MessagesPerSecond;
    limits.MaxBytesPerSecond = settings.BytesPerSecond;
    limits.SilenceMs = int64_t(settings.SilenceSeconds) * 1000;
    return limits;
}

} // namespace

int RunServer(const TServerOptions& options, TServerLog& log) {
    // Closed clients must not end the server through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    RaiseOpenFileLimit(log);
    if (::mkdir(options.DataFolder.c_str(), 0700) != 0 && errno != EEXIST) {
        log.Write("cannot make the data folder " + options.DataFolder + ": " + std::strerror(errno));
        return 1;
    }
    std::string error;
    std::string instance = options.Instance.empty()
                               ? LoadOrMakeInstanceName(options.DataFolder + "/instance", error)
                               : options.Instance;
    if (instance.empty()) {
        log.Write(error);
        return 1;
    }
    log.Write("instance " + instance);
    std::unique_ptr<TSqlStorage> storage =
        TSqlStorage::Open(options.DataFolder + "/vantaro.sqlite", options.DatabaseUrl, error, instance);
    if (!storage) {
        log.Write(error);
        return 1;
    }
    log.Write(options.DatabaseUrl.empty() ? "database " + options.DataFolder + "/vantaro.sqlite"
                                          : std::string("database on PostgreSQL"));

    TIdentityResult identity =
        options.CertificateFile.empty()
            ? LoadOrMakeIdentity(options.DataFolder + "/server-cert.pem",
                                 options.DataFolder + "/server-key.pem", "vantaro-server")
            : LoadIdentity(options.CertificateFile, options.KeyFile);
    if (!identity.Error.empty()) {
        log.Write(identity.Error);
        return 1;
    }
    std::string fingerprint = CertificateFingerprint(identity.Identity.CertificatePem);
    log.Write(std::string(identity.Created ? "made a new certificate, " : "certificate ") + "fingerprint " +
              DisplayFingerprint(fingerprint));

    std::string settingsPath;
    std::optional<TServerSettings> settings = LoadSettings(options.ConfigFile, settingsPath, log);
    if (!settings) return 1;
    if (!settingsPath.empty()) log.Write("settings from " + settingsPath);

    asio::io_context io(1);
    TAddressLimits addresses;
    addresses.MaxNewNamesPerHour = settings->NewNamesPerHour;
    TServerMetrics metrics;
    TTimedStorage timedStorage(*storage, metrics.StorageSeconds, metrics.StorageErrors);
    TClientSessions sessions(io, timedStorage, log, addresses, RulesRefereeFactory(), DrawSeed, WallClockMs,
                             SessionLimitsOf(*settings));
    sessions.CountInto(metrics);
    // On PostgreSQL moves are stored on a thread of their own, on a
    // connection of its own, so that the loop never waits for a commit
    // synced to disk. SQLite's commits are not synced (WAL, synchronous
    // NORMAL), and a second connection there only makes the loop's own
    // writes wait for the worker's lock: it stores on the loop.
    // A second thread and connection does sign-ins' reads and the leases,
    // which then neither wait behind a batch of moves nor hold one up.
    std::optional<TStorageWorker> storageWorker, readWorker;
    if (!options.DatabaseUrl.empty()) {
        for (std::optional<TStorageWorker>* worker : {&storageWorker, &readWorker}) {
            worker->emplace(
                [&](std::string& openError) -> std::unique_ptr<TStorage> {
                    return TSqlStorage::Open("", options.DatabaseUrl, openError, instance);
                },
                [&](std::function<void(int64_t)> completion) {
                    asio::post(io, [&sessions, completion = std::move(completion)] {
                        sessions.Completed(completion);
                    });
                },
                // Moves on two connections for a server alone: a batch gathers and
                // is stored while the other's commit is synced to disk. In a
                // cluster the servers' commits overlap already, and a second
                // connection each made more, smaller commits (measured).
                TStorageWorker::TLimits{.Connections =
                                            worker == &storageWorker && options.RedisUrl.empty() ? 2u : 1u});
            if (error = (*worker)->Started(); !error.empty()) {
                log.Write(error);
                return 1;
            }
        }
        sessions.StoreThrough(*storageWorker);
        sessions.ReadThrough(*readWorker);
    }
    sessions.Lobby().Apply(*settings);
    sessions.Lobby().Moderate(*storage, WallClockMs());
    sessions.Lobby().ResumeStored(WallClockMs());
    sessions.Lobby().KeepLeases(WallClockMs());
    std::optional<TClusterLink> cluster;
    if (!options.RedisUrl.empty()) {
        cluster.emplace(io, log, sessions, *TRedisAddress::Parse(options.RedisUrl), instance, WallClockMs());
        cluster->Start();
        cluster->TimeRoundTrips(metrics.BusSeconds);
    }
    sessions.Flush();
    TTlsServer::TLimits limits;
    limits.MaxConnections = settings->MaxConnections;
    limits.MaxPerAddress = settings->ConnectionsPerAddress;
    for (const std::string& front : options.ProxyFrom) limits.Fronts.push_back(asio::ip::make_address(front));
    TTlsServer server(
        io, log, addresses,
        [&](TConnectionLink& link, const TPeer& peer) { return sessions.Open(link, peer); }, limits);
    if (error = server.UseIdentity(identity.Identity); !error.empty()) {
        log.Write(error);
        return 1;
    }
    std::optional<TMetricsEndpoint> endpoint;
    if (!options.MetricsAddress.empty()) {
        endpoint.emplace(
            io, log,
            [&] {
                TServerGauges gauges;
                gauges.Connections = server.ConnectionCount();
                gauges.Players = sessions.Lobby().PlayersOnline();
                gauges.Tables = sessions.Lobby().Tables();
                gauges.MatchesInPlay = sessions.Lobby().MatchesInPlay();
                gauges.BusDropped = sessions.Lobby().ClusterDropped();
                gauges.BusUnsent = cluster ? cluster->Unsent() : 0;
                return MetricsText(metrics, gauges);
            },
            [] { return std::string(); }, TMetricsEndpoint::TLimits{});
        if (error = endpoint->Listen(options.MetricsAddress, options.MetricsPort); !error.empty()) {
            log.Write(error);
            return 1;
        }
        log.Write("metrics on " + options.MetricsAddress + " port " + std::to_string(endpoint->Port()));
    }
    // SIGHUP reads the settings again; a bad file leaves the running ones.
    asio::signal_set reloadSignal(io, SIGHUP);
    std::function<void()> awaitReload = [&] {
        reloadSignal.async_wait([&](const asio::error_code& failed, int) {
            if (failed) return;
            std::string path;
            if (std::optional<TServerSettings> fresh = LoadSettings(options.ConfigFile, path, log)) {
                settings = fresh;
                addresses.MaxNewNamesPerHour = settings->NewNamesPerHour;
                server.SetConnectionLimits(settings->MaxConnections, settings->ConnectionsPerAddress);
                sessions.SetLimits(SessionLimitsOf(*settings));
                sessions.Lobby().Apply(*settings);
                log.Write(path.empty() ? std::string("settings: the built-in ones")
                                       : "settings reloaded from " + path);
            } else {
                log.Write("kept the running settings");
            }
            awaitReload();
        });
    };
    awaitReload();
    // Taken before the listening line: whoever reads that line may stop us at once.
    asio::signal_set stopSignals(io, SIGTERM, SIGINT);
    stopSignals.async_wait([&](const asio::error_code& failed, int number) {
        if (failed) return;
        log.Write(std::string("stopping on ") + (number == SIGTERM ? "SIGTERM" : "SIGINT"));
        if (endpoint) endpoint->Stop();
        reloadSignal.cancel();
        server.Stop([&] { io.stop(); });
    });
    if (error = server.Listen(options.ListenAddress, options.Port); !error.empty()) {
        log.Write(error);
        return 1;
    }
    log.Write("listening on " + options.ListenAddress + " port " + std::to_string(server.Port()));

    io.run();
    log.Write("stopped");
    return 0;
}

int RunAdmin(const std::vector<std::string>& arguments, TServerLog& log) {
    std::vector<std::string> optionWords;
    size_t next = 0;
    for (; next < arguments.size() && arguments[next].rfind("--", 0) == 0; ++next) {
        optionWords.push_back(arguments[next]);
        if (arguments[next].find('=') == std::string::npos && arguments[next] != "--help" &&
            next + 1 < arguments.size())
            optionWords.push_back(arguments[++next]);
    }
    const std::vector<std::string> words(arguments.begin() + std::ptrdiff_t(next), arguments.end());
    TServerOptionsResult parsed = ParseServerOptions(optionWords);
    if (!parsed.Options || parsed.Options->Help || words.empty() || words[0] == "help") {
        if (parsed.Options) {
            std::fputs(AdminCommand::Usage().c_str(),
                       parsed.Options->Help || !words.empty() ? stdout : stderr);
            return parsed.Options->Help || !words.empty() ? 0 : 2;
        }
        std::fprintf(stderr, "vantaro-server admin: %s\n", parsed.Error.c_str());
        return 2;
    }
    const TServerOptions& options = *parsed.Options;
    std::string settingsPath;
    std::optional<TServerSettings> settings = LoadSettings(options.ConfigFile, settingsPath, log);
    if (!settings) return 1;
    const std::string sqliteFile = options.DataFolder + "/vantaro.sqlite";
    // An administrator who named the wrong folder should hear so, not get an empty database.
    if (options.DatabaseUrl.empty() && ::access(sqliteFile.c_str(), F_OK) != 0) {
        std::fprintf(stderr, "vantaro-server admin: no database at %s (name the server's --data folder)\n",
                     sqliteFile.c_str());
        return 1;
    }
    std::string error;
    std::unique_ptr<TSqlStorage> storage = TSqlStorage::Open(sqliteFile, options.DatabaseUrl, error);
    if (!storage) {
        std::fprintf(stderr, "vantaro-server admin: %s\n", error.c_str());
        return 1;
    }
    const char* user = std::getenv("USER");
    AdminCommand::TContext context{*storage,
                                   *storage,
                                   settings->Moderators,
                                   std::string("admin (") +
                                       (user && *user ? user : std::to_string(::getuid())) + ")",
                                   WallClockMs(),
                                   [](const std::string& line) { std::puts(line.c_str()); }};
    return AdminCommand::Run(words, context);
}
