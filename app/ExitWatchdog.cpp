#include "app/ExitWatchdog.h"

#include "app/AppLog.h"

#include <cstdio>
#include <unistd.h>

ExitWatchdog::~ExitWatchdog() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    finished_.notify_all();
    if (watch_.joinable())
        watch_.join();
}

void ExitWatchdog::arm(std::chrono::milliseconds limit, int status) {
    if (watch_.joinable())
        return;
    watch_ = std::thread([this, limit, status] {
        std::unique_lock lock(mutex_);
        // wait-ok: the watch's own thread; the teardown it bounds runs elsewhere
        if (finished_.wait_for(lock, limit, [this] { return done_; }))
            return;
        qCWarning(lcApp, "teardown did not end within %lld ms; exiting anyway",
                  static_cast<long long>(limit.count()));
        std::fflush(nullptr);
        ::_exit(status);
    });
}
