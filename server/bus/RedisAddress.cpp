#include "server/bus/RedisAddress.h"

#include <charconv>

namespace {

template <typename TNumber>
bool ReadNumber(const std::string& text, TNumber low, TNumber high, TNumber& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && value >= low &&
           value <= high;
}

} // namespace

std::optional<TRedisAddress> TRedisAddress::Parse(const std::string& url) {
    const std::string scheme = "redis://";
    if (url.rfind(scheme, 0) != 0) return std::nullopt;
    std::string rest = url.substr(scheme.size());
    TRedisAddress address;
    if (const size_t slash = rest.find('/'); slash != std::string::npos) {
        if (!ReadNumber(rest.substr(slash + 1), 0, 15, address.Database)) return std::nullopt;
        rest.resize(slash);
    }
    size_t portColon = std::string::npos;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close == 1) return std::nullopt;
        address.Host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') return std::nullopt;
            portColon = close + 1;
        }
    } else {
        portColon = rest.find(':');
        address.Host = rest.substr(0, portColon);
        if (address.Host.find_first_of("@[]") != std::string::npos) return std::nullopt;
    }
    if (portColon != std::string::npos &&
        !ReadNumber(rest.substr(portColon + 1), uint16_t(1), uint16_t(65535), address.Port))
        return std::nullopt;
    if (address.Host.empty()) return std::nullopt;
    return address;
}
