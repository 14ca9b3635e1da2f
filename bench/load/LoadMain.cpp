// vantaro_load: N bots over loopback against a server it starts itself, and
// the same connections against a bare TLS echo as the floor. Bounded in
// clients and time; it stops by itself.
#include "bench/load/ChildProcess.h"
#include "bench/load/EchoBot.h"
#include "bench/load/EchoServer.h"
#include "bench/load/LoadBot.h"
#include "bench/load/ProcessCpu.h"
#include "identity/Identity.h"

#include <openssl/pem.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct TLoadOptions {
    int Clients = 10000;
    int Seconds = 30;
    int RampSeconds = 180;
    int PerAddress = 2;
    TLoadBot::TThink Think;
    bool Echo = true;
    std::string ServerBinary;
    // Several server processes sharing one database and one bus: bot i
    // connects to process i mod Servers, so most matches span processes.
    int Servers = 1;
    std::string Database, Redis;
    // Other pieces whose processor time counts (PostgreSQL, Redis, a front).
    std::vector<std::pair<std::string, pid_t>> Pieces;
};

const char Usage[] =
    "usage: vantaro_load [--clients N] [--seconds S] [--ramp-seconds R] [--think-ms MIN-MAX]\n"
    "                    [--per-address K] [--server-binary PATH] [--no-echo]\n"
    "                    [--servers P --database URL --redis URL] [--piece NAME=PID ...]\n"
    "Starts the server on a free loopback port with a temporary data folder, connects N bots\n"
    "from addresses in 127.0.0.0/8 (K a address) within R seconds, measures S seconds of play,\n"
    "then does the same against a bare TLS echo. Exits 1 when a bot could not connect or was\n"
    "refused, or no match was played.\n"
    "With --servers P it starts P server processes on the database and bus given (sharing the\n"
    "first one's certificate) and spreads the bots over them in turn. Each --piece adds the\n"
    "processor time of a process and its children (PostgreSQL, Redis, HAProxy) to the report.\n";

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The bots' own processor time: when it nears a whole core, the latencies
// measured are the bots' queue rather than the server's.
double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0;
    file >> one >> five;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (1 min), %.2f (5 min)", one, five);
    return text;
}

// The address of bot number i: K bots a address, from 127.1.0.1 on, never an
// address ending in 0 or 255.
asio::ip::address_v4 SourceOf(int bot, int perAddress) {
    uint32_t index = uint32_t(bot / perAddress);
    uint32_t host = (127u << 24) | (1u << 16) | ((index / 250) << 8) | (index % 250 + 1);
    return asio::ip::address_v4(host);
}

struct TIdentityKeys {
    X509* Certificate = nullptr;
    EVP_PKEY* Key = nullptr;
};

std::vector<TIdentityKeys> MakeIdentities(int count) {
    std::vector<TIdentityKeys> identities;
    for (int i = 0; i < count; ++i) {
        TIdentity identity = MakeIdentity("vantaro-load");
        BIO* certificate =
            BIO_new_mem_buf(identity.CertificatePem.data(), int(identity.CertificatePem.size()));
        BIO* key = BIO_new_mem_buf(identity.KeyPem.data(), int(identity.KeyPem.size()));
        identities.push_back({PEM_read_bio_X509(certificate, nullptr, nullptr, nullptr),
                              PEM_read_bio_PrivateKey(key, nullptr, nullptr, nullptr)});
        BIO_free(certificate);
        BIO_free(key);
    }
    return identities;
}

struct TPhaseResult {
    int64_t Connected = 0;
    int64_t Failed = 0;
    double RampSeconds = 0;
    double MatchesMin = 0;
    double MatchesMean = 0;
    double MovesPerSecond = 0;
    double LinesPerSecond = 0;
    double BytesPerSecond = 0;
    double P50 = 0, P99 = 0, Max = 0;
    double CpuPerThousand = 0; // seconds of processor time per thousand moves
    double CpuShare = 0;       // of one core, while measured
    double OwnCpuShare = 0;    // the load program's own, of one core
    double QueuedShare = 0;    // the server's time ready to run but waiting for a processor, per second
    double BytesPerClient = 0;
    int64_t Refused = 0;
    int64_t Waits = 0;
    int64_t MatchesEnded = 0;
    std::string Problem;
    std::string Load;
    struct TPiece {
        std::string Name;
        double CpuPerThousand = 0;
        double CpuShare = 0;
    };
    std::vector<TPiece> Pieces;
};

using TBotMaker = std::function<std::shared_ptr<TBotConnection>(asio::io_context&, int bot)>;

