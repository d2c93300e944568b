#pragma once

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>

// For tests on a real clock: waits, events running, until the condition
// holds. Returns false after the deadline, which only guards against a hang.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 15000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}
