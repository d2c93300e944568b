#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Bounds the program's teardown. Once armed, it ends the process with the
// given status if teardown has not finished in time: a sound library can
// hang for ever in a call that its server died under, and a window that
// has closed must not leave a process behind. The system mixer and the
// session are restored before the sound devices close, so nothing the user
// keeps is lost when it fires.
class ExitWatchdog {
public:
    ExitWatchdog() = default;
    ExitWatchdog(const ExitWatchdog&) = delete;
    ExitWatchdog& operator=(const ExitWatchdog&) = delete;
    // Teardown finished: the watch ends.
    ~ExitWatchdog();

    void arm(std::chrono::milliseconds limit, int status);

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread watch_;
};
