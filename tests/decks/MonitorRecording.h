#pragma once

#include "tests/decks/WaitFor.h"

#include <QByteArray>
#include <QProcess>
#include <cstring>
#include <vector>

// Records the monitor of the test server's speakers (ci_sink) as 44.1 kHz
// float stereo, from construction until Stop.
class MonitorRecording {
public:
    MonitorRecording() {
        parec_.start("parec", {"-d", "ci_sink.monitor", "--raw", "--format=float32le",
                               "--rate=44100", "--channels=2", "--latency-msec=20"});
        started_ = parec_.waitForStarted(5000) &&
                   waitFor([this] { return parec_.bytesAvailable() > 0 || !running(); }) &&
                   running();
    }
    bool started() const { return started_; }
    // The left channel of everything recorded.
    std::vector<float> stop() {
        QByteArray raw = parec_.readAllStandardOutput();
        parec_.terminate();
        parec_.waitForFinished(5000);
        raw += parec_.readAllStandardOutput();
        std::vector<float> left(static_cast<std::size_t>(raw.size()) / 8);
        for (std::size_t i = 0; i < left.size(); ++i)
            std::memcpy(&left[i], raw.constData() + i * 8, 4);
        return left;
    }

private:
    bool running() const { return parec_.state() == QProcess::Running; }
    QProcess parec_;
    bool started_ = false;
};
