#pragma once

#include <QByteArray>
#include <QProcess>
#include <cstdlib>

// A session bus of the test's own, whose address the program and the tools
// that talk to it (playerctl, dbus-send) find in DBUS_SESSION_BUS_ADDRESS.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000))
            address_ = daemon_.readLine().trimmed();
        if (!address_.isEmpty())
            ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.constData(), 1);
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    bool started() const { return !address_.isEmpty(); }

private:
    QProcess daemon_;
    QByteArray address_;
};
