#pragma once

#include "net/NetMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The wire form of the protocol: one compact JSON object per line.
namespace MessageCodec {

inline constexpr const char* ProgramName = "vantaro";
inline constexpr int32_t ProtocolVersion = 1;
// A line longer than this is refused before it is parsed; the longest honest
// line is a chat message of the most awkward characters.
inline constexpr qsizetype MaxLineBytes = 4096;
// Text limits count characters (code points), the line limit bytes.
inline constexpr qsizetype MaxChatCharacters = 500;
inline constexpr qsizetype MaxReasonCharacters = 200;
inline constexpr qsizetype MaxProgramCharacters = 40;
// Seeds are calendar seconds; JSON numbers carry integers exactly up to 2^53.
inline constexpr int64_t MaxSeed = (int64_t(1) << 53) - 1;
inline constexpr int32_t MaxDealId = 1 << 30;
inline constexpr int32_t MaxPlacement = 1 << 30;

struct TDecoded {
    bool Ok = false;
    TNetMessage Message;
    QString Error; // why the line was refused, for the log
};

// The line for a message, ending in '\n'.
QByteArray Encode(const TNetMessage& message);

// Parses one line (without its '\n'). Never throws; anything that is not a
// well-formed message of a known kind with every field in range is refused.
TDecoded Decode(QByteArrayView line);

// The message kind's name as it travels.
const char* KindName(TNetMessage::TKind kind);

} // namespace MessageCodec
