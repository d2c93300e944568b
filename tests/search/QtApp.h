#pragma once

#include <QApplication>

// Widget tests share one application object, created on first use.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "search_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance())
        return;
    // Widget tests run without a display, whatever the caller's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}
