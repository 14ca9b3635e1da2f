#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// An IPv4 or IPv6 prefix such as 203.0.113.0/24 or 2001:db8::/32 (a bare
// address is its own /32 or /128). IPv4 is held as IPv6 maps it, so that a
// client seen through an IPv6 socket as ::ffff:203.0.113.5 is in 203.0.113.0/24.
class TAddressRange {
public:
    static std::optional<TAddressRange> Parse(const std::string& text);
    bool Contains(const std::string& address) const;
    // As an operator would write it, with the host bits cleared.
    std::string Text() const;

private:
    using TBytes = std::array<uint8_t, 16>;
    static std::optional<TBytes> Address(const std::string& text, bool& v4);
    TBytes Prefix{};
    int32_t Bits = 0; // of the 128
    bool V4 = false;
};
