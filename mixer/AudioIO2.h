#pragma once

#include "platform/wavein/WaveIn.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>

// The level capture: records a wave-in device into a ring of a few buffers and
// hands each filled buffer to OnBufferFilled on the main thread.
//
// TAudioIO2 holds what does not depend on the device: the PCM format, the ring
// of 4 slots (only the first NumBuffers used) with its memory, the running
// flags and OnStart/OnStop. TAudioInMM opens the device, queues and re-queues
// the buffers and closes it. Nothing here raises or shows a message: failing
// operations return false and leave LastErrorText().
class TAudioIO2 : public QObject {
    Q_OBJECT
public:
    static constexpr int kRingSlots = 4;
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TAudioIO2(QObject* owner = nullptr);
    ~TAudioIO2() override;

    // Size of each buffer as used: the requested size (at least 512) rounded
    // down to whole sample frames. Writing it reallocates the buffers.
    int BufferSize() const { return bufferSize_; }
    void SetBufferSize(int value);
    // Buffers in use, 2..4 (clamped); nothing is allocated on writing.
    int NumBuffers() const { return numBuffers_; }
    void SetNumBuffers(int value);
    int FrameRate() const { return int(format_.nSamplesPerSec); }
    void SetFrameRate(int value);
    bool Stereo() const { return format_.nChannels == 2; }
    void SetStereo(bool value);
    // Bits per sample: below 8 becomes 8, above 8 becomes 16.
    int Quantization() const { return format_.wBitsPerSample; }
    void SetQuantization(int value);
    // Device number; -1 is the system's preferred input.
    int WaveDevice() const { return waveDevice_; }
    void SetWaveDevice(int value) { waveDevice_ = value; }

    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

    bool Capturing() const { return capturing_; }
    bool Recording() const { return recording_; }
    int QueuedCount() const { return queuedCount_; }
    const std::string& LastErrorText() const { return lastErrorText_; }
    const wavein::WAVEFORMATEX& Format() const { return format_; }

    virtual void StopNow();
    virtual void StopWhenDrained();

protected:
    void ApplyFormatRule();
    bool AllocateHeaders();
    // Gives each slot in use a buffer of at least the buffer size (keeps
    // big-enough ones); false with LastErrorText on failure.
    bool AllocateBuffers();
    void FreeBuffers();
    void FreeHeaders();

    int bufferSize_ = 0;
    int requestedSize_ = 8192;
    int numBuffers_ = 4;
    wavein::WAVEFORMATEX format_{};
    int waveDevice_ = wavein::WAVE_MAPPER;
    std::array<std::unique_ptr<wavein::WAVEHDR>, kRingSlots> headers_;
    std::array<std::unique_ptr<char[]>, kRingSlots> buffers_;
    std::array<int, kRingSlots> allocatedSize_{};
    int currentSlot_ = 0;
    bool capturing_ = false;
    std::string lastErrorText_;
    bool recording_ = false;
    int queuedCount_ = 0;
};

class TAudioInMM;

// The hidden receiver of the device's notifications on the main thread; it
// passes them to its TAudioInMM. A new one serves each opening; at close it is
// retired (later buffer notices are dropped) and deleted.
class TCallBackWinIn : public QObject {
    Q_OBJECT
public:
    TCallBackWinIn(TAudioInMM* owner, QObject* parent);
    void Retire() { retired_ = true; }

protected:
    bool event(QEvent* event) override;

private:
    TAudioInMM* audioIn_;
    bool retired_ = false;
};

class TAudioInMM : public TAudioIO2 {
    Q_OBJECT
public:
    // Buffer is the first byte; Size a copy of the buffer size (changes are not
    // used). True asks for the buffer to be queued again.
    using TBufferEvent = std::function<bool(char* Buffer, int& Size)>;

    explicit TAudioInMM(QObject* owner = nullptr);
    ~TAudioInMM() override;

    TBufferEvent OnBufferFilled;
    bool DeviceOpen() const { return deviceOpen_; }

    // Opens the device and starts recording with NumBuffers buffers queued.
    bool StartCapture();
    // Stops at once: resets and closes the device.
    void StopNow() override;
    // Stops handing buffers out; the device closes when the last one is back.
    void StopWhenDrained() override;

private:
    friend class TCallBackWinIn;
    bool OpenWaveIn();
    bool StartWaveIn();
    bool QueueBuffer();
    void CloseWaveIn();
    void BufferReturned(wavein::WAVEHDR* header);
    std::string PlatformText(wavein::MMRESULT result) const;

    bool deviceOpen_ = false;
    QPointer<TCallBackWinIn> callbackWin_;
    wavein::HWAVEIN waveIn_ = nullptr;
};
