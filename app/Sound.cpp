#include "app/Sound.h"

namespace {

uint32_t Le32(const QByteArray& bytes, int64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Le16(const QByteArray& bytes, int64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + at;
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace

const char* SoundName(TSound sound) {
    static const char* const names[SoundCount] = {"deal",  "place", "turn", "same", "plus",
                                                  "combo", "win",   "loss", "draw", "chat"};
    const auto index = int32_t(sound);
    return index >= 0 && index < SoundCount ? names[index] : "";
}

std::optional<QString> WaveProblem(const QByteArray& bytes) {
    const int64_t size = bytes.size();
    if (size > MaxSoundBytes) return QStringLiteral("larger than %1 KiB").arg(MaxSoundBytes / 1024);
    if (size < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return QStringLiteral("not a RIFF/WAVE file");
    bool format = false;
    uint16_t frameBytes = 0;
    for (int64_t at = 12; at + 8 <= size;) {
        const QByteArray id = bytes.mid(at, 4);
        const int64_t length = Le32(bytes, at + 4);
        const int64_t body = at + 8;
        if (length > size - body)
            return QStringLiteral("the chunk \"%1\" runs past the end").arg(QString(id));
        if (id == "fmt ") {
            if (length < 16) return QStringLiteral("the format chunk is too short");
            const uint16_t tag = Le16(bytes, body), channels = Le16(bytes, body + 2);
            const uint32_t rate = Le32(bytes, body + 4);
            const uint16_t align = Le16(bytes, body + 12), bits = Le16(bytes, body + 14);
            if (tag != 1) return QStringLiteral("not PCM");
            if (channels < 1 || channels > 2) return QStringLiteral("%1 channels").arg(channels);
            if (rate < 8000 || rate > 96000) return QStringLiteral("a rate of %1 Hz").arg(rate);
            if ((bits != 8 && bits != 16) || align != channels * bits / 8)
                return QStringLiteral("%1-bit samples in %2-byte frames").arg(bits).arg(align);
            format = true;
            frameBytes = align;
        } else if (id == "data") {
            if (!format) return QStringLiteral("the data chunk comes before the format chunk");
            if (length == 0 || length % frameBytes != 0)
                return QStringLiteral("the data holds no whole frames");
            return std::nullopt;
        }
        at = body + length + (length & 1);
    }
    return QStringLiteral("no data chunk");
}
