#pragma once

#include <atomic>
#include <functional>
#include <memory>

class CallInbox;

// Runs blocking work (a download, the reading of what it fetched) on a worker
// thread (platform/Workers.h) and hands the outcome back, through a CallInbox,
// to the thread that made the task, so that the window's thread never waits
// for it. This is the program's one way of fetching anything.
//
// The work receives a cancel flag and returns the completion to run on the
// task's thread. Cancelling (or destroying the task) sets the flag and
// guarantees that the completion never runs, even when the work had already
// finished and its completion was queued. Nothing waits for the worker: it
// ends on its own once its work sees the flag. The completion and everything
// it holds are released on the task's thread.
class BackgroundTask {
public:
    using Completion = std::function<void()>;
    using Work = std::function<Completion(const std::atomic<bool>& cancelled)>;

    explicit BackgroundTask(Work work);
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    void cancel();
    // True until the completion has run or the task was cancelled.
    bool running() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    CallInbox* inbox_;
};
