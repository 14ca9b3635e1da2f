#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#if defined(__SANITIZE_ADDRESS__)
// Leaks are failures, except for what the platform libraries keep for the
// life of the process on purpose.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0";
}
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libQt6Gui.so\n"
           "leak:libQt6Core.so\n"
           "leak:libdbus-1.so\n"
           "leak:libglib-2.0.so\n";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
#endif
