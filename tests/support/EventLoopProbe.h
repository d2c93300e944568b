#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

// Measures how long the thread's event loop takes to handle a posted event:
// every `interval` it posts one event to itself and records the time until
// the event is delivered. A handler that blocks or a nested loop that skips
// posted events shows up as a long round trip. A block that begins between
// two probes delays the timer too, so an event counts as posted when its
// timer was due (one interval after the last delivery), not when it fired.
class EventLoopProbe : public QObject {
public:
    explicit EventLoopProbe(std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
        timer_.setInterval(interval);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { post(); });
    }

    void start() {
        longest_ = {};
        count_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }

    std::chrono::microseconds longest() const { return longest_; }
    int count() const { return count_; }

protected:
    bool event(QEvent* e) override {
        if (e->type() != kProbeEvent)
            return QObject::event(e);
        const auto took =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - posted_);
        longest_ = std::max(longest_, took);
        ++count_;
        inFlight_ = false;
        delivered_ = Clock::now();
        return true;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr QEvent::Type kProbeEvent = static_cast<QEvent::Type>(QEvent::User + 731);

    void post() {
        if (inFlight_)
            return; // the last one is still waiting: its round trip keeps growing
        inFlight_ = true;
        posted_ = count_ == 0 ? Clock::now()
                              : std::min(Clock::now(), delivered_ + timer_.intervalAsDuration());
        QCoreApplication::postEvent(this, new QEvent(kProbeEvent));
    }

    QTimer timer_;
    Clock::time_point posted_{};
    Clock::time_point delivered_{};
    bool inFlight_ = false;
    std::chrono::microseconds longest_{};
    int count_ = 0;
};
