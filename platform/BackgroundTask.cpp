#include "platform/BackgroundTask.h"

#include "platform/CallInbox.h"
#include "platform/Workers.h"

#include <mutex>

// Shared by the task and its worker; whichever lets go last frees it.
struct BackgroundTask::State {
    std::atomic<bool> cancelled{false};
    bool done = false;       // task's thread only
    bool delivering = false; // task's thread only: the completion is running
    // Held while the worker sends, so that the inbox cannot go away halfway.
    std::mutex inboxLock;
    CallInbox* inbox = nullptr;
};

BackgroundTask::BackgroundTask(Work work)
    : state_(std::make_shared<State>())
    , inbox_(new CallInbox) {
    state_->inbox = inbox_;
    workers::run([state = state_, work = std::move(work)] {
        Completion completion = work(state->cancelled);
        std::lock_guard lock(state->inboxLock);
        if (state->cancelled || !state->inbox || !completion)
            return;
        // The call, and the completion it holds, is released on the task's
        // thread: run there, or dropped with the inbox.
        state->inbox->send([state, completion = std::move(completion)] {
            if (state->cancelled)
                return;
            state->done = true;
            state->delivering = true;
            completion();
            state->delivering = false;
        });
    });
}

BackgroundTask::~BackgroundTask() {
    cancel();
    // Deleting the inbox drops a completion still queued for it; from inside
    // its own completion it can only be deleted once that has returned.
    if (state_->delivering)
        inbox_->deleteLater();
    else
        delete inbox_;
}

void BackgroundTask::cancel() {
    state_->cancelled = true;
    std::lock_guard lock(state_->inboxLock);
    state_->inbox = nullptr;
}

bool BackgroundTask::running() const {
    return !state_->cancelled && !state_->done;
}
