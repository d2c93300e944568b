#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

// SIGTERM and SIGINT close the main window the way the user does, so that the
// close path (level capture stopped, system mixer restored) runs. The signal
// handler only writes a byte into a pipe; the event loop reads it and closes
// the window. Created before the window, so that a signal during start-up
// waits for the event loop and still closes it. The handlers fire once: a
// second signal ends the program at once, for when the close itself hangs.
class CloseOnSignal : public QObject {
    Q_OBJECT
public:
    CloseOnSignal();
    ~CloseOnSignal() override;

    void setWindow(QWidget* window) { window_ = window; }

private:
    void onSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};
