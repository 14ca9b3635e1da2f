#pragma once

#include "app/StoredSettings.h"

#include <QString>

// Keeps TStoredSettings in an INI file through QSettings. Whatever the file
// holds is checked value by value: a value of the wrong type or out of range,
// a window position off every screen, or a file that cannot be read at all
// leaves the default in its place.
class TSettings {
public:
    static constexpr int32_t MaxZoom = 3;

    explicit TSettings(QString file);

    // ~/.config/Vantaro/Vantaro.conf, or wherever XDG_CONFIG_HOME points.
    static QString DefaultFile();

    TStoredSettings Load() const;
    // Failures to write are not reported: the next run starts from defaults.
    void Save(const TStoredSettings& settings) const;

    const QString File;
};
