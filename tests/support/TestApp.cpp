#include "tests/support/TestApp.h"

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
// The program keeps settings, the session's playlist and caches in the
// user's XDG folders; a test must neither read the user's nor find what an
// earlier test of the same process left, so each call moves them to fresh
// folders of this process.
void useFreshUserFolders() {
    static QTemporaryDir home;
    static int calls = 0;
    if (!home.isValid())
        return;
    const QString base = home.path() + '/' + QString::number(++calls) + '/';
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        ::setenv(name, (base + name).toLocal8Bit().constData(), 1);
}
} // namespace

void ensureTestApp() {
    useFreshUserFolders();
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

void useUserFolder(const char* folder) {
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        ::setenv(name, folder, 1);
}
