#pragma once

#include "mixer/LevelCapture.h"
#include "mixer/LevelMeter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <span>

// The input level of the mixer panel: a LevelCapture records the default
// input (44100 Hz, stereo, 16-bit, blocks of 8192 bytes) and every block that
// reaches the window's thread becomes one level on the meter.
//
// When the sound server goes away, a real input simply stops delivering. A
// capture that has delivered and then stays quiet for the stall limit is
// closed and opened again, at doubling intervals (up to a minute) until
// blocks flow, so the meter comes back when the server does. The virtual
// input has no clock of its own, so there the watchdog is off unless a test
// sets it.
class InputLevel : public QObject {
    Q_OBJECT
public:
    InputLevel(LevelMeter* inputMeter, QObject* owner = nullptr);

    // Opens the capture and starts it; a failure leaves the meter at rest
    // (the status says why, for tests and logs).
    audio::Status start();
    // Starts the capture once its back end has started off this thread, so
    // the window's thread never waits for the sound library's probe of every
    // device; a capture stopped meanwhile is not started.
    void startWhenReady();
    // One recorded block: its peak over 44100 goes to the meter.
    void onCaptureBlock(std::span<const char> block);
    // Tells the capture to stop once its blocks on their way are in (window
    // closing).
    void stopWhenDrained();

    // Null until the first Start.
    LevelCapture* capture() const { return levelCapture_.get(); }

    // The capture's format and block size.
    static audio::CaptureFormat captureFormat();
    static constexpr std::size_t kBlockBytes = 8192;

    static constexpr int kStallLimitMs = 3000;
    static constexpr int kLongestRetryMs = 64000;
    // Quiet time after which a delivering capture counts as stalled; 0 turns
    // the watchdog off. The watchdog checks every quarter of it.
    void setStallLimitMs(int ms);

signals:
    // A block reached the window and its level went to the meter.
    void blockShown(float level);

private:
    audio::Status startCapture();
    void checkCapture();

    LevelMeter* inputMeter_;
    std::unique_ptr<LevelCapture> levelCapture_;
    QTimer watchdog_;
    int stallLimitMs_ = 0;
    bool stopping_ = false;
    QElapsedTimer sinceBuffer_; // started by the first buffer
    QElapsedTimer sinceAttempt_;
    int retryDelayMs_ = 0;
    std::unique_ptr<BackgroundTask> backEndStart_; // pending StartWhenReady
};

// The level of one block: its largest signed 16-bit sample (from 0, so
// negative samples never count) divided by 44100.
float bufferPeakLevel(std::span<const char> block);
