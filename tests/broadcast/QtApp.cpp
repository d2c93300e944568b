#include "QtApp.h"

#include <QApplication>

void EnsureQtApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "broadcast_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt torn down during static destruction can crash offscreen.
    new QApplication(argc, argv);
}
