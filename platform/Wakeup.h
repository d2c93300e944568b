#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lets a worker thread rest until it is woken or a deadline passes, instead
// of sleeping in slices and polling: a producer wakes it when there is work,
// and whoever stops it wakes it so that it sees its cancel flag at once.
class Wakeup {
public:
    void notify() {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        wake_.notify_all();
    }
    // Returns at the deadline, or once Notify was called since the last return.
    void waitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        wake_.wait_until(lock, deadline, [this] { return woken_; });
        woken_ = false;
    }
    void waitFor(std::chrono::steady_clock::duration span) {
        waitUntil(std::chrono::steady_clock::now() + span);
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};
