#pragma once

#include "mixer/LevelCapture.h"
#include "mixer/LevelMeter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

// The input level of the mixer panel: a LevelCapture records the default input
// and every filled buffer becomes one level on the meter `inputMeter`.
//
// Wiring in MainWindow:
//   startUp, step 2 (after the microphone step):
//       inputMeter = CreateInputMeter(mixerBox);          // InputMeterDesign.h
//       inputLevel = new InputLevel(inputMeter, this);
//       inputLevel->Start();        // never throws; failures leave the meter at rest
//   confirmClose and quit:
//       inputLevel->StopWhenDrained();
// Nothing else: the capture reports on the main thread through the event loop.
//
// When the sound server goes away, a real input simply stops delivering. A
// capture that has delivered and then stays quiet for the stall limit is
// closed and opened again, at doubling intervals (up to a minute) until
// buffers flow, so the meter comes back when the server does. The virtual input has
// no clock of its own, so there the watchdog is off unless a test sets it.
class InputLevel : public QObject {
    Q_OBJECT
public:
    InputLevel(LevelMeter* inputMeter, QObject* owner = nullptr);

    // Creates the capture (WaveDevice -1, NumBuffers 1 - stored as 2 -,
    // FrameRate 44100, Stereo, OnBufferFilled = onCaptureBuffer) and
    // starts it; the result is ignored. Returns the capture's result for tests.
    bool Start();
    // Starts the capture once its back end has started off this thread, so
    // the window's thread never waits for the sound library's probe of every
    // device; a capture stopped meanwhile is not started.
    void StartWhenReady();
    // The capture's OnBufferFilled: the buffer's peak over 44100 goes to the
    // meter. Always true (queue the buffer again).
    bool onCaptureBuffer(char* Buffer, int& Size);
    // Tells the capture to stop once its buffers are back (window closing).
    void StopWhenDrained();

    LevelCapture* AudioIn1() const { return levelCapture_; }

    static constexpr int kStallLimitMs = 3000;
    static constexpr int kLongestRetryMs = 64000;
    // Quiet time after which a delivering capture counts as stalled; 0 turns
    // the watchdog off. The watchdog checks every quarter of it.
    void SetStallLimitMs(int ms);

private:
    bool StartCapture();
    void CheckCapture();

    LevelMeter* inputMeter_;
    LevelCapture* levelCapture_ = nullptr;
    QTimer watchdog_;
    int stallLimitMs_ = 0;
    bool stopping_ = false;
    QElapsedTimer sinceBuffer_; // started by the first buffer
    QElapsedTimer sinceAttempt_;
    int retryDelayMs_ = 0;
    std::unique_ptr<BackgroundTask> backEndStart_; // pending StartWhenReady
};

// The level of one buffer: its largest signed 16-bit sample (from 0, so
// negative samples never count) divided by 44100.
float BufferPeakLevel(const char* buffer, int size);
