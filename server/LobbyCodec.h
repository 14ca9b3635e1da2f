#pragma once

#include "server/LobbyRequest.h"

#include <string>
#include <string_view>

// The lobby's messages as they travel: one compact JSON object per line.
namespace LobbyCodec {

inline constexpr size_t MaxLineBytes = 4096;
inline constexpr size_t MaxChatCharacters = 500;
inline constexpr const char* ProgramName = "vantaro";
inline constexpr int32_t ProtocolVersion = 1;

struct TDecoded {
    bool Ok = false;
    TLobbyRequest Request;
    std::string Error; // why the line was refused
};

// Decodes one line (without its '\n'). Anything but a well-formed request of
// a known kind with every field in range is refused; unknown fields are ignored.
TDecoded Decode(std::string_view line);

} // namespace LobbyCodec
