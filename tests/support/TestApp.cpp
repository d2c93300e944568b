#include "tests/support/TestApp.h"

#include <QApplication>
#include <cstdlib>

void EnsureTestApp() {
    if (QApplication::instance())
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "kolvadeck-test";
    static char* argv[] = {name, nullptr};
    // Kept until the process ends: destroying it during static destruction,
    // after widgets were shown, crashes in Qt's own teardown.
    new QApplication(argc, argv);
}
