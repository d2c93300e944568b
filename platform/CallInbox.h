#pragma once

#include "platform/ThreadHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <functional>

// Runs functions that other threads send, on the thread the inbox lives on.
// The call is made whole before the hand-off is marked and then posted, so
// ThreadSanitizer sees every write of the sender ordered before the run (a
// queued functor call would be built inside the post, after the mark).
// Deleting the inbox drops the calls still queued for it.
class CallInbox : public QObject {
public:
    // Safe from any thread while the inbox lives.
    void send(std::function<void()> call) {
        auto* event = new CallEvent(std::move(call));
        markHandOff(this);
        QCoreApplication::postEvent(this, event);
    }

protected:
    bool event(QEvent* e) override {
        markReceipt(this); // before the event is read at all
        if (e->type() != CallEvent::eventType())
            return QObject::event(e);
        static_cast<CallEvent*>(e)->call();
        return true;
    }

private:
    struct CallEvent : QEvent {
        static QEvent::Type eventType() {
            static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
            return type;
        }
        explicit CallEvent(std::function<void()> c)
            : QEvent(eventType())
            , call(std::move(c)) {}
        std::function<void()> call;
    };
};
