#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

// Runs blocking work (a download, the reading of what it fetched) on a thread
// of its own and hands the outcome back to the thread of a receiver object by
// a queued call, so that the window's thread never waits for it. This is the
// program's one way of fetching anything.
//
// The work receives a cancel flag and returns the completion to run on the
// receiver's thread. Cancelling (or destroying the task) sets the flag and
// guarantees that the completion never runs, even when the work had already
// finished and its completion was queued. Nothing waits for the worker: it
// ends on its own once its work sees the flag.
class BackgroundTask {
public:
    using Completion = std::function<void()>;
    using Work = std::function<Completion(const std::atomic<bool>& cancelled)>;

    BackgroundTask(QObject* receiver, Work work);
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    void Cancel();
    // True until the completion has run or the task was cancelled.
    bool Running() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};
