#pragma once

#include "platform/capture/InputCapture.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

// The level capture: records a sound input into a ring of a few buffers and
// hands each filled buffer to OnBufferFilled on the main thread.
//
// InputDevice holds what does not depend on the device: the PCM format, the ring
// of 4 slots (only the first NumBuffers used) with its memory, the running
// flags and OnStart/OnStop. LevelCapture opens the capture, keeps the buffers
// that wait for a block (queued), hands them out and closes the capture. A
// block recorded while no buffer waits is lost; once the last queued buffer
// came back without being queued again, the capture closes. Nothing here
// raises or shows a message: failing operations return false and leave
// LastErrorText().
class InputDevice : public QObject {
    Q_OBJECT
public:
    static constexpr int kRingSlots = 4;
    using NotifyHandler = std::function<void(QObject* sender)>;

    explicit InputDevice(QObject* owner = nullptr);
    ~InputDevice() override;

    // Size of each buffer as used: the requested size (at least 512) rounded
    // down to whole sample frames. Writing it reallocates the buffers.
    int BufferSize() const { return bufferSize_; }
    void SetBufferSize(int value);
    // Buffers in use, 2..4 (clamped); nothing is allocated on writing.
    int NumBuffers() const { return numBuffers_; }
    void SetNumBuffers(int value);
    int FrameRate() const { return format_.rate; }
    void SetFrameRate(int value);
    bool Stereo() const { return format_.channels == 2; }
    void SetStereo(bool value);
    // Bits per sample: below 8 becomes 8, above 8 becomes 16.
    int Quantization() const { return format_.bytesPerSample() * 8; }
    void SetQuantization(int value);
    // Device number; -1 (audio::InputCapture::kDefaultDevice) is the system's preferred input.
    int WaveDevice() const { return waveDevice_; }
    void SetWaveDevice(int value) { waveDevice_ = value; }

    NotifyHandler OnStart;
    NotifyHandler OnStop;

    bool Capturing() const { return capturing_; }
    bool Recording() const { return recording_; }
    int QueuedCount() const { return queuedCount_; }
    const std::string& LastErrorText() const { return lastErrorText_; }
    const audio::CaptureFormat& Format() const { return format_; }

    virtual void StopNow();
    virtual void StopWhenDrained();

protected:
    void ApplyFormatRule();
    // Gives each slot in use a buffer of at least the buffer size (keeps
    // big-enough ones); false with LastErrorText on failure.
    bool AllocateBuffers();
    void FreeBuffers();

    int bufferSize_ = 0;
    int requestedSize_ = 8192;
    int numBuffers_ = 4;
    audio::CaptureFormat format_{};
    int waveDevice_ = audio::InputCapture::kDefaultDevice;
    // Guards the buffers' memory and the queue, which the capture thread fills.
    std::mutex ringMutex_;
    std::array<std::unique_ptr<char[]>, kRingSlots> buffers_;
    std::array<int, kRingSlots> allocatedSize_{};
    int currentSlot_ = 0;
    bool capturing_ = false;
    std::string lastErrorText_;
    bool recording_ = false;
    int queuedCount_ = 0;
};

class LevelCapture;

// The hidden receiver of the capture's notices on the main thread (started,
// buffer filled, stopped); it passes them to its LevelCapture. A new one serves
// each opening; at close it is retired (later buffer notices are dropped) and
// deleted.
class CaptureNoticeReceiver : public QObject {
    Q_OBJECT
public:
    CaptureNoticeReceiver(LevelCapture* owner, QObject* parent);
    void Retire() { retired_ = true; }

protected:
    bool event(QEvent* event) override;

private:
    LevelCapture* audioIn_;
    bool retired_ = false;
};

class LevelCapture : public InputDevice {
    Q_OBJECT
public:
    // Buffer is the first byte; Size a copy of the buffer size (changes are not
    // used). True asks for the buffer to be queued again.
    using BufferHandler = std::function<bool(char* Buffer, int& Size)>;

    explicit LevelCapture(QObject* owner = nullptr);
    ~LevelCapture() override;

    BufferHandler OnBufferFilled;
    bool DeviceOpen() const { return deviceOpen_; }

    // Opens the device and starts recording with NumBuffers buffers queued.
    bool StartCapture();
    // Stops at once: resets and closes the device.
    void StopNow() override;
    // Stops handing buffers out; the device closes when the last one is back.
    void StopWhenDrained() override;

private:
    friend class CaptureNoticeReceiver;
    bool OpenInput();
    bool StartInput();
    void QueueBuffer();
    void CloseInput();
    // Capture thread: fills the first queued buffer with the block and posts
    // it to the opening's receiver.
    void TakeBlock(QObject* receiver, std::span<const char> block);
    void BufferReturned(int slot);

    bool deviceOpen_ = false;
    QPointer<CaptureNoticeReceiver> callbackWin_;
    std::unique_ptr<audio::InputCapture> capture_;
    std::deque<int> queued_; // slots waiting for a block, in the order queued (ringMutex_)
};
