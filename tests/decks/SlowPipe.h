#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

// For tests of loads that must not hold anything up: a writer that fills a
// named pipe slowly, and the steady clock in the deck engine's milliseconds.

inline qint64 steadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Writes `bytes` into the pipe in `pieces` writes spread over `spread`, once a
// reader has opened it; stops early when `quit` turns true.
inline void fillPipeSlowly(const std::string& fifo, const QByteArray& bytes,
                           std::chrono::milliseconds spread, const std::atomic<bool>& quit,
                           int pieces = 30) {
    int fd = -1;
    while (fd < 0 && !quit) {
        fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // ENXIO until the reader comes
        if (fd < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (fd < 0)
        return;
    ::fcntl(fd, F_SETFL, 0);
    const qsizetype piece = bytes.size() / pieces + 1;
    for (qsizetype at = 0; at < bytes.size() && !quit; at += piece) {
        const auto n = std::min(piece, bytes.size() - at);
        if (::write(fd, bytes.constData() + at, static_cast<size_t>(n)) != n)
            break;
        std::this_thread::sleep_for(spread / pieces);
    }
    ::close(fd);
}
