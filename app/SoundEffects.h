#pragma once

#include "app/Sound.h"
#include "render/DataFolder.h"

#include <QObject>
#include <array>
#include <functional>
#include <memory>

class QSoundEffect;

// Plays the sounds of Data/Sounds/ through Qt Multimedia. Whatever goes
// wrong (no audio device, a file missing, damaged or refused by the device)
// costs that sound and one line in the log, written when the sound is first
// asked for: playing only starts a sound that has finished loading and never
// waits for one.
class TSoundEffects : public QObject, public TSoundPlayer {
public:
    using TLogSink = std::function<void(const QString&)>;

    TSoundEffects(const TDataFolder& data, TLogSink log);
    ~TSoundEffects() override;

    void Play(TSound sound) override;

private:
    void Failed(int32_t index, const QString& why);

    TLogSink Log;
    std::array<std::unique_ptr<QSoundEffect>, SoundCount> Effects;
    // Why a sound stays silent, until the log has been told.
    std::array<QString, SoundCount> Problems;
    bool NoDevice = false;
    bool Reported = false;
};
