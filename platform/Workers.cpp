#include "platform/Workers.h"

#include "platform/PlatformLog.h"

#include <QThreadPool>
#include <mutex>

namespace workers {
namespace {
std::mutex poolMutex;
QThreadPool* pool = nullptr; // made on first use; kept while a thread is stuck

QThreadPool& sharedPool() {
    std::lock_guard lock(poolMutex);
    if (!pool) {
        pool = new QThreadPool;
        pool->setMaxThreadCount(kMaxThreads);
    }
    return *pool;
}

// Joins the workers as the process exits.
struct JoinAtExit {
    ~JoinAtExit() { joinWorkers(kExitBound); }
} joinAtExit;
} // namespace

void run(std::function<void()> work) {
    sharedPool().start(std::move(work));
}

bool joinWorkers(std::chrono::milliseconds bound) {
    std::lock_guard lock(poolMutex);
    if (!pool)
        return true;
    pool->clear();
    if (!pool->waitForDone(int(bound.count()))) {
        qCWarning(lcPlatform, "a worker thread did not end within %lld ms; it is left behind",
                  static_cast<long long>(bound.count()));
        return false;
    }
    delete pool;
    pool = nullptr;
    return true;
}

} // namespace workers
