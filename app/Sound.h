#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The sounds of the table, each a WAV file in Data/Sounds/ named after it.
enum class TSound : int32_t { Deal, Place, Turn, Same, Plus, Combo, Win, Loss, Draw, Chat };
constexpr int32_t SoundCount = 10;

// "deal", "place", ...: the file Data/Sounds/<name>.wav.
const char* SoundName(TSound sound);

// Plays the table's sounds. The window holds one; tests put in their own to
// hear which sounds were asked for.
class TSoundPlayer {
public:
    virtual ~TSoundPlayer() = default;
    // Starts the sound and returns at once; never waits for the device.
    virtual void Play(TSound sound) = 0;
};

// The sounds are short PCM files of our own; anything larger, or not plain
// 8- or 16-bit PCM, is not one of them.
constexpr int64_t MaxSoundBytes = 1024 * 1024;
// Why the bytes are not a WAV file we play, or nothing when they are one:
// RIFF/WAVE, a PCM format chunk of 1 or 2 channels at 8 to 96 kHz, and a data
// chunk that lies inside the file and holds whole frames.
std::optional<QString> WaveProblem(const QByteArray& bytes);