// Connects the bots (at most 100 handshakes at once), then measures.
TPhaseResult RunPhase(const TLoadOptions& options, const std::vector<TChildProcess*>& servers,
                      const std::vector<int>& ports, TLoadStats& stats, const TBotMaker& makeBot) {
    TPhaseResult result;
    auto total = [&](auto figure) {
        double sum = 0;
        for (TChildProcess* server : servers) sum += double((server->*figure)());
        return sum;
    };
    const double baseline = total(&TChildProcess::ResidentBytes);
    asio::io_context io(1);
    std::vector<std::shared_ptr<TBotConnection>> bots;
    auto start = std::chrono::steady_clock::now();
    auto rampDeadline = start + std::chrono::seconds(options.RampSeconds);
    asio::steady_timer ticker(io);
    std::function<void()> ramp = [&] {
        int64_t settled = stats.Connected + stats.Failed;
        while (int(bots.size()) < options.Clients && int64_t(bots.size()) - settled < 100) {
            int bot = int(bots.size());
            bots.push_back(makeBot(io, bot));
            const asio::ip::tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"),
                                                   uint16_t(ports[size_t(bot) % ports.size()]));
            bots.back()->Start(SourceOf(bot, options.PerAddress), endpoint);
        }
        if ((int(bots.size()) == options.Clients && settled >= options.Clients) ||
            std::chrono::steady_clock::now() >= rampDeadline) {
            io.stop();
            return;
        }
        ticker.expires_after(std::chrono::milliseconds(5));
        ticker.async_wait([&](const asio::error_code&) { ramp(); });
    };
    ramp();
    io.run();
    io.restart();
    result.RampSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Let matches get going before measuring.
    ticker.expires_after(std::chrono::seconds(std::min(5, options.Seconds)));
    ticker.async_wait([&](const asio::error_code&) { io.stop(); });
    io.run();
    io.restart();

    const double cpu0 = total(&TChildProcess::CpuSeconds);
    std::vector<double> pieces0;
    for (const auto& [name, pid] : options.Pieces) pieces0.push_back(ProcessTreeCpuSeconds(pid));
    double ownCpu0 = OwnCpuSeconds();
    const double queued0 = total(&TChildProcess::QueuedSeconds);
    int64_t moves0 = stats.Moves;
    int64_t lines0 = stats.Lines;
    int64_t bytes0 = stats.Bytes;
    stats.Recording = true;
    stats.LatencyMs.clear();
    double matchSum = 0;
    double matchMin = 1e18;
    int samples = 0;
    auto measureStart = std::chrono::steady_clock::now();
    std::function<void()> sample = [&] {
        matchSum += double(stats.InMatch) / 2;
        matchMin = std::min(matchMin, double(stats.InMatch) / 2);
        ++samples;
        if (samples > options.Seconds * 4) {
            io.stop();
            return;
        }
        ticker.expires_after(std::chrono::milliseconds(250));
        ticker.async_wait([&](const asio::error_code&) { sample(); });
    };
    ticker.expires_after(std::chrono::milliseconds(250));
    ticker.async_wait([&](const asio::error_code&) { sample(); });
    io.run();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - measureStart).count();
    double cpu = total(&TChildProcess::CpuSeconds) - cpu0;
    result.OwnCpuShare = (OwnCpuSeconds() - ownCpu0) / seconds;
    result.QueuedShare = (total(&TChildProcess::QueuedSeconds) - queued0) / seconds;
    int64_t moves = stats.Moves - moves0;
    for (size_t i = 0; i < options.Pieces.size(); ++i) {
        const double used = ProcessTreeCpuSeconds(options.Pieces[i].second) - pieces0[i];
        result.Pieces.push_back(
            {options.Pieces[i].first, moves > 0 ? used / (double(moves) / 1000) : 0, used / seconds});
    }
    result.Connected = stats.Connected;
    result.BytesPerClient =
        stats.Connected > 0 ? (total(&TChildProcess::ResidentBytes) - baseline) / double(stats.Connected) : 0;
    stats.Recording = false;
    result.Failed = stats.Failed;
    result.Refused = stats.Refused;
    result.Waits = stats.Waits;
    result.MatchesEnded = stats.Matches;
    result.Problem = stats.FirstProblem;
    result.MatchesMin = samples ? matchMin : 0;
    result.MatchesMean = samples ? matchSum / samples : 0;
    result.MovesPerSecond = double(moves) / seconds;
    result.LinesPerSecond = double(stats.Lines - lines0) / seconds;
    result.BytesPerSecond = double(stats.Bytes - bytes0) / seconds;
    result.CpuShare = cpu / seconds;
    result.CpuPerThousand = moves > 0 ? cpu / (double(moves) / 1000) : 0;
    std::vector<float>& latency = stats.LatencyMs;
    if (!latency.empty()) {
        auto at = [&](double q) {
            size_t k = std::min(latency.size() - 1, size_t(q * double(latency.size())));
            std::nth_element(latency.begin(), latency.begin() + long(k), latency.end());
            return double(latency[k]);
        };
        result.P50 = at(0.50);
        result.P99 = at(0.99);
        result.Max = *std::max_element(latency.begin(), latency.end());
    }
    result.Load = LoadAverage();
    for (auto& bot : bots) bot->Shut();
    bots.clear();
    return result;
}

