#include "server/AddressRange.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>

std::optional<TAddressRange::TBytes> TAddressRange::Address(const std::string& text, bool& v4) {
    TBytes bytes{};
    in_addr four{};
    if (inet_pton(AF_INET, text.c_str(), &four) == 1) {
        v4 = true;
        bytes[10] = bytes[11] = 0xff;
        std::memcpy(bytes.data() + 12, &four, 4);
        return bytes;
    }
    in6_addr six{};
    if (inet_pton(AF_INET6, text.c_str(), &six) != 1) return std::nullopt;
    std::memcpy(bytes.data(), &six, 16);
    v4 = false;
    return bytes;
}

std::optional<TAddressRange> TAddressRange::Parse(const std::string& text) {
    const size_t slash = text.find('/');
    TAddressRange range;
    std::optional<TBytes> bytes = Address(text.substr(0, slash), range.V4);
    if (!bytes) return std::nullopt;
    const int32_t width = range.V4 ? 32 : 128;
    int32_t bits = width;
    if (slash != std::string::npos) {
        const char* first = text.data() + slash + 1;
        const char* last = text.data() + text.size();
        auto [end, error] = std::from_chars(first, last, bits);
        if (first == last || error != std::errc() || end != last || bits < 0 || bits > width)
            return std::nullopt;
    }
    range.Bits = bits + (128 - width);
    for (int32_t i = 0; i < 16; ++i) {
        const int32_t keep = std::clamp(range.Bits - i * 8, 0, 8);
        (*bytes)[size_t(i)] &= uint8_t(0xff00 >> keep);
    }
    range.Prefix = *bytes;
    return range;
}

bool TAddressRange::Contains(const std::string& address) const {
    bool v4 = false;
    std::optional<TBytes> bytes = Address(address, v4);
    if (!bytes) return false;
    for (int32_t i = 0; i < 16; ++i) {
        const int32_t keep = std::clamp(Bits - i * 8, 0, 8);
        if (((*bytes)[size_t(i)] & uint8_t(0xff00 >> keep)) != Prefix[size_t(i)]) return false;
    }
    return true;
}

std::string TAddressRange::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (V4)
        inet_ntop(AF_INET, Prefix.data() + 12, text, sizeof text);
    else
        inet_ntop(AF_INET6, Prefix.data(), text, sizeof text);
    return std::string(text) + "/" + std::to_string(V4 ? Bits - 96 : Bits);
}
