#pragma once

#include "app/NetworkChoice.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the program was asked to do when started: `--host [PORT]` and
// `--join HOST[:PORT]` open a network table at once, for scripts and
// desktop shortcuts.
struct TLaunchOptions {
    std::optional<TNetworkChoice> Network;
    // `--online HOST[:PORT]`: the game server whose lobby opens at once.
    std::optional<QString> Online;
    bool Help = false;
    // Set when the arguments make no sense; the program says so and stops.
    QString Error;
};

// The arguments after the program's name, read before the window toolkit
// starts (so that --help needs no display); options with a single dash are
// the toolkit's and are passed over.
TLaunchOptions ParseCommandLine(const QStringList& arguments);
QString CommandLineHelp();
