#include "app/SoundEffects.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

TSoundEffects::TSoundEffects(const TDataFolder& data, TLogSink log) : Log(std::move(log)) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        NoDevice = true;
        return;
    }
    for (int32_t index = 0; index < SoundCount; ++index) {
        const QString path = QString::fromStdString(
            data.PathOf(std::string("Data/Sounds/") + SoundName(TSound(index)) + ".wav"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Failed(index, QStringLiteral("%1 could not be read").arg(path));
            continue;
        }
        if (const auto problem = WaveProblem(file.read(MaxSoundBytes + 1))) {
            Failed(index, QStringLiteral("%1 is not a sound we play: %2").arg(path, *problem));
            continue;
        }
        auto effect = std::make_unique<QSoundEffect>(device);
        QSoundEffect* raw = effect.get();
        connect(raw, &QSoundEffect::statusChanged, this, [this, index, raw, path] {
            if (raw->status() == QSoundEffect::Error)
                Failed(index, QStringLiteral("%1 could not be played").arg(path));
        });
        effect->setSource(QUrl::fromLocalFile(path));
        Effects[index] = std::move(effect);
    }
}

TSoundEffects::~TSoundEffects() = default;

void TSoundEffects::Failed(int32_t index, const QString& why) {
    Problems[index] = why;
    // Deleted later: this may run inside the effect's own signal.
    if (Effects[index]) Effects[index].release()->deleteLater();
}

void TSoundEffects::Play(TSound sound) {
    const auto index = int32_t(sound);
    if (index < 0 || index >= SoundCount) return;
    if (NoDevice) {
        if (!Reported && Log) Log(QStringLiteral("Sound: no audio device; the game plays silently."));
        Reported = true;
        return;
    }
    if (!Problems[index].isEmpty()) {
        if (Log) Log(QStringLiteral("Sound: %1; that sound stays silent.").arg(Problems[index]));
        Problems[index].clear();
    }
    if (!Effects[index]) return;
    QSoundEffect& effect = *Effects[index];
    if (effect.status() == QSoundEffect::Ready) effect.play();
}
