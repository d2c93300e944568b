#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// Watches the window's event loop while a test waits: a 10 ms timer notes
// the longest gap between its ticks, which is how long the loop was held
// (a sleep or a blocking wait on its thread shows as a gap that long).
class LoopWatch {
public:
    LoopWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, since_.restart());
            ++ticks_;
        });
        since_.start();
        timer_.start(10);
    }
    qint64 longestGapMs() const { return longest_; }
    int ticks() const { return ticks_; }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
    int ticks_ = 0;
};