void Print(const char* name, const TPhaseResult& r, bool matches) {
    std::printf("%s: %lld clients connected in %.1f s (%lld failed, %lld refused)\n", name,
                (long long)r.Connected, r.RampSeconds, (long long)r.Failed, (long long)r.Refused);
    if (matches)
        std::printf("  matches in play: %.0f on average, %.0f at least; %lld ended; %lld told to wait\n",
                    r.MatchesMean, r.MatchesMin, (long long)r.MatchesEnded, (long long)r.Waits);
    std::printf("  %.0f moves/s; latency p50 %.2f ms, p99 %.2f ms, max %.1f ms\n", r.MovesPerSecond, r.P50,
                r.P99, r.Max);
    if (matches)
        std::printf("  the server sent %.0f lines/s (%.0f KiB/s) to the bots, %.1f lines per move\n",
                    r.LinesPerSecond, r.BytesPerSecond / 1024,
                    r.MovesPerSecond > 0 ? r.LinesPerSecond / r.MovesPerSecond : 0.0);
    std::printf(
        "  server CPU %.2f s per 1000 moves (%.0f %% of a core, and %.0f %% of the time waiting for one);"
        " memory %.1f KiB per client\n",
        r.CpuPerThousand, r.CpuShare * 100, r.QueuedShare * 100, r.BytesPerClient / 1024);
    for (const TPhaseResult::TPiece& piece : r.Pieces)
        std::printf("  %s CPU %.2f s per 1000 moves (%.0f %% of a core)\n", piece.Name.c_str(),
                    piece.CpuPerThousand, piece.CpuShare * 100);
    std::printf("  the bots (this program) %.0f %% of a core; load average %s\n", r.OwnCpuShare * 100,
                r.Load.c_str());
    if (!r.Problem.empty()) std::printf("  first problem: %.300s\n", r.Problem.c_str());
    std::fflush(stdout);
}

// The floor's server, run as a child of the load program so that its
// processor time and memory are its own.
int RunEchoServer() {
    RaiseOpenFileLimit();
    asio::io_context io(1);
    TEchoServer server(io, MakeIdentity("vantaro-load-echo"));
    if (std::string error = server.Listen("127.0.0.1"); !error.empty()) {
        std::fprintf(stderr, "echo: %s\n", error.c_str());
        return 1;
    }
    asio::signal_set stop(io, SIGTERM, SIGINT);
    stop.async_wait([&](const asio::error_code&, int) { io.stop(); });
    std::printf("listening on 127.0.0.1 port %d\n", server.Port());
    std::fflush(stdout);
    io.run();
    return 0;
}

