#include "app/CloseOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's ends; -1 while no CloseOnSignal exists.
int g_readEnd = -1;
volatile std::sig_atomic_t g_writeEnd = -1;

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (g_writeEnd >= 0) {
        // Non-blocking: a full pipe already holds a pending close.
        [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    }
    errno = saved;
}

void install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(signal, &action, nullptr);
}

} // namespace

CloseOnSignal::CloseOnSignal() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    notifier_ = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CloseOnSignal::onSignal);
    install(SIGTERM, &onTerminationSignal);
    install(SIGINT, &onTerminationSignal);
}

CloseOnSignal::~CloseOnSignal() {
    if (!notifier_)
        return;
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    delete notifier_;
    ::close(g_readEnd);
    ::close(writeEnd);
    g_readEnd = -1;
}

void CloseOnSignal::onSignal() {
    char bytes[16];
    while (::read(g_readEnd, bytes, sizeof bytes) > 0) {
    }
    notifier_->setEnabled(false);
    // The user's way out: the window's close handlers run, and the program
    // ends even when another top-level window (a dialog) is still open.
    if (window_)
        window_->close();
    QCoreApplication::quit();
}
