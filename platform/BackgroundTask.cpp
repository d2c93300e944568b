#include "platform/BackgroundTask.h"

#include "platform/ThreadHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <mutex>
#include <thread>

namespace {
QEvent::Type CompletionEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Carries a finished work's completion; the event queue deletes it on the
// receiving thread, so the worker lets go of it as soon as it is posted.
struct CompletionEvent : QEvent {
    explicit CompletionEvent(BackgroundTask::Completion c)
        : QEvent(CompletionEventType())
        , completion(std::move(c)) {}
    BackgroundTask::Completion completion;
};
} // namespace

// Shared by the task and its worker; whichever lets go last frees it.
struct BackgroundTask::State {
    std::atomic<bool> cancelled{false};
    bool done = false;       // task's thread only
    bool delivering = false; // task's thread only: the completion is running
    // Held while the worker posts, so that the inbox cannot go away halfway.
    std::mutex inboxLock;
    QObject* inbox = nullptr;
};

// Receives the completion on the task's thread.
class BackgroundTask::Inbox : public QObject {
public:
    explicit Inbox(std::shared_ptr<State> state)
        : state_(std::move(state)) {}

    bool event(QEvent* e) override {
        MarkReceipt(state_.get()); // before the event is read at all
        if (e->type() != CompletionEventType())
            return QObject::event(e);
        const std::shared_ptr<State> state = state_; // the task may end in the completion
        if (state->cancelled)
            return true;
        state->done = true;
        const Completion completion = std::move(static_cast<CompletionEvent*>(e)->completion);
        state->delivering = true;
        completion();
        state->delivering = false;
        return true;
    }

private:
    std::shared_ptr<State> state_;
};

BackgroundTask::BackgroundTask(Work work)
    : state_(std::make_shared<State>())
    , inbox_(new Inbox(state_)) {
    state_->inbox = inbox_;
    std::thread([state = state_, work = std::move(work)] {
        Completion completion = work(state->cancelled);
        std::lock_guard lock(state->inboxLock);
        if (state->cancelled || !state->inbox || !completion)
            return;
        auto* event = new CompletionEvent(std::move(completion));
        MarkHandOff(state.get()); // after the event is made, so the receiver sees it whole
        QCoreApplication::postEvent(state->inbox, event);
    }).detach();
}

BackgroundTask::~BackgroundTask() {
    Cancel();
    // Deleting the inbox drops a completion still queued for it; from inside
    // its own completion it can only be deleted once that has returned.
    if (state_->delivering)
        inbox_->deleteLater();
    else
        delete inbox_;
}

void BackgroundTask::Cancel() {
    state_->cancelled = true;
    std::lock_guard lock(state_->inboxLock);
    state_->inbox = nullptr;
}

bool BackgroundTask::Running() const {
    return !state_->cancelled && !state_->done;
}
