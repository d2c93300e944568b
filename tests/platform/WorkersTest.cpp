// The one owner of worker threads and the one hand-back to the window's
// thread, as BackgroundTask uses them.
#include "platform/Workers.h"
#include "platform/BackgroundTask.h"
#include "tests/support/TestApp.h"

#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

TEST(Workers, ATasksCompletionRunsOnItsOwnThreadUnlessCancelled) {
    ensureTestApp();
    QThread* worker = nullptr;
    QThread* completedOn = nullptr;
    BackgroundTask task([&](const std::atomic<bool>&) -> BackgroundTask::Completion {
        worker = QThread::currentThread();
        return [&] { completedOn = QThread::currentThread(); };
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !task.running(); }, 10000));
    EXPECT_NE(worker, QThread::currentThread());
    EXPECT_EQ(completedOn, QThread::currentThread());

    // Cancelled after its work ended: the completion queued for it is dropped.
    bool completed = false;
    std::atomic<bool> started{false};
    BackgroundTask cancelled([&](const std::atomic<bool>&) -> BackgroundTask::Completion {
        started = true;
        return [&] { completed = true; };
    });
    while (!started) // no event runs meanwhile
        std::this_thread::yield();
    ASSERT_TRUE(workers::joinWorkers(std::chrono::seconds(10)));
    cancelled.cancel();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(completed);
}

TEST(Workers, JoiningWaitsForRunningWorkOnlyAsLongAsItsBound) {
    std::mutex mutex;
    std::condition_variable release;
    bool released = false;
    workers::run([&] {
        std::unique_lock lock(mutex);
        release.wait(lock, [&] { return released; });
    });
    EXPECT_FALSE(workers::joinWorkers(std::chrono::milliseconds(50)));
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    release.notify_all();
    EXPECT_TRUE(workers::joinWorkers(std::chrono::seconds(10)));
}

} // namespace
