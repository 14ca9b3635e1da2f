#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/Windows.h"
#include "render/Reporting.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const TLaunchOptions options = ParseCommandLine(arguments);
    if (options.Help || !options.Error.isEmpty()) {
        if (!options.Error.isEmpty()) std::fprintf(stderr, "vantaro: %s\n\n", qPrintable(options.Error));
        std::fputs(qPrintable(CommandLineHelp()), options.Error.isEmpty() ? stdout : stderr);
        return options.Error.isEmpty() ? 0 : 2;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Vantaro");
    QApplication::setWindowIcon(QIcon(":/vantaro.png"));
    try {
        TShellEnvironment environment;
        environment.SettingsFile = TSettings::DefaultFile();
        environment.Network = options.Network;
        environment.Online = options.Online;
        CreateWindows(environment);
        // Shown from inside the message loop, so that a failed load can end it.
        QTimer::singleShot(0, VantaroForm, [] { VantaroForm->show(); });
        QApplication::exec();
    } catch (const std::exception& error) {
        ShowMessageBox(error.what());
    }
    DestroyWindows();
    return 0;
}
