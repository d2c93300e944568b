#include "QtTestApp.h"

#include <QApplication>

void EnsureQtApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "meter_test";
    static char* argv[] = {name, nullptr};
    // Deliberately never destroyed: tearing Qt down during static destruction,
    // after shown widgets, crashes the offscreen platform.
    new QApplication(argc, argv);
}
