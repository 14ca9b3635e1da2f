#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the command line asks of vantaro-server.
struct TServerOptions {
    static constexpr uint16_t DefaultPort = 47018;
    std::string ListenAddress = "::"; // every address, IPv4 and IPv6
    uint16_t Port = DefaultPort;
    std::string DataFolder = ".";
    std::string DatabaseUrl;     // empty: an SQLite file in the data folder
    std::string CertificateFile; // both empty: made in the data folder
    std::string KeyFile;
    std::string Instance;       // empty: the name kept in the data folder
    std::string MetricsAddress; // empty: no metrics served
    uint16_t MetricsPort = 0;
    std::vector<std::string> ProxyFrom; // fronts that send a PROXY v2 header
    std::string ConfigFile;             // empty: /etc/vantaro-server.conf if there is one
    std::string RedisUrl;               // empty: a lobby of this process alone
    bool Help = false;
};

struct TServerOptionsResult {
    std::optional<TServerOptions> Options;
    std::string Error; // one line, when Options is empty
};

// Reads the arguments after the program name. Every option takes its value
// as the next argument or after '='.
TServerOptionsResult ParseServerOptions(const std::vector<std::string>& arguments);

// The text --help prints.
std::string ServerUsage();