bool ParseRange(const std::string& text, int& low, int& high) {
    return std::sscanf(text.c_str(), "%d-%d", &low, &high) == 2 && low >= 0 && high >= low && high <= 600000;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    TLoadOptions options;
    std::string self = std::filesystem::canonical("/proc/self/exe").string();
    options.ServerBinary = (std::filesystem::path(self).parent_path() / "vantaro-server").string();
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto number = [&](int& value, int low, int high) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            long parsed = std::strtol(argv[++i], &end, 10);
            value = int(parsed);
            return *end == 0 && parsed >= low && parsed <= high;
        };
        bool ok = true;
        if (option == "--echo-server")
            return RunEchoServer();
        else if (option == "--clients")
            ok = number(options.Clients, 2, 100000);
        else if (option == "--seconds")
            ok = number(options.Seconds, 1, 3600);
        else if (option == "--ramp-seconds")
            ok = number(options.RampSeconds, 1, 3600);
        else if (option == "--per-address")
            ok = number(options.PerAddress, 1, 8);
        else if (option == "--think-ms")
            ok = i + 1 < argc && ParseRange(argv[++i], options.Think.MinMs, options.Think.MaxMs);
        else if (option == "--server-binary" && i + 1 < argc)
            options.ServerBinary = argv[++i];
        else if (option == "--no-echo")
            options.Echo = false;
        else if (option == "--servers")
            ok = number(options.Servers, 1, 16);
        else if (option == "--database" && i + 1 < argc)
            options.Database = argv[++i];
        else if (option == "--redis" && i + 1 < argc)
            options.Redis = argv[++i];
        else if (option == "--piece" && i + 1 < argc) {
            const std::string piece = argv[++i];
            const size_t equals = piece.find('=');
            const long pid =
                equals == std::string::npos ? 0 : std::strtol(piece.c_str() + equals + 1, nullptr, 10);
            ok = equals > 0 && pid > 0;
            if (ok) options.Pieces.push_back({piece.substr(0, equals), pid_t(pid)});
        } else if (option == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "vantaro_load: bad option %s\n%s", option.c_str(), Usage);
            return 2;
        }
    }
    if (options.Servers > 1 && (options.Database.empty() || options.Redis.empty())) {
        std::fprintf(stderr, "vantaro_load: --servers needs --database and --redis, which they share\n");
        return 2;
    }
    RaiseOpenFileLimit();
    char folderTemplate[] = "/tmp/vantaro-load-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("vantaro_load: mkdtemp");
        return 1;
    }
    std::string folder = folderTemplate;
    std::printf("vantaro_load: %d clients, %d per address, think %d-%d ms, %d s measured; load average %s\n",
                options.Clients, options.PerAddress, options.Think.MinMs, options.Think.MaxMs,
                options.Seconds, LoadAverage().c_str());
    auto made = std::chrono::steady_clock::now();
    std::vector<TIdentityKeys> identities = MakeIdentities(options.Clients);
    std::printf("made %d client certificates in %.1f s\n", options.Clients,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - made).count());

    asio::ssl::context tls(asio::ssl::context::tls_client);
    SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_3_VERSION);
    tls.set_verify_mode(asio::ssl::verify_none);
    uint32_t seed = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());

    int status = 0;
    {
        std::vector<std::unique_ptr<TChildProcess>> servers;
        std::vector<int> ports;
        for (int i = 0; i < options.Servers; ++i) {
            const std::string data = folder + "/data" + (i ? std::to_string(i) : std::string());
            std::vector<std::string> arguments = {options.ServerBinary, "--port", "0", "--listen",
                                                  "127.0.0.1",          "--data", data};
            if (!options.Database.empty())
                arguments.insert(arguments.end(), {"--database", options.Database});
            if (!options.Redis.empty()) arguments.insert(arguments.end(), {"--redis", options.Redis});
            if (options.Servers > 1)
                arguments.insert(arguments.end(), {"--instance", "load" + std::to_string(i)});
            // One certificate for the whole cluster, as its clients pin one.
            if (i > 0)
                arguments.insert(arguments.end(), {"--cert", folder + "/data/server-cert.pem", "--key",
                                                   folder + "/data/server-key.pem"});
            const std::string log = folder + "/server" + (i ? std::to_string(i) : std::string()) + ".log";
            servers.push_back(std::make_unique<TChildProcess>());
            const int port = servers.back()->Start(arguments, log)
                                 ? servers.back()->WaitForPort(std::chrono::seconds(30))
                                 : 0;
            if (port == 0) {
                std::fprintf(stderr, "vantaro_load: %s did not start; its log is %s\n",
                             options.ServerBinary.c_str(), log.c_str());
                return 1;
            }
            ports.push_back(port);
        }
        std::vector<TChildProcess*> measured;
        for (auto& server : servers) measured.push_back(server.get());
        TLoadStats stats;
        TPhaseResult result = RunPhase(options, measured, ports, stats, [&](asio::io_context& io, int bot) {
            return std::make_shared<TLoadBot>(io, tls, identities[size_t(bot)].Certificate,
                                              identities[size_t(bot)].Key, "load" + std::to_string(bot),
                                              stats, options.Think, seed + uint32_t(bot));
        });
        Print(options.Servers > 1 ? "servers" : "server", result, true);
        int exit = 0;
        for (auto& server : servers) exit = std::max(exit, server->Stop());
        if (result.Connected < options.Clients || result.Refused > 0 || result.MatchesEnded == 0 ||
            exit != 0) {
            std::printf("  server exit status %d; the logs are in %s\n", exit, folder.c_str());
            status = 1;
        }
    }
    if (options.Echo) {
        TChildProcess echo;
        echo.Start({self, "--echo-server"}, folder + "/echo.log");
        int port = echo.WaitForPort(std::chrono::seconds(30));
        if (port == 0) {
            std::fprintf(stderr, "vantaro_load: the echo server did not start\n");
            return 1;
        }
        TLoadStats stats;
        TPhaseResult result = RunPhase(options, {&echo}, {port}, stats, [&](asio::io_context& io, int bot) {
            return std::make_shared<TEchoBot>(io, tls, identities[size_t(bot)].Certificate,
                                              identities[size_t(bot)].Key, stats, options.Think.MinMs,
                                              options.Think.MaxMs, seed + uint32_t(bot));
        });
        Print("floor (TLS echo)", result, false);
        if (result.Connected < options.Clients) status = 1;
    }
    for (TIdentityKeys& identity : identities) {
        X509_free(identity.Certificate);
        EVP_PKEY_free(identity.Key);
    }
    if (status == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return status;
}
