#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/types.h>
#include <thread>

// A private PulseAudio server of this test alone, so that killing it does not
// disturb the shared one of the other system tests.
class PrivatePulse {
public:
    PrivatePulse() { start(); }
    ~PrivatePulse() { QProcess::execute(script(), {"stop", dir_.path()}); }
    bool up() const { return up_ && pid_ > 0; }
    void kill() { ::kill(pid_, SIGKILL); }
    // A new server on the same socket, as after a restart of the user's.
    bool start() {
        QProcess start;
        start.start(script(), {"start", dir_.path()});
        up_ = start.waitForFinished(20000) && start.exitCode() == 0;
        pid_ = 0;
        if (up_) {
            qputenv("PULSE_SERVER", ("unix:" + dir_.path() + "/native").toUtf8());
            QFile pid(dir_.path() + "/pid");
            if (pid.open(QIODevice::ReadOnly))
                pid_ = pid.readAll().trimmed().toInt();
        }
        return up();
    }

private:
    static QString script() { return QStringLiteral(KV_SOURCE_DIR "/scripts/pulse-server.sh"); }
    QTemporaryDir dir_;
    bool up_ = false;
    pid_t pid_ = 0;
};

// Guards a step that must not hang: if the step is still running after the
// bound, the test program ends at once with a failure (a hung program cannot
// be tested further). The step itself runs on the calling thread, so that
// widgets are destroyed on the thread that made them.
class HangGuard {
public:
    HangGuard(const char* step, int ms)
        : watcher_([this, step, ms] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return over_; })) {
                std::fprintf(stderr, "HUNG: %s did not return within %d ms\n", step, ms);
                std::fflush(stderr);
                std::_Exit(1);
            }
        }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        done_.notify_one();
        watcher_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread watcher_;
};
