#pragma once

#include "server/ServerSettings.h"

#include <optional>
#include <string>

// The server's settings file, TOML (read by toml++): every setting optional,
// each checked for its type and range; an unknown setting is refused too, so
// that a misspelt one is not silently ignored.
namespace SettingsFile {

// The default place; --config names another.
inline constexpr const char* DefaultPath = "/etc/vantaro-server.conf";

struct TReading {
    std::optional<TServerSettings> Settings;
    std::string Error; // "FILE:LINE: what is wrong", when Settings is empty
};

TReading Read(const std::string& path);
TReading Parse(const std::string& text, const std::string& path);

} // namespace SettingsFile
