#include "convert/ToolRun.h"

#include "convert/CommandLine.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>

#include <csignal>
#include <cstring>
#include <utility>

ToolRun::ToolRun(ToolState& state, QObject* parent)
    : QObject(parent)
    , state_(state) {
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, &ToolRun::checkEnded);
    killTimer_.setSingleShot(true);
    // A coarse timer could fire up to 5% early and cut the grace short.
    killTimer_.setTimerType(Qt::PreciseTimer);
    connect(&killTimer_, &QTimer::timeout, this, [this] { child_.signalGroup(SIGKILL); });
}

ToolRun::~ToolRun() {
    delete notifier_;
    child_.end(kEndGrace);
}

bool ToolRun::start(const std::string& program, const std::string& parameters) {
    return start(program, splitCommandLine(parameters));
}

bool ToolRun::start(const std::string& program, const std::vector<std::string>& arguments) {
    if (const int error = ChildProcess::start(program, arguments, child_)) {
        // The owner may let go of this run at once (the broadcast does); the
        // state lives as long as the window.
        dialogs::showMessage(QString::fromLocal8Bit(std::strerror(error)),
                             QApplication::activeWindow(),
                             [state = &state_, self = QPointer<ToolRun>(this)] {
                                 if (state->OnLaunchFailure)
                                     state->OnLaunchFailure();
                                 if (self)
                                     emit self->finished();
                             });
        return false;
    }
    ending_ = false;
    if (child_.descriptor() >= 0) {
        notifier_ = new QSocketNotifier(child_.descriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ToolRun::checkEnded);
    } else {
        poll_.start();
    }
    if (state_.OnStarted)
        state_.OnStarted(child_.pid());
    return true;
}

void ToolRun::end() {
    if (!running() || ending_)
        return;
    ending_ = true;
    child_.signalGroup(SIGTERM);
    child_.signalGroup(SIGCONT);
    killTimer_.start(kEndGrace);
}

void ToolRun::checkEnded() {
    if (!child_.hasEnded())
        return;
    // Quiet before its descriptor is closed; deleted later, as this may run
    // inside its own signal.
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    poll_.stop();
    killTimer_.stop();
    // An ended run leaves nothing of its group behind.
    if (std::exchange(ending_, false))
        child_.signalGroup(SIGKILL);
    child_.release();
    emit finished();
}
