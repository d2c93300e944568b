#include "platform/BackgroundTask.h"

#include "platform/ThreadHandOff.h"

#include <mutex>
#include <thread>

// Shared by the task and its worker; whichever lets go last frees it.
struct BackgroundTask::State {
    std::atomic<bool> cancelled{false};
    bool done = false; // receiver's thread only
    // Held while the worker posts its completion, so that a receiver going
    // away (which cancels first) cannot be posted to halfway.
    std::mutex receiverLock;
    QObject* receiver = nullptr;
};

BackgroundTask::BackgroundTask(QObject* receiver, Work work)
    : state_(std::make_shared<State>()) {
    state_->receiver = receiver;
    std::thread([state = state_, work = std::move(work)] {
        Completion completion = work(state->cancelled);
        std::lock_guard lock(state->receiverLock);
        if (state->cancelled || !state->receiver || !completion)
            return;
        MarkHandOff(state.get());
        // A receiver destroyed after this drops the queued call with it.
        QMetaObject::invokeMethod(
            state->receiver,
            [state, completion = std::move(completion)] {
                MarkReceipt(state.get());
                if (state->cancelled)
                    return;
                state->done = true;
                completion();
            },
            Qt::QueuedConnection);
    }).detach();
}

BackgroundTask::~BackgroundTask() {
    Cancel();
}

void BackgroundTask::Cancel() {
    state_->cancelled = true;
    std::lock_guard lock(state_->receiverLock);
    state_->receiver = nullptr;
}

bool BackgroundTask::Running() const {
    return !state_->cancelled && !state_->done;
}
