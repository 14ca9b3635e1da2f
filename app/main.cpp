#include "app/Settings.h"
#include "app/Windows.h"
#include "render/Reporting.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <exception>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vantaro");
    QApplication::setWindowIcon(QIcon(":/vantaro.png"));
    try {
        TShellEnvironment environment;
        environment.SettingsFile = TSettings::DefaultFile();
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
