#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where the bus is: redis://HOST[:PORT][/DB], HOST a name or an address (an
// IPv6 address in brackets).
struct TRedisAddress {
    static constexpr uint16_t DefaultPort = 6379;
    std::string Host;
    uint16_t Port = DefaultPort;
    int32_t Database = 0; // 0 to 15, Redis's default set

    // The address the URL names, or nothing when it is not one.
    static std::optional<TRedisAddress> Parse(const std::string& url);
};
